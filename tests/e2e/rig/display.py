"""The virtual X display every Wine program of the rig runs on: one Xvfb start for the bench's
sessions, the Windows test programs' session and a test program's own run."""

from __future__ import annotations

import os
import select
import subprocess

from .processes import Child
from .timing import TIME_SCALE


def parse_screen(text: str) -> tuple:
    """(width, height) of "800x600"."""
    width, height = text.lower().split("x")
    return int(width), int(height)


class Display:
    """An Xvfb screen of its own, numbered by Xvfb itself (-displayfd), so that programs run side
    by side never take the same one; -noreset, or it would start afresh, dropping every window,
    each time its last client leaves."""

    def __init__(self, name: str, process: Child):
        self.name, self.process = name, process

    @classmethod
    def start(cls, screen: tuple, *, detached: bool = False) -> "Display":
        """`detached`: it outlives this program (a session ctest's fixture starts)."""
        read_end, write_end = os.pipe()
        try:
            process = Child.start(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{screen[0]}x{screen[1]}x24",
                 "-nolisten", "tcp", "-noreset"],
                detached=detached, pass_fds=[write_end], stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        finally:
            os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                # Scaled like every other wait: on a loaded emulated machine Xvfb took over 10 s.
                if not select.select([pipe], [], [], 10 * TIME_SCALE)[0]:
                    break
                chunk = pipe.read1(16)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            process.kill()
            raise RuntimeError("Xvfb did not start")
        return cls(":" + number.decode().strip(), process)

    @classmethod
    def of_record(cls, record: dict) -> "Display":
        return cls(record["name"], Child.of_record(record["process"]))

    def record(self) -> dict:
        return {"name": self.name, "process": self.process.record()}

    def stop(self) -> None:
        self.process.stop(10 * TIME_SCALE)
