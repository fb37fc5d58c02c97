"""End-to-end cases for the unpacking and its progress window: what lands in the product folder,
how earlier files of the entries' names are handled, that unsafe entry names write nothing
outside it, and the progress window as Windows sees it.

The window is watched while the shipped launcher unpacks its sample payload on an 800 x 600
screen; a screenshot of it is kept as OUT/unpack-sample-800x600/TarLoomSelfExtractProgressDialog-1.png.
A payload of a few tens of MB (Wine's own DLLs and a nested archive, packed by the build:
tests/e2e/large_payload.py) is unpacked once, for its files.
Archives the packer refuses to write (unsafe names, a name used twice, layout 1) are written by
unpack_archive.

Run with /usr/bin/python3 (the bench's options; the packer is the bench's --eekpack)."""

from __future__ import annotations

import functools
import hashlib
import os
import re
import subprocess
import unittest
from pathlib import Path

import harness
import large_payload as large
import unpack_archive as eek

PRODUCT = "C:\\Tarnby Setup\\TarLoom64"
BASE = "C:\\Tarnby Setup"
PROGRESS_CLASS = "TarLoomSelfExtractProgressDialog"
NOTICE_CAPTION = "Tarnby TarLoom64 Setup Message"
WS_CAPTION, WS_SYSMENU, WS_THICKFRAME = 0x00C00000, 0x00080000, 0x00040000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_VISIBLE = 0x00020000, 0x00010000, 0x10000000
WS_EX_TOPMOST = 0x8
READ_ONLY, HIDDEN, SYSTEM = 0x1, 0x2, 0x4
LABEL_ID, BAR_ID = 100, 200

def work_dir() -> Path:
    folder = harness.bench().out / "_unpack"
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def digest(path: Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


@functools.lru_cache(maxsize=None)
def large_payload() -> tuple:
    """(launcher variant, {unpacked name: source file}, names inside the nested archive), from
    the archive the build made (tests/e2e/large_payload.py)."""
    made = harness.bench().inputs / "large"
    if not (made / "large.eek").exists():
        raise FileNotFoundError(f"{made / 'large.eek'} is missing: build the windows preset")
    launcher = harness.bench().make_variant("unpack-large.exe", payload=made / "large.eek")
    return launcher, {p.name.upper(): p for p in large.sources(made)}, list(large.INNER)


@functools.lru_cache(maxsize=None)
def sample_run(screen: tuple) -> harness.Result:
    """The shipped launcher on a screen of this size, its progress window photographed: one run
    serves both the sample's files and the window's checks on 800 x 600. The window stays up as
    long with the sample as with the large payload, which costs far more to unpack under
    emulation."""
    return harness.bench().run_case(f"unpack-sample-{screen[0]}x{screen[1]}", screen=screen, timeout_s=120,
                                    screenshot_classes=[PROGRESS_CLASS])


def crafted_variant(name: str, archive: bytes) -> Path:
    path = work_dir() / (name + ".eek")
    path.write_bytes(archive)
    return harness.bench().make_variant(name + ".exe", payload=path)


def product_files(result: harness.Result) -> dict:
    folder = result.path(PRODUCT)
    return {p.name: p for p in folder.iterdir()} if folder.is_dir() else {}


def event_index(result: harness.Result, kind: str, hwnd: str, t: int) -> int:
    for index, event in enumerate(result.events):
        if event["event"] == kind and event.get("hwnd") == hwnd and event["t"] == t:
            return index
    raise AssertionError(f"no {kind} event for {hwnd} at {t}")


def image_mean(png: Path, x: int, y: int, w: int, h: int) -> float:
    """Mean brightness (0 to 1) of a rectangle of a screenshot, through ImageMagick."""
    done = subprocess.run(["convert", str(png), "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                           "-format", "%[fx:mean]", "info:"], capture_output=True, text=True,
                          check=True, timeout=60 * harness.TIME_SCALE)
    return float(done.stdout.strip())


class RunChecks(unittest.TestCase):
    def assertRanThrough(self, result: harness.Result, with_setup: bool = False) -> None:
        """Exit code 1, and nothing ended the run early: the closing notice alone, or, for a
        crafted payload that holds no setup.exe, the one message that there is none to start
        (no shortcut to it, no notice)."""
        self.assertFalse(result.timed_out, result.describe())
        self.assertEqual(result.exit_code, 1, result.describe())
        boxes = [(b.caption, b.text) for b in result.boxes]
        if with_setup:
            self.assertEqual([caption for caption, _ in boxes], [NOTICE_CAPTION], result.describe())
        else:
            self.assertEqual(len(boxes), 1, result.describe())
            self.assertTrue(boxes[0][1].startswith('Unable to start "' + PRODUCT + '\\setup.exe": '), boxes[0][1])

    def assertStagedArchiveGone(self, result: harness.Result) -> None:
        self.assertIsNotNone(result.staged, result.staged_error)
        self.assertTrue(result.staged, "the archive was never staged")
        for snapshot in result.staged:
            self.assertFalse((snapshot.folder / snapshot.name).exists(),
                             f"staged archive left in {snapshot.folder}")


# ----------------------------------------------------------------------------------------------
# What lands in the product folder


class DamagedArchive(RunChecks):
    """An installer without a digest whose archive is cut inside setup.exe's stream (a download
    cut short before digests): the damage is said naming that entry, the entry's partial file is
    removed, and nothing is made of the rest: no shortcut, no notice, no start."""

    @classmethod
    def setUpClass(cls):
        setup = harness.bench().helper("setup.exe").read_bytes()
        whole = eek.record2(b"first.txt", b"unpacked before the damage\r\n" * 40) + \
            eek.record2(b"setup.exe", setup)
        launcher = crafted_variant("unpack-damaged", whole[:len(whole) - len(setup) // 2])
        cls.result = harness.bench().run_case("unpack-damaged", launcher=launcher)

    def test_damage_said_naming_the_entry_and_nothing_made_of_the_files(self):
        result = self.result
        self.assertEqual(result.exit_code, 1, result.describe())
        self.assertEqual([(b.caption, b.text) for b in result.boxes],
                         [("Tarnby TarLoom64 Setup", 'The installation files are damaged: "SETUP.EXE". '
                           "Please download Tarnby TarLoom64 Setup again.")], result.describe())
        self.assertEqual(sorted(product_files(result)), ["FIRST.TXT"])
        self.assertEqual([p for p in result.drive_c.rglob("*.lnk") if "Tarnby" in p.name], [])
        self.assertEqual(result.setup_record(), {})


class SamplePayload(RunChecks):
    """The real launcher with the payload it carries: every entry lands, byte for byte, under its
    upper-case name, and the nested archive is written as a file."""

    @classmethod
    def setUpClass(cls):
        bench = harness.bench()
        cls.entries = eek.read_archive(bench.payload.read_bytes())
        cls.result = sample_run((800, 600))

    def test_runs_through_and_removes_the_staged_archive(self):
        self.assertRanThrough(self.result, with_setup=True)
        self.assertStagedArchiveGone(self.result)

    def test_every_entry_lands_byte_identical_under_its_upper_case_name(self):
        expected = {eek.unpacked_name(e.stored_name): e.data for e in self.entries}
        files = product_files(self.result)
        # setup.exe writes down how it was started beside itself once it runs.
        files.pop("setup-run.txt", None)
        self.assertEqual(sorted(files), sorted(expected), self.result.describe())
        for name, data in expected.items():
            self.assertTrue(files[name].read_bytes() == data, f"{name} differs from its entry")

    def test_nested_archive_is_written_as_a_file(self):
        nested = [e for e in self.entries if eek.is_archive(e.data)]
        self.assertTrue(nested, "the sample payload holds no nested archive")
        for entry in nested:
            written = self.result.path(PRODUCT + "\\" + eek.unpacked_name(entry.stored_name))
            self.assertTrue(written.is_file())
            self.assertTrue(written.read_bytes() == entry.data)


class LargePayloadFiles(RunChecks):
    """Tens of MB of Windows binaries, a name in mixed case and a nested archive whose own
    entries have names found nowhere else: all land as packed, the nested one unopened."""

    @classmethod
    def setUpClass(cls):
        launcher, cls.sources, cls.inner = large_payload()
        cls.result = harness.bench().run_case("unpack-large-payload", launcher=launcher, timeout_s=180)

    def test_runs_through_and_removes_the_staged_archive(self):
        self.assertRanThrough(self.result)
        self.assertStagedArchiveGone(self.result)

    def test_stages_the_whole_payload_over_twice_the_shipped_size(self):
        # Staging takes the length from the resource, not from what the launcher shipped with.
        payload = (harness.bench().inputs / "large" / "large.eek").read_bytes()
        self.assertGreater(len(payload), 2 * harness.bench().payload.stat().st_size)
        self.assertTrue(self.result.staged, self.result.staged_error or "the archive was never staged")
        for snapshot in self.result.staged:
            self.assertTrue(snapshot.data() == payload, f"{snapshot.copy} differs from the payload")

    def test_every_file_lands_byte_identical_under_its_upper_case_name(self):
        files = product_files(self.result)
        files.pop("setup-run.txt", None)
        self.assertEqual(sorted(files), sorted(self.sources), self.result.describe())
        for name, source in self.sources.items():
            self.assertEqual(digest(files[name]), digest(source), f"{name} differs from {source}")

    def test_nested_archive_is_not_opened(self):
        self.assertEqual(digest(self.result.path(PRODUCT + "\\NESTED.EEK")),
                         digest(self.sources["NESTED.EEK"]))
        inner = {name.upper() for name in self.inner}
        found = [p for p in self.result.drive_c.rglob("*") if p.name.upper() in inner]
        self.assertEqual(found, [], "an entry of the nested archive was unpacked")


# ----------------------------------------------------------------------------------------------
# The progress window


class ProgressWindowOnScreen(RunChecks):
    """The progress window during the sample's unpacking, recorded from outside on one screen."""

    screen = (800, 600)

    @classmethod
    def setUpClass(cls):
        cls.result = sample_run(cls.screen)
        cls.windows = cls.result.windows_of_class(PROGRESS_CLASS)

    def window(self) -> harness.Window:
        self.assertEqual(len(self.windows), 1, f"progress windows seen: {len(self.windows)} "
                                               f"({self.result.describe()})")
        window = self.windows[0]
        self.assertIsNotNone(window.shown, "the progress window never showed")
        return window

    def states_with_controls(self, visible_only: bool = False) -> list:
        """States that show both controls (a window being destroyed loses its children one by
        one, first of all)."""
        def both(state):
            return {c["id"] for c in state["children"]} >= {LABEL_ID, BAR_ID}
        states = [s for s in self.window().states if both(s) and (s["visible"] or not visible_only)]
        self.assertTrue(states, "the progress window was never seen with its controls")
        return states

    @staticmethod
    def control(state: dict, control_id: int) -> dict:
        matches = [c for c in state["children"] if c["id"] == control_id]
        if len(matches) != 1:
            raise AssertionError(f"{len(matches)} controls with id {control_id}: {state['children']}")
        return matches[0]

    def test_run_goes_through(self):
        self.assertRanThrough(self.result, with_setup=True)

    def test_class_caption_and_style_of_an_ordinary_window_without_system_menu(self):
        shown = self.window().shown
        self.assertEqual(shown["caption"], "Extracting Files...")
        self.assertEqual(shown["owner"], "0x0")
        style = shown["style"]
        self.assertEqual(style & WS_CAPTION, WS_CAPTION)
        self.assertEqual(style & WS_VISIBLE, WS_VISIBLE)
        # No system menu means no close box; nor sizing border, minimise or maximise box.
        self.assertEqual(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0,
                         hex(style))
        self.assertEqual(shown["exstyle"] & WS_EX_TOPMOST, 0, hex(shown["exstyle"]))

    # Where the window and its controls are on each worked screen size is the progress window's
    # own test (tests/win/progress), held there to the layout's functions.
    def test_window_holds_the_label_and_the_bar(self):
        for state in self.states_with_controls(visible_only=True):
            left, top, right, bottom = state["rect"]
            for control_id, cls in ((LABEL_ID, "static"), (BAR_ID, "msctls_progress32")):
                child = self.control(state, control_id)
                self.assertEqual(child["class"].lower(), cls)
                x0, y0, x1, y1 = child["rect"]
                self.assertTrue(0 <= x0 < x1 <= right - left and 0 <= y0 < y1 <= bottom - top,
                                f"control {control_id} at {child['rect']} outside the window {state['rect']}")

    def test_label_shows_rising_percentages(self):
        texts = self.window().child_texts("Static")
        if texts and texts[0] == "":
            texts = texts[1:]  # the label is empty until the first whole percent
        numbers = []
        for text in texts:
            match = re.fullmatch(r" ([1-9][0-9]*) %", text)
            self.assertIsNotNone(match, f"label text {text!r}")
            numbers.append(int(match.group(1)))
        self.assertGreaterEqual(len(numbers), 3, f"too few label texts seen to follow: {texts}")
        self.assertEqual(numbers, sorted(set(numbers)), "percentages do not rise")
        self.assertLessEqual(numbers[-1], 100)

    def test_caption_is_set_before_the_first_percentage(self):
        for state in self.states_with_controls():
            if self.control(state, LABEL_ID)["text"]:
                self.assertEqual(state["caption"], "Extracting Files...")

    def test_bar_positions_never_go_back(self):
        positions = [self.control(s, BAR_ID)["pos"] for s in self.states_with_controls()]
        positions = [p for p in positions if p >= 0]  # -1: the control did not answer in time
        self.assertTrue(positions)
        self.assertEqual(positions, sorted(positions))
        self.assertLessEqual(positions[-1], 100)

    def test_window_is_gone_before_the_closing_notice_appears(self):
        window = self.window()
        self.assertIsNotNone(window.gone_t, "the progress window never went away")
        notices = [b for b in self.result.boxes if b.caption == NOTICE_CAPTION]
        self.assertEqual(len(notices), 1, self.result.describe())
        gone = event_index(self.result, "gone", window.hwnd, window.gone_t)
        notice = event_index(self.result, "seen", notices[0].hwnd, notices[0].seen_t)
        self.assertLess(gone, notice)

    def test_screenshot_shows_the_window(self):
        self.assertEqual(len(self.result.screenshots), 1, "no screenshot of the progress window")
        shot = self.result.screenshots[0]
        left, top, right, bottom = self.states_with_controls(visible_only=True)[-1]["rect"]
        x, y, w, h = left, top, right - left, bottom - top
        # The window is drawn in light system colours on the bare black root of the display.
        self.assertGreater(image_mean(shot, x, y, w, h), 0.5, shot)
        self.assertLess(image_mean(shot, 0, 0, x, self.screen[1]), 0.05, shot)


# ----------------------------------------------------------------------------------------------
# Earlier files of the entries' names


OLD = b"left by an earlier install, longer than what replaces it\r\n" * 40


def new(name: str) -> bytes:
    return f"{name} as this payload carries it\r\n".encode("ascii") * 7


class EarlierFiles(RunChecks):
    """Files already there under entries' names. Plain ones are gone before the unpacking (the
    clean-up); hidden, system and read-only ones survive it and meet the unpacking, as do the
    files of a name the archive carries twice. Each is deleted as itself and replaced by a new
    file of its entry, a read-only one included (it would otherwise be the file that is
    started). Hard links outside the product folder tell a file written in place from one
    deleted and made anew, and keep their file's attributes."""

    LINKS = "C:\\links"
    # (entry name, attributes letters, earlier content), or no attributes for a plain file
    EARLIER = (
        ("plain.txt", "", OLD),
        ("hidden-empty.txt", "h", b""),
        ("hidden.txt", "h", OLD),
        ("system.txt", "s", OLD),
        ("read-only.txt", "r", OLD),
        ("read-only-empty.txt", "r", b""),
    )

    @classmethod
    def setUpClass(cls):
        records = [eek.record2(b"read-only.txt", new("read-only.txt")),
                   eek.record2(b"twice.txt", OLD),
                   eek.record2(b"TWICE.TXT", new("twice.txt")),
                   eek.record2(b"empty-first.txt", b""),
                   eek.record2(b"empty-first.txt", new("empty-first.txt"))]
        records += [eek.record2(name.encode(), new(name)) for name, _, _ in cls.EARLIER
                    if name != "read-only.txt"]
        records.append(eek.record2(b"last.txt", new("last.txt")))
        launcher = crafted_variant("unpack-earlier-files", b"".join(records))

        def setup(ctx: harness.CaseContext) -> None:
            ctx.mkdir(cls.LINKS)
            for name, letters, content in cls.EARLIER:
                path = ctx.write(cls.product(name), content)
                os.link(path, ctx.path(cls.link(name)))
                if letters:
                    ctx.set_attributes(cls.product(name), letters)

        cls.result = harness.bench().run_case(
            "unpack-earlier-files", launcher=launcher, setup=setup,
            inspect=[cls.product(name) for name, _, _ in cls.EARLIER] + [cls.link("read-only.txt")])

    @staticmethod
    def product(name: str) -> str:
        return PRODUCT + "\\" + name.upper()

    @classmethod
    def link(cls, name: str) -> str:
        return cls.LINKS + "\\" + name

    def content(self, name: str) -> bytes:
        return self.result.path(self.product(name)).read_bytes()

    def linked(self, name: str) -> bytes:
        return self.result.path(self.link(name)).read_bytes()

    def attributes(self, name: str) -> int:
        return self.result.attributes[self.product(name)]

    def test_runs_through_to_the_last_entry(self):
        self.assertRanThrough(self.result)
        self.assertEqual(self.content("last.txt"), new("last.txt"))

    def test_plain_earlier_file_is_replaced_not_written_into(self):
        self.assertEqual(self.content("plain.txt"), new("plain.txt"))
        self.assertEqual(self.linked("plain.txt"), OLD)

    def test_name_carried_twice_ends_with_the_second_entry_alone(self):
        # The first entry's file has more content than the second: a file written into rather
        # than replaced would keep its tail.
        self.assertEqual(self.content("twice.txt"), new("twice.txt"))

    def test_empty_entry_then_the_same_name_with_content(self):
        self.assertEqual(self.content("empty-first.txt"), new("empty-first.txt"))

    def test_hidden_system_or_empty_file_is_replaced_by_a_new_file_not_written_into(self):
        for name, flag, earlier in (("hidden-empty.txt", HIDDEN, b""), ("hidden.txt", HIDDEN, OLD),
                                    ("system.txt", SYSTEM, OLD)):
            with self.subTest(name):
                self.assertEqual(self.content(name), new(name))
                self.assertEqual(self.linked(name), earlier, "written in place")
                self.assertEqual(self.attributes(name) & flag, 0)

    def test_read_only_file_is_replaced_by_its_entry(self):
        for name in ("read-only.txt", "read-only-empty.txt"):
            with self.subTest(name):
                self.assertEqual(self.content(name), new(name))
                self.assertEqual(self.attributes(name) & READ_ONLY, 0)
        # The read-only bit is the file's: its other name keeps it, and its bytes.
        self.assertEqual(self.linked("read-only.txt"), OLD)
        self.assertEqual(self.result.attributes[self.link("read-only.txt")] & READ_ONLY, READ_ONLY)


# ----------------------------------------------------------------------------------------------
# Names that are not plain file names


def drive_c_files(drive_c: Path) -> dict:
    """{path inside drive C: (size, mtime)}; relative, since a case's drive C is moved into its
    folder once it has run."""
    files = {}
    for root, _, names in os.walk(drive_c):
        for name in names:
            path = Path(root) / name
            try:
                stat = path.stat()
            except OSError:
                continue  # a dangling link
            files[path.relative_to(drive_c)] = (stat.st_size, stat.st_mtime_ns)
    return files


class UnsafeNamesChecks:
    """Entries whose names would reach outside the product folder, or name a device, between
    plain ones. Each unsafe entry carries a marker found nowhere else."""

    case = ""
    archive_of = None  # (records of (stored name, data)) -> archive bytes
    layout2 = True
    unsafe: tuple = ()
    plain: tuple = ()

    @classmethod
    def marker(cls, index: int) -> bytes:
        return f"UNSAFE-ENTRY-{cls.case}-{index}|".encode("ascii") * 30

    @classmethod
    def entries(cls) -> list:
        unsafe = [(name, cls.marker(i)) for i, name in enumerate(cls.unsafe)]
        plain = [(name, new(name.decode("latin-1"))) for name in cls.plain]
        mixed = []
        for i in range(max(len(unsafe), len(plain))):
            mixed += plain[i:i + 1] + unsafe[i:i + 1]
        return mixed + plain[len(unsafe):]

    @classmethod
    def setUpClass(cls):
        launcher = crafted_variant(cls.case, cls.archive_of(cls.entries()))
        cls.before = {}

        def setup(ctx: harness.CaseContext) -> None:
            ctx.write(BASE + "\\BASE.TXT", OLD)
            cls.before = drive_c_files(ctx.prefix / "drive_c")

        cls.result = harness.bench().run_case(cls.case, launcher=launcher, setup=setup)

    def test_runs_through(self):
        self.assertRanThrough(self.result)

    def test_plain_entries_land_and_nothing_else_is_in_the_product_folder(self):
        expected = {eek.unpacked_name(name, self.layout2): data for name, data in self.entries()
                    if name in self.plain}
        files = product_files(self.result)
        self.assertEqual(sorted(files), sorted(expected), self.result.describe())
        for name, data in expected.items():
            self.assertEqual(files[name].read_bytes(), data, name)

    def test_nothing_outside_the_product_folder_is_written(self):
        product = self.result.path(PRODUCT).relative_to(self.result.drive_c)
        after = drive_c_files(self.result.drive_c)
        touched = [p for p, state in after.items()
                   if product not in p.parents and self.before.get(p) != state]
        # Not even the desktop shortcut: the payload holds no SETUP.EXE to point it to.
        created = [p for p in touched if p not in self.before]
        self.assertEqual(created, [])
        markers = [self.marker(i)[:40] for i in range(len(self.unsafe))]
        for path in touched:
            data = (self.result.drive_c / path).read_bytes()
            self.assertFalse(any(m in data for m in markers), f"an unsafe entry reached {path}")
        self.assertEqual(self.result.path(BASE + "\\BASE.TXT").read_bytes(), OLD)
        # Beyond drive C: the case folder is reachable as Z:, and a device writes to the log.
        outside = [p for p in self.result.case_dir.iterdir() if p.name.upper() == "OUTSIDE.TXT"]
        self.assertEqual(outside, [])
        log = (self.result.case_dir / "wine.log").read_bytes()
        self.assertFalse(any(m in log for m in markers), "an unsafe entry reached the console")


def outside_name() -> bytes:
    """An absolute name of a file in the case folder, through Wine's Z: drive."""
    return harness.unix_to_windows(harness.bench().out / "unpack-unsafe-names" / "outside.txt").encode()


class UnsafeNames(UnsafeNamesChecks, RunChecks):
    case = "unpack-unsafe-names"
    unsafe = (b"..\\evil.txt", b"C:\\x.txt", b"CON", b"..\\..\\evil2.txt", b"..\\base.txt",
              b"sub\\inner.txt", b"NUL.txt", b"aux", b"..", b"a:stream.txt", b"com1.log")
    plain = (b"first.txt", b"second.txt", b" third.txt ", b"fourth.txt", b"fifth.txt", b"last.txt")

    @classmethod
    def setUpClass(cls):
        cls.unsafe = cls.unsafe + (outside_name(),)
        super().setUpClass()

    @staticmethod
    def archive_of(entries):
        return b"".join(eek.record2(name, data) for name, data in entries)


class UnsafeNamesLayout1(UnsafeNamesChecks, RunChecks):
    """The same in the 20-byte header layout, whose blank-padded names and decimal end
    positions the packer does not write by default. A leading blank stays in the name."""

    case = "unpack-unsafe-names-layout1"
    layout2 = False
    unsafe = (b"..\\evil.txt", b"C:\\x.txt", b"CON", b"..\\base.txt", b"lpt1")
    plain = (b"readme.txt", b" lead.txt", b"twelve.chars", b"last.bin")

    @staticmethod
    def archive_of(entries):
        formats = ("{:>8}", "{:<8}", "{:08d}")
        return eek.archive1([(name, data, formats[i % 3]) for i, (name, data) in enumerate(entries)])


if __name__ == "__main__":
    harness.main()
