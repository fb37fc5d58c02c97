"""The built launcher as a file: a 32-bit GUI program that imports only DLLs Windows always loads
from its own folder (so nobody can plant one beside the download), carrying the payload and the
"TARNBY" icon as resources."""

import struct
import unittest
import zlib

import pefile

import harness

# KnownDLLs: never looked up beside the program.
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "msvcrt.dll",
                "advapi32.dll"}
# Functions that the system DLLs of Windows XP (SP3) export, among them all the launcher may
# import. The program must load on any NT system so that its own platform test, not the loader,
# refuses a system; anything newer is looked up at run time (SetDefaultDllDirectories). A new
# import goes here only once it is known to be in XP's DLL.
XP_EXPORTS = {
    "kernel32.dll": {
        "CloseHandle", "CreateDirectoryW", "CreateEventW", "CreateFileA", "CreateFileW", "CreateMutexW",
        "CreateProcessW", "CreateThread", "DeleteCriticalSection", "DeleteFileW",
        "EnterCriticalSection", "ExitProcess", "FindClose", "FindFirstFileW", "FindNextFileW",
        "FindResourceA", "FormatMessageW", "FreeLibrary", "GetACP", "GetCommandLineW", "GetCurrentProcess",
        "GetCurrentThreadId", "GetFileAttributesW", "GetFileInformationByHandle", "GetFileSize",
        "GetLastError",
        "GetModuleFileNameW", "GetModuleHandleA", "GetModuleHandleW", "GetProcAddress", "GetProcessHeap",
        "GetStartupInfoA", "GetSystemDirectoryW", "GetVersionExA", "GetWindowsDirectoryA",
        "HeapAlloc", "HeapFree", "InitializeCriticalSection", "LeaveCriticalSection",
        "LoadLibraryA", "LoadLibraryExW", "LoadResource", "LocalFree", "LockResource",
        "MultiByteToWideChar", "OpenEventW", "OpenMutexW", "QueryPerformanceCounter", "ReadFile",
        "ReleaseMutex", "RemoveDirectoryW", "ResumeThread", "SetCurrentDirectoryW", "SetEndOfFile",
        "SetErrorMode", "SetEvent", "SetFileAttributesW", "SetFilePointer",
        "SetUnhandledExceptionFilter", "SizeofResource", "Sleep", "TerminateProcess", "TlsGetValue",
        "VirtualProtect", "VirtualQuery", "WaitForMultipleObjects", "WaitForSingleObject",
        "WideCharToMultiByte",
        "WriteFile", "lstrcmpiW",
    },
    "advapi32.dll": {
        "ConvertSidToStringSidW", "ConvertStringSecurityDescriptorToSecurityDescriptorW", "CopySid",
        "EqualSid", "GetAce", "GetSecurityInfo", "GetTokenInformation", "IsWellKnownSid",
        "OpenProcessToken", "SetKernelObjectSecurity",
    },
    "user32.dll": {
        "BeginPaint", "CharUpperBuffA", "CreateWindowExA", "DefWindowProcA", "DispatchMessageA",
        "EndPaint", "FindWindowA", "GetDesktopWindow", "GetMessageA", "GetSysColorBrush",
        "GetSystemMetrics", "IsWindow", "LoadCursorA", "LoadIconA", "MessageBoxA", "MessageBoxW",
        "PostMessageA", "PostQuitMessage", "RegisterClassA", "SetForegroundWindow",
        "SetWindowTextA", "ShowWindow", "TranslateMessage", "UpdateWindow",
    },
    "ole32.dll": {"CLSIDFromProgID", "CoCreateInstance", "CoInitialize", "CoUninitialize"},
    "oleaut32.dll": {"SysAllocStringLen", "SysFreeString"},
    "shell32.dll": {"SHGetFolderPathA", "ShellExecuteExW"},
    # The C runtime's start-up and the few string and memory routines the compiler calls.
    "msvcrt.dll": {
        "__getmainargs", "__initenv", "__p__acmdln", "__p__commode", "__p__fmode",
        "__set_app_type", "__setusermatherr", "_amsg_exit", "_cexit", "_initterm", "_iob",
        "_onexit", "abort", "calloc", "exit", "fprintf", "free", "fwrite", "malloc", "memchr",
        "memcmp", "memcpy", "memmove", "memset", "signal", "strlen", "strncmp", "vfprintf",
        "wcslen",
    },
}
RT_ICON, RT_RCDATA, RT_GROUP_ICON, RT_MANIFEST = 3, 10, 14, 24
ENGLISH_US = 1033


def resource(pe, type_id, name):
    """{language: bytes} of one resource, named by integer id or string."""
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != type_id:
            continue
        for entry in kind.directory.entries:
            entry_name = str(entry.name) if entry.name is not None else entry.id
            if entry_name == name:
                return {lang.id: pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                        for lang in entry.directory.entries}
    return {}


class LauncherFile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        bench = harness.bench()
        cls.pe = pefile.PE(str(bench.launcher))
        cls.payload = bench.payload.read_bytes()

    def test_is_a_32_bit_gui_program_for_i386(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, 0x14C)  # IMAGE_FILE_MACHINE_I386
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, 0x10B)  # PE32
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem, 2)  # IMAGE_SUBSYSTEM_WINDOWS_GUI

    def test_imports_only_dlls_the_system_folder_provides(self):
        imported = {entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertTrue(imported, "no import table at all")
        self.assertLessEqual(imported, ALLOWED_DLLS)
        delayed = {entry.dll.decode().lower() for entry in getattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])}
        self.assertLessEqual(delayed, ALLOWED_DLLS)

    def test_imports_no_function_that_windows_xp_lacks(self):
        for entry in self.pe.DIRECTORY_ENTRY_IMPORT:
            dll = entry.dll.decode().lower()
            for function in entry.imports:
                self.assertIsNotNone(function.name, f"{dll}: import by ordinal")
                name = function.name.decode()
                self.assertTrue(name in XP_EXPORTS.get(dll, set()),
                                f"{dll}!{name} is not known to be in Windows XP")

    def test_payload_is_rcdata_10_in_english_equals_the_archive_and_has_its_digest_beside_it(self):
        payload = resource(self.pe, RT_RCDATA, 10)
        self.assertEqual(list(payload), [ENGLISH_US])
        self.assertEqual(payload[ENGLISH_US], self.payload)
        digest = resource(self.pe, RT_RCDATA, 11)
        self.assertEqual(digest, {ENGLISH_US: b"EKD1" + struct.pack("<II", len(self.payload), zlib.crc32(self.payload))})

    def test_manifest_runs_it_as_the_invoker_on_windows_7_to_11_with_common_controls_6(self):
        manifest = resource(self.pe, RT_MANIFEST, 1)
        self.assertEqual(list(manifest), [ENGLISH_US])
        text = manifest[ENGLISH_US].decode("utf-8")
        self.assertIn('requestedExecutionLevel level="asInvoker"', text)
        for windows in ("35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                        "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
            self.assertIn(windows, text)
        self.assertIn('name="Microsoft.Windows.Common-Controls" version="6.0.0.0"', " ".join(text.split()))

    def test_version_information_names_the_maker_product_and_version(self):
        strings = {}
        for info in getattr(self.pe, "FileInfo", []):
            for entry in info:
                for table in getattr(entry, "StringTable", []):
                    strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        self.assertEqual(strings.get("CompanyName"), "Tarnby")
        self.assertEqual(strings.get("ProductName"), "TarLoom64")
        self.assertEqual(strings.get("FileDescription"), "Tarnby TarLoom64 Setup")
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertRegex(strings.get("FileVersion", ""), r"^\d+\.\d+\.\d+\.\d+$")
        self.assertEqual(strings["FileVersion"], "%d.%d.%d.%d" % (
            fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
            fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF))

    def test_icon_group_tarnby_holds_one_32x32_16_colour_image(self):
        group = resource(self.pe, RT_GROUP_ICON, "TARNBY")
        self.assertEqual(list(group), [ENGLISH_US])
        data = group[ENGLISH_US]
        reserved, kind, count = struct.unpack_from("<HHH", data, 0)
        self.assertEqual((reserved, kind, count), (0, 1, 1))
        width, height, colours, _, _, _, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6)
        self.assertEqual((width, height, colours, size, icon_id), (32, 32, 16, 744, 1))

        image = resource(self.pe, RT_ICON, 1)
        self.assertEqual(list(image), [ENGLISH_US])
        bitmap = image[ENGLISH_US]
        self.assertEqual(len(bitmap), 744)
        # BITMAPINFOHEADER: the height counts the colour image and its mask.
        header_size, bmp_width, bmp_height, planes, bits = struct.unpack_from("<IiiHH", bitmap, 0)
        self.assertEqual((header_size, bmp_width, bmp_height, planes, bits), (40, 32, 64, 1, 4))


if __name__ == "__main__":
    harness.main()
