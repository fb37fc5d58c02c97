// The attribute and pattern rules behind the file listing and deletion. Portable, so that the
// rules are tested natively; the Win32 side applies them to what the file search delivers.
#pragma once

#include <cstdint>
#include <string_view>

#include "win32/fixed_text.h"

namespace fileops {

inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeVolumeLabel = 0x08;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;

// The two masks the program lists with.
inline constexpr std::uint32_t kPlainFiles = 0;
inline constexpr std::uint32_t kFilesAndFolders = kAttributeDirectory;

// Paths handed to the wide-character file calls are cut to this many UTF-16 characters.
inline constexpr std::size_t kMaxWidePath = 256;

// A listing accepts a plain entry always, and an entry that is hidden, system or a folder only
// when the mask holds every one of those bits it has. "." and ".." are never accepted.
bool IsListed(std::uint32_t attributes, std::uint32_t mask, std::u16string_view name);

// Deletion touches plain files only: hidden, system, volume-label and folder entries are skipped.
bool IsDeletable(std::uint32_t attributes);

// A pattern that ends in ":" or "\" names a folder (or a drive's current folder): list its
// content.
win32::PathText WithFolderWildcard(std::string_view pattern);

// Everything up to and including the last ":" or "\" of a path; empty when there is none.
std::string_view FolderPart(std::string_view path);

}  // namespace fileops
