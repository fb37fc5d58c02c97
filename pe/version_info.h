// The version information of a Windows program (its RT_VERSION resource, what Explorer shows
// under Properties > Details): reading it, changing a few values and writing it back in the
// layout MinGW's windres produces, so that the packer can stamp a built launcher.
//
// The block is a tree of nodes, each a 16-bit length, a 16-bit value length, a 16-bit type
// (1: text, 0: binary), a UTF-16 key with its terminator, the value and the children, each
// part starting on a 32-bit boundary. We handle the shape windres makes of a VERSIONINFO
// statement: the fixed part, then a StringFileInfo with one string table, then (optionally) a
// VarFileInfo with one Translation.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pe {

// A version "A.B.C.D" as four 16-bit parts, most significant first.
using VersionNumber = std::array<std::uint16_t, 4>;

// VS_FIXEDFILEINFO without its signature (always 0xFEEF04BD). The defaults are those of a
// 32-bit Windows program with no flags.
struct FixedFileInfo {
  std::uint32_t structVersion = 0x00010000;
  VersionNumber fileVersion{};
  VersionNumber productVersion{};
  std::uint32_t fileFlagsMask = 0x3F;  // VS_FFI_FILEFLAGSMASK
  std::uint32_t fileFlags = 0;
  std::uint32_t fileOs = 0x00040004;  // VOS_NT_WINDOWS32
  std::uint32_t fileType = 1;         // VFT_APP
  std::uint32_t fileSubtype = 0;
  std::uint32_t fileDateHigh = 0;
  std::uint32_t fileDateLow = 0;

  friend bool operator==(const FixedFileInfo&, const FixedFileInfo&) = default;
};

struct VersionString {
  std::u16string name;   // such as u"CompanyName"
  std::u16string value;  // without the terminator

  friend bool operator==(const VersionString&, const VersionString&) = default;
};

// One language and code page pair of the Translation list; 0x0409 and 1200 (Unicode) for
// English (United States).
struct Translation {
  std::uint16_t language = 0;
  std::uint16_t codePage = 0;

  friend bool operator==(const Translation&, const Translation&) = default;
};

struct VersionInfo {
  FixedFileInfo fixed;
  std::u16string stringTableKey = u"040904b0";  // language and code page in 8 hex digits
  std::vector<VersionString> strings;           // in the order they are stored
  std::vector<Translation> translations;        // empty: no VarFileInfo is written

  friend bool operator==(const VersionInfo&, const VersionInfo&) = default;
};

// Reads an RT_VERSION resource. False with a sentence in `error` (and `info` unspecified) for
// a block that is cut short, whose lengths point outside it or below their own header, whose
// outer key is not VS_VERSION_INFO, whose fixed part is missing or lacks its signature, that
// has no StringFileInfo, more than one string table, more than one StringFileInfo or
// VarFileInfo, a VarFileInfo entry other than Translation, or any other child block. Never
// reads outside `bytes`. Lenient where other tools differ: the two blocks may come in either
// order, a string value's length may count bytes or characters and may leave out the
// terminator (the value ends at its first zero or at the end of its node), and a node's length
// may include the padding after its last child. Bytes after the outer node are ignored.
bool ParseVersionInfo(std::span<const std::uint8_t> bytes, VersionInfo& info, std::string& error);

// The resource bytes for `info`, laid out as windres lays them out (a node's length leaves out
// the padding after its last child; text values keep their terminator, so an empty value is
// stored as one zero character; StringFileInfo before VarFileInfo), so that ParseVersionInfo
// gives `info` back and a block windres made comes back byte for byte. Returns an empty vector
// and says why in `error` when a node would pass the format's 65,535 bytes, or a key, name or
// value holds a zero character (a reader would cut it there).
std::vector<std::uint8_t> WriteVersionInfo(const VersionInfo& info, std::string& error);

// Sets the string `name` to `value`: replaces the value where the name is already present
// (names compare exactly, case included), otherwise appends the pair at the end.
void SetVersionString(VersionInfo& info, std::u16string_view name, std::u16string_view value);

// Sets the file version in the fixed part and the "FileVersion" string to "A.B.C.D".
void SetFileVersion(VersionInfo& info, const VersionNumber& version);

// Sets the product version in the fixed part and the "ProductVersion" string to "A.B.C.D".
void SetProductVersion(VersionInfo& info, const VersionNumber& version);

// Reads "A.B.C.D": exactly four parts of decimal digits, each 0 to 65535, separated by single
// dots, nothing before or after (no signs, spaces or empty parts; leading zeros are allowed).
// False with a sentence in `error` otherwise, `version` then unchanged.
bool ParseVersionNumber(std::string_view text, VersionNumber& version, std::string& error);

// "A.B.C.D" in decimal.
std::string FormatVersionNumber(const VersionNumber& version);

}  // namespace pe
