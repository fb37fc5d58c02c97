// The file layer of the working folders on Windows (run_folder.h, entry_writer.h): every open
// relative to a held handle, a link always opened as itself, entries listed, written and
// deleted on their handles.
// The calls are ntdll's (NtCreateFile, NtQueryDirectoryFile, NtQueryInformationFile,
// NtSetInformationFile), there since Windows NT 4 but looked up at run time, as the program
// imports only what the documented DLLs export.
#pragma once

#include <windows.h>

#include "folders/folder_security_win.h"
#include "folders/run_folder.h"

namespace folders {

class NtFileLayer final : public FileLayer {
 public:
  explicit NtFileLayer(const ProtectedFolderSecurity& security);

  // A folder by its full path, shared with everyone (a drive's root, the user's profile
  // folder): what the run holds is made or opened inside it. 0 when it cannot be opened.
  Node OpenRoot(const wchar_t* path);

  Opened OpenFolder(Node parent, std::wstring_view name, std::uint32_t sharing, bool make) override;
  Opened OpenEntry(Node folder, std::wstring_view name, std::uint32_t sharing) override;
  bool NextEntry(Node folder, bool restart, EntryName& name, std::uint32_t& attributes,
                 std::uint32_t& error) override;
  void ReadSecurity(Node folder, FolderSecurity& security) override;
  std::uint32_t TakeOver(Node folder) override;
  std::uint32_t Delete(Node node, std::uint32_t attributes) override;
  bool ProgramRunning(Node folder, std::wstring_view name) override;
  void Close(Node node) override;

  Opened MakeFile(Node folder, std::wstring_view name) override;
  std::uint32_t Append(Node file, const std::uint8_t* data, std::size_t size) override;
  Opened OpenForHolding(Node folder, std::wstring_view name) override;
  std::uint32_t ReadFacts(Node node, FileFacts& facts) override;
  std::uint32_t SetAttributes(Node node, std::uint32_t attributes) override;
  std::uint32_t DeleteReadOnly(Node node) override;

 private:
  Opened Open(Node parent, std::wstring_view name, ACCESS_MASK access, std::uint32_t sharing,
              ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR descriptor = nullptr);
  std::uint32_t SetInformation(Node node, void* information, ULONG size, int kind);

  const ProtectedFolderSecurity& security_;
};

}  // namespace folders
