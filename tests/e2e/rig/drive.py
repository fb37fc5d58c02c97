"""Drive C for each case of a running prefix: when a case ends, its drive_c is moved whole into
the case's folder (where its results are read) and a fresh one put in its place. That one is
copied beside the prefix while the case before it runs (most cases spend their time waiting on
the launcher's timers): under emulation the copy takes 2 to 3 s."""

from __future__ import annotations

import os
import shutil
import signal
import subprocess
from pathlib import Path
from typing import Optional

from .wine import start_drive_copy


class SpareDrive:
    def __init__(self, prefix: Path, arch: str):
        self.prefix, self.arch = prefix, arch
        self.folder = prefix.with_name(prefix.name + ".spare")
        self._maker: Optional[subprocess.Popen] = None
        self._make()

    def _make(self) -> None:
        self._maker = start_drive_copy(self.folder, self.arch)

    def swap(self, case_dir: Path) -> Path:
        """Moves the prefix's drive C into the case's folder and puts the fresh one in its place."""
        drive = case_dir / "drive_c"
        os.rename(self.prefix / "drive_c", drive)
        if self._maker.wait() != 0:
            raise RuntimeError(f"no fresh drive C in {self.folder} (exit {self._maker.returncode})")
        os.rename(self.folder / "drive_c", self.prefix / "drive_c")
        self._make()
        return drive

    def discard(self) -> None:
        if self._maker is not None:
            try:
                os.killpg(self._maker.pid, signal.SIGKILL)  # the script and its tar processes
            except ProcessLookupError:
                pass
            self._maker.wait()
            self._maker = None
        shutil.rmtree(self.folder, ignore_errors=True)
