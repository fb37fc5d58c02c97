"""End-to-end bench: runs the real launcher under Wine on a virtual X display and records what a
user would see and what it leaves on disk.

Each case gets, under OUT/<name>/ (OUT is build/windows/e2e by default):
  drive_c/        the drive C it ran on: a fresh copy of the template's (scripts/wine-prefix),
                  moved here from the running prefix when the case ended;
  boxwatch.jsonl  every top-level window the watcher saw, one JSON object per line;
  wine.log        the launcher's stdout and stderr;
  staged/         copies of every "Bulktemp.eek" written in a watched folder, taken when the
                  writer closed it (fanotify keeps the file readable even after its deletion);
  *.png           screenshots, when asked for.
Nothing is removed after a run, so a failed case can be inspected; the next run of the same
case starts from scratch. Cases run one at a time. A case that overruns its time limit leaves
its window log, Wine's processes and a picture of the screen in $TARLOOM_OVERRUN_DIR/<name>
(default OUT/_overruns) before it is stopped.

Cases of one kind (the prefix's arch, the screen's size) in one
test program share a running Wine prefix, its wineserver, its display and the watcher
(OUT/_sessions/<program>-<kind>), started with the first such case: a Windows program then
starts in about a second under emulation, where a new prefix takes eight. Each case still starts from a fresh drive C, and what it left running is
ended before the next one; a case that overran or failed ends its prefix, and the next case of
its kind starts a new one.

Typical use in a test file (run with /usr/bin/python3):

    import harness

    class NormalRun(unittest.TestCase):
        @classmethod
        def setUpClass(cls):
            cls.result = harness.bench().run_case("normal-run", screen=(800, 600))

        def test_exit_code(self):
            self.assertEqual(self.result.exit_code, 1)

    if __name__ == "__main__":
        harness.main()

harness.main() takes --launcher, --payload, --helpers, --out, --eekpack and --inputs (inputs
the build made; ctest passes them; without them the defaults of the build trees are used), then
runs unittest with the remaining arguments.

Bench.make_variant(name, payload=PATH | delete_payload=True) gives a copy of the launcher with
its payload resource replaced or removed; Bench.pack(name, {file name: bytes}) makes an archive
with the packer, for such a payload.

Bench.run_case(name, *, launcher=None, screen=(800, 600), setup=None, windows_version=None,
               exe_dir=None, cwd=None, args=(), answer=True, answer_delay_ms=0, timeout_s=15,
               screenshot_classes=(), screenshot_settle_ms=150, inspect=(), watch=None,
               after=None) -> Result
  launcher          a Unix path of the exe to run (default: the build's launcher); it is copied
                    into the prefix as EXE_DIR\\TarLoom64Setup.exe.
  screen            (width, height) of the Xvfb screen.
  setup(ctx)        prepares the prefix before the run: ctx.write(winpath, data), ctx.mkdir(winpath),
                    ctx.set_attributes(winpath, "rhsa" letters), ctx.path(winpath) -> Unix path,
                    ctx.wine(*args) to run any Windows program of the case, ctx.start(*args,
                    env=...) to start one that runs on into the launcher's run.
  windows_version   e.g. "win98": what Wine reports to the launcher (AppDefaults\\<exe>\\Version).
  exe_dir, cwd      Windows folders: where the exe is put (default the user's Downloads folder)
                    and the current folder it starts in (default exe_dir).
  answer, answer_delay_ms
                    whether the watcher answers message boxes with OK, and how long after a box
                    became visible.
  screenshot_classes, screenshot_settle_ms
                    window classes to photograph once each, that long after they show (a
                    short-lived window needs less than the default 150 ms; scaled like the other
                    times, as painting slows with the machine); a picture in which
                    the window is not painted yet is taken again while it lives, and only
                    painted ones are kept.
  inspect           Windows paths whose attributes are read after the run (Result.attributes).
  watch             Windows folders watched for "Bulktemp.eek" (default cwd and exe_dir).
  settle_s          after the launcher's exit, how long to wait at most for the programs it
                    started to end before they are stopped (Result.lingering lists those still
                    running then).
  after(ctx)        runs in the case's prefix after the run (ctx.wine to read what it made with
                    Windows' own calls); its value is Result.after.

Bench.wine(*args) runs a Windows program (given Unix paths through Z:) in the running 32-bit
prefix, outside any case.

Result: exit_code, timed_out, duration_s, processes (every Windows process of the session with
pid, parent, exe, started_t, ended_t; processes_named(exe)), lingering, windows (hwnd -> Window: every state seen, first and
gone times), boxes (the #32770 boxes in order of appearance, as Box), staged (list of Snapshot),
screenshots, attributes, started_t/ended_t of the launcher, and path(winpath) / exists(winpath)
to look at the case's drive C from the Unix side. Times ("t") are FILETIME ticks (100 ns since
1601, UTC) on one clock for the watcher and the harness; filetime_now() gives the current one.
Window.states holds every logged state (class, caption, text, style, exstyle, visible, rect in
screen coordinates, client size, children with class, id, text, rect relative to the client
area, style, visible, pos of a progress bar, icon of an icon static); Window.shown is the state
the user saw, Window.child_texts(cls) the texts a kind of control went through. Box gives a
message box's caption, text, buttons, has_icon, topmost and its seen/visible/answered/gone times.

The Wine of a case, and why:
  - every Wine command runs inside its prefix's Xvfb display (no wineserver started without a
    display, which would leave the program unable to show windows);
  - windows are not left to a window manager (X11 Driver "Managed"="N", set in the template by
    scripts/wine-prefix): Xvfb has none, and a managed window's hiding would wait two seconds for
    it, and its caption would not be drawn;
  - run as root, the case's Wine processes lose root's right to write any file (setpriv), so a
    read-only file or a folder without write rights stays so, as for a user on Windows;
  - the staged-archive copies need fanotify, which needs root: without it Result.staged is None
    and Result.staged_error says why;
  - every time limit of the bench (a case's timeout_s and settle_s included) is multiplied by
    $TARLOOM_TIME_SCALE (default 1), for an emulated machine where everything takes longer.
"""

from __future__ import annotations

import argparse
import atexit
import ctypes
import hashlib
import json
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import time
import unittest
from dataclasses import dataclass, field, replace
from pathlib import Path, PureWindowsPath
from typing import Callable, Iterable, Optional

REPO_ROOT = Path(__file__).resolve().parents[2]
EXE_NAME = "TarLoom64Setup.exe"
STAGED_NAME = "Bulktemp.eek"
BOX_CLASS = "#32770"
SETUP_RECORD = "C:\\Tarnby Setup\\TarLoom64\\setup-run.txt"

_FILETIME_UNIX_EPOCH = 116444736000000000
TIME_SCALE = float(os.environ.get("TARLOOM_TIME_SCALE", "1"))
# How often, in ms, the watcher looks at the windows: as often, relative to the programs' pace,
# under emulation as on a machine of its own. Each look asks the progress bar for its position,
# which the launcher must answer.
POLL_MS = max(1, round(TIME_SCALE))

# The bench runs as root, and root may write any file whatever its mode: Wine, which keeps the
# read-only attribute as the Unix mode, would then let a program overwrite a read-only file.
# A case's Wine processes run without that privilege, so the mode binds as it does for a user.
AS_USER = ["setpriv", "--bounding-set=-dac_override,-dac_read_search"] if os.geteuid() == 0 else []


def filetime_now() -> int:
    """The system time as FILETIME ticks, the clock of the watcher's "t" fields."""
    return time.time_ns() // 100 + _FILETIME_UNIX_EPOCH


def unix_to_windows(path: Path) -> str:
    """A Unix path as Wine's Z: drive sees it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


# ----------------------------------------------------------------------------------------------
# What the watcher saw


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


def _box_of(window: Window) -> Box:
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


# ----------------------------------------------------------------------------------------------
# The staged archive, seen through fanotify


@dataclass
class Snapshot:
    folder: Path  # Unix folder it was written in
    name: str
    size: int
    sha256: str
    copy: Path  # the bytes as they were when the writer closed the file
    pid: int

    def data(self) -> bytes:
        return self.copy.read_bytes()


class StagedWatcher:
    """Keeps a copy of every "Bulktemp.eek" closed after writing in the watched folders.

    fanotify hands over an open descriptor of the file with each close-after-write event, so
    the bytes stay readable after the launcher has deleted the file: no race with the run."""

    _FAN_CLOSE_WRITE = 0x08
    _FAN_EVENT_ON_CHILD = 0x08000000
    _FAN_CLOEXEC, _FAN_NONBLOCK = 0x1, 0x2
    _FAN_MARK_ADD = 0x1
    _AT_FDCWD = -100
    _METADATA = struct.Struct("IBBHQii")

    def __init__(self, folders: Iterable[Path], out_dir: Path):
        self.out_dir = out_dir
        self.snapshots: list[Snapshot] = []
        self.error: Optional[str] = None
        self.fd = -1
        libc = ctypes.CDLL(None, use_errno=True)
        libc.fanotify_init.argtypes = [ctypes.c_uint, ctypes.c_uint]
        libc.fanotify_mark.argtypes = [ctypes.c_int, ctypes.c_uint, ctypes.c_uint64, ctypes.c_int, ctypes.c_char_p]
        fd = libc.fanotify_init(self._FAN_CLOEXEC | self._FAN_NONBLOCK, os.O_RDONLY | os.O_LARGEFILE)
        if fd < 0:
            self.error = "fanotify_init: " + os.strerror(ctypes.get_errno()) + " (needs root)"
            return
        self.fd = fd
        for folder in folders:
            mask = self._FAN_CLOSE_WRITE | self._FAN_EVENT_ON_CHILD
            if libc.fanotify_mark(fd, self._FAN_MARK_ADD, mask, self._AT_FDCWD, str(folder).encode()) < 0:
                self.error = f"fanotify_mark {folder}: " + os.strerror(ctypes.get_errno())

    def drain(self) -> None:
        if self.fd < 0:
            return
        while True:
            try:
                buffer = os.read(self.fd, 65536)
            except BlockingIOError:
                return
            offset = 0
            while offset + self._METADATA.size <= len(buffer):
                length, _, _, _, _, event_fd, pid = self._METADATA.unpack_from(buffer, offset)
                offset += length
                if event_fd >= 0:
                    try:
                        self._keep(event_fd, pid)
                    finally:
                        os.close(event_fd)

    def _keep(self, event_fd: int, pid: int) -> None:
        target = os.readlink(f"/proc/self/fd/{event_fd}")
        if target.endswith(" (deleted)"):
            target = target[: -len(" (deleted)")]
        path = Path(target)
        if path.name.lower() != STAGED_NAME.lower():
            return
        data = bytearray()
        while True:
            chunk = os.pread(event_fd, 1 << 20, len(data))
            if not chunk:
                break
            data += chunk
        self.out_dir.mkdir(parents=True, exist_ok=True)
        copy = self.out_dir / f"{len(self.snapshots) + 1}-{path.name}"
        copy.write_bytes(data)
        self.snapshots.append(
            Snapshot(folder=path.parent, name=path.name, size=len(data),
                     sha256=hashlib.sha256(data).hexdigest(), copy=copy, pid=pid))

    def close(self) -> None:
        self.drain()
        if self.fd >= 0:
            os.close(self.fd)
            self.fd = -1


# ----------------------------------------------------------------------------------------------
# A case


@dataclass
class Result:
    name: str
    case_dir: Path
    prefix: Path
    exit_code: Optional[int]
    timed_out: bool
    duration_s: float
    started_t: int
    ended_t: int
    events: list
    windows: dict
    staged: Optional[list]  # None when the folders could not be watched
    staged_error: Optional[str]
    screenshots: list
    attributes: dict
    screen: tuple
    processes: list  # every Process of the session, in order of appearance
    lingering: list  # the launcher's descendants still running when the case was ended
    arch: str = "win32"  # the prefix's kind: win64 runs the launcher as on 64-bit Windows
    second_exit_code: Optional[int] = None  # of the second start, when the case made one
    security: dict = field(default_factory=dict)  # winpath: SDDL of owner and access list
    after: object = None  # what run_case's `after` returned

    @property
    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    @property
    def boxes(self) -> list:
        boxes = [w for w in self.windows.values() if not w.initial and w.cls == BOX_CLASS]
        return [_box_of(w) for w in sorted(boxes, key=lambda w: w.seen_t)]

    def processes_named(self, exe: str) -> list:
        """The processes of that image the watcher saw. It takes a process snapshot only now and
        then, so a short-lived one may be missed when the machine is slow: to know that a program
        ran, look for what it wrote (setup_record)."""
        return [p for p in self.processes if not p.initial and p.exe.lower() == exe.lower()]

    def setup_record(self) -> dict:
        """What the sample payload's setup.exe wrote about its start (key=value lines beside
        itself), or {} if it did not run."""
        path = self.path(SETUP_RECORD)
        if not path.exists():
            return {}
        lines = path.read_text(encoding="utf-8").splitlines()
        return dict(line.split("=", 1) for line in lines if "=" in line)

    def windows_of_class(self, cls: str) -> list:
        return sorted((w for w in self.windows.values() if not w.initial and w.cls == cls),
                      key=lambda w: w.seen_t)

    def path(self, winpath: str) -> Path:
        return windows_to_unix(self.prefix, winpath)

    def exists(self, winpath: str) -> bool:
        return self.path(winpath).exists()

    def describe(self) -> str:
        """A short account of the run for assertion messages."""
        boxes = [(b.caption, b.text) for b in self.boxes]
        return f"case {self.name}: exit {self.exit_code}, timed out {self.timed_out}, boxes {boxes}, see {self.case_dir}"


def windows_to_unix(prefix: Path, winpath: str) -> Path:
    """C:\\a\\b inside the prefix as a Unix path (only drive C is mapped)."""
    pure = PureWindowsPath(winpath)
    if pure.drive.upper() != "C:":
        raise ValueError(f"only drive C: is mapped: {winpath}")
    return prefix / "drive_c" / Path(*pure.parts[1:]) if len(pure.parts) > 1 else prefix / "drive_c"


class CaseContext:
    """What a case's setup callable gets: the prefix before the run."""

    def __init__(self, bench: "Bench", prefix: Path, env: dict):
        self.bench = bench
        self.prefix = prefix
        self.env = env
        self._attributes: list = []
        self.started: list = []

    def path(self, winpath: str) -> Path:
        return windows_to_unix(self.prefix, winpath)

    def mkdir(self, winpath: str) -> Path:
        path = self.path(winpath)
        path.mkdir(parents=True, exist_ok=True)
        return path

    def write(self, winpath: str, data: bytes = b"") -> Path:
        path = self.path(winpath)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return path

    def secure(self, winpath: str, sddl: str) -> None:
        """Gives a file or folder the access list of `sddl`, through Windows' own call, now."""
        self.wine(str(self.bench.helper("fileattr.exe")), "secure", winpath, sddl)

    def set_attributes(self, winpath: str, letters: str) -> None:
        """Attributes ("r", "h", "s", "a" letters) are set through Windows' own call, all of a
        case's in one process, after setup returns."""
        self._attributes += [winpath, letters]

    def wine(self, *args: str, check: bool = True) -> subprocess.CompletedProcess:
        return subprocess.run([*AS_USER, "wine", *args], env=self.env, capture_output=True,
                              timeout=20 * TIME_SCALE, check=check)

    def start(self, *args: str, env: Optional[dict] = None) -> None:
        """Starts a Windows program that runs on into the launcher's run (an installer an
        earlier run left open); it is ended with the case."""
        self.started.append(subprocess.Popen([*AS_USER, "wine", *args], env=dict(self.env, **(env or {})),
                                             cwd=self.path("C:\\"), stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL))


# Wine's own programs in a running prefix, and the cmd.exe that keeps it running; anything else
# there belongs to a case.
_WINE_OWN_PROGRAMS = {"services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "explorer.exe",
                      "rpcss.exe", "conhost.exe", "cmd.exe"}


class _Session:
    """A Wine prefix kept running for the cases of one test program: its virtual display, its
    wineserver and Wine's own services, held up by an idle cmd.exe. Under emulation Wine's
    start in a prefix (services, devices, the desktop process) costs about 8 s, a program
    started in a running one about 1 s.

    Every case still starts from a drive C as the template has it: when a case ends, its
    drive_c is moved whole into the case's folder (where its results are read) and a fresh one
    put in its place. That one is copied while the case before it runs (most cases spend their
    time waiting on the launcher's timers): under emulation the copy takes 2 to 3 s. A case that
    overran or failed ends the session; the next case starts a new one."""

    def __init__(self, bench: "Bench", name: str, arch: str, screen: tuple):
        self.prefix = bench.out / "_sessions" / name
        self.screen = screen
        subprocess.run([str(REPO_ROOT / "scripts/wine-prefix"), str(self.prefix)], check=True,
                       env=dict(os.environ, WINEARCH=arch))
        self._own_pids: set = set()
        self.display = _Display(screen)
        self.env = dict(bench.wine_env(arch), WINEPREFIX=str(self.prefix), DISPLAY=self.display.name)
        # cmd.exe says "ready" once Wine runs in the prefix, then waits on its input for good.
        self.keeper = subprocess.Popen([*AS_USER, "wine", "cmd", "/k", "echo", "ready"], env=self.env,
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if not select.select([self.keeper.stdout], [], [], 60 * TIME_SCALE)[0]:
            self.end()
            raise RuntimeError(f"Wine did not start in {self.prefix}")
        # One watcher for every case of the session (boxwatch --cases): under emulation its start
        # took seconds a case.
        self.watch_log = self.prefix.with_name(name + ".boxwatch.jsonl")
        self.cases_file = self.prefix.with_name(name + ".cases")
        # An earlier run's log and request must not be taken for this watcher's.
        self.watch_log.unlink(missing_ok=True)
        self.cases_file.unlink(missing_ok=True)
        with open(self.prefix.with_name(name + ".boxwatch.err"), "wb") as watch_err:
            self.watcher = subprocess.Popen(
                [*AS_USER, "wine", str(bench.helper("boxwatch.exe")), "--log", unix_to_windows(self.watch_log),
                 "--cases", unix_to_windows(self.cases_file), "--timeout-ms", str(int(900_000 * TIME_SCALE)),
                 "--poll-ms", str(POLL_MS)],
                env=self.env, stdout=subprocess.DEVNULL, stderr=watch_err)
        try:
            wait_for(lambda: any(e["event"] == "start" for e in WatchLog(self.watch_log).poll().events), 20,
                     f"boxwatch did not start in {self.prefix}")
        except RuntimeError:
            self.end()
            raise
        # The keeper runs as start.exe with cmd.exe under it: ended, the wineserver would go too.
        self._own_pids = set(self.wine_pids())
        self._spare = self.prefix.with_name(name + ".spare")
        self._spare_maker: Optional[subprocess.Popen] = None
        self._make_spare()

    def _ask_watcher(self, line: str) -> None:
        ready = self.cases_file.with_suffix(".new")
        ready.write_text(line + "\n", encoding="ascii")
        os.replace(ready, self.cases_file)  # whole, never half-written

    def begin_case(self, name: str, answer: bool, answer_delay_ms: int) -> WatchLog:
        """Tells the watcher a case starts, and returns the case's part of its log once it has."""
        tail = WatchLog(self.watch_log, case=name, offset=self.watch_log.stat().st_size)
        self._ask_watcher(f"start {name} {int(answer)} {answer_delay_ms}")
        wait_for(lambda: tail.poll().events, 10, f"boxwatch did not start case {name} (see {self.watch_log})")
        return tail

    def end_case(self, tail: WatchLog) -> None:
        """Tells the watcher the case has ended, and waits until it has looked a last time."""
        self._ask_watcher(f"stop {tail.case}")
        wait_for(lambda: tail.poll().stopped, 15, f"boxwatch did not stop case {tail.case} (see {self.watch_log})")

    def _make_spare(self) -> None:
        """Starts copying the next case's drive C beside the prefix."""
        self._spare_maker = subprocess.Popen(
            [str(REPO_ROOT / "scripts/wine-prefix"), "--drive", str(self._spare)],
            env=dict(os.environ, WINEARCH=self.env["WINEARCH"]), stdout=subprocess.DEVNULL,
            start_new_session=True)

    def wine_pids(self) -> list:
        """The Unix processes of this prefix: wineserver and every Windows program."""
        pids, wanted = [], f"WINEPREFIX={self.prefix}".encode()
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    environ = Path(f"/proc/{entry}/environ").read_bytes()
                except OSError:
                    continue
                if wanted in environ.split(b"\0"):
                    pids.append(int(entry))
        return pids

    def _is_own(self, pid: int) -> bool:
        """wineserver, Wine's services and desktop, and the keeper: the session's, not a case's."""
        if pid in self._own_pids:
            return True
        try:
            exe = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
        except OSError:
            return True
        return PureWindowsPath(exe).name.lower() in _WINE_OWN_PROGRAMS or exe.endswith("wineserver")

    def end_case_programs(self) -> None:
        """Ends what a case left running (an installer it started, say), not the session's own."""
        for pid in self.wine_pids():
            if self._is_own(pid):
                continue
            try:
                os.kill(pid, 9)
            except ProcessLookupError:
                pass

    def take_drive(self, case_dir: Path) -> Path:
        """Moves the case's drive C into its folder and puts a fresh one in its place."""
        drive = case_dir / "drive_c"
        os.rename(self.prefix / "drive_c", drive)
        if self._spare_maker.wait() != 0:
            raise RuntimeError(f"no fresh drive C in {self._spare} (exit {self._spare_maker.returncode})")
        os.rename(self._spare / "drive_c", self.prefix / "drive_c")
        self._make_spare()
        return drive

    def describe_processes(self) -> str:
        lines = []
        for pid in sorted(self.wine_pids()):
            try:
                command = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
                state = Path(f"/proc/{pid}/stat").read_text().split(") ")[1].split()[0]
            except OSError:
                continue
            lines.append(f"{pid} {state} {'own' if self._is_own(pid) else 'case'} {command}")
        return "\n".join(lines) + "\n"

    def end(self) -> None:
        if self.keeper.poll() is None:
            self.keeper.stdin.close()
        try:
            kill_wineserver(self.env)
        except subprocess.TimeoutExpired:
            pass
        for pid in self.wine_pids():
            try:
                os.kill(pid, 9)
            except ProcessLookupError:
                pass
        self.keeper.kill()
        self.keeper.wait()
        watcher = getattr(self, "watcher", None)
        if watcher is not None:
            watcher.kill()
            watcher.wait()
        self.display.stop()
        spare_maker = getattr(self, "_spare_maker", None)
        if spare_maker is not None:
            try:
                os.killpg(spare_maker.pid, signal.SIGKILL)  # the script and its tar processes
            except ProcessLookupError:
                pass
            spare_maker.wait()
            shutil.rmtree(self._spare, ignore_errors=True)


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
        self._base_env: Optional[dict] = None
        self._template: Optional[Path] = None
        self._sessions: dict = {}
        atexit.register(self.end_sessions)

    def helper(self, name: str) -> Path:
        path = self.helpers / name
        if not path.exists():
            raise FileNotFoundError(f"bench helper {path} is missing: build the windows preset")
        return path

    def wine_env(self, arch: str = "win32") -> dict:
        """The environment of scripts/wine-env (WINEARCH, WINEDEBUG, WINEDLLOVERRIDES) for a
        prefix of kind `arch`."""
        if self._base_env is None:
            dump = subprocess.run(["bash", "-c", f'source "{REPO_ROOT}/scripts/wine-env" && env -0'],
                                  capture_output=True, check=True).stdout
            env = dict(item.split("=", 1) for item in dump.decode().split("\0") if "=" in item)
            env.pop("DISPLAY", None)
            self._base_env = env
        return dict(self._base_env, WINEARCH=arch)

    def user_folder(self, name: str) -> str:
        """A folder of the prefixes' user, such as "Downloads", as a Windows path."""
        users = self.template() / "drive_c" / "users"
        user = next(p.name for p in sorted(users.iterdir()) if p.is_dir() and p.name != "Public")
        return f"C:\\users\\{user}\\{name}"

    def template(self) -> Path:
        """The template prefix (made on first use by scripts/wine-prefix)."""
        if self._template is None:
            self._template = Path(subprocess.run([str(REPO_ROOT / "scripts/wine-prefix")], capture_output=True,
                                                 text=True, check=True).stdout.strip())
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
        session = self.session(arch)
        try:
            return subprocess.run([*AS_USER, "wine", *args], env=session.env, capture_output=True,
                                  timeout=timeout_s * TIME_SCALE, check=check)
        except subprocess.TimeoutExpired:
            self._save_overrun("wine-" + PureWindowsPath(args[0]).stem, None, session)
            self.end_session(session)
            raise

    def session(self, arch: str = "win32", screen=(800, 600)) -> _Session:
        """The running prefix for cases of this kind, started on first use."""
        key = (arch, tuple(screen))
        if key in self._sessions and self._sessions[key].keeper.poll() is not None:
            # Its keeper is gone, and with it the warm wineserver: a new one.
            self.end_session(self._sessions[key])
        if key not in self._sessions:
            # Named after the test program too: programs run side by side.
            name = f"{Path(sys.argv[0]).stem}-{arch}-{screen[0]}x{screen[1]}"
            self._sessions[key] = _Session(self, name, arch, tuple(screen))
        return self._sessions[key]

    def end_session(self, session: _Session) -> None:
        self._sessions = {k: v for k, v in self._sessions.items() if v is not session}
        session.end()

    def end_sessions(self) -> None:
        for session in list(self._sessions.values()):
            self.end_session(session)

    def run_case(self, name: str, *, launcher: Optional[Path] = None, screen=(800, 600),
                 setup: Optional[Callable[[CaseContext], None]] = None,
                 windows_version: Optional[str] = None, exe_dir: Optional[str] = None,
                 cwd: Optional[str] = None, args: Iterable[str] = (), answer: bool = True,
                 answer_delay_ms: int = 0, timeout_s: float = 15,
                 screenshot_classes: Iterable[str] = (), screenshot_settle_ms: int = 150,
                 inspect: Iterable[str] = (),
                 watch: Optional[Iterable[str]] = None, settle_s: float = 10,
                 second_start_after_s: Optional[float] = None,
                 inspect_security: Iterable[str] = (), after: Optional[Callable[[CaseContext], object]] = None,
                 arch: str = "win32", elevated: bool = False) -> Result:
        if name in self._names:
            raise ValueError(f"case name {name} used twice: each case needs a folder of its own")
        timeout_s, settle_s = timeout_s * TIME_SCALE, settle_s * TIME_SCALE
        self._names.add(name)
        case_started = time.monotonic()
        launcher = Path(launcher or self.launcher)
        if not launcher.exists():
            raise FileNotFoundError(f"launcher {launcher} is missing: build the windows preset")
        case_dir = self.out / name
        shutil.rmtree(case_dir, ignore_errors=True)
        case_dir.mkdir(parents=True)
        session = self.session(arch, screen)
        session_s = time.monotonic() - case_started  # long where the case had to start a prefix
        prefix = session.prefix

        exe_dir = exe_dir or self.user_folder("Downloads")
        cwd = cwd or exe_dir
        windows_to_unix(prefix, exe_dir).mkdir(parents=True, exist_ok=True)
        windows_to_unix(prefix, cwd).mkdir(parents=True, exist_ok=True)
        exe_winpath = str(PureWindowsPath(exe_dir) / EXE_NAME)
        shutil.copyfile(launcher, windows_to_unix(prefix, exe_winpath))
        # A double-click's start, a standard user's; `elevated` is "Run as administrator", the
        # token Wine gives every program started from outside.
        start = [exe_winpath, *args] if elevated else [str(self.helper("standard_start.exe")), exe_winpath, *args]

        env = session.env
        watcher = None
        processes = []
        trusted = False
        try:
            context = CaseContext(self, prefix, env)
            if setup:
                setup(context)
            processes += context.started
            if context._attributes:
                context.wine(str(self.helper("fileattr.exe")), "set", *context._attributes)
            # Read by Wine when a program starts: set in the running prefix for this case alone
            # (a prefix of its own would cost Wine's whole start).
            version_key = f"HKCU\\Software\\Wine\\AppDefaults\\{EXE_NAME}"
            if windows_version:
                context.wine("reg", "add", version_key, "/v", "Version", "/d", windows_version, "/f")

            folders = list(dict.fromkeys(watch if watch is not None else [cwd, exe_dir]))
            watcher = StagedWatcher([windows_to_unix(prefix, f) for f in folders], case_dir / "staged")

            log = case_dir / "boxwatch.jsonl"
            tail = session.begin_case(name, answer, answer_delay_ms)

            started_t = filetime_now()
            started = time.monotonic()
            with open(case_dir / "wine.log", "wb") as wine_log:
                launched = subprocess.Popen([*AS_USER, "wine", *start], env=env,
                                            cwd=windows_to_unix(prefix, cwd), stdout=wine_log, stderr=wine_log)
            processes.append(launched)
            shots = _Screenshots(session.display.name, case_dir, set(screenshot_classes), tail,
                                 int(screenshot_settle_ms * TIME_SCALE))
            second = None
            if second_start_after_s is not None:
                # The same program started again, as an impatient second double-click would.
                time.sleep(second_start_after_s)
                with open(case_dir / "wine-second.log", "wb") as wine_log:
                    second = subprocess.Popen([*AS_USER, "wine", *start], env=env,
                                              cwd=windows_to_unix(prefix, cwd), stdout=wine_log, stderr=wine_log)
                processes.append(second)
            timed_out = False
            while launched.poll() is None or (second is not None and second.poll() is None):
                if time.monotonic() - started > timeout_s:
                    timed_out = True
                    tail.poll().save(log)
                    self._save_overrun(name, case_dir, session)
                    for program in (launched, second):
                        if program is not None and program.poll() is None:
                            program.kill()
                            program.wait()
                    break
                ready = select.select([watcher.fd] if watcher.fd >= 0 else [], [], [], POLL_MS * 0.005)[0]
                if ready:
                    watcher.drain()
                shots.poll()
            duration = time.monotonic() - started
            ended_t = filetime_now()
            exit_code = None if timed_out else launched.returncode
            settle_started = time.monotonic()
            lingering = self._settle(tail, settle_s, watcher, shots)
            settled = time.monotonic() - settle_started

            session.end_case(tail)
            tail.save(log)
            shots.finish()
            watcher.close()
            attributes = self._fileattr(context, "get", inspect, "attributes")
            security = self._fileattr(context, "sddl", inspect_security, "sddl")
            after_result = after(context) if after else None
            if windows_version:
                context.wine("reg", "delete", version_key, "/f")
            for process in processes:
                if process.poll() is None:
                    process.kill()
            session.end_case_programs()
            session.take_drive(case_dir)
            trusted = not timed_out
        finally:
            for process in processes:
                if process.poll() is None:
                    process.kill()
            if watcher:
                watcher.close()
            if not trusted:
                # After an overrun or a failure the prefix's state is unknown: the next case gets
                # a new one. What this case left is kept in its folder all the same.
                if not (case_dir / "drive_c").exists() and (prefix / "drive_c").exists():
                    os.rename(prefix / "drive_c", case_dir / "drive_c")
                self.end_session(session)

        # Where a case's time goes, in the test's output: the limits are set from such figures.
        print(f"harness: case {name}: {time.monotonic() - case_started:.1f} s, its prefix ready after "
              f"{session_s:.1f} s, the launcher's run {duration:.1f} s, the settle {settled:.1f} s",
              file=sys.stderr, flush=True)
        events, windows = read_watch_log(log)
        # The snapshots were taken in the session's prefix; their folders are read in the case's.
        staged = None if watcher.error else [
            replace(s, folder=case_dir / s.folder.relative_to(prefix))
            if s.folder.is_relative_to(prefix) else s for s in watcher.snapshots]
        return Result(name=name, case_dir=case_dir, prefix=case_dir, exit_code=exit_code,
                      timed_out=timed_out, duration_s=duration, started_t=started_t, ended_t=ended_t,
                      events=events, windows=windows,
                      staged=staged, staged_error=watcher.error,
                      screenshots=shots.taken, attributes=attributes, screen=tuple(screen),
                      processes=read_processes(events), lingering=lingering,
                      second_exit_code=None if timed_out or second is None else second.returncode,
                      security=security, arch=arch, after=after_result)

    def _save_overrun(self, name: str, case_dir: Optional[Path], session: _Session) -> None:
        """What an overrunning case was doing, kept where the run's results outlive it: its
        window log, Wine's processes and the screen."""
        keep = Path(os.environ.get("TARLOOM_OVERRUN_DIR", self.out / "_overruns")) / name
        keep.mkdir(parents=True, exist_ok=True)
        (keep / "processes.txt").write_text(session.describe_processes())
        subprocess.run(["import", "-display", session.display.name, "-window", "root", str(keep / "screen.png")],
                       capture_output=True, timeout=30 * TIME_SCALE)
        for log in ("boxwatch.jsonl", "wine.log", "wine-second.log"):
            if case_dir and (case_dir / log).exists():
                shutil.copyfile(case_dir / log, keep / log)
        print(f"harness: case {name} overran; what it was doing is in {keep}", file=sys.stderr)

    def _fileattr(self, context: "CaseContext", verb: str, paths: Iterable[str], field_name: str) -> dict:
        """{path: field} from the fileattr helper's JSON lines for `verb` on `paths`."""
        paths = list(paths)
        if not paths:
            return {}
        done = context.wine(str(self.helper("fileattr.exe")), verb, *paths)
        items = (json.loads(line) for line in done.stdout.decode().splitlines())
        return {item["path"]: item[field_name] for item in items}

    @staticmethod
    def _settle(tail: WatchLog, settle_s: float, watcher: "StagedWatcher", shots: "_Screenshots") -> list:
        """Waits, at most settle_s, until the watcher has seen the launcher end and every program
        it started end too (a launched installer writes its own files). Returns those still
        running then."""
        deadline = time.monotonic() + settle_s
        while True:
            # Every start of the launcher: the one the watcher saw first may be a second start
            # that ended at once, while the other's installer is still starting.
            roots, family = descendants(read_processes(tail.poll().events), EXE_NAME)
            running = [p for p in roots + family if p.ended_t is None]
            if (roots and not running) or time.monotonic() > deadline:
                return [p for p in family if p.ended_t is None]
            watcher.drain()
            shots.poll()
            time.sleep(0.01 * POLL_MS)


def kill_wineserver(env: dict) -> None:
    # Only this prefix's server: others may be running their own.
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
    subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=60 * TIME_SCALE)


def wait_for(condition: Callable[[], bool], timeout_s: float, message: str) -> None:
    deadline = time.monotonic() + timeout_s * TIME_SCALE
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError(message)
        time.sleep(0.02)


class _Display:
    """An Xvfb screen of its own for one case."""

    def __init__(self, screen):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{screen[0]}x{screen[1]}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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
            self.process.kill()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number.decode().strip()

    def stop(self) -> None:
        self.process.terminate()
        try:
            self.process.wait(timeout=10 * TIME_SCALE)
        except subprocess.TimeoutExpired:
            self.process.kill()


class _Screenshots:
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
            self._pending[key] = subprocess.Popen(["import", "-display", self.display, "-window", "root", str(path)],
                                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _judge(self, key: str, window: Window) -> bool:
        """Keeps a painted picture; an unpainted one is removed (and taken again if it can be)."""
        path = self._paths[key]
        verdict = _painted(path, window) if path.exists() else "no picture"
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


def _painted(png: Path, window: Window) -> str:
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


# ----------------------------------------------------------------------------------------------
# Command line

_BENCH: Optional[Bench] = None


def bench() -> Bench:
    global _BENCH
    if _BENCH is None:
        # Folders a case makes are what a user's would be (rwxr-xr-x), whatever the caller's
        # umask: Wine reads others' write bits as others' right to write.
        os.umask(0o022)
        _BENCH = Bench(**vars(_parser().parse_args([])))
    return _BENCH


def _parser() -> argparse.ArgumentParser:
    build = REPO_ROOT / "build" / "windows"
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--launcher", type=Path, default=build / "bin" / EXE_NAME)
    parser.add_argument("--payload", type=Path, default=build / "payload" / "payload.eek")
    parser.add_argument("--helpers", type=Path, default=build / "bin")
    parser.add_argument("--out", type=Path, default=build / "e2e")
    parser.add_argument("--eekpack", type=Path, default=REPO_ROOT / "build" / "native" / "bin" / "eekpack")
    parser.add_argument("--inputs", type=Path, default=build / "e2e-inputs")
    return parser


def main() -> None:
    """Reads the bench's options, then runs unittest with the rest of the command line."""
    global _BENCH
    # A time limit's stop (ctest's) still ends the running prefixes and their displays.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    options, rest = _parser().parse_known_args()
    _BENCH = Bench(**vars(options))
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
