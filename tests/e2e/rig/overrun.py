"""The overrun record: what a program that overran its time limit was doing, saved before it is
stopped, where the run's results outlive it ($TARLOOM_OVERRUN_DIR/NAME): Wine's processes in
its prefix (processes.txt), the windows on its screen (windows.txt), a picture of the screen
(screen.png) and the logs its run had written."""

from __future__ import annotations

import os
import shutil
import subprocess
from pathlib import Path
from typing import Callable, Iterable, Optional

from . import screenshots
from .timing import TIME_SCALE
from .wine import is_wine_own, prefix_pids


def folder(name: str, default_root: Path) -> Path:
    return Path(os.environ.get("TARLOOM_OVERRUN_DIR", default_root)) / name


def describe_processes(prefix: Path, is_own: Callable[[int], bool]) -> str:
    """One line a process of the prefix: pid, state, whether it is the session's own or what
    ran in it, command line."""
    lines = []
    for pid in sorted(prefix_pids(prefix)):
        try:
            command = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
            state = Path(f"/proc/{pid}/stat").read_text().rsplit(") ", 1)[1].split()[0]
        except OSError:
            continue
        lines.append(f"{pid} {state} {'own' if is_own(pid) else 'case'} {command}")
    return "\n".join(lines) + "\n"


def save(keep: Path, *, prefix: Path, display: str, is_own: Optional[Callable[[int], bool]] = None,
         logs: Iterable[Path] = ()) -> Path:
    """Writes the record into `keep`; `is_own` tells the prefix's standing processes from what
    overran (by default Wine's own programs are). Returns `keep`."""
    keep.mkdir(parents=True, exist_ok=True)
    (keep / "processes.txt").write_text(describe_processes(prefix, is_own or is_wine_own))
    try:
        windows = subprocess.run(["xwininfo", "-display", display, "-root", "-tree"], capture_output=True,
                                 text=True, timeout=30 * TIME_SCALE)
        (keep / "windows.txt").write_text(windows.stdout + windows.stderr)
    except (OSError, subprocess.TimeoutExpired) as error:
        (keep / "windows.txt").write_text(f"xwininfo: {error}\n")
    screenshots.take(display, keep / "screen.png")
    for log in logs:
        if log.exists():
            shutil.copyfile(log, keep / log.name)
    return keep
