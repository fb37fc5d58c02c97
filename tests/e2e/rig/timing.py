"""The rig's clock and time limits: FILETIME ticks, the clock of the watcher's "t" fields, and
every limit multiplied by $TARLOOM_TIME_SCALE (default 1), for an emulated machine where
everything takes longer."""

import os
import time
from typing import Callable

FILETIME_UNIX_EPOCH = 116444736000000000
TIME_SCALE = float(os.environ.get("TARLOOM_TIME_SCALE", "1"))


def filetime_now() -> int:
    """The system time as FILETIME ticks (100 ns since 1601, UTC)."""
    return time.time_ns() // 100 + FILETIME_UNIX_EPOCH


def wait_for(condition: Callable[[], bool], timeout_s: float, message: str) -> None:
    """Waits until `condition` holds, at most timeout_s (scaled); RuntimeError(message) then."""
    deadline = time.monotonic() + timeout_s * TIME_SCALE
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError(message)
        time.sleep(0.02)
