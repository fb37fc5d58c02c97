#include "launcher/staging.h"

#include "fileops/file_listing.h"
#include "launcher/message_box.h"
#include "launcher/texts.h"
#include "win32/error_mode.h"
#include "win32/fixed_text.h"
#include "win32/handle.h"

namespace launcher {

namespace {
constexpr WORD kPayloadResourceId = 10;
}  // namespace

void DeleteStagedArchive() {
  if (fileops::PathExists(kStagedArchiveName, fileops::kPlainFiles)) {
    fileops::DeleteMatchingFiles(kStagedArchiveName);
  }
}

Staging StagePayload(HINSTANCE module, std::string_view stagedArchiveName) {
  HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(kPayloadResourceId), MAKEINTRESOURCEA(10));
  if (resource == nullptr) {
    ShowMessage(kResourceNotFound, kSetupCaption, MB_OK);
    return Staging::kResourceMissing;
  }
  // Under Win32 the loaded resource's handle is the address of its bytes: they are written from
  // there, with no copy.
  const void* payload = ::LoadResource(module, resource);
  const DWORD size = ::SizeofResource(module, resource);

  const win32::FixedText<win32::kPathBuffer> name(stagedArchiveName);
  win32::UniqueFile file;
  {
    win32::QuietErrorMode quiet;
    file.reset(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  // A failed open or a short write is not reported to the user.
  DWORD written = 0;
  if (!file || payload == nullptr) return Staging::kNotWritten;
  const BOOL ok = ::WriteFile(file.get(), payload, size, &written, nullptr);
  return ok && written == size ? Staging::kWritten : Staging::kNotWritten;
}

}  // namespace launcher
