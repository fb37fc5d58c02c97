"""A running Wine prefix, the one implementation behind the bench's cases and the Windows test
programs (scripts/wine-session, scripts/wine-run).

A session is a prefix (a fresh copy of the template) kept running on a virtual display of its
own: its wineserver and Wine's own services are held up by an idle cmd.exe, the keeper, whose
input never ends. Under emulation Wine's start in a prefix (services, devices, the desktop
process) costs about 8 s, a program started in a running one about 1 s.

A session lives as long as the program that started it (the bench's: that program holds the
keeper's input, so the prefix goes with it), or, detached, outlives it (ctest's fixture: its
processes in sessions of their own, apart from the starting command's output, which ctest
waits on, and the keeper's input held by a sleep). With a record (JSON), what it started is
written down as it starts it, so that a later command can take the session over
(Session.attach) to run programs in it or to end it, even one that failed halfway through its
start."""

from __future__ import annotations

import json
import os
import subprocess
from pathlib import Path
from typing import Optional

from .display import Display
from .processes import Child
from .timing import TIME_SCALE, wait_for
from .wine import AS_USER, copy_prefix, is_wine_own, kill_pids, kill_wineserver, prefix_pids, wine_env


class Session:
    """A running prefix: its display, its keeper, the processes it counts as its own."""

    def __init__(self, prefix: Path, *, arch: Optional[str] = None, screen: tuple = (800, 600),
                 as_user: bool = True, keeps_wine_programs: bool = True, detached: bool = False,
                 record: Optional[Path] = None):
        """Makes `prefix` a fresh copy of the template prefix of kind `arch` and starts Wine in it.
        `as_user`: its programs run without root's right to write any file (wine.AS_USER).
        `keeps_wine_programs`: Wine's own programs that a run started (rpcss, a desktop's
        explorer) stay as the session's when the run's are ended. Not for programs whose output
        is ctest's: ctest waits until every process holding its pipes has ended, and those
        would hold them."""
        self.prefix = Path(prefix)
        self.arch = arch or wine_env()["WINEARCH"]
        self.screen = tuple(screen)
        self.as_user = as_user
        self.keeps_wine_programs = keeps_wine_programs
        self.detached = detached
        self.record_path = record
        self.display: Optional[Display] = None
        self.keeper: Optional[Child] = None
        self.holder: Optional[Child] = None  # a detached session's keeper input
        self.own: set = set()
        self._input: Optional[int] = None  # the keeper's input, held by this program
        self.env = dict(wine_env(self.arch), WINEPREFIX=str(self.prefix))
        self.env.pop("DISPLAY", None)
        self._save()
        copy_prefix(self.prefix, self.arch)
        try:
            self.display = Display.start(self.screen, detached=detached)
            self.env["DISPLAY"] = self.display.name
            self._save()
            self._start_keeper()
        except BaseException:
            self.end()
            raise
        self.mark_own()

    def _start_keeper(self) -> None:
        # cmd.exe says "ready" once Wine runs in the prefix, then waits on its input for good.
        said = self.prefix.with_name(self.prefix.name + ".keeper.log")
        read_end, write_end = os.pipe()
        try:
            if self.detached:
                self.holder = Child.start(["sleep", "infinity"], detached=True, stdin=subprocess.DEVNULL,
                                          stdout=write_end, stderr=subprocess.DEVNULL)
                self._save()
            with open(said, "wb") as out:
                self.keeper = Child.start(self.command("cmd", "/k", "echo", "ready"), detached=self.detached,
                                          env=self.env, stdin=read_end, stdout=out, stderr=subprocess.DEVNULL)
        finally:
            os.close(read_end)
            if self.detached:
                os.close(write_end)
            else:
                self._input = write_end
        wait_for(lambda: b"ready" in said.read_bytes(), 60, f"Wine did not start in {self.prefix}")

    @classmethod
    def attach(cls, record: Path) -> "Session":
        """The session of `record`, started by another command. Its programs run in this
        command's environment; its keeper is among the prefix's processes."""
        data = json.loads(Path(record).read_text())
        self = cls.__new__(cls)
        self.prefix, self.arch, self.screen = Path(data["prefix"]), data["arch"], tuple(data["screen"])
        self.as_user, self.detached, self.record_path = data["as_user"], data["detached"], Path(record)
        self.keeps_wine_programs = data["keeps_wine_programs"]
        self.display = Display.of_record(data["display"]) if data.get("display") else None
        self.holder = Child.of_record(data["holder"]) if data.get("holder") else None
        self.keeper, self._input = None, None
        self.own = set(data.get("own", []))
        self.env = dict(wine_env(self.arch), WINEPREFIX=str(self.prefix))
        self.env.pop("DISPLAY", None)
        if self.display:
            self.env["DISPLAY"] = self.display.name
        return self

    def _save(self) -> None:
        if self.record_path is None:
            return
        data = {"prefix": str(self.prefix), "arch": self.arch, "screen": list(self.screen),
                "as_user": self.as_user, "keeps_wine_programs": self.keeps_wine_programs,
                "detached": self.detached, "own": sorted(self.own),
                "display": self.display.record() if self.display else None,
                "holder": self.holder.record() if self.holder else None}
        written = self.record_path.with_name(self.record_path.name + ".new")
        written.write_text(json.dumps(data) + "\n")
        os.replace(written, self.record_path)  # whole, never half-written

    def mark_own(self) -> None:
        """Takes the prefix's processes now as the session's own: what runs in it later belongs to
        what was run (but Wine's own programs, with keeps_wine_programs)."""
        self.own = set(self.wine_pids())
        self._save()

    def alive(self) -> bool:
        """Whether the keeper, and with it the warm wineserver, still runs (in the program that
        started the session)."""
        return self.keeper is not None and self.keeper.running()

    def command(self, *args: str) -> list:
        return [*(AS_USER if self.as_user else []), "wine", *args]

    def run(self, *args: str, check: bool = True, timeout_s: float = 20) -> subprocess.CompletedProcess:
        """Runs a Windows program in the session to its end, its output captured."""
        return subprocess.run(self.command(*args), env=self.env, capture_output=True,
                              timeout=timeout_s * TIME_SCALE, check=check)

    def start(self, *args: str, env: Optional[dict] = None, **popen_args) -> subprocess.Popen:
        """Starts a Windows program in the session; `env` is added to the session's."""
        return subprocess.Popen(self.command(*args), env=dict(self.env, **(env or {})), **popen_args)

    def wine_pids(self) -> list:
        """The Unix processes of this prefix: wineserver and every Windows program."""
        return prefix_pids(self.prefix)

    def is_own(self, pid: int) -> bool:
        """wineserver, Wine's services and desktop, and the keeper: the session's, not a run's."""
        return pid in self.own or (self.keeps_wine_programs and is_wine_own(pid))

    def end_programs(self) -> None:
        """Ends what a run left running (an installer it started, say), not the session's own."""
        kill_pids(pid for pid in self.wine_pids() if not self.is_own(pid))

    def end(self) -> None:
        """Ends the prefix's every process and its display."""
        if self.holder is not None:
            self.holder.kill()
        if self._input is not None:
            os.close(self._input)
            self._input = None
        try:
            kill_wineserver(self.env)
        except subprocess.TimeoutExpired:
            pass
        kill_pids(self.wine_pids())
        if self.keeper is not None:
            self.keeper.kill()
        if self.display is not None:
            self.display.stop()
