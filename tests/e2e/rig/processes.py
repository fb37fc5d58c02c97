"""A process the rig started and may have to end from another program: a session started by
ctest's fixture is ended, or run in, by later commands that have only its record."""

from __future__ import annotations

import os
import signal
import subprocess
import time
from pathlib import Path
from typing import Optional


class Child:
    """Through its Popen in the program that started it; by pid and program name in a later
    one, the name guarding against a pid the system has since given to another process.
    `detached`: in a session of its own, apart from the starter's terminal and process group,
    so that it outlives the starter and its process group ends whole."""

    def __init__(self, pid: int, name: str, detached: bool, popen: Optional[subprocess.Popen] = None):
        self.pid, self.name, self.detached, self.popen = pid, name, detached, popen

    @classmethod
    def start(cls, command: list, *, detached: bool = False, **popen_args) -> "Child":
        popen = subprocess.Popen(command, start_new_session=detached, **popen_args)
        return cls(popen.pid, Path(command[0]).name, detached, popen)

    @classmethod
    def of_record(cls, record: dict) -> "Child":
        return cls(record["pid"], record["name"], record["detached"])

    def record(self) -> dict:
        return {"pid": self.pid, "name": self.name, "detached": self.detached}

    def running(self) -> bool:
        if self.popen is not None:
            return self.popen.poll() is None
        try:
            stat = Path(f"/proc/{self.pid}/stat").read_text()
            program = Path(f"/proc/{self.pid}/cmdline").read_bytes().split(b"\0")[0]
        except OSError:
            return False
        return stat.rsplit(") ", 1)[1][:1] != "Z" and Path(program.decode(errors="replace")).name == self.name

    def signal(self, number: int) -> None:
        if not self.running():
            return
        try:
            if self.detached:
                os.killpg(self.pid, number)
            else:
                os.kill(self.pid, number)
        except ProcessLookupError:
            pass

    def wait(self, timeout_s: float) -> bool:
        """Whether it ended within timeout_s."""
        if self.popen is not None:
            try:
                self.popen.wait(timeout=timeout_s)
                return True
            except subprocess.TimeoutExpired:
                return False
        deadline = time.monotonic() + timeout_s
        while self.running():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.02)
        return True

    def stop(self, timeout_s: float) -> None:
        """Asks it to end, and kills it after timeout_s."""
        self.signal(signal.SIGTERM)
        if not self.wait(timeout_s):
            self.kill()

    def kill(self) -> None:
        self.signal(signal.SIGKILL)
        self.wait(10)
