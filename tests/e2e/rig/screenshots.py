"""Screenshots of a virtual display: taking them (ImageMagick's import) and judging whether a
window in one is painted yet."""

from __future__ import annotations

import subprocess
from pathlib import Path

from .timing import TIME_SCALE, filetime_now
from .window_log import WatchLog, Window


def _import(display: str, path: Path) -> list:
    return ["import", "-display", display, "-window", "root", str(path)]


def take(display: str, path: Path) -> bool:
    """A picture of the whole screen, now; whether it was taken."""
    try:
        return subprocess.run(_import(display, path), capture_output=True,
                              timeout=30 * TIME_SCALE).returncode == 0
    except subprocess.TimeoutExpired:
        return False


class Screenshots:
    """Photographs the whole screen once per window of the asked classes, once the window has
    been visible for a moment (painting follows showing). A picture in which the window or its
    texts are not painted yet is taken again while the window lives: on a slow machine the
    first one often shows a black rectangle."""

    def __init__(self, display: str, case_dir: Path, classes: set, tail: WatchLog, settle_ms: int):
        self.display, self.case_dir, self.classes, self.tail = display, case_dir, classes, tail
        self.settle_ticks = settle_ms * 10000
        self.taken: list[Path] = []  # painted pictures only
        self._paths: dict = {}  # window key -> its picture
        self._pending: dict = {}  # window key -> the import taking it
        self._done: set = set()

    def poll(self) -> None:
        if not self.classes:
            return
        now = filetime_now()
        for key, window in self.tail.poll().windows.items():
            if key in self._done or window.initial or window.cls not in self.classes:
                continue
            if key in self._pending:
                if self._pending[key].poll() is None:
                    continue
                del self._pending[key]
                if self._judge(key, window) or window.gone_t is not None:
                    continue
            shown = window.visible_t
            if window.gone_t is not None or shown is None or now - shown < self.settle_ticks:
                continue
            path = self._paths.setdefault(key, self.case_dir / (window.cls.strip("#") + f"-{len(self._paths) + 1}.png"))
            self._pending[key] = subprocess.Popen(_import(self.display, path),
                                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _judge(self, key: str, window: Window) -> bool:
        """Keeps a painted picture; an unpainted one is removed (and taken again if it can be)."""
        path = self._paths[key]
        verdict = painted(path, window) if path.exists() else "no picture"
        with open(self.case_dir / "screenshots.log", "a", encoding="utf-8") as log:
            log.write(f"{path.name} of {key}: {verdict or 'painted'}\n")
        if not verdict:
            self._done.add(key)
            self.taken.append(path)
            return True
        path.unlink(missing_ok=True)
        return False

    def finish(self) -> None:
        windows = self.tail.poll().windows
        for key, process in self._pending.items():
            process.wait(timeout=30 * TIME_SCALE)
            self._judge(key, windows[key])
        self._pending = {}
        self.taken.sort(key=lambda p: p.name)


def painted(png: Path, window: Window) -> str:
    """Why the picture does not show the window drawn ("" when it does): the window must not be
    black, and every text of its static controls (a label, a box's message) must be drawn, not
    a flat fill."""
    state = window.shown or window.last
    left, top, right, bottom = state["rect"]
    regions = [("window", left, top, right - left, bottom - top)]
    client_w, client_h = state.get("client", [right - left, bottom - top])
    border = max((right - left - client_w) // 2, 0)
    origin_x, origin_y = left + border, bottom - border - client_h
    for child in state["children"]:
        if child["class"].lower() == "static" and child["visible"] and child["text"]:
            l, t, r, b = child["rect"]
            regions.append((repr(child["text"]), origin_x + l, origin_y + t, r - l, b - t))
    regions = [r for r in regions if r[3] > 0 and r[4] > 0]
    # One convert for all regions: under emulation its start costs far more than the crops, and
    # the window may be gone before a retake.
    command = ["convert", str(png)]
    for _, x, y, w, h in regions:
        command += ["(", "+clone", "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-format",
                    "%[fx:mean] %[fx:standard_deviation]\n", "-write", "info:", "+delete", ")"]
    done = subprocess.run([*command, "null:"], capture_output=True, text=True)
    figures = done.stdout.splitlines()
    if done.returncode != 0 or len(figures) != len(regions):
        return f"convert could not read it: {done.stderr.strip()}"
    for (what, x, y, w, h), line in zip(regions, figures):
        mean, deviation = map(float, line.split())
        if what == "window" and mean < 0.2:
            return f"the window is dark (mean {mean:.3f} at {w}x{h}+{x}+{y})"
        if what != "window" and deviation < 0.01:
            return f"the text {what} is not drawn (deviation {deviation:.4f} at {w}x{h}+{x}+{y})"
    return ""
