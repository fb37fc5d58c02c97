"""The end-to-end bench's public face: what test files, scripts/demo.py and bench/measure-unpack
use of the Wine rig (tests/e2e/rig/, whose modules say how each part works). It runs the real
launcher under Wine on a virtual X display and records what a user would see and what it leaves
on disk; the cases of one kind in one test program share a running Wine prefix.

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

harness.main() reads the bench's options (rig.cli), then runs unittest with the rest.
Bench.run_case(name, **options) -> Result runs a case (rig.case.CaseOptions: the launcher, the
screen, setup and after callables, the Windows version, folders, answers, time limits,
screenshots, what to inspect, arch, elevation). Bench.make_variant(name, payload=PATH |
delete_payload=True) gives a copy of the launcher with its payload resource replaced or removed;
Bench.pack(name, {file name: bytes}) makes an archive with the packer, for such a payload;
Bench.wine(*args) runs a Windows program (given Unix paths through Z:) in the running 32-bit
prefix, outside any case.
"""

from rig.bench import Bench, SharedPrefix
from rig.case import CaseContext, CaseOptions, Result
from rig.cli import bench, main
from rig.product import EXE_NAME, REPO_ROOT, SETUP_RECORD, STAGED_NAME
from rig.staged import Snapshot
from rig.timing import TIME_SCALE, filetime_now, wait_for
from rig.watcher import POLL_MS
from rig.window_log import BOX_CLASS, Box, Process, WatchLog, Window, read_watch_log
from rig.wine import AS_USER, kill_wineserver
from rig.winpath import unix_to_windows, windows_to_unix

__all__ = ["AS_USER", "BOX_CLASS", "Bench", "Box", "CaseContext", "CaseOptions", "EXE_NAME", "POLL_MS",
           "Process", "REPO_ROOT", "Result", "SETUP_RECORD", "STAGED_NAME", "SharedPrefix", "Snapshot",
           "TIME_SCALE", "WatchLog", "Window", "bench", "filetime_now", "kill_wineserver", "main",
           "read_watch_log", "unix_to_windows", "wait_for", "windows_to_unix"]
