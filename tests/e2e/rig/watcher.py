"""The watcher: boxwatch, started once in a session for every case it will run (--cases; under
emulation its start took seconds a case), told by a request file when a case starts and ends,
and followed through its log."""

from __future__ import annotations

import os
import subprocess
from pathlib import Path

from .session import Session
from .timing import TIME_SCALE, wait_for
from .window_log import WatchLog
from .winpath import unix_to_windows

# How often, in ms, the watcher looks at the windows: as often, relative to the programs' pace,
# under emulation as on a machine of its own. Each look asks the progress bar for its position,
# which the launcher must answer.
POLL_MS = max(1, round(TIME_SCALE))


class Watcher:
    """Its log, request file and error output lie beside the session's prefix."""

    def __init__(self, session: Session, boxwatch: Path):
        beside = session.prefix
        self.log = beside.with_name(beside.name + ".boxwatch.jsonl")
        self.cases_file = beside.with_name(beside.name + ".cases")
        # An earlier run's log and request must not be taken for this watcher's.
        self.log.unlink(missing_ok=True)
        self.cases_file.unlink(missing_ok=True)
        with open(beside.with_name(beside.name + ".boxwatch.err"), "wb") as errors:
            self.process = session.start(
                str(boxwatch), "--log", unix_to_windows(self.log), "--cases", unix_to_windows(self.cases_file),
                "--timeout-ms", str(int(900_000 * TIME_SCALE)), "--poll-ms", str(POLL_MS),
                stdout=subprocess.DEVNULL, stderr=errors)
        try:
            wait_for(lambda: any(e["event"] == "start" for e in WatchLog(self.log).poll().events), 20,
                     f"boxwatch did not start in {session.prefix}")
        except RuntimeError:
            self.stop()
            raise

    def _ask(self, line: str) -> None:
        ready = self.cases_file.with_suffix(".new")
        ready.write_text(line + "\n", encoding="ascii")
        os.replace(ready, self.cases_file)  # whole, never half-written

    def begin_case(self, name: str, answer: bool, answer_delay_ms: int) -> WatchLog:
        """Tells the watcher a case starts, and returns the case's part of its log once it has."""
        tail = WatchLog(self.log, case=name, offset=self.log.stat().st_size)
        self._ask(f"start {name} {int(answer)} {answer_delay_ms}")
        wait_for(lambda: tail.poll().events, 10, f"boxwatch did not start case {name} (see {self.log})")
        return tail

    def end_case(self, tail: WatchLog) -> None:
        """Tells the watcher the case has ended, and waits until it has looked a last time."""
        self._ask(f"stop {tail.case}")
        wait_for(lambda: tail.poll().stopped, 15, f"boxwatch did not stop case {tail.case} (see {self.log})")

    def stop(self) -> None:
        self.process.kill()
        self.process.wait()
