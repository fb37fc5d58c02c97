// eekpack installer: a copy of the launcher (the stub) whose payload resource is the archive of
// a folder, with its version information and icon changed as asked.
#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "archive/payload_digest.h"
#include "cli/commands.h"
#include "cli/host_files.h"
#include "cli/installer_payload.h"
#include "cli/pack_files.h"
#include "pe/icon_file.h"
#include "pe/pe_image.h"
#include "pe/resource_tree.h"  // Describe
#include "pe/version_info.h"

namespace cli {

using namespace pe;

namespace {

constexpr std::int64_t kLargestArchive = 0x7FFFFFFF;  // the format's offsets are signed 32-bit

// Why the launcher image `stub` cannot take a payload, or nothing.
std::string StubProblem(const std::string& path, const PeImage& stub) {
  if (stub.subsystem != kSubsystemWindowsGui) return path + " is not a windowed program";
  if (FindResource(stub.resources, kResourceTypeRcData, archive::kPayloadResourceId, kEnglishUs) == nullptr) {
    return path + " carries no payload resource (RT_RCDATA 10, English): not the launcher";
  }
  if (stub.hasSignature) {
    return path + " is signed: put the payload in an unsigned launcher, then sign the installer";
  }
  return {};
}

// The launcher starts SETUP.EXE and the shortcut points to it.
bool HasSetup(const std::vector<std::string>& files) {
  for (const std::string& path : files) {
    const std::string name = path.substr(NameStart(path));
    if (archive::CleanEntryName(name, archive::Layout::kHeader10) == "SETUP.EXE") return true;
  }
  return false;
}

// UTF-8 (the command line's text) as UTF-16; false for bytes that are not UTF-8.
bool Utf8ToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    if (extra < 0 || lead >= 0xF5 || text.size() - i <= static_cast<std::size_t>(extra)) return false;
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += 1 + static_cast<std::size_t>(extra);
  }
  return true;
}

// The version changes, applied to the stub's version information.
bool ChangeVersion(const InstallerOptions& options, std::vector<Resource>& resources,
                   std::string& error) {
  if (options.versionStrings.empty() && options.fileVersion.empty() && options.productVersion.empty()) {
    return true;
  }
  const Resource* found = FindResource(resources, kResourceTypeVersion, kVersionId, kEnglishUs);
  if (found == nullptr) {
    error = "the launcher has no version information to change";
    return false;
  }
  VersionInfo info;
  if (!ParseVersionInfo(found->data, info, error)) {
    error = "the launcher's version information cannot be read: " + error;
    return false;
  }
  for (const auto& [name, value] : options.versionStrings) {
    std::u16string wideName, wideValue;
    if (!Utf8ToUtf16(name, wideName) || !Utf8ToUtf16(value, wideValue) || wideName.empty()) {
      error = "--set-version-string needs a NAME and a VALUE in UTF-8: " + name;
      return false;
    }
    SetVersionString(info, wideName, wideValue);
  }
  VersionNumber number{};
  if (!options.fileVersion.empty()) {
    if (!ParseVersionNumber(options.fileVersion, number, error)) {
      error = "--set-file-version " + options.fileVersion + ": " + error;
      return false;
    }
    SetFileVersion(info, number);
  }
  if (!options.productVersion.empty()) {
    if (!ParseVersionNumber(options.productVersion, number, error)) {
      error = "--set-product-version " + options.productVersion + ": " + error;
      return false;
    }
    SetProductVersion(info, number);
  }
  Resource changed = *found;
  changed.data = WriteVersionInfo(info, error);
  if (changed.data.empty()) return false;
  PutResource(resources, std::move(changed));
  return true;
}

// The group that carries the vendor's icon. Explorer shows a program's first icon group, and
// the directory lists names before numbers, in the order of their UTF-16 units: "APPICON",
// the name programs conventionally give their main icon, comes before the launcher's
// "TARNBY", which stays as it is because the progress window's class loads it by name. Both
// are upper case, as Windows compares resource names, so either order of comparing agrees.
constexpr std::u16string_view kVendorIconGroup = u"APPICON";
constexpr std::u16string_view kLauncherIconGroup = u"TARNBY";

// The vendor's icon, added to the stub's resources: each image a new RT_ICON under the lowest
// ids no icon of any language holds, and their group, in the language of the launcher's own.
bool ChangeIcon(const InstallerOptions& options, std::vector<Resource>& resources, std::string& error) {
  if (options.icon.empty()) return true;
  std::vector<std::uint8_t> file;
  if (!ReadInputFile(options.icon, file, error)) return false;
  std::vector<IconImage> images;
  if (!ReadIconFile(file, images, error)) {
    error = options.icon + ": " + error;
    return false;
  }
  const ResourceId iconType = ResourceId::Number(kResourceTypeIcon);
  const ResourceId groupType = ResourceId::Number(kResourceTypeGroupIcon);
  const ResourceId groupName = ResourceId::Name(std::u16string(kVendorIconGroup));
  std::uint16_t language = kEnglishUs;
  std::vector<bool> taken(0x10000);
  taken[0] = true;  // not an id a resource compiler gives
  for (const Resource& resource : resources) {
    if (resource.type == groupType && resource.name.isName && !(groupName.name < resource.name.name)) {
      error = options.stub + " already has the icon group " + Describe(resource.name) +
              ", which Explorer would show instead of " + options.icon + ": start from the launcher itself";
      return false;
    }
    if (resource.type == groupType && resource.name == ResourceId::Name(std::u16string(kLauncherIconGroup)))
      language = resource.language;
    if (resource.type == iconType && !resource.name.isName) taken[resource.name.number] = true;
  }
  std::vector<std::uint16_t> ids;
  for (std::size_t id = 1; id < taken.size() && ids.size() < images.size(); ++id)
    if (!taken[id]) ids.push_back(static_cast<std::uint16_t>(id));
  if (ids.size() < images.size()) {
    error = options.icon + " has more images than the launcher has free icon ids";
    return false;
  }
  Resource group;
  group.type = groupType;
  group.name = groupName;
  group.language = language;
  group.data = WriteIconGroup(images, ids);
  for (std::size_t k = 0; k < images.size(); ++k) {
    Resource icon;
    icon.type = iconType;
    icon.name = ResourceId::Number(ids[k]);
    icon.language = language;
    icon.data = std::move(images[k].data);
    resources.push_back(std::move(icon));
  }
  resources.push_back(std::move(group));
  return true;
}

bool MakeInstaller(const InstallerOptions& options, std::vector<std::uint8_t>& installer,
                   std::string& error) {
  PeImage stub;
  {
    std::vector<std::uint8_t> stubBytes;
    if (!ReadInputFile(options.stub, stubBytes, error)) return false;
    if (!ReadPeImage(stubBytes, stub, error)) {
      error = options.stub + " is not a 32-bit Windows program: " + error;
      return false;
    }
  }
  if (error = StubProblem(options.stub, stub); !error.empty()) return false;

  std::vector<std::string> files;
  if (!ListFolderFiles(options.folder, files, error)) return false;
  if (!HasSetup(files)) {
    error = options.folder + " holds no setup.exe, which the launcher starts";
    return false;
  }
  const std::vector<std::string> problems = NameProblems(files, archive::Layout::kHeader10);
  if (!problems.empty()) {
    error = problems.front() + (problems.size() > 1 ? " (and " + std::to_string(problems.size() - 1) + " more)" : "");
    return false;
  }

  std::vector<Resource> resources = std::move(stub.resources);
  if (!ChangeVersion(options, resources, error) || !ChangeIcon(options, resources, error)) return false;
  std::vector<std::uint8_t> packed;
  if (!PackFiles(files, archive::Layout::kHeader10, options.jobs, packed, error)) return false;
  if (static_cast<std::int64_t>(packed.size()) > kLargestArchive) {
    error = "the archive would pass 2147483647 bytes, the most the format can hold";
    return false;
  }
  // The digest beside the payload, so that the launcher (and `eekpack verify`) can tell a cut
  // or changed download from the archive that was packed.
  Resource digest;
  digest.type = ResourceId::Number(kResourceTypeRcData);
  digest.name = ResourceId::Number(archive::kDigestResourceId);
  digest.language = kEnglishUs;
  std::uint8_t record[archive::kDigestRecordSize];
  archive::WriteDigestRecord(archive::DigestOf(packed), record);
  digest.data.assign(std::begin(record), std::end(record));
  PutResource(resources, std::move(digest));
  // Moved, not copied: the archive is the bulk of what this command holds.
  const Resource* slot = FindResource(resources, kResourceTypeRcData, archive::kPayloadResourceId, kEnglishUs);
  for (Resource& resource : resources)
    if (&resource == slot) resource.data = std::move(packed);

  installer = WriteWithResources(stub, resources, error);
  if (installer.empty()) {
    error = options.stub + ": " + error;
    return false;
  }
  return true;
}

}  // namespace

int MakeInstaller(const InstallerOptions& options) {
  std::vector<std::uint8_t> installer;
  std::string error;
  // Written whole or not at all: a half-made installer is never left behind.
  if (!MakeInstaller(options, installer, error) ||
      !WriteFileAtomically(options.output, installer, error)) {
    ReportError(error);
    return 1;
  }
  return 0;
}

}  // namespace cli
