"""What the watcher saw, read from its log (boxwatch's JSON lines): every top-level window with
every state it went through, the message boxes as the user saw them, and the Windows processes
of the session.

Times ("t") are FILETIME ticks on one clock for the watcher and the rig (timing.filetime_now).
Window.states holds every logged state (class, caption, text, style, exstyle, visible, rect in
screen coordinates, client size, children with class, id, text, rect relative to the client
area, style, visible, pos of a progress bar, icon of an icon static); Window.shown is the state
the user saw, Window.child_texts(cls) the texts a kind of control went through. Box gives a
message box's caption, text, buttons, has_icon, topmost and its seen/visible/answered/gone
times."""

from __future__ import annotations

import json
from dataclasses import dataclass, field
from pathlib import Path
from typing import Optional

BOX_CLASS = "#32770"


@dataclass
class Window:
    hwnd: str
    initial: bool
    states: list = field(default_factory=list)  # every state logged, oldest first
    seen_t: int = 0
    gone_t: Optional[int] = None
    answered_t: list = field(default_factory=list)

    @property
    def cls(self) -> str:
        # A window keeps its class for life, but a state read while it was being destroyed has
        # none: on a slow machine the last one often is.
        return next((s["class"] for s in self.states if s["class"]), "")

    @property
    def last(self) -> dict:
        return self.states[-1]

    @property
    def shown(self) -> Optional[dict]:
        """The state the user saw: the last visible one before the first answer (a window being
        destroyed loses its children first), None if it never showed."""
        cut = self.answered_t[0] if self.answered_t else None
        visible = [s for s in self.states if s["visible"] and (cut is None or s["t"] <= cut)]
        if not visible:
            visible = [s for s in self.states if s["visible"]]
        return visible[-1] if visible else None

    @property
    def visible_t(self) -> Optional[int]:
        for state in self.states:
            if state["visible"]:
                return state["t"]
        return None

    def child_texts(self, cls: str) -> list:
        """The texts that visible children of this class showed, each change once, in order. A
        window being destroyed is hidden first, and its children read empty then."""
        texts, last = [], {}
        for state in self.states:
            for child in state["children"] if state["visible"] else ():
                if (child["class"].lower() == cls.lower() and child["visible"]
                        and last.get(child["hwnd"]) != child["text"]):
                    last[child["hwnd"]] = child["text"]
                    texts.append(child["text"])
        return texts


@dataclass
class Box:
    """A message box as the user saw it: the state of its last visible moment."""

    hwnd: str
    caption: str
    text: str
    style: int
    exstyle: int
    buttons: list  # texts of the visible buttons
    has_icon: bool
    seen_t: int
    visible_t: Optional[int]
    answered_t: Optional[int]
    gone_t: Optional[int]
    window: Window

    @property
    def topmost(self) -> bool:
        return bool(self.exstyle & 0x8)  # WS_EX_TOPMOST


def box_of(window: Window) -> Box:
    state = window.shown or window.last
    buttons = [c["text"] for c in state["children"] if c["class"].lower() == "button" and c["visible"]]
    has_icon = any(c.get("icon", -1) == 1 and c["visible"] for c in state["children"])
    return Box(
        hwnd=window.hwnd,
        caption=state["caption"],
        text=state["text"],
        style=state["style"],
        exstyle=state["exstyle"],
        buttons=buttons,
        has_icon=has_icon,
        seen_t=window.seen_t,
        visible_t=window.visible_t,
        answered_t=window.answered_t[0] if window.answered_t else None,
        gone_t=window.gone_t,
        window=window,
    )


@dataclass
class Process:
    """A Windows process of the case's session, as the watcher saw it start and end."""

    pid: int
    parent: int
    exe: str
    initial: bool
    started_t: int  # first seen (within about 10 ms of its start)
    ended_t: Optional[int] = None


def read_processes(events: list) -> list:
    processes, live = [], {}
    for event in events:
        if event["event"] == "process" and event["pid"] in live:
            live[event["pid"]].exe = event["exe"]  # the image name arrived after the start
        elif event["event"] == "process":
            process = Process(pid=event["pid"], parent=event["parent"], exe=event["exe"],
                              initial=event["initial"], started_t=event["t"])
            processes.append(process)
            live[process.pid] = process
        elif event["event"] == "exited" and event["pid"] in live:
            live.pop(event["pid"]).ended_t = event["t"]
    return processes


def descendants(processes: list, exe: str) -> tuple[list, list]:
    """Every non-initial process named `exe` (a case may start it twice) and every process
    started below them."""
    roots = [p for p in processes if not p.initial and p.exe.lower() == exe.lower()]
    family, pids = [], {root.pid for root in roots}
    first = min((root.started_t for root in roots), default=0)
    for process in processes:
        if process.parent in pids and process not in roots and process.started_t >= first:
            family.append(process)
            pids.add(process.pid)
    return roots, family


class WatchLog:
    """A boxwatch log read as it grows: poll() takes in the lines written since the last call.
    A handle reused after its window went away starts a new Window under "hwnd#2", ...

    With `case`, the log is a session watcher's, read from `offset`: only the lines from that
    case's "start" to its "stop" are taken (kept in `lines`)."""

    def __init__(self, path: Path, case: Optional[str] = None, offset: int = 0):
        self.path = path
        self.events: list = []
        self.windows: dict = {}
        self.lines: list = []
        self.stopped = False
        self.case = case
        self._live: dict = {}
        self._offset = offset

    def poll(self) -> "WatchLog":
        if not self.path.exists():
            return self
        with open(self.path, "rb") as log:
            log.seek(self._offset)
            data = log.read()
        end = data.rfind(b"\n") + 1  # a line still being written waits for the next poll
        self._offset += end
        for line in data[:end].decode("utf-8", errors="replace").splitlines():
            if not line.endswith("}") or self.stopped:
                continue
            event = json.loads(line)
            if self.case is not None and not self.events and not (
                    event["event"] == "start" and event.get("case") == self.case):
                continue
            self.lines.append(line)
            self._take(event)
            self.stopped = self.case is not None and event["event"] == "stop" and event.get("case") == self.case
        return self

    def save(self, path: Path) -> None:
        path.write_text("".join(line + "\n" for line in self.lines), encoding="utf-8")

    def _take(self, event: dict) -> None:
        self.events.append(event)
        kind = event["event"]
        if kind == "seen":
            key, n = event["hwnd"], 2
            while key in self.windows:
                key, n = f"{event['hwnd']}#{n}", n + 1
            window = Window(hwnd=event["hwnd"], initial=event["initial"], seen_t=event["t"])
            window.states.append(event)
            self.windows[key] = window
            self._live[event["hwnd"]] = window
        elif kind == "changed" and event["hwnd"] in self._live:
            self._live[event["hwnd"]].states.append(event)
        elif kind == "gone" and event["hwnd"] in self._live:
            self._live.pop(event["hwnd"]).gone_t = event["t"]
        elif kind == "answered" and event["hwnd"] in self._live:
            self._live[event["hwnd"]].answered_t.append(event["t"])


def read_watch_log(path: Path) -> tuple[list, dict]:
    """A whole boxwatch log as (events, windows by hwnd)."""
    log = WatchLog(path).poll()
    return log.events, log.windows
