"""The bench: the build's launcher and helpers, the running prefixes a test program's cases
share, variants of the launcher, archives made by the packer, and Windows programs run outside
any case."""

from __future__ import annotations

import atexit
import shutil
import subprocess
import sys
from pathlib import Path, PureWindowsPath
from typing import Iterable, Optional

from . import overrun
from .case import Result, run_case
from .drive import SpareDrive
from .session import Session
from .watcher import Watcher
from .wine import template
from .winpath import unix_to_windows


class SharedPrefix:
    """The running prefix that one test program's cases of one kind (the prefix's arch, the
    screen's size) share: a Session named after the program and the kind
    (OUT/_sessions/<program>-<kind>), started with the first such case, its one watcher, and
    the next case's drive C."""

    def __init__(self, prefix: Path, arch: str, screen: tuple, boxwatch: Path):
        self.session = Session(prefix, arch=arch, screen=screen, as_user=True)
        try:
            self.watcher = Watcher(self.session, boxwatch)
        except BaseException:
            self.session.end()
            raise
        # The keeper runs as start.exe with cmd.exe under it (ended, the wineserver would go
        # too); the watcher serves every case: all of them are the session's own.
        self.session.mark_own()
        self.spare = SpareDrive(self.session.prefix, arch)

    @property
    def prefix(self) -> Path:
        return self.session.prefix

    def end(self) -> None:
        self.session.end()
        self.watcher.stop()
        self.spare.discard()


class Bench:
    def __init__(self, launcher: Path, payload: Optional[Path], helpers: Path, out: Path,
                 eekpack: Optional[Path] = None, inputs: Optional[Path] = None):
        self.launcher = Path(launcher)
        self.payload = Path(payload) if payload else None
        self.eekpack = Path(eekpack) if eekpack else None
        # Inputs the build made natively (packing them under emulation took minutes).
        self.inputs = Path(inputs) if inputs else None
        self.helpers = Path(helpers)
        self.out = Path(out)
        self._names: set = set()
        self._template: Optional[Path] = None
        self._sessions: dict = {}
        atexit.register(self.end_sessions)

    def helper(self, name: str) -> Path:
        path = self.helpers / name
        if not path.exists():
            raise FileNotFoundError(f"bench helper {path} is missing: build the windows preset")
        return path

    def user_folder(self, name: str) -> str:
        """A folder of the prefixes' user, such as "Downloads", as a Windows path."""
        users = self.template() / "drive_c" / "users"
        user = next(p.name for p in sorted(users.iterdir()) if p.is_dir() and p.name != "Public")
        return f"C:\\users\\{user}\\{name}"

    def template(self) -> Path:
        """The template prefix (made on first use by scripts/wine-prefix)."""
        if self._template is None:
            self._template = template()
        return self._template

    def pack(self, name: str, files: dict) -> Path:
        """An archive made by the packer from {file name: bytes}, under OUT/_payloads/."""
        if self.eekpack is None or not self.eekpack.exists():
            raise FileNotFoundError(f"packer {self.eekpack} is missing: build the native preset")
        folder = self.out / "_payloads" / name
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for file_name, data in files.items():
            (folder / file_name).write_bytes(data)
        archive = folder.with_suffix(".eek")
        subprocess.run([str(self.eekpack), "create", str(archive), *(str(folder / n) for n in files)],
                       check=True, capture_output=True)
        return archive

    def make_variant(self, name: str, *, payload: Optional[Path] = None, delete_payload: bool = False,
                     source: Optional[Path] = None) -> Path:
        """A copy of the launcher (or of `source`) with its payload resource replaced or removed,
        made with the resedit helper. Returns its Unix path."""
        if (payload is None) == (not delete_payload):
            raise ValueError("give either payload or delete_payload")
        work = self.out / "_variants"
        work.mkdir(parents=True, exist_ok=True)
        out = work / name
        out.unlink(missing_ok=True)
        command = [str(self.helper("resedit.exe")), unix_to_windows(source or self.launcher), unix_to_windows(out)]
        command += ["--payload", unix_to_windows(payload)] if payload else ["--delete-payload"]
        done = self.wine(*command, check=False)
        if done.returncode != 0 or not out.exists():
            raise RuntimeError(f"resedit failed ({done.returncode}): {done.stderr.decode(errors='replace')}")
        return out

    def wine(self, *args: str, arch: str = "win32", check: bool = True,
             timeout_s: float = 20) -> subprocess.CompletedProcess:
        """Runs a Windows program outside any case, in the running prefix of that kind, on files
        given by Unix path (Z:)."""
        shared = self.session(arch)
        try:
            return shared.session.run(*args, check=check, timeout_s=timeout_s)
        except subprocess.TimeoutExpired:
            self.save_overrun("wine-" + PureWindowsPath(args[0]).stem, shared)
            self.end_session(shared)
            raise

    def session(self, arch: str = "win32", screen=(800, 600)) -> SharedPrefix:
        """The running prefix for cases of this kind, started on first use."""
        key = (arch, tuple(screen))
        if key in self._sessions and not self._sessions[key].session.alive():
            # Its keeper is gone, and with it the warm wineserver: a new one.
            self.end_session(self._sessions[key])
        if key not in self._sessions:
            # Named after the test program too: programs run side by side.
            name = f"{Path(sys.argv[0]).stem}-{arch}-{screen[0]}x{screen[1]}"
            self._sessions[key] = SharedPrefix(self.out / "_sessions" / name, arch, tuple(screen),
                                               self.helper("boxwatch.exe"))
        return self._sessions[key]

    def end_session(self, shared: SharedPrefix) -> None:
        self._sessions = {k: v for k, v in self._sessions.items() if v is not shared}
        shared.end()

    def end_sessions(self) -> None:
        for shared in list(self._sessions.values()):
            self.end_session(shared)

    def claim_case_name(self, name: str) -> None:
        if name in self._names:
            raise ValueError(f"case name {name} used twice: each case needs a folder of its own")
        self._names.add(name)

    def save_overrun(self, name: str, shared: SharedPrefix, logs: Iterable[Path] = ()) -> None:
        """The overrun record of what ran in `shared` as `name`."""
        session = shared.session
        keep = overrun.save(overrun.folder(name, self.out / "_overruns"), prefix=session.prefix,
                            display=session.display.name, is_own=session.is_own, logs=logs)
        print(f"harness: case {name} overran; what it was doing is in {keep}", file=sys.stderr)

    def run_case(self, name: str, **options) -> Result:
        """One case in the running prefix of its kind: rig.case.CaseOptions says what the
        keywords do."""
        return run_case(self, name, **options)
