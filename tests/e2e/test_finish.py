"""End-to-end cases for the end of the run: the desktop shortcut, the closing notice and the
start of setup.exe. The sample setup.exe writes down how it was started in setup-run.txt beside
itself; shortcuts are read back through the shell's own interface with the lnkread helper.

Run with /usr/bin/python3; besides the bench's options it takes --eekpack PATH (the native
packer, for the payload without setup.exe; default build/native/bin/eekpack)."""

from __future__ import annotations

import re
import subprocess
import sys
import unittest
from pathlib import Path

import harness

PRODUCT_FOLDER = r"C:\Tarnby Setup\TarLoom64"
INSTALLER = PRODUCT_FOLDER + r"\setup.exe"
SHORTCUT_FILE = "Tarnby TarLoom64 Setup.lnk"
NOTICE_CAPTION = "Tarnby TarLoom64 Setup Message"
NOTICE_TEXT = ("If the program setup screen does not come up, use the new desktop "
               "icon called 'Tarnby TarLoom64 Setup'")
ANSWER_DELAY_MS = 1500

EEKPACK = harness.REPO_ROOT / "build" / "native" / "bin" / "eekpack"


def read_shortcut(ctx: harness.CaseContext) -> dict:
    """The desktop shortcut's fields as IShellLinkW reads them, in the case's prefix after the
    run (an `after` of the bench's case)."""
    winpath = ctx.bench.user_folder("Desktop") + "\\" + SHORTCUT_FILE
    done = ctx.wine(str(ctx.bench.helper("lnkread.exe")), winpath, check=False)
    lines = done.stdout.decode("utf-8", errors="replace").splitlines()
    return dict(line.split("=", 1) for line in lines if "=" in line)


def new_lnk_files(result: harness.Result) -> list:
    """Shortcut files on drive C that the template prefix does not have."""
    def lnks(drive_c: Path) -> set:
        return {str(p.relative_to(drive_c)) for p in drive_c.rglob("*.lnk")}
    return sorted(lnks(result.drive_c) - lnks(harness.bench().template() / "drive_c"))


class FinishChecks(unittest.TestCase):
    def assert_only_the_notice(self, result: harness.Result) -> harness.Box:
        boxes = result.boxes
        self.assertEqual([(b.caption, b.text) for b in boxes], [(NOTICE_CAPTION, NOTICE_TEXT)],
                         result.describe())
        return boxes[0]

    def assert_the_runs_shortcut(self, shortcut: dict, result: harness.Result) -> None:
        self.assertEqual(shortcut.get("loaded"), "1", result.describe())
        self.assertEqual(shortcut["target"], INSTALLER)
        self.assertEqual(shortcut["working_folder"], PRODUCT_FOLDER)
        self.assertEqual(shortcut["description"], "Tarnby TarLoom64 Setup")
        self.assertEqual(shortcut["icon_path"], INSTALLER)
        self.assertEqual(shortcut["icon_index"], "0")
        self.assertEqual(shortcut["arguments"], "")
        self.assertEqual(shortcut["show_command"], "1")  # SW_SHOWNORMAL


class FullRun(FinishChecks):
    """A normal run with the sample payload, the notice answered after a while."""

    @classmethod
    def setUpClass(cls):
        cls.result = harness.bench().run_case("finish-full-run", answer_delay_ms=ANSWER_DELAY_MS,
                                              after=read_shortcut)
        cls.shortcut = cls.result.after
        cls.record = cls.result.setup_record()

    def test_exit_code_is_1(self):
        self.assertEqual(self.result.exit_code, 1, self.result.describe())

    def test_shortcut_on_the_desktop_starts_the_installer_in_the_product_folder(self):
        self.assert_the_runs_shortcut(self.shortcut, self.result)

    def test_notice_is_system_modal_with_no_owner_an_ok_button_and_no_icon(self):
        notice = self.assert_only_the_notice(self.result)
        self.assertTrue(notice.topmost)
        self.assertEqual(notice.window.shown["owner"], "0x0")
        self.assertEqual(notice.buttons, ["OK"])
        self.assertFalse(notice.has_icon)

    def test_setup_starts_only_after_the_notice_is_answered(self):
        notice = self.assert_only_the_notice(self.result)
        self.assertTrue(self.record, f"setup.exe did not run ({self.result.describe()})")
        self.assertIsNotNone(notice.answered_t)
        self.assertGreater(int(self.record["started_at"]), notice.answered_t)
        # The watcher held the box up for the delay before answering it.
        self.assertGreaterEqual(notice.answered_t - notice.visible_t, ANSWER_DELAY_MS * 10000)

    def test_setup_runs_from_the_product_folder_with_its_bare_path_and_a_normal_window(self):
        self.assertTrue(self.record, f"setup.exe did not run ({self.result.describe()})")
        # The file itself is named as unpacked (SETUP.EXE); the command line is the path as given.
        self.assertEqual(self.record["module_path"].lower(), INSTALLER.lower())
        self.assertEqual(self.record["command_line"], INSTALLER)
        self.assertEqual(self.record["current_folder"], PRODUCT_FOLDER)
        self.assertEqual(self.record["startup_flags"], "1")  # STARTF_USESHOWWINDOW
        self.assertEqual(self.record["show_window"], "1")  # SW_SHOWNORMAL
        self.assertEqual(self.record["elevated"], "0")  # a double-click's start, a standard user's


class FullRunOn64BitWindows(FullRun):
    """The same run in a 64-bit prefix, where the 32-bit launcher runs as on 64-bit Windows: the
    payload staged and unpacked, the shortcut through the 32-bit WScript.Shell of WoW64, the
    notice and the start of setup.exe. The suites' one run in such a prefix."""

    @classmethod
    def setUpClass(cls):
        cls.result = harness.bench().run_case("finish-full-run-64", answer_delay_ms=ANSWER_DELAY_MS,
                                              arch="win64", after=read_shortcut)
        cls.shortcut = cls.result.after
        cls.record = cls.result.setup_record()

    def test_payload_staged_whole_then_removed_and_setup_unpacked(self):
        payload = harness.bench().payload.read_bytes()
        self.assertTrue(self.result.staged, self.result.staged_error or "the payload was never staged")
        for snapshot in self.result.staged:
            self.assertTrue(snapshot.data() == payload, f"{snapshot.copy} differs from the payload")
        staged = self.result.staged[0]
        self.assertFalse((staged.folder / staged.name).exists(), "staged archive left behind")
        self.assertEqual(self.result.path(PRODUCT_FOLDER + "\\SETUP.EXE").read_bytes(),
                         harness.bench().helper("setup.exe").read_bytes())


class RunAsAdministrator(FinishChecks):
    """Started with "Run as administrator", the launcher's setup.exe runs elevated too, so it
    runs from the fixed folder made the administrators' own: also where C:\\Tarnby Setup is
    another account's, which a standard start leaves for the user's own folder (a folder of
    this account's that its unelevated programs could change). The other account's files in it
    stay; only its rights change. (Wine shows a folder's owner as the user whatever it is.)"""

    @classmethod
    def setUpClass(cls):
        cls.theirs = "C:\\Tarnby Setup\\their-notes.txt"
        cls.own_folder = harness.bench().user_folder("AppData\\Local") + "\\Tarnby Setup"

        def setup(ctx):
            ctx.write(cls.theirs, b"theirs")
            ctx.secure("C:\\Tarnby Setup", "D:(A;OICI;FA;;;WD)")

        cls.result = harness.bench().run_case("finish-run-as-administrator", setup=setup, elevated=True,
                                              after=read_shortcut, inspect_security=["C:\\Tarnby Setup"])
        cls.record = cls.result.setup_record()

    def test_setup_runs_elevated_from_the_fixed_folder_the_shortcut_names(self):
        self.assert_only_the_notice(self.result)
        self.assertTrue(self.record, f"setup.exe did not run there ({self.result.describe()})")
        self.assertEqual(self.record["elevated"], "1")
        self.assertEqual(self.record["module_path"].lower(), INSTALLER.lower())
        self.assertEqual(self.record["current_folder"], PRODUCT_FOLDER)
        self.assert_the_runs_shortcut(self.result.after, self.result)
        self.assertFalse(self.result.exists(self.own_folder), "the user's own folder was made")

    def test_their_files_stay_and_nobody_else_may_change_the_folder(self):
        self.assertEqual(self.result.path(self.theirs).read_bytes(), b"theirs")
        self.assertNotIn(";;;WD)", self.result.security.get("C:\\Tarnby Setup", ""))


class FixedFolderNotTheUsers(FinishChecks):
    """A mount point in the place of C:\\Tarnby Setup, which this user cannot remove: like a
    junction, the run never goes through it, and installs into the same folders under the
    user's local application data instead. The shortcut and the start name where setup.exe
    really is; what is behind the mount point stays as it was. (Wine follows a symbolic link
    when it opens one, so a mount point is the link it can show.)"""

    @classmethod
    def setUpClass(cls):
        bench = harness.bench()
        cls.folder = bench.user_folder("AppData\\Local") + "\\Tarnby Setup\\TarLoom64"
        name = "finish-fixed-folder-not-the-users"

        def setup(ctx):
            mounted = ctx.mkdir("C:\\Tarnby Setup")
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0755", "tmpfs", str(mounted)], check=True)
            cls.addClassCleanup(subprocess.run, ["umount", "-l", str(harness.windows_to_unix(
                bench.out / name, "C:\\Tarnby Setup"))], check=False)
            ctx.write("C:\\Tarnby Setup\\THESIS.DOC", b"years of work")

        cls.result = bench.run_case(name, setup=setup, after=read_shortcut)
        cls.shortcut = cls.result.after
        record = cls.result.path(cls.folder + "\\setup-run.txt")
        cls.record = dict(line.split("=", 1) for line in record.read_text(encoding="utf-8").splitlines()
                          if "=" in line) if record.exists() else {}

    def test_installs_into_the_users_own_folder_and_starts_setup_from_there(self):
        self.assert_only_the_notice(self.result)
        self.assertTrue(self.record, f"setup.exe did not run there ({self.result.describe()})")
        self.assertEqual(self.record["module_path"].lower(), (self.folder + "\\setup.exe").lower())
        self.assertEqual(self.record["current_folder"], self.folder)
        self.assertEqual(self.shortcut["target"], self.folder + "\\setup.exe")
        self.assertEqual(self.shortcut["working_folder"], self.folder)

    def test_nothing_is_reached_through_the_mount_point(self):
        behind = self.result.path("C:\\Tarnby Setup")
        self.assertEqual(sorted(p.name for p in behind.iterdir()), ["THESIS.DOC"])
        self.assertEqual((behind / "THESIS.DOC").read_bytes(), b"years of work")


class PayloadWithoutSetup(FinishChecks):
    """A payload that holds no setup.exe, in a product folder where an earlier run left a
    read-only SETUP.EXE (the clean-up keeps read-only files): the one message that there is no
    installer to start, naming it and the system's reason; no shortcut, no notice, and the
    leftover, which is not this payload's, is neither started nor removed."""

    @classmethod
    def setUpClass(cls):
        bench = harness.bench()
        work = bench.out / "_finish"
        work.mkdir(parents=True, exist_ok=True)
        files = []
        for name, text in (("readme.txt", "Read me first.\r\n"), ("Licence.txt", "Terms.\r\n" * 200)):
            (work / name).write_text(text, encoding="ascii")
            files.append(str(work / name))
        archive = work / "no-setup.eek"
        archive.unlink(missing_ok=True)
        subprocess.run([str(EEKPACK), "create", str(archive), *files], check=True, capture_output=True)
        launcher = bench.make_variant("no-setup.exe", payload=archive)
        cls.leftover = bench.helper("setup.exe").read_bytes()

        def plant(ctx: harness.CaseContext) -> None:
            ctx.write(PRODUCT_FOLDER + "\\SETUP.EXE", cls.leftover)
            ctx.set_attributes(PRODUCT_FOLDER + "\\SETUP.EXE", "r")

        cls.result = bench.run_case("finish-payload-without-setup", launcher=launcher, setup=plant)

    def test_no_installer_to_start_is_said_alone_and_exit_code_1(self):
        self.assertEqual(self.result.exit_code, 1, self.result.describe())
        boxes = [(b.caption, b.text) for b in self.result.boxes]
        self.assertEqual(len(boxes), 1, self.result.describe())
        caption, text = boxes[0]
        self.assertEqual(caption, "Tarnby TarLoom64 Setup")
        named = 'Unable to start "' + INSTALLER + '": '
        self.assertTrue(text.startswith(named) and len(text) > len(named), text)
        self.assertEqual(new_lnk_files(self.result), [])

    def test_unpacking_happened_and_the_leftover_stayed_unstarted(self):
        unpacked = {p.name for p in self.result.path(PRODUCT_FOLDER).iterdir()}
        self.assertEqual(unpacked, {"README.TXT", "LICENCE.TXT", "SETUP.EXE"}, self.result.describe())
        self.assertEqual(self.result.path(PRODUCT_FOLDER + "\\SETUP.EXE").read_bytes(), self.leftover)
        self.assertFalse(self.result.exists(harness.SETUP_RECORD), "the leftover setup.exe was started")


class DesktopCannotBeWritten(FinishChecks):
    """A plain file where the desktop folder should be: no shortcut anywhere, one message naming
    the shortcut file and the system's reason, then the notice and the installer."""

    @classmethod
    def setUpClass(cls):
        def block_desktop(ctx: harness.CaseContext) -> None:
            users = [p for p in ctx.path("C:\\users").iterdir() if p.is_dir() and p.name != "Public"]
            folder = users[0] / "Desktop"
            for item in folder.iterdir():
                item.unlink()
            folder.rmdir()
            folder.write_bytes(b"in the way of the desktop folder")

        cls.result = harness.bench().run_case("finish-desktop-not-writable", setup=block_desktop)

    def test_the_failed_shortcut_is_said_then_the_notice_and_setup_starts(self):
        self.assertEqual(self.result.exit_code, 1, self.result.describe())
        boxes = self.result.boxes
        self.assertEqual([b.caption for b in boxes], ["Tarnby TarLoom64 Setup", NOTICE_CAPTION],
                         self.result.describe())
        # The shortcut file wherever the desktop path resolves, then the system's reason.
        self.assertRegex(boxes[0].text, r'^Unable to create "[^"]*\\' + re.escape(SHORTCUT_FILE) + r'": \S')
        self.assertEqual(boxes[1].text, NOTICE_TEXT)
        self.assertEqual(new_lnk_files(self.result), [])
        record = self.result.setup_record()
        self.assertEqual(record.get("command_line"), INSTALLER, self.result.describe())
        self.assertGreater(int(record["started_at"]), boxes[1].answered_t)


# The programmatic identifier's class key: gone once WScript.Shell is unregistered.
SCRIPT_HOST_CLASS_KEY = "HKCR\\WScript.Shell\\CLSID"


class ScriptHostUnregistered(FinishChecks):
    """WScript.Shell unregistered, as where the Script Host is switched off: the shell's own link
    object makes the same shortcut, nothing is said but the notice, and setup.exe starts."""

    @classmethod
    def setUpClass(cls):
        def unregister(ctx: harness.CaseContext) -> None:
            # Seen at once by the launcher: the session's running wineserver holds the registry
            # (and `wineserver -w` would wait for the session's end).
            ctx.wine("regsvr32", "/s", "/u", "wshom.ocx")
            if ctx.wine("reg", "query", SCRIPT_HOST_CLASS_KEY, check=False).returncode == 0:
                raise RuntimeError("WScript.Shell is still registered after regsvr32 /u")

        def read_then_register_again(ctx: harness.CaseContext) -> dict:
            shortcut = read_shortcut(ctx)
            # The registry outlives the case's drive C: the session's later cases get it back.
            ctx.wine("regsvr32", "/s", "wshom.ocx")
            ctx.wine("reg", "query", SCRIPT_HOST_CLASS_KEY)
            return shortcut

        cls.result = harness.bench().run_case("finish-without-script-host", setup=unregister,
                                              after=read_then_register_again)

    def test_the_same_shortcut_then_only_the_notice_and_setup_starts(self):
        self.assertEqual(self.result.exit_code, 1, self.result.describe())
        self.assert_the_runs_shortcut(self.result.after, self.result)
        self.assert_only_the_notice(self.result)
        record = self.result.setup_record()
        self.assertEqual(record.get("command_line"), INSTALLER, self.result.describe())


def _take_own_options() -> None:
    """--eekpack is this file's own option; the rest goes to the bench and unittest."""
    global EEKPACK
    argv = sys.argv
    if "--eekpack" in argv:
        at = argv.index("--eekpack")
        EEKPACK = Path(argv[at + 1])
        del argv[at:at + 2]


if __name__ == "__main__":
    _take_own_options()
    harness.main()
