#include "folders/nt_file_layer_win.h"

#include <winternl.h>

namespace folders {

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryDirectoryFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID,
                                                ULONG, FILE_INFORMATION_CLASS, BOOLEAN,
                                                PUNICODE_STRING, BOOLEAN);
using NtInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

// ntdll is in every process from its start; its functions are found once, on first use.
struct Ntdll {
  NtCreateFileFn createFile = nullptr;
  NtQueryDirectoryFileFn queryDirectory = nullptr;
  NtInformationFileFn queryInformation = nullptr;
  NtInformationFileFn setInformation = nullptr;
  RtlNtStatusToDosErrorFn toError = nullptr;
  bool complete() const {
    return createFile && queryDirectory && queryInformation && setInformation && toError;
  }
};

template <typename Fn>
void Find(HMODULE module, const char* name, Fn& function) {
  function = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A plain value, not constructed at start-up: the launcher runs no static constructors.
constinit Ntdll ntdll = {};

const Ntdll& Calls() {
  if (!ntdll.complete()) {
    if (HMODULE module = ::GetModuleHandleW(L"ntdll.dll")) {
      Find(module, "NtCreateFile", ntdll.createFile);
      Find(module, "NtQueryDirectoryFile", ntdll.queryDirectory);
      Find(module, "NtQueryInformationFile", ntdll.queryInformation);
      Find(module, "NtSetInformationFile", ntdll.setInformation);
      Find(module, "RtlNtStatusToDosError", ntdll.toError);
    }
  }
  return ntdll;
}

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
constexpr int kFileDispositionInformation = 13;
constexpr int kFileDispositionInformationEx = 64;
constexpr ULONG kDispositionDelete = 0x1;
constexpr ULONG kDispositionIgnoreReadOnly = 0x10;

// Every open: the link itself when the name is one, and calls that wait for their result.
constexpr ULONG kOpenOptions = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;
// A held folder is listed, added to and emptied; with the rights to take it over when this user
// has them. No DELETE: a handle with it would refuse the share of a program that makes the
// folder its current one (setup.exe started in it).
constexpr ACCESS_MASK kUseFolder = FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY |
                                   FILE_DELETE_CHILD | FILE_TRAVERSE | FILE_READ_ATTRIBUTES |
                                   READ_CONTROL | SYNCHRONIZE;
constexpr ACCESS_MASK kTakeOverFolder = kUseFolder | WRITE_DAC | WRITE_OWNER;
// An entry to delete, listed first when it is a folder; without the rights to read or change
// what it holds when those are refused (deleting is the parent folder's right).
constexpr ACCESS_MASK kEmptyEntry = DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE |
                                    FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr ACCESS_MASK kDeleteEntry = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// An entry being written is deleted on its own handle when it cannot be written whole.
constexpr ACCESS_MASK kWriteEntry = FILE_GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE;
// The attributes a file's owner may set (the rest the system keeps itself).
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

HANDLE AsHandle(Node node) { return reinterpret_cast<HANDLE>(node); }

std::uint32_t Query(HANDLE handle, void* information, ULONG size, int kind) {
  const Ntdll& nt = Calls();
  if (!nt.complete()) return ERROR_PROC_NOT_FOUND;
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      nt.queryInformation(handle, &io, information, size, static_cast<FILE_INFORMATION_CLASS>(kind));
  return status < 0 ? nt.toError(status) : 0;
}

std::uint32_t Attributes(HANDLE handle) {
  FILE_BASIC_INFORMATION basic{};
  return Query(handle, &basic, sizeof basic, FileBasicInformation) == 0 ? basic.FileAttributes : 0;
}

}  // namespace

NtFileLayer::NtFileLayer(const ProtectedFolderSecurity& security) : security_(security) {}

Node NtFileLayer::OpenRoot(const wchar_t* path) {
  const HANDLE root = ::CreateFileW(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return root != INVALID_HANDLE_VALUE ? reinterpret_cast<Node>(root) : 0;
}

Opened NtFileLayer::Open(Node parent, std::wstring_view name, ACCESS_MASK access, std::uint32_t sharing,
                         ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR descriptor) {
  const Ntdll& nt = Calls();
  if (!nt.complete()) return {0, ERROR_PROC_NOT_FOUND};
  // One name inside the folder, never a path that could climb out of it.
  if (parent == 0 || name.empty() || name.size() > EntryName::capacity() ||
      name.find(L'\\') != std::wstring_view::npos || name == L"." || name == L"..") {
    return {0, ERROR_INVALID_NAME};
  }
  UNICODE_STRING text;
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.Buffer = const_cast<wchar_t*>(name.data());
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, AsHandle(parent), descriptor);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status = nt.createFile(&handle, access, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                        sharing, disposition, options | kOpenOptions, nullptr, 0);
  if (status < 0) return {0, nt.toError(status)};
  // FILE_CREATE succeeds only by making the file (Wine does not say so in `io`).
  return {reinterpret_cast<Node>(handle), 0, Attributes(handle), disposition == FILE_CREATE};
}

Opened NtFileLayer::OpenFolder(Node parent, std::wstring_view name, std::uint32_t sharing, bool make) {
  Opened folder = Open(parent, name, kTakeOverFolder, sharing, FILE_OPEN, 0);
  if (folder.error == ERROR_ACCESS_DENIED) folder = Open(parent, name, kUseFolder, sharing, FILE_OPEN, 0);
  if (folder.node != 0 || !make || folder.error != ERROR_FILE_NOT_FOUND) return folder;
  folder = Open(parent, name, kTakeOverFolder, sharing, FILE_CREATE, FILE_DIRECTORY_FILE,
                security_.descriptor());
  // Made by someone else in between: judged like any folder found there.
  if (folder.error == ERROR_ALREADY_EXISTS) return OpenFolder(parent, name, sharing, false);
  // Made with the default security when the launcher's list could not be built.
  folder.made = folder.made && security_.descriptor() != nullptr;
  return folder;
}

Opened NtFileLayer::OpenEntry(Node folder, std::wstring_view name, std::uint32_t sharing) {
  Opened entry = Open(folder, name, kEmptyEntry, sharing, FILE_OPEN, 0);
  if (entry.error == ERROR_ACCESS_DENIED) entry = Open(folder, name, kDeleteEntry, sharing, FILE_OPEN, 0);
  return entry;
}

bool NtFileLayer::NextEntry(Node folder, bool restart, EntryName& name, std::uint32_t& attributes,
                            std::uint32_t& error) {
  const Ntdll& nt = Calls();
  error = 0;
  if (!nt.complete()) {
    error = ERROR_PROC_NOT_FOUND;
    return false;
  }
  // One entry at a time: room for the longest name the file system allows.
  alignas(8) BYTE buffer[sizeof(FILE_DIRECTORY_INFORMATION) + 2 * 256 * sizeof(wchar_t)];
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = nt.queryDirectory(AsHandle(folder), nullptr, nullptr, nullptr, &io, buffer,
                                            sizeof buffer, FileDirectoryInformation, TRUE, nullptr,
                                            restart ? TRUE : FALSE);
  if (status == kNoMoreFiles || status == kNoSuchFile) return false;
  if (status < 0) {
    error = nt.toError(status);
    return false;
  }
  const auto* entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(buffer);
  name = EntryName(std::wstring_view(entry->FileName, entry->FileNameLength / sizeof(wchar_t)));
  attributes = entry->FileAttributes;
  return true;
}

void NtFileLayer::ReadSecurity(Node folder, FolderSecurity& security) {
  ReadFolderSecurity(AsHandle(folder), security);
}

std::uint32_t NtFileLayer::TakeOver(Node folder) { return TakeOverFolder(AsHandle(folder), security_); }

std::uint32_t NtFileLayer::SetInformation(Node node, void* information, ULONG size, int kind) {
  const Ntdll& nt = Calls();
  if (!nt.complete()) return ERROR_PROC_NOT_FOUND;
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = nt.setInformation(AsHandle(node), &io, information, size,
                                            static_cast<FILE_INFORMATION_CLASS>(kind));
  return status < 0 ? nt.toError(status) : 0;
}

std::uint32_t NtFileLayer::Delete(Node node, std::uint32_t attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // A read-only file cannot be deleted; the rest of its attributes stay.
    if (const std::uint32_t error = SetAttributes(node, attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
      return error;
    }
  }
  FILE_DISPOSITION_INFORMATION disposition{};
  disposition.DoDeleteFile = TRUE;
  return SetInformation(node, &disposition, sizeof disposition, kFileDispositionInformation);
}

bool NtFileLayer::ProgramRunning(Node folder, std::wstring_view name) {
  const Ntdll& nt = Calls();
  if (!nt.complete()) return false;
  // Refused for a sharing violation whatever is shared: the file is mapped as a running image
  // (or open without sharing writing, as a run that is writing or holding it keeps it).
  const Opened file = Open(folder, name, FILE_WRITE_DATA | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                           FILE_NON_DIRECTORY_FILE);
  if (file.node != 0) Close(file.node);
  return file.error == ERROR_SHARING_VIOLATION;
}

Opened NtFileLayer::MakeFile(Node folder, std::wstring_view name) {
  return Open(folder, name, kWriteEntry, kShareNothing, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
}

std::uint32_t NtFileLayer::Append(Node file, const std::uint8_t* data, std::size_t size) {
  DWORD written = 0;
  if (!::WriteFile(AsHandle(file), data, static_cast<DWORD>(size), &written, nullptr)) {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
  }
  // A write that stops short without an error has run out of room all the same.
  return written == size ? 0 : ERROR_DISK_FULL;
}

Opened NtFileLayer::OpenForHolding(Node folder, std::wstring_view name) {
  return Open(folder, name, FILE_GENERIC_READ, kShareReading, FILE_OPEN, FILE_NON_DIRECTORY_FILE);
}

std::uint32_t NtFileLayer::ReadFacts(Node node, FileFacts& facts) {
  FILE_INTERNAL_INFORMATION internal;
  FILE_STANDARD_INFORMATION standard;
  std::uint32_t error = Query(AsHandle(node), &internal, sizeof internal, FileInternalInformation);
  if (error == 0) error = Query(AsHandle(node), &standard, sizeof standard, FileStandardInformation);
  if (error == 0) facts = {static_cast<std::uint64_t>(internal.IndexNumber.QuadPart), standard.NumberOfLinks};
  return error;
}

std::uint32_t NtFileLayer::SetAttributes(Node node, std::uint32_t attributes) {
  // Zero times leave them as they are; zero attributes would too, so a plain file says NORMAL.
  FILE_BASIC_INFORMATION basic{};
  const DWORD kept = attributes & kSettableAttributes;
  basic.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
  return SetInformation(node, &basic, sizeof basic, FileBasicInformation);
}

std::uint32_t NtFileLayer::DeleteReadOnly(Node node) {
  ULONG flags = kDispositionDelete | kDispositionIgnoreReadOnly;
  return SetInformation(node, &flags, sizeof flags, kFileDispositionInformationEx);
}

void NtFileLayer::Close(Node node) {
  if (node != 0) ::CloseHandle(AsHandle(node));
}

}  // namespace folders
