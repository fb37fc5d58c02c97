"""A case: one run of a launcher in a running prefix of the bench, from a fresh drive C to its
Result, with the CaseContext its setup and after callables get.

Each case gets, under OUT/<name>/ (OUT is build/windows/e2e by default):
  drive_c/        the drive C it ran on: a fresh copy of the template's (scripts/wine-prefix),
                  moved here from the running prefix when the case ended;
  boxwatch.jsonl  every top-level window the watcher saw, one JSON object per line;
  wine.log        the launcher's stdout and stderr (wine-second.log: a second start's);
  staged/         copies of every "Bulktemp.eek" written in a watched folder, taken when the
                  writer closed it (fanotify keeps the file readable even after its deletion);
  *.png           screenshots, when asked for (screenshots.log: the verdict on each picture).
Nothing is removed after a run, so a failed case can be inspected; the next run of the same
case starts from scratch. Cases run one at a time. A case that overruns its time limit leaves
its overrun record in $TARLOOM_OVERRUN_DIR/<name> (default OUT/_overruns) before it is
stopped; a case that overran or failed ends its prefix, and the next case of its kind starts a
new one. What a case left running is ended before the next one."""

from __future__ import annotations

import json
import os
import select
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass, field, replace
from pathlib import Path, PureWindowsPath
from typing import TYPE_CHECKING, Callable, Iterable, Optional

from .product import EXE_NAME, SETUP_RECORD
from .screenshots import Screenshots
from .session import Session
from .staged import StagedWatcher
from .timing import TIME_SCALE, filetime_now
from .watcher import POLL_MS
from .window_log import BOX_CLASS, WatchLog, box_of, descendants, read_processes, read_watch_log
from .winpath import windows_to_unix

if TYPE_CHECKING:
    from .bench import Bench, SharedPrefix


@dataclass
class Result:
    """What a case did: exit_code, timed_out, duration_s, started_t/ended_t of the launcher,
    processes (every Windows process of the session with pid, parent, exe, started_t, ended_t;
    processes_named(exe)), lingering, windows (hwnd -> Window: every state seen, first and gone
    times), boxes (the #32770 boxes in order of appearance, as Box), staged (list of Snapshot),
    screenshots, attributes, security, and path(winpath) / exists(winpath) to look at the
    case's drive C from the Unix side."""

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
        return [box_of(w) for w in sorted(boxes, key=lambda w: w.seen_t)]

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



class CaseContext:
    """What a case's setup and after callables get: the case's prefix, before the run and after
    it."""

    def __init__(self, bench: "Bench", session: Session):
        self.bench = bench
        self.session = session
        self.prefix = session.prefix
        self.env = session.env
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

    def apply_attributes(self) -> None:
        """Sets the attributes that setup asked for."""
        if self._attributes:
            self.wine(str(self.bench.helper("fileattr.exe")), "set", *self._attributes)

    def wine(self, *args: str, check: bool = True) -> subprocess.CompletedProcess:
        return self.session.run(*args, check=check)

    def start(self, *args: str, env: Optional[dict] = None) -> None:
        """Starts a Windows program that runs on into the launcher's run (an installer an
        earlier run left open); it is ended with the case."""
        self.started.append(self.session.start(*args, env=env, cwd=self.path("C:\\"), stdout=subprocess.DEVNULL,
                                                stderr=subprocess.DEVNULL))


@dataclass(frozen=True)
class CaseOptions:
    """How a case runs: Bench.run_case's keywords. Every time limit is scaled by
    $TARLOOM_TIME_SCALE."""

    # A Unix path of the exe to run (default: the build's launcher); it is copied into the
    # prefix as EXE_DIR\TarLoom64Setup.exe.
    launcher: Optional[Path] = None
    screen: tuple = (800, 600)  # (width, height) of the Xvfb screen
    # setup(ctx) prepares the prefix before the run: ctx.write(winpath, data), ctx.mkdir(winpath),
    # ctx.set_attributes(winpath, "rhsa" letters), ctx.secure(winpath, sddl), ctx.path(winpath)
    # -> Unix path, ctx.wine(*args) to run any Windows program of the case, ctx.start(*args,
    # env=...) to start one that runs on into the launcher's run.
    setup: Optional[Callable[[CaseContext], None]] = None
    # What Wine reports to the launcher, e.g. "win98" (AppDefaults\<exe>\Version).
    windows_version: Optional[str] = None
    # Windows folders: where the exe is put (default the user's Downloads folder) and the
    # current folder it starts in (default exe_dir).
    exe_dir: Optional[str] = None
    cwd: Optional[str] = None
    args: Iterable[str] = ()  # the launcher's command line
    # Whether the watcher answers message boxes with OK, and how long after a box became visible.
    answer: bool = True
    answer_delay_ms: int = 0
    timeout_s: float = 15  # the launcher's run
    # Window classes to photograph once each, that long after they show (a short-lived window
    # needs less than the default; scaled like the other times, as painting slows with the
    # machine); a picture in which the window is not painted yet is taken again while it lives,
    # and only painted ones are kept.
    screenshot_classes: Iterable[str] = ()
    screenshot_settle_ms: int = 150
    inspect: Iterable[str] = ()  # Windows paths whose attributes are read after the run
    inspect_security: Iterable[str] = ()  # ... and whose owner and access list (SDDL)
    # Windows folders watched for "Bulktemp.eek" (default cwd and exe_dir).
    watch: Optional[Iterable[str]] = None
    # After the launcher's exit, how long to wait at most for the programs it started to end
    # before they are stopped (Result.lingering lists those still running then).
    settle_s: float = 10
    # The same program started again that long after the first, as an impatient second
    # double-click would.
    second_start_after_s: Optional[float] = None
    # after(ctx) runs in the case's prefix after the run (ctx.wine to read what it made with
    # Windows' own calls); its value is Result.after.
    after: Optional[Callable[[CaseContext], object]] = None
    arch: str = "win32"  # the prefix's kind: win64 runs the launcher as on 64-bit Windows
    # "Run as administrator": the token Wine gives every program started from outside. By
    # default the launcher is started as a double-click under UAC does, with its limited twin.
    elevated: bool = False


def run_case(bench: "Bench", name: str, **options) -> Result:
    """Runs one case (options: CaseOptions) in the bench's running prefix of its kind."""
    return _CaseRun(bench, name, CaseOptions(**options)).run()


class _CaseRun:
    """One case, step by step: its folder, the launcher in place, the setup, the run watched to
    its end or its time limit, the settle, what is read afterwards, the clean-up and the
    Result."""

    def __init__(self, bench: "Bench", name: str, options: CaseOptions):
        self.bench, self.name, self.o = bench, name, options
        self.case_dir = bench.out / name
        self.log = self.case_dir / "boxwatch.jsonl"
        self.timeout_s = options.timeout_s * TIME_SCALE
        self.settle_s = options.settle_s * TIME_SCALE
        self.programs: list = []  # every Unix process the case started, killed if still running
        self.staged: Optional[StagedWatcher] = None

    def run(self) -> Result:
        case_started = time.monotonic()
        launcher = self._claim()
        self.shared: "SharedPrefix" = self.bench.session(self.o.arch, self.o.screen)
        session_s = time.monotonic() - case_started  # long where the case had to start a prefix
        start = self._place(launcher)
        trusted = False
        try:
            context = self._prepare()
            self._watch_staged()
            tail = self.shared.watcher.begin_case(self.name, self.o.answer, self.o.answer_delay_ms)
            self._launch(start, tail)
            self._wait_for_exit(tail)
            settle_started = time.monotonic()
            lingering = self._settle(tail)
            settled = time.monotonic() - settle_started
            self._stop_watching(tail)
            read = self._read_after(context)
            self._clean_up(context)
            trusted = not self.timed_out
        finally:
            self._end_programs()
            if self.staged:
                self.staged.close()
            if not trusted:
                self._distrust()

        # Where a case's time goes, in the test's output: the limits are set from such figures.
        print(f"harness: case {self.name}: {time.monotonic() - case_started:.1f} s, its prefix ready after "
              f"{session_s:.1f} s, the launcher's run {self.duration:.1f} s, the settle {settled:.1f} s",
              file=sys.stderr, flush=True)
        return self._result(lingering, *read)

    def _claim(self) -> Path:
        """The case's name and a fresh folder for it; the launcher it runs."""
        self.bench.claim_case_name(self.name)
        launcher = Path(self.o.launcher or self.bench.launcher)
        if not launcher.exists():
            raise FileNotFoundError(f"launcher {launcher} is missing: build the windows preset")
        shutil.rmtree(self.case_dir, ignore_errors=True)
        self.case_dir.mkdir(parents=True)
        return launcher

    def _place(self, launcher: Path) -> list:
        """Copies the launcher into its folder in the prefix; returns the command that starts it."""
        prefix = self.shared.prefix
        exe_dir = self.o.exe_dir or self.bench.user_folder("Downloads")
        self.exe_dir, self.cwd = exe_dir, self.o.cwd or exe_dir
        windows_to_unix(prefix, self.exe_dir).mkdir(parents=True, exist_ok=True)
        windows_to_unix(prefix, self.cwd).mkdir(parents=True, exist_ok=True)
        exe_winpath = str(PureWindowsPath(self.exe_dir) / EXE_NAME)
        shutil.copyfile(launcher, windows_to_unix(prefix, exe_winpath))
        # A double-click's start, a standard user's; `elevated` is "Run as administrator", the
        # token Wine gives every program started from outside.
        if self.o.elevated:
            return [exe_winpath, *self.o.args]
        return [str(self.bench.helper("standard_start.exe")), exe_winpath, *self.o.args]

    @property
    def _version_key(self) -> str:
        return f"HKCU\\Software\\Wine\\AppDefaults\\{EXE_NAME}"

    def _prepare(self) -> CaseContext:
        """The case's setup, the attributes it asked for, and the Windows version to report."""
        context = CaseContext(self.bench, self.shared.session)
        if self.o.setup:
            self.o.setup(context)
        self.programs += context.started
        context.apply_attributes()
        # Read by Wine when a program starts: set in the running prefix for this case alone (a
        # prefix of its own would cost Wine's whole start).
        if self.o.windows_version:
            context.wine("reg", "add", self._version_key, "/v", "Version", "/d", self.o.windows_version, "/f")
        return context

    def _watch_staged(self) -> None:
        watch = self.o.watch if self.o.watch is not None else [self.cwd, self.exe_dir]
        folders = list(dict.fromkeys(watch))
        self.staged = StagedWatcher([windows_to_unix(self.shared.prefix, f) for f in folders],
                                    self.case_dir / "staged")

    def _start_launcher(self, start: list, log_name: str) -> subprocess.Popen:
        with open(self.case_dir / log_name, "wb") as wine_log:
            program = self.shared.session.start(*start, cwd=windows_to_unix(self.shared.prefix, self.cwd),
                                                stdout=wine_log, stderr=wine_log)
        self.programs.append(program)
        return program

    def _launch(self, start: list, tail: WatchLog) -> None:
        """Starts the launcher (twice when asked), and the screenshots of its windows."""
        self.started_t = filetime_now()
        self.started = time.monotonic()
        self.launched = self._start_launcher(start, "wine.log")
        self.shots = Screenshots(self.shared.session.display.name, self.case_dir, set(self.o.screenshot_classes),
                                 tail, int(self.o.screenshot_settle_ms * TIME_SCALE))
        self.second = None
        if self.o.second_start_after_s is not None:
            # The same program started again, as an impatient second double-click would.
            time.sleep(self.o.second_start_after_s)
            self.second = self._start_launcher(start, "wine-second.log")

    def _wait_for_exit(self, tail: WatchLog) -> None:
        """Until the launcher (and its second start) ended, or the time limit: then its overrun
        record is saved and it is stopped. The staged archives and screenshots are taken
        meanwhile."""
        launched, second = self.launched, self.second
        self.timed_out = False
        while launched.poll() is None or (second is not None and second.poll() is None):
            if time.monotonic() - self.started > self.timeout_s:
                self.timed_out = True
                tail.poll().save(self.log)
                self.bench.save_overrun(self.name, self.shared, [self.case_dir / log for log in (
                    "boxwatch.jsonl", "wine.log", "wine-second.log")])
                for program in (launched, second):
                    if program is not None and program.poll() is None:
                        program.kill()
                        program.wait()
                break
            ready = select.select([self.staged.fd] if self.staged.fd >= 0 else [], [], [], POLL_MS * 0.005)[0]
            if ready:
                self.staged.drain()
            self.shots.poll()
        self.duration = time.monotonic() - self.started
        self.ended_t = filetime_now()
        self.exit_code = None if self.timed_out else launched.returncode

    def _settle(self, tail: WatchLog) -> list:
        """Waits, at most settle_s, until the watcher has seen the launcher end and every program
        it started end too (a launched installer writes its own files). Returns those still
        running then."""
        deadline = time.monotonic() + self.settle_s
        while True:
            # Every start of the launcher: the one the watcher saw first may be a second start
            # that ended at once, while the other's installer is still starting.
            roots, family = descendants(read_processes(tail.poll().events), EXE_NAME)
            running = [p for p in roots + family if p.ended_t is None]
            if (roots and not running) or time.monotonic() > deadline:
                return [p for p in family if p.ended_t is None]
            self.staged.drain()
            self.shots.poll()
            time.sleep(0.01 * POLL_MS)

    def _stop_watching(self, tail: WatchLog) -> None:
        """The watcher's last look, the case's part of its log kept, the last pictures judged."""
        self.shared.watcher.end_case(tail)
        tail.save(self.log)
        self.shots.finish()
        self.staged.close()

    def _read_after(self, context: CaseContext) -> tuple:
        """(attributes, security, after's value): read in the prefix after the run."""
        attributes = self._fileattr(context, "get", self.o.inspect, "attributes")
        security = self._fileattr(context, "sddl", self.o.inspect_security, "sddl")
        return attributes, security, self.o.after(context) if self.o.after else None

    def _fileattr(self, context: CaseContext, verb: str, paths: Iterable[str], field_name: str) -> dict:
        """{path: field} from the fileattr helper's JSON lines for `verb` on `paths`."""
        paths = list(paths)
        if not paths:
            return {}
        done = context.wine(str(self.bench.helper("fileattr.exe")), verb, *paths)
        items = (json.loads(line) for line in done.stdout.decode().splitlines())
        return {item["path"]: item[field_name] for item in items}

    def _clean_up(self, context: CaseContext) -> None:
        """The prefix as the next case needs it: the version setting gone, what the case left
        running ended, and its drive C moved into the case's folder for a fresh one."""
        if self.o.windows_version:
            context.wine("reg", "delete", self._version_key, "/f")
        self._end_programs()
        self.shared.session.end_programs()
        self.shared.spare.swap(self.case_dir)

    def _end_programs(self) -> None:
        for program in self.programs:
            if program.poll() is None:
                program.kill()

    def _distrust(self) -> None:
        """After an overrun or a failure the prefix's state is unknown: the next case gets a new
        one. What this case left is kept in its folder all the same."""
        prefix = self.shared.prefix
        if not (self.case_dir / "drive_c").exists() and (prefix / "drive_c").exists():
            os.rename(prefix / "drive_c", self.case_dir / "drive_c")
        self.bench.end_session(self.shared)

    def _result(self, lingering: list, attributes: dict, security: dict, after: object) -> Result:
        events, windows = read_watch_log(self.log)
        prefix = self.shared.prefix
        # The snapshots were taken in the session's prefix; their folders are read in the case's.
        staged = None if self.staged.error else [
            replace(s, folder=self.case_dir / s.folder.relative_to(prefix))
            if s.folder.is_relative_to(prefix) else s for s in self.staged.snapshots]
        second = self.second
        return Result(name=self.name, case_dir=self.case_dir, prefix=self.case_dir, exit_code=self.exit_code,
                      timed_out=self.timed_out, duration_s=self.duration, started_t=self.started_t,
                      ended_t=self.ended_t, events=events, windows=windows,
                      staged=staged, staged_error=self.staged.error,
                      screenshots=self.shots.taken, attributes=attributes, screen=tuple(self.o.screen),
                      processes=read_processes(events), lingering=lingering,
                      second_exit_code=None if self.timed_out or second is None else second.returncode,
                      security=security, arch=self.o.arch, after=after)
