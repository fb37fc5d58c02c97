"""The launcher's foundation end to end, under Wine on a virtual display: the platform refusal,
the working folders and their clean-up, and the staged archive, each case on a fresh drive C."""

import functools
import os
import subprocess
import unittest

import pefile

import harness

CAPTION = "Tarnby TarLoom64 Setup"
BASE = "C:\\Tarnby Setup"
PRODUCT = "C:\\Tarnby Setup\\TarLoom64"
STAGED = "Bulktemp.eek"
# The boxes that end a run early; any of them in a run that should go through is a fault.
FAILURE_TEXTS = ("Win98 No Support", "Unable to create ", "Resource Not Found!",
                 "Could Not Create Progress Thread")
# The closing notice's caption: its box shows that a run went on to its end.
NOTICE_CAPTION = "Tarnby TarLoom64 Setup Message"
LEFTOVER = b"leftover of an earlier run, not an archive\r\n"
READ_ONLY, HIDDEN, SYSTEM, DIRECTORY = 0x1, 0x2, 0x4, 0x10


def unable_to_create(folder):
    return 'Unable to create "' + folder + '" !'


@functools.lru_cache(maxsize=None)
def light_launcher() -> tuple:
    """(the launcher with the sample payload less its patterns file, that payload): most cases
    here are about folders and the staged archive, which do not need the 18 MB of patterns that
    take seconds to unpack under emulation."""
    bench = harness.bench()
    archive = bench.inputs / "light.eek"  # made by the build: tests/e2e/light_payload.py
    if not archive.exists():
        raise FileNotFoundError(f"{archive} is missing: build the windows preset")
    return bench.make_variant("light.exe", payload=archive), archive.read_bytes()


class Case(unittest.TestCase):
    """One launcher run per test class, shared by its tests."""

    options: dict = {}
    # The launcher as shipped, with all of its payload, or else the light one.
    shipped = False

    @classmethod
    def setUpClass(cls):
        cls.bench = harness.bench()
        cls.payload = cls.bench.payload.read_bytes()
        cls.downloads = cls.bench.user_folder("Downloads")
        cls.leftover = cls.downloads + "\\" + STAGED
        options = cls.make_options()
        if not cls.shipped and "launcher" not in options:
            options["launcher"], cls.payload = light_launcher()
        cls.result = cls.bench.run_case(cls.name, **options)

    @classmethod
    def make_options(cls):
        return dict(cls.options)

    @classmethod
    def leftover_options(cls, data, attributes):
        """A run that finds `data` as a leftover "Bulktemp.eek" with these attribute letters,
        whose attributes are read back after the run."""
        def setup(ctx):
            ctx.write(cls.leftover, data)
            ctx.set_attributes(cls.leftover, attributes)

        return dict(setup=setup, inspect=[cls.leftover])

    def assertRanThrough(self):
        """Exit code 1 and none of the boxes that end a run early."""
        result = self.result
        self.assertFalse(result.timed_out, result.describe())
        self.assertEqual(result.exit_code, 1, result.describe())
        failures = [b.text for b in result.boxes if b.text.startswith(FAILURE_TEXTS)]
        self.assertEqual(failures, [], result.describe())

    def assertOnlyBox(self, text, caption):
        """The run showed exactly one box: `text` under `caption`, OK alone, no icon, no owner,
        not topmost."""
        boxes = self.result.boxes
        self.assertEqual([(b.caption, b.text) for b in boxes], [(caption, text)], self.result.describe())
        box = boxes[0]
        self.assertEqual(box.buttons, ["OK"])
        self.assertFalse(box.has_icon)
        self.assertFalse(box.topmost)
        self.assertEqual(box.window.last["owner"], "0x0")
        self.assertIsNotNone(box.answered_t, "the box was never up to be answered")

    def staged_in(self, winfolder):
        self.assertIsNotNone(self.result.staged, self.result.staged_error)
        folder = self.result.path(winfolder)
        return [s for s in self.result.staged if s.folder == folder]

    def assertStagedPayloadIn(self, winfolder):
        """The launcher wrote the payload, byte for byte, as Bulktemp.eek in `winfolder` and
        nowhere else that was watched, and it is gone after the run. (The unpacking opens the
        file for writing too, so there may be more than one snapshot; each must be the payload.)"""
        self.assertIsNotNone(self.result.staged, self.result.staged_error)
        self.assertEqual({s.folder for s in self.result.staged}, {self.result.path(winfolder)},
                         "not staged, or staged in another folder")
        for snapshot in self.result.staged:
            self.assertEqual(snapshot.size, len(self.payload))
            self.assertTrue(snapshot.data() == self.payload, f"{snapshot.copy} differs from the payload")
        self.assertFalse(self.result.exists(winfolder + "\\" + STAGED), "staged archive left behind")

    def assertInstalled(self):
        """The sample payload's setup.exe is in the product folder, as packed."""
        setup = self.result.path(PRODUCT + "\\SETUP.EXE")
        self.assertTrue(setup.is_file(), self.result.describe())
        self.assertEqual(setup.read_bytes()[:2], b"MZ")
        self.assertNotEqual(setup.read_bytes(), b"MZ not ours")

    def assertNothingStaged(self):
        self.assertIsNotNone(self.result.staged, self.result.staged_error)
        self.assertEqual(self.result.staged, [])


class NormalRun(Case):
    """The shipped launcher, started with arguments that might mean something to another
    installer: they change nothing."""

    name = "normal-run"
    shipped = True
    options = dict(inspect_security=[BASE, PRODUCT], args=("/S", "/D=C:\\Elsewhere", "--extract-only"))

    def test_runs_through_with_exit_code_1(self):
        self.assertRanThrough()
        self.assertFalse(self.result.exists("C:\\Elsewhere"))

    def test_makes_both_folders(self):
        self.assertTrue(self.result.path(BASE).is_dir())
        self.assertTrue(self.result.path(PRODUCT).is_dir())

    def test_stages_the_payload_byte_for_byte_in_the_current_folder_and_removes_it(self):
        self.assertStagedPayloadIn(self.downloads)
        self.assertFalse(self.result.exists(PRODUCT + "\\" + STAGED))

    def test_both_folders_are_made_for_this_user_and_the_system_alone(self):
        # What Wine keeps of the protected list: SYSTEM and the user, and no Everyone entry,
        # which a folder made with the default security has.
        for folder in (BASE, PRODUCT):
            sddl = self.result.security.get(folder, "")
            self.assertIn(";;;SY)", sddl, folder)
            self.assertNotIn(";;;WD)", sddl, folder)


class PlatformRefusal(Case):
    """Windows 98 as Wine reports it to the launcher alone."""

    name = "win98-refusal"

    @classmethod
    def make_options(cls):
        def setup(ctx):
            ctx.write(cls.leftover, LEFTOVER)

        return dict(windows_version="win98", setup=setup)

    def test_shows_win98_no_support_with_the_system_caption_and_exits_255(self):
        self.assertFalse(self.result.timed_out, self.result.describe())
        self.assertEqual(self.result.exit_code, 255, self.result.describe())
        # No caption of its own: the system's default one.
        self.assertOnlyBox("Win98 No Support", "Error")

    def test_does_nothing_else(self):
        self.assertFalse(self.result.exists(BASE))
        self.assertNothingStaged()
        # Not even the leftover staged archive is touched.
        self.assertEqual(self.result.path(self.leftover).read_bytes(), LEFTOVER)
        shown = {w.cls for w in self.result.windows.values() if not w.initial and w.visible_t is not None}
        self.assertEqual(shown, {"#32770"})


class HiddenBaseFolder(Case):
    """A hidden folder counts as missing, although it exists."""

    name = "hidden-base-folder"

    @classmethod
    def make_options(cls):
        def setup(ctx):
            ctx.mkdir(BASE)
            ctx.set_attributes(BASE, "h")
            ctx.write(cls.leftover, LEFTOVER)

        return dict(setup=setup, inspect=[BASE])

    def test_ends_with_unable_to_create_naming_the_base_folder(self):
        self.assertEqual(self.result.exit_code, 1, self.result.describe())
        self.assertOnlyBox(unable_to_create(BASE), CAPTION)

    def test_goes_no_further(self):
        self.assertFalse(self.result.exists(PRODUCT))
        self.assertNothingStaged()
        self.assertEqual(self.result.attributes[BASE] & (HIDDEN | DIRECTORY), HIDDEN | DIRECTORY)

    def test_leftover_staged_archive_was_removed_first(self):
        self.assertFalse(self.result.exists(self.leftover))


class FileNamedLikeTheBaseFolder(Case):
    """A plain file "Tarnby Setup" passes the base folder's test; the product folder cannot be
    made inside it."""

    name = "file-named-base-folder"
    content = b"a plain file, not a folder\r\n"

    @classmethod
    def make_options(cls):
        return dict(setup=lambda ctx: ctx.write(BASE, cls.content))

    def test_ends_with_unable_to_create_naming_the_product_folder(self):
        self.assertEqual(self.result.exit_code, 1, self.result.describe())
        self.assertOnlyBox(unable_to_create(PRODUCT), CAPTION)

    def test_leaves_the_file_and_stages_nothing(self):
        self.assertTrue(self.result.path(BASE).is_file())
        self.assertEqual(self.result.path(BASE).read_bytes(), self.content)
        self.assertNothingStaged()


class PlainLeftover(Case):
    name = "leftover-plain"

    @classmethod
    def make_options(cls):
        return dict(setup=lambda ctx: ctx.write(cls.leftover, LEFTOVER))

    def test_is_replaced_by_the_payload_and_removed(self):
        self.assertRanThrough()
        self.assertStagedPayloadIn(self.downloads)


class ReadOnlyLeftover(Case):
    """A read-only leftover can be neither deleted nor overwritten: it stays as it was and the
    run goes on without a word."""

    name = "leftover-read-only"

    @classmethod
    def make_options(cls):
        return cls.leftover_options(LEFTOVER, "r")

    def test_runs_through(self):
        self.assertRanThrough()

    def test_leftover_stays_unchanged_and_read_only(self):
        self.assertEqual(self.result.path(self.leftover).read_bytes(), LEFTOVER)
        self.assertNothingStaged()
        self.assertEqual(self.result.attributes[self.leftover] & READ_ONLY, READ_ONLY)


class PlantedReadOnlyArchive(Case):
    """A read-only "Bulktemp.eek" that is a valid archive, left in the downloads folder by
    someone else: the staging cannot overwrite it, and its entries must not be installed (nor
    its setup.exe started). The unpacking reads the program's own payload, so the run installs
    ours all the same."""

    name = "leftover-read-only-archive"

    @classmethod
    def make_options(cls):
        archive = cls.bench.pack("planted", {"setup.exe": b"MZ not ours", "planted.txt": b"not ours"})
        cls.planted = archive.read_bytes()
        return cls.leftover_options(cls.planted, "r")

    def test_runs_through(self):
        self.assertRanThrough()

    def test_our_payload_is_installed_and_nothing_of_the_planted_archive(self):
        self.assertInstalled()
        self.assertFalse(self.result.exists(PRODUCT + "\\PLANTED.TXT"))
        self.assertEqual(self.result.path(self.leftover).read_bytes(), self.planted)


class HiddenLeftover(Case):
    """A hidden leftover is not seen by the listing, so neither removal deletes it, and the
    staging, which only ever makes the file new, leaves it as it was."""

    name = "leftover-hidden"

    @classmethod
    def make_options(cls):
        return cls.leftover_options(LEFTOVER, "h")

    def test_runs_through_and_the_leftover_stays_hidden_and_unwritten(self):
        self.assertRanThrough()
        self.assertTrue(self.result.exists(self.leftover), "hidden leftover was deleted")
        self.assertEqual(self.result.attributes[self.leftover] & HIDDEN, HIDDEN)
        self.assertEqual(self.result.path(self.leftover).read_bytes(), LEFTOVER)
        self.assertNothingStaged()

    def test_the_payload_is_installed_all_the_same(self):
        # The unpacking reads the program's own resource, not the staged file.
        self.assertInstalled()


class PlantedStagedName(Case):
    """A link planted as "Bulktemp.eek" in the start folder, pointing at a hidden file of the
    user's: the link reads as hidden, so the delete passes it over, and a staging that opened
    the name would overwrite that file with the payload. The staging makes its file new or not
    at all: the link and the file stay as they were, and the payload is installed from the
    program's own resource."""

    name = "staged-name-planted"
    target = "Documents\\precious.dat"
    precious = b"the user's own file\r\n"

    @classmethod
    def make_options(cls):
        cls.target_path = cls.bench.user_folder(cls.target)

        def setup(ctx):
            ctx.write(cls.target_path, cls.precious)
            ctx.set_attributes(cls.target_path, "h")
            ctx.path(cls.leftover).symlink_to(ctx.path(cls.target_path))

        return dict(setup=setup)

    def test_nothing_is_written_through_the_link_and_the_run_goes_on(self):
        self.assertRanThrough()
        self.assertEqual(self.result.path(self.target_path).read_bytes(), self.precious)
        self.assertTrue(self.result.path(self.leftover).is_symlink())
        self.assertNothingStaged()
        self.assertInstalled()


class OtherCurrentFolder(Case):
    """Started from a prompt elsewhere: the staged archive lives in that current folder, not
    beside the program."""

    name = "other-current-folder"
    current = "C:\\Work\\Elsewhere"

    @classmethod
    def make_options(cls):
        def setup(ctx):
            ctx.write(cls.leftover, LEFTOVER)

        return dict(setup=setup, cwd=cls.current)

    def test_stages_and_removes_the_archive_in_the_current_folder(self):
        self.assertRanThrough()
        self.assertStagedPayloadIn(self.current)

    def test_leaves_the_program_folder_alone(self):
        self.assertEqual(self.staged_in(self.downloads), [])
        self.assertEqual(self.result.path(self.leftover).read_bytes(), LEFTOVER)


class UnwritableCurrentFolder(Case):
    """The staged archive cannot be written (a CD, a share): nothing is reported, and the
    payload, read from the program's own resource, is installed all the same."""

    name = "unwritable-current-folder"
    current = "C:\\Locked"

    @classmethod
    def make_options(cls):
        def setup(ctx):
            # No write rights for the user (the Unix mode: a folder's read-only attribute means
            # nothing to Windows).
            ctx.mkdir(cls.current).chmod(0o555)

        return dict(setup=setup, cwd=cls.current)

    def test_runs_to_the_end_without_a_failure_box(self):
        self.assertRanThrough()
        self.assertIn(NOTICE_CAPTION, [b.caption for b in self.result.boxes], self.result.describe())

    def test_nothing_staged_but_the_payload_installed(self):
        self.assertNothingStaged()
        self.assertEqual(sorted(p.name for p in self.result.path(self.current).iterdir()), [])
        self.assertInstalled()


class ReadOnlySetupLeftBehind(Case):
    """A read-only SETUP.EXE left in the product folder (the clean-up keeps read-only files):
    the payload's setup.exe replaces it, and that is the one started."""

    name = "read-only-setup-left-behind"

    @classmethod
    def make_options(cls):
        def setup(ctx):
            ctx.write(PRODUCT + "\\SETUP.EXE", b"MZ stale")
            ctx.set_attributes(PRODUCT + "\\SETUP.EXE", "r")

        return dict(setup=setup)

    def test_the_payloads_setup_replaces_it_and_is_started(self):
        self.assertRanThrough()
        self.assertInstalled()
        self.assertNotEqual(self.result.path(PRODUCT + "\\SETUP.EXE").read_bytes(), b"MZ stale")
        self.assertTrue(self.result.setup_record(), f"setup.exe did not run ({self.result.describe()})")


class UntrustedProductFolder(Case):
    """A product folder that everyone may change, as one made by another account would be,
    holding a hidden DLL and a subfolder: it is made this user's, emptied of all of it, and the
    run goes on. The base folder, ours, keeps its files."""

    name = "untrusted-product-folder"

    @classmethod
    def make_options(cls):
        def setup(ctx):
            ctx.write(BASE + "\\base-file.txt", b"base")
            ctx.write(PRODUCT + "\\VERSION.DLL", b"MZ planted")
            ctx.set_attributes(PRODUCT + "\\VERSION.DLL", "h")
            ctx.write(PRODUCT + "\\Sub\\PLANTED.DLL", b"MZ planted")
            ctx.secure(PRODUCT, "D:(A;OICI;FA;;;WD)")

        return dict(setup=setup, inspect_security=[PRODUCT])

    def test_is_taken_over_emptied_and_installed(self):
        self.assertRanThrough()
        self.assertIn(NOTICE_CAPTION, [b.caption for b in self.result.boxes], self.result.describe())
        self.assertFalse(self.result.exists(PRODUCT + "\\VERSION.DLL"))
        self.assertFalse(self.result.exists(PRODUCT + "\\Sub"))
        self.assertInstalled()
        self.assertNotIn(";;;WD)", self.result.security.get(PRODUCT, ""))
        self.assertEqual(self.result.path(BASE + "\\base-file.txt").read_bytes(), b"base")


class FullDrive(Case):
    """The drive fills up while unpacking: the run stops with one message naming the file and
    the system's reason, and there is no shortcut, no notice and no setup.exe started. The
    cut-off file is gone.

    The small drive is a 1 MiB file system over the user's local application data folder. One
    under C:\\Tarnby Setup would be a mount point, which, like a junction, the run never goes
    through: it cannot remove it, so it unpacks into the user's own folder, that small drive."""

    name = "full-drive"
    # Only the patterns file is larger than the 1 MiB drive.
    shipped = True

    @classmethod
    def make_options(cls):
        cls.product = cls.bench.user_folder("AppData\\Local") + "\\Tarnby Setup\\TarLoom64"

        def setup(ctx):
            for folder in (BASE, cls.bench.user_folder("AppData\\Local")):
                mounted = ctx.mkdir(folder)
                subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0755", "tmpfs", str(mounted)], check=True)
                # After the run the case's drive C, the mount with it, is in the case's folder.
                moved = harness.windows_to_unix(cls.bench.out / cls.name, folder)
                cls.addClassCleanup(subprocess.run, ["umount", "-l", str(moved)], check=False)

        return dict(setup=setup)

    def test_stops_with_one_message_naming_the_file(self):
        result = self.result
        self.assertEqual(result.exit_code, 1, result.describe())
        self.assertEqual([b.caption for b in result.boxes], [CAPTION], result.describe())
        text = result.boxes[0].text
        named = 'Unable to write "' + self.product + "\\"
        self.assertTrue(text.startswith(named), text)
        failed = text[len('Unable to write "'):text.index('": ')]
        self.assertGreater(len(text), text.index('": ') + 3, "no reason given")
        self.assertFalse(self.result.exists(failed), "the cut-off file stayed")

    def test_no_shortcut_and_nothing_started(self):
        self.assertEqual(self.result.processes_named("setup.exe"), [])
        desktop = self.result.path(self.bench.user_folder("Desktop"))
        self.assertEqual(sorted(p.name for p in desktop.iterdir() if p.suffix == ".lnk"), [])


class FullDriveAfterSetup(FullDrive):
    """The drive fills only after setup.exe is written whole (its companion, packed after it,
    does not fit): the run stops as above, and the setup.exe it wrote goes too, so that nothing
    of a broken installation can be started."""

    name = "full-drive-after-setup"

    @classmethod
    def make_options(cls):
        archive = cls.bench.pack("setup-then-large", {
            "setup.exe": cls.bench.helper("setup.exe").read_bytes(),
            "zdata.bin": os.urandom(2 << 20),  # packed after SETUP.EXE, past the 1 MiB drive
        })
        return dict(super().make_options(), launcher=cls.bench.make_variant("setup-then-large.exe", payload=archive))

    def test_the_companion_is_named_and_no_setup_is_left(self):
        text = self.result.boxes[0].text
        self.assertTrue(text.startswith('Unable to write "' + self.product + '\\ZDATA.BIN": '), text)
        self.assertFalse(self.result.exists(self.product + "\\SETUP.EXE"), "the setup.exe of a failed run stayed")


class SecondStart(Case):
    """Two starts 0.3 s apart, as an impatient double-click makes them: one run cleans, unpacks
    and starts setup.exe; the other touches nothing, starts nothing and ends with exit code 1.
    The notice is held up for a while, so the first run is still under way."""

    name = "second-start"
    options = dict(second_start_after_s=0.3, answer_delay_ms=3000, timeout_s=60)

    def test_one_run_goes_through_and_the_other_ends_with_1(self):
        result = self.result
        self.assertEqual((result.exit_code, result.second_exit_code), (1, 1), result.describe())
        # One notice, and setup.exe is started only after it: so one start of setup.exe at most.
        self.assertEqual([b.caption for b in result.boxes].count(NOTICE_CAPTION), 1, result.describe())
        self.assertTrue(result.setup_record(), f"setup.exe did not run ({result.describe()})")
        self.assertInstalled()
        # Besides the notice, only "already running" may be said (when no window was there to
        # bring to the front).
        others = {b.text for b in result.boxes if b.caption != NOTICE_CAPTION}
        self.assertLessEqual(others, {"Tarnby TarLoom64 Setup is already running."}, result.describe())


class SetupOfAnEarlierRunStillOpen(Case):
    """The installer an earlier run started is still open from the product folder when the
    launcher is started again: it says that setup is already running and nothing else, rewrites
    nothing of the folder (every file keeps its bytes and times) and starts nothing."""

    name = "setup-still-open"

    @classmethod
    def make_options(cls):
        setup_exe = cls.bench.helper("setup.exe").read_bytes()

        def setup(ctx):
            ctx.write(PRODUCT + "\\SETUP.EXE", setup_exe)
            ctx.write(PRODUCT + "\\README.TXT", b"from the earlier run")
            record = ctx.path(harness.SETUP_RECORD)
            ctx.start(PRODUCT + "\\SETUP.EXE", env={"TARLOOM_SETUP_LINGER_MS": "30000"})
            harness.wait_for(record.exists, 20, "the earlier run's setup.exe did not start")
            for path in ctx.path(PRODUCT).iterdir():
                os.utime(path, ns=(1_500_000_000_000_000_000, 1_500_000_000_000_000_000))
            cls.before = cls.folder_state(ctx.path(PRODUCT))

        return dict(setup=setup)

    @staticmethod
    def folder_state(folder):
        return {p.name: (p.read_bytes(), p.stat().st_mtime_ns) for p in folder.iterdir()}

    def test_says_already_running_and_leaves_the_folder_as_it_was(self):
        self.assertEqual(self.result.exit_code, 1, self.result.describe())
        self.assertOnlyBox("Tarnby TarLoom64 Setup is already running.", CAPTION)
        self.assertEqual(self.folder_state(self.result.path(PRODUCT)), self.before)
        self.assertEqual(self.result.processes_named("setup.exe"), [])
        self.assertNothingStaged()


class CleanUp(Case):
    """A second run: both folders exist. Plain files of the product folder go (read-only ones
    stay, and do not stop the others from going); folders, their contents, hidden and system
    files stay, and nothing of the base folder is touched."""

    name = "clean-up"
    plain = ["AAA-FIRST.TXT", "old-notes.txt", "OLD.DAT", "no-extension", "zz-last.bin"]
    archive_bit = "ARCHIVED.TXT"
    kept = {"READONLY.TXT": "r", "HIDDEN.TXT": "h", "SYSTEM.TXT": "s", "HIDDEN-RO.TXT": "hr"}

    @classmethod
    def make_options(cls):
        def setup(ctx):
            ctx.write(BASE + "\\base-file.txt", b"base")
            for name in cls.plain + [cls.archive_bit]:
                ctx.write(PRODUCT + "\\" + name, name.encode())
            ctx.set_attributes(PRODUCT + "\\" + cls.archive_bit, "a")
            for name, letters in cls.kept.items():
                ctx.write(PRODUCT + "\\" + name, name.encode())
                ctx.set_attributes(PRODUCT + "\\" + name, letters)
            ctx.write(PRODUCT + "\\Sub\\INNER.TXT", b"inner")
            ctx.write(PRODUCT + "\\Hidden Sub\\INNER.TXT", b"inner")
            ctx.set_attributes(PRODUCT + "\\Hidden Sub", "h")

        return dict(setup=setup)

    def test_runs_through(self):
        self.assertRanThrough()
        self.assertStagedPayloadIn(self.downloads)

    def test_removes_plain_files(self):
        for name in self.plain + [self.archive_bit]:
            self.assertFalse(self.result.exists(PRODUCT + "\\" + name), name)

    def test_keeps_read_only_hidden_and_system_files(self):
        for name in self.kept:
            self.assertEqual(self.result.path(PRODUCT + "\\" + name).read_bytes(), name.encode(), name)

    def test_keeps_subfolders_and_their_files(self):
        self.assertEqual(self.result.path(PRODUCT + "\\Sub\\INNER.TXT").read_bytes(), b"inner")
        self.assertEqual(self.result.path(PRODUCT + "\\Hidden Sub\\INNER.TXT").read_bytes(), b"inner")

    def test_keeps_the_base_folder_files(self):
        self.assertEqual(self.result.path(BASE + "\\base-file.txt").read_bytes(), b"base")


class NoPayloadResource(Case):
    """A launcher built without its payload: "Resource Not Found!" after the folders are made
    and the product folder emptied."""

    name = "no-payload-resource"

    @classmethod
    def make_options(cls):
        cls.variant = harness.bench().make_variant("no-payload.exe", delete_payload=True)

        def setup(ctx):
            ctx.write(PRODUCT + "\\OLD.TXT", b"old")
            ctx.write(cls.leftover, LEFTOVER)

        return dict(launcher=cls.variant, setup=setup)

    def test_variant_lacks_only_the_payload(self):
        pe = pefile.PE(str(self.variant))
        kinds = {entry.id for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries}
        self.assertNotIn(10, kinds)  # RT_RCDATA
        self.assertIn(14, kinds)  # RT_GROUP_ICON

    def test_shows_resource_not_found_and_exits_1(self):
        self.assertEqual(self.result.exit_code, 1, self.result.describe())
        self.assertOnlyBox("Resource Not Found!", CAPTION)

    def test_folders_were_made_and_emptied_and_nothing_staged(self):
        self.assertTrue(self.result.path(PRODUCT).is_dir())
        self.assertFalse(self.result.exists(PRODUCT + "\\OLD.TXT"))
        self.assertFalse(self.result.exists(self.leftover))
        self.assertNothingStaged()


if __name__ == "__main__":
    harness.main()
