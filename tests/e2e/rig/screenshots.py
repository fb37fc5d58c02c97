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
    """Photographs the whole screen for each window of the asked classes, once the window has
    been visible for a moment (painting follows showing), and again and again while it lives:
    on a fast run the window may be up for half a second, and a first picture often shows it as
    a black rectangle, so the pictures are taken back to back and judged only at the end. The
    first painted one is kept, under the window's own name; the others go."""

    MOST_TRIES = 12  # pictures of one window: enough for its life, few enough to judge quickly

    def __init__(self, display: str, case_dir: Path, classes: set, tail: WatchLog, settle_ms: int):
        self.display, self.case_dir, self.classes, self.tail = display, case_dir, classes, tail
        self.settle_ticks = settle_ms * 10000
        self.taken: list[Path] = []  # painted pictures only
        self._paths: dict = {}  # window key -> the name its painted picture is kept under
        self._tries: dict = {}  # window key -> the pictures taken of it, in order
        self._pending: dict = {}  # window key -> the import taking a picture

    def poll(self) -> None:
        if not self.classes:
            return
        now = filetime_now()
        for key, window in self.tail.poll().windows.items():
            if window.initial or window.cls not in self.classes:
                continue
            if key in self._pending:
                if self._pending[key].poll() is None:
                    continue
                del self._pending[key]
            shown = window.visible_t
            tries = self._tries.setdefault(key, [])
            if (window.gone_t is not None or shown is None or now - shown < self.settle_ticks
                    or len(tries) >= self.MOST_TRIES):
                continue
            path = self._paths.setdefault(key, self.case_dir / (window.cls.strip("#") + f"-{len(self._paths) + 1}.png"))
            attempt = path.with_suffix(f".try{len(tries) + 1}.png")
            tries.append(attempt)
            self._pending[key] = subprocess.Popen(_import(self.display, attempt),
                                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def finish(self) -> None:
        for process in self._pending.values():
            process.wait(timeout=30 * TIME_SCALE)
        self._pending = {}
        windows = self.tail.poll().windows
        with open(self.case_dir / "screenshots.log", "a", encoding="utf-8") as log:
            for key, tries in self._tries.items():
                kept = None
                for attempt in tries:
                    verdict = "" if kept else (painted(attempt, windows[key]) if attempt.exists() else "no picture")
                    if kept is None and not verdict:
                        kept = self._paths[key]
                        attempt.replace(kept)
                        self.taken.append(kept)
                        log.write(f"{kept.name} of {key}: painted (picture {tries.index(attempt) + 1})\n")
                    else:
                        if verdict:
                            log.write(f"{attempt.name} of {key}: {verdict}\n")
                        attempt.unlink(missing_ok=True)
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
