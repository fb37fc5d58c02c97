#include "launcher/staging.h"

#include "fileops/file_listing.h"
#include "launcher/message_box.h"
#include "launcher/texts.h"
#include "win32/error_mode.h"
#include "win32/fixed_text.h"
#include "win32/handle.h"

namespace launcher {

void DeleteStagedArchive() {
  if (fileops::PathExists(kStagedArchiveName, fileops::kPlainFiles)) {
    fileops::DeleteMatchingFiles(kStagedArchiveName);
  }
}

Payload LoadPayload(HINSTANCE module) {
  const Payload payload = FindRcData(module, archive::kPayloadResourceId);
  if (!payload.found) ShowMessage(kResourceNotFound, kSetupCaption, MB_OK);
  return payload;
}

Payload FindRcData(HINSTANCE module, WORD id) {
  HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(archive::kPayloadResourceType));
  if (resource == nullptr) return {};
  // Under Win32 the loaded resource's handle is the address of its bytes, mapped with the
  // program's image for the whole run.
  const auto* bytes = static_cast<const std::uint8_t*>(::LoadResource(module, resource));
  const DWORD size = ::SizeofResource(module, resource);
  if (bytes == nullptr) return {true, {}};
  return {true, {bytes, size}};
}

bool StagePayload(const Payload& payload, std::string_view stagedArchiveName) {
  const win32::FixedText<win32::kPathBuffer> name(stagedArchiveName);
  win32::UniqueFile file;
  {
    win32::QuietErrorMode quiet;
    // Made new, never opened: whatever is still under the name after the delete (a hidden or
    // read-only leftover, a link planted since) is not ours to write through, and the staging
    // is then passed over. The link flag keeps a dangling link from being followed to create
    // its target.
    file.reset(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  }
  if (!file) return false;
  DWORD written = 0;
  const auto size = static_cast<DWORD>(payload.bytes.size());
  const BOOL ok = ::WriteFile(file.get(), payload.bytes.data(), size, &written, nullptr);
  if (ok && written == size) return true;
  // A part of the payload is no use to anyone and takes the room the unpacking may need (a full
  // drive): the file made just now goes again.
  file.reset();
  fileops::DeleteMatchingFiles(stagedArchiveName);
  return false;
}

}  // namespace launcher
