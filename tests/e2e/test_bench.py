"""The bench itself, on a program whose behaviour is known (bench_probe): what the watcher
records, when it answers, what the screen is, and the screenshots. Other end-to-end tests rely
on each of these. And the Windows test programs' runner (scripts/wine-run in a session of
scripts/wine-session), on which every Windows unit test relies."""

import json
import os
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

import harness

# Long enough for the box to be photographed before it is answered, on a slow machine too.
ANSWER_DELAY_MS = int(700 * harness.TIME_SCALE)
TICKS_PER_MS = 10000


class BenchOnProbe(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        bench = harness.bench()
        # Each label stays 300 ms (scaled), which leaves the window up longer for its picture:
        # with both processors loaded beside the emulated machine, one of the two pictures was
        # once not taken when the labels stayed 150 ms.
        cls.result = bench.run_case("bench-probe", launcher=bench.helper("bench_probe.exe"), screen=(640, 480),
                                    answer_delay_ms=ANSWER_DELAY_MS, args=("--pump-ms", str(int(300 * harness.TIME_SCALE))),
                                    screenshot_classes=["#32770", "BenchProbeWindow"])

    def test_exit_code_of_the_program(self):
        self.assertEqual(self.result.exit_code, 42, self.result.describe())

    def test_screen_is_the_size_asked_for(self):
        start = next(e for e in self.result.events if e["event"] == "start")
        self.assertEqual(start["screen"], [640, 480])

    def test_window_rectangles_and_label_changes(self):
        [window] = self.result.windows_of_class("BenchProbeWindow")
        # As first shown: the label was made before, and a window being destroyed loses its
        # children while it is still visible.
        state = next(s for s in window.states if s["visible"])
        self.assertEqual(state["rect"], [10, 20, 210, 120])
        [label] = [c for c in state["children"] if c["id"] == 7]
        # Relative to the client area, inside the one-pixel border.
        self.assertEqual(label["rect"], [5, 5, 105, 25])
        self.assertEqual(window.child_texts("Static"), ["one", "two", "three"])
        self.assertIsNotNone(window.gone_t)

    def test_box_is_answered_after_the_delay_and_before_the_program_goes_on(self):
        [box] = self.result.boxes
        self.assertEqual((box.caption, box.text, box.buttons), ("Probe caption", "Probe text", ["OK"]))
        self.assertGreaterEqual(box.answered_t - box.visible_t, ANSWER_DELAY_MS * TICKS_PER_MS)
        returned = int(self.result.path(harness.bench().user_folder("Downloads") + "\\probe-returned.txt")
                       .read_text())
        self.assertLess(box.answered_t, returned)
        self.assertLess(self.result.started_t, box.seen_t)
        self.assertLess(returned, self.result.ended_t)

    def test_waits_for_the_programs_it_started(self):
        parent, child = self.result.processes_named(harness.EXE_NAME)
        self.assertEqual(child.parent, parent.pid)
        self.assertLess(parent.ended_t, child.ended_t)
        self.assertEqual(self.result.lingering, [])
        folder = harness.bench().user_folder("Downloads")
        self.assertTrue(self.result.exists(folder + "\\probe-child.txt"), "the child was stopped early")

    def test_screenshots_of_the_screen(self):
        log = self.result.case_dir / "screenshots.log"
        self.assertEqual(len(self.result.screenshots), 2, log.read_text() if log.exists() else "no picture judged")
        for shot in self.result.screenshots:
            header = shot.read_bytes()[:24]
            self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
            self.assertEqual(struct.unpack(">II", header[16:24]), (640, 480))


class WatchLogOfASlowMachine(unittest.TestCase):
    """On an emulated machine the watcher often reads a box while it is being destroyed, and
    gets no class for it then: the box must still count as one."""

    def test_a_box_read_half_destroyed_is_still_a_box(self):
        state = dict(hwnd="0x2005c", initial=False, caption="Notice", text="", style=0, exstyle=0,
                     visible=True, rect=[0, 0, 1, 1], client=[1, 1], children=[])
        lines = [dict(state, event="seen", t=1, **{"class": "#32770"}),
                 dict(event="answered", hwnd="0x2005c", t=2, posted=True, repeat=False),
                 dict(state, event="changed", t=3, changes=[], caption="", visible=False, **{"class": ""}),
                 dict(event="gone", hwnd="0x2005c", t=4)]
        with tempfile.TemporaryDirectory() as folder:
            log = Path(folder) / "boxwatch.jsonl"
            log.write_text("".join(json.dumps(line) + "\n" for line in lines))
            _, windows = harness.read_watch_log(log)
        result = harness.Result.__new__(harness.Result)
        result.windows = windows
        self.assertEqual([(b.caption, b.answered_t) for b in result.boxes], [("Notice", 2)])


class WindowsTestProgramRuns(unittest.TestCase):
    """A test program's exit code is passed on, or a failing one would pass; one that overruns
    its limit is stopped, its overrun record saved, and the command returns: what the program
    started in the session is ended with it (ctest waits until every holder of its pipes has
    ended)."""

    SESSION = "rig-self-test"

    @classmethod
    def setUpClass(cls):
        cls.records = harness.bench().out / "_wine-run-overruns"
        shutil.rmtree(cls.records, ignore_errors=True)
        # Not ctest's limit and overrun folder for this test file: this overrun is on purpose.
        env = {k: v for k, v in os.environ.items() if k != "TARLOOM_RUN_LIMIT"}
        env.update(TARLOOM_WINE_SESSION=cls.SESSION, TARLOOM_OVERRUN_DIR=str(cls.records), TARLOOM_SCREEN="800x600")
        scripts = harness.REPO_ROOT / "scripts"

        def run(*command, **extra):
            return subprocess.run([str(c) for c in command], env=dict(env, **extra), capture_output=True,
                                  text=True, timeout=20 * harness.TIME_SCALE)

        started = run(scripts / "wine-session", "start", cls.SESSION)
        cls.addClassCleanup(run, scripts / "wine-session", "stop", cls.SESSION)
        if started.returncode != 0:
            raise RuntimeError(f"wine-session start failed: {started.stderr}")
        cls.failing = run(scripts / "wine-run", "cmd", "/c", "exit", "3")
        # The probe waits on its message box, which nobody answers here.
        cls.overran = run(scripts / "wine-run", harness.bench().helper("bench_probe.exe"),
                          TARLOOM_RUN_LIMIT=str(int(1 * harness.TIME_SCALE)))

    def test_the_exit_code_is_passed_on(self):
        self.assertEqual(self.failing.returncode, 3, self.failing.stderr)

    def test_an_overrun_is_stopped_and_recorded(self):
        self.assertEqual(self.overran.returncode, 143, self.overran.stderr)  # stopped by SIGTERM
        record = self.records / "bench_probe-800x600"
        self.assertIn(f"what it was doing is in {record}", self.overran.stderr)
        lines = (record / "processes.txt").read_text().splitlines()
        self.assertTrue([line for line in lines if " case " in line and "bench_probe.exe" in line], lines)
        self.assertIn("Root window id", (record / "windows.txt").read_text())
        header = (record / "screen.png").read_bytes()[:24]
        self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", header[16:24]), (800, 600))


if __name__ == "__main__":
    harness.main()
