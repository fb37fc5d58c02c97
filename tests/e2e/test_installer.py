"""`eekpack installer` end to end: an installer made from a folder with the vendor's version
information, checked as a file; inputs it refuses; and the vendor's last step, signing with a
throwaway certificate authority, then running the signed installer under Wine."""

import shutil
import subprocess
import unittest
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

    def test_payload_is_the_folders_archive_in_name_order_and_the_rest_is_the_stubs(self):
        self.assertEqual(self.made.returncode, 0, self.made.stderr)
        archive = self.work.root / "expected.eek"
        names = sorted(self.files)
        self.assertEqual(eekpack("create", archive, *(self.folder / n for n in names)).returncode, 0)
        made, original = resources(self.installer), resources(stub())
        self.assertEqual(made.pop((RT_RCDATA, 10, 1033)), archive.read_bytes())
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


if __name__ == "__main__":
    harness.main()
