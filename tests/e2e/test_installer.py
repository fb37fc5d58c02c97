"""`eekpack installer` end to end: an installer made from a folder with the vendor's version
information, checked as a file; inputs it refuses; and the vendor's last step, signing with a
throwaway certificate authority, then running the signed installer under Wine."""

import os
import random
import shutil
import struct
import subprocess
import unittest
import zlib
from pathlib import Path

import pefile

import harness

RT_RCDATA, RT_VERSION = 10, 16
PRODUCT = "C:\\Tarnby Setup\\TarLoom64"


def stub() -> Path:
    """The linked launcher with its empty payload, beside the installer the build made."""
    return harness.bench().launcher.parent.parent / "stub" / harness.EXE_NAME


def eekpack(*args) -> subprocess.CompletedProcess:
    return subprocess.run([str(harness.bench().eekpack), *map(str, args)], capture_output=True)


def resources(path: Path) -> dict:
    """{(type, name, language): bytes} of every resource, names as ids or strings."""
    pe = pefile.PE(str(path))
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for entry in kind.directory.entries:
            name = str(entry.name) if entry.name is not None else entry.id
            for lang in entry.directory.entries:
                found[(kind.id, name, lang.id)] = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
    return found


def version_strings(path: Path) -> dict:
    pe = pefile.PE(str(path))
    strings = {}
    for info in pe.FileInfo:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


class Work:
    """A scratch folder under the bench's output, made afresh per test class."""

    def __init__(self, name: str):
        self.root = harness.bench().out / "_installer" / name
        shutil.rmtree(self.root, ignore_errors=True)
        self.root.mkdir(parents=True)

    def folder(self, name: str, files: dict) -> Path:
        folder = self.root / name
        folder.mkdir()
        for file_name, data in files.items():
            (folder / file_name).write_bytes(data)
        return folder


class InstallerFile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Work("file")
        setup = harness.bench().helper("setup.exe").read_bytes()
        cls.files = {"setup.exe": setup, "readme.txt": b"Read me.\r\n" * 50, "data.bin": bytes(range(256)) * 400}
        cls.folder = cls.work.folder("payload", cls.files)
        cls.installer = cls.work.root / "Acme Setup.exe"
        cls.made = eekpack("installer", cls.installer, cls.folder, "--stub", stub(),
                           "--set-version-string", "CompanyName", "Acme Ltd",
                           "--set-version-string", "Comments", "caf\u00e9",
                           "--set-file-version", "2.3.4.5", "--set-product-version", "2.3.0.0")

    def test_payload_is_the_folders_archive_in_name_order_with_its_digest_and_the_rest_is_the_stubs(self):
        self.assertEqual(self.made.returncode, 0, self.made.stderr)
        archive = self.work.root / "expected.eek"
        names = sorted(self.files)
        self.assertEqual(eekpack("create", archive, *(self.folder / n for n in names)).returncode, 0)
        made, original = resources(self.installer), resources(stub())
        payload = archive.read_bytes()
        self.assertEqual(made.pop((RT_RCDATA, 10, 1033)), payload)
        self.assertEqual(made.pop((RT_RCDATA, 11, 1033)), b"EKD1" + struct.pack("<II", len(payload), zlib.crc32(payload)))
        self.assertEqual(original.pop((RT_RCDATA, 10, 1033)), b"")
        made.pop((RT_VERSION, 1, 1033))
        original.pop((RT_VERSION, 1, 1033))
        self.assertEqual(made, original)  # manifest, icon group and icon unchanged

    def test_version_information_is_the_vendors_over_the_launchers(self):
        strings = version_strings(self.installer)
        self.assertEqual(strings["CompanyName"], "Acme Ltd")
        self.assertEqual(strings["Comments"], "caf\u00e9")
        self.assertEqual(strings["FileVersion"], "2.3.4.5")
        self.assertEqual(strings["ProductVersion"], "2.3.0.0")
        self.assertEqual(strings["ProductName"], version_strings(stub())["ProductName"])
        fixed = pefile.PE(str(self.installer)).VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x20003, 0x40005))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x20003, 0))

    def test_a_correct_pe_checksum_large_address_aware_and_the_same_bytes_every_time(self):
        pe = pefile.PE(str(self.installer))
        self.assertTrue(pe.verify_checksum())
        self.assertTrue(pe.FILE_HEADER.Characteristics & 0x20)  # IMAGE_FILE_LARGE_ADDRESS_AWARE
        again = self.work.root / "again.exe"
        self.assertEqual(eekpack("installer", again, self.folder, "--stub", stub(), "--jobs", "1",
                                 "--set-version-string", "CompanyName", "Acme Ltd",
                                 "--set-version-string", "Comments", "caf\u00e9",
                                 "--set-file-version", "2.3.4.5", "--set-product-version", "2.3.0.0").returncode, 0)
        self.assertEqual(again.read_bytes(), self.installer.read_bytes())

    def test_refused_with_one_line_and_no_file(self):
        too_long = "n" * 234
        cases = {
            "no setup.exe": (self.work.folder("no-setup", {"readme.txt": b"x"}), stub(), "holds no setup.exe"),
            "long name": (self.work.folder("long", {"setup.exe": b"MZ", too_long: b"x"}), stub(), "too long to install"),
            "twins": (self.work.folder("twins", {"setup.exe": b"MZ", "a.txt": b"1", "A.TXT": b"2"}), stub(), "duplicate"),
            "not a program": (self.folder, self.folder / "readme.txt", "not a 32-bit Windows program"),
            "not the launcher": (self.folder, harness.bench().helper("boxwatch.exe"), "not a windowed program"),
            "bad version": (self.folder, stub(), "--set-file-version 1.2.3"),
        }
        for what, (folder, launcher, words) in cases.items():
            with self.subTest(what):
                out = self.work.root / f"refused-{what}.exe"
                extra = ["--set-file-version", "1.2.3"] if what == "bad version" else []
                done = eekpack("installer", out, folder, "--stub", launcher, *extra)
                self.assertEqual(done.returncode, 1, done.stderr)
                self.assertEqual(len(done.stderr.decode().splitlines()), 1, done.stderr)
                self.assertIn(words, done.stderr.decode())
                self.assertEqual(list(self.work.root.glob(f"refused-{what}.exe*")), [])


class DamagedDownload(unittest.TestCase):
    """An installer whose payload lost a byte's worth of truth on the way (one byte changed in
    the middle): its digest says so before anything is made, staged or started."""

    @classmethod
    def setUpClass(cls):
        work = Work("damaged")
        setup = harness.bench().helper("setup.exe").read_bytes()
        folder = work.folder("payload", {"setup.exe": setup, "readme.txt": b"never installed\r\n" * 100})
        sound = work.root / "sound.exe"
        assert eekpack("installer", sound, folder, "--stub", stub()).returncode == 0
        image = bytearray(sound.read_bytes())
        payload = resources(sound)[(RT_RCDATA, 10, 1033)]
        at = image.find(payload) + len(payload) // 2
        image[at] ^= 0x10
        damaged = work.root / "damaged.exe"
        damaged.write_bytes(image)
        cls.result = harness.bench().run_case("installer-damaged", launcher=damaged)

    def test_said_once_and_nothing_made_staged_or_started(self):
        result = self.result
        self.assertEqual(result.exit_code, 1, result.describe())
        self.assertEqual([(b.caption, b.text) for b in result.boxes],
                         [("Tarnby TarLoom64 Setup", "Tarnby TarLoom64 Setup is damaged. Please download it again.")],
                         result.describe())
        self.assertFalse(result.path("C:\\Tarnby Setup").exists())
        self.assertEqual(result.staged, [], result.staged_error or "the payload was staged")
        self.assertEqual([p for p in result.drive_c.rglob("*.lnk") if "Tarnby" in p.name], [])


class SignedInstaller(unittest.TestCase):
    """The vendor's last step: sign, verify, run. A signed launcher is refused as a stub."""

    @classmethod
    def setUpClass(cls):
        cls.work = Work("signed")
        root = cls.work.root
        setup = harness.bench().helper("setup.exe").read_bytes()
        folder = cls.work.folder("payload", {"setup.exe": setup, "readme.txt": b"signed\r\n"})
        cls.installer = root / "unsigned.exe"
        assert eekpack("installer", cls.installer, folder, "--stub", stub()).returncode == 0

        def run(*args):
            subprocess.run(list(map(str, args)), cwd=root, check=True, capture_output=True)

        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt",
            "-days", "2", "-subj", "/CN=Throwaway Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.csr",
            "-subj", "/CN=Throwaway Vendor")
        (root / "signer.ext").write_text("extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n")
        run("openssl", "x509", "-req", "-in", "signer.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "signer.crt", "-days", "2", "-extfile", "signer.ext")
        cls.signed = root / "signed.exe"
        run("osslsigncode", "sign", "-certs", "signer.crt", "-key", "signer.key", "-n", "Acme Setup",
            "-in", cls.installer, "-out", cls.signed)
        cls.verified = subprocess.run(["osslsigncode", "verify", "-CAfile", str(root / "ca.crt"),
                                       "-in", str(cls.signed)], capture_output=True)
        cls.result = harness.bench().run_case("installer-signed", launcher=cls.signed)

    def test_signature_verifies_against_the_ca(self):
        self.assertEqual(self.verified.returncode, 0, self.verified.stdout + self.verified.stderr)
        self.assertTrue(pefile.PE(str(self.signed)).OPTIONAL_HEADER.DATA_DIRECTORY[4].Size > 0)

    def test_signed_installer_runs_and_installs(self):
        self.assertEqual(self.result.exit_code, 1, self.result.describe())
        self.assertIn("Tarnby TarLoom64 Setup Message", [b.caption for b in self.result.boxes],
                      self.result.describe())
        self.assertEqual(self.result.path(PRODUCT + "\\README.TXT").read_bytes(), b"signed\r\n")

    def test_a_signed_launcher_is_refused_as_stub(self):
        out = self.work.root / "resigned.exe"
        done = eekpack("installer", out, self.work.root / "payload", "--stub", self.signed)
        self.assertEqual(done.returncode, 1)
        self.assertIn("is signed", done.stderr.decode())
        self.assertFalse(out.exists())


class WindowsPacker(unittest.TestCase):
    """eekpack.exe under Wine, given Windows paths, does what the Linux eekpack does: the same
    installer and archive byte for byte, and the same files unpacked."""

    @classmethod
    def setUpClass(cls):
        bench = harness.bench()
        cls.work = Work("windows-packer")
        root = cls.work.root.resolve()  # for the link's target, whatever --out is
        # Made out of name order, "B" sorting before "a" by bytes: the archive follows the names,
        # not the order the folder lists them in.
        cls.files = {"zeta.txt": b"last by name\r\n" * 300, "setup.exe": bench.helper("setup.exe").read_bytes(),
                     "a.bin": random.Random(7).randbytes(40000), "B.TXT": b"", "data.bin": bytes(range(256)) * 64}
        cls.folder = cls.work.folder("payload", cls.files)
        (cls.folder / "docs").mkdir()
        (cls.folder / "docs" / "inside.txt").write_bytes(b"not packed: only files directly inside")
        names = sorted(cls.files)
        cls.linux_made = eekpack("installer", root / "linux.exe", cls.folder, "--stub", stub())
        cls.linux_created = eekpack("create", root / "linux.eek", *(cls.folder / n for n in names))
        # Earlier files of entries' names: a read-only one, and a link whose target must stay
        # as it is (Wine shows a Unix link as the file it points to).
        (root / "victim").write_bytes(b"victim")
        for side in ("linux-out", "windows-out"):
            (root / side).mkdir()
            (root / side / "ZETA.TXT").write_bytes(b"stale")
            os.chmod(root / side / "ZETA.TXT", 0o444)
            (root / side / "A.BIN").symlink_to(root / "victim")
        cls.linux_extracted = eekpack("extract", root / "linux.eek", root / "linux-out")

        win = harness.unix_to_windows

        def wine(*args):
            return bench.wine(str(bench.helper("eekpack.exe")), *args, check=False)

        # A folder given with a trailing backslash, and more threads than cores.
        cls.made = wine("installer", win(root / "windows.exe"), win(cls.folder) + "\\",
                        "--stub", win(stub()), "--jobs", "3")
        cls.created = wine("create", "--jobs", "3", win(root / "windows.eek"),
                           *(win(cls.folder / n) for n in names))
        cls.extracted = wine("extract", win(root / "linux.eek"), win(root / "windows-out"))
        cls.verified = wine("verify", win(root / "linux.exe"))
        cls.listed = (eekpack("list", root / "linux.exe"), wine("list", win(root / "linux.exe")))
        # Refusals: an input that is not there, an archive whose name a folder has.
        (root / "taken").mkdir()
        missing = win(cls.folder / "missing.txt")
        cls.refused = {
            "missing input": (wine("create", win(root / "refused.eek"), missing),
                              f"eekpack: error: cannot read {missing}: "),
            "output is a folder": (wine("create", win(root / "taken"), win(cls.folder / "a.bin")),
                                   f"eekpack: error: cannot write {win(root / 'taken')}: "),
        }

    def test_installer_is_the_linux_ones_byte_for_byte(self):
        self.assertEqual(self.linux_made.returncode, 0, self.linux_made.stderr)
        self.assertEqual(self.made.returncode, 0, self.made.stderr)
        self.assertEqual((self.work.root / "windows.exe").read_bytes(),
                         (self.work.root / "linux.exe").read_bytes())
        self.assertEqual([p.name for p in self.work.root.glob("windows.exe.*")], [])  # no temporary left

    def test_create_gives_the_linux_archive_byte_for_byte(self):
        self.assertEqual(self.linux_created.returncode, 0, self.linux_created.stderr)
        self.assertEqual(self.created.returncode, 0, self.created.stderr)
        self.assertEqual((self.work.root / "windows.eek").read_bytes(),
                         (self.work.root / "linux.eek").read_bytes())

    def test_verify_and_list_read_the_installers_payload_as_on_linux(self):
        self.assertEqual(self.verified.returncode, 0, self.verified.stderr)
        self.assertIn(b"payload digest matches", self.verified.stdout)
        linux, windows = self.listed
        self.assertEqual(linux.returncode, 0, linux.stderr)
        self.assertEqual(windows.returncode, 0, windows.stderr)
        self.assertEqual(windows.stdout.replace(b"\r\n", b"\n"), linux.stdout)

    def test_extract_gives_the_linux_files_replacing_a_read_only_file_and_a_link(self):
        self.assertEqual(self.linux_extracted.returncode, 0, self.linux_extracted.stderr)
        self.assertEqual(self.extracted.returncode, 0, self.extracted.stderr)

        def contents(folder: Path) -> dict:
            return {p.name: (p.is_symlink(), p.read_bytes()) for p in folder.iterdir()}

        unpacked = contents(self.work.root / "windows-out")
        self.assertEqual(unpacked, contents(self.work.root / "linux-out"))
        self.assertEqual(unpacked["ZETA.TXT"], (False, self.files["zeta.txt"]))
        self.assertEqual(unpacked["A.BIN"], (False, self.files["a.bin"]))
        self.assertEqual((self.work.root / "victim").read_bytes(), b"victim")

    def test_failures_are_said_in_one_line_with_the_systems_reason_and_leave_no_file(self):
        for what, (done, words) in self.refused.items():
            with self.subTest(what):
                self.assertEqual(done.returncode, 1, done.stderr)
                said = [line for line in done.stderr.decode().splitlines() if line.startswith("eekpack")]
                self.assertEqual(len(said), 1, done.stderr)
                self.assertTrue(said[0].startswith(words) and len(said[0]) > len(words), said[0])
        root = self.work.root
        self.assertEqual([p.name for p in root.glob("refused.eek*")] + [p.name for p in root.glob("taken.*")], [])
        self.assertTrue((root / "taken").is_dir())


if __name__ == "__main__":
    harness.main()
