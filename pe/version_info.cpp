#include "pe/version_info.h"

#include <algorithm>
#include <utility>

#include "pe/le_bytes.h"

namespace pe {

namespace {

// The block's layout. A node: length, value length, type, then the key; the value and each
// child start on a 32-bit boundary counted from the start of the block.
constexpr std::size_t kNodeHeaderSize = 6;
constexpr std::size_t kNodeAlignment = 4;
constexpr std::size_t kLargestNode = 0xFFFF;  // the length field has 16 bits
constexpr std::uint16_t kBinaryNode = 0;
constexpr std::uint16_t kTextNode = 1;  // its value length counts UTF-16 units, not bytes

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::size_t kFixedSize = 13 * 4;   // the signature and twelve more 32-bit fields
constexpr std::size_t kTranslationSize = 4;  // language, then code page

constexpr std::u16string_view kRootKey = u"VS_VERSION_INFO";
constexpr std::u16string_view kStringFileInfoKey = u"StringFileInfo";
constexpr std::u16string_view kVarFileInfoKey = u"VarFileInfo";
constexpr std::u16string_view kTranslationKey = u"Translation";

std::size_t AlignNode(std::size_t at) { return (at + kNodeAlignment - 1) / kNodeAlignment * kNodeAlignment; }

std::string Narrow(std::u16string_view text) {
  std::string narrow;
  for (char16_t unit : text) narrow += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
  return narrow;
}

// ---- Reading ----

struct Node {
  std::u16string key;
  std::uint16_t type = 0;
  std::size_t valueAt = 0;      // start of the value, at most `end`
  std::size_t valueLength = 0;  // as stored: units for a text node, bytes for a binary one
  std::size_t childrenAt = 0;   // where the first child would start, at most `end`
  std::size_t end = 0;          // the node's length counted from its start
};

// Reads the header and key of the node at `at`, which must lie wholly before `limit` (its
// parent's end).
bool ReadNode(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t limit, Node& node,
              std::string& error) {
  if (!Fits(limit, at, kNodeHeaderSize)) return Fail(error, "a version node is cut short");
  const std::size_t length = Get16(bytes, at);
  if (length < kNodeHeaderSize || length > limit - at)
    return Fail(error, "a version node's length is shorter than its header or passes the end of its parent");
  node = Node{};
  node.end = at + length;
  node.valueLength = Get16(bytes, at + 2);
  node.type = Get16(bytes, at + 4);
  std::size_t p = at + kNodeHeaderSize;
  for (;; p += 2) {
    if (!Fits(node.end, p, 2)) return Fail(error, "a version node's key has no terminator");
    const char16_t unit = static_cast<char16_t>(Get16(bytes, p));
    if (unit == 0) break;
    node.key += unit;
  }
  node.valueAt = std::min(AlignNode(p + 2), node.end);
  const std::size_t valueBytes = node.type == kTextNode ? 2 * node.valueLength : node.valueLength;
  node.childrenAt =
      std::min(AlignNode(node.valueAt + std::min(valueBytes, node.end - node.valueAt)), node.end);
  return true;
}

// Reads every child of `parent` in turn into `visit(child)`, which returns false to stop.
template <typename Visit>
bool ReadChildren(std::span<const std::uint8_t> bytes, const Node& parent, std::string& error, Visit visit) {
  for (std::size_t at = parent.childrenAt; at < parent.end;) {
    Node child;
    if (!ReadNode(bytes, at, parent.end, child, error) || !visit(child)) return false;
    at = AlignNode(child.end);
  }
  return true;
}

// A text value ends at its first zero or at the end of its node, whichever comes first: the
// stored length may count bytes, characters, or leave the terminator out.
std::u16string ReadText(std::span<const std::uint8_t> bytes, const Node& node) {
  std::u16string text;
  const std::size_t end = node.valueAt + std::min(2 * node.valueLength, node.end - node.valueAt) / 2 * 2;
  for (std::size_t p = node.valueAt; p < end; p += 2) {
    const char16_t unit = static_cast<char16_t>(Get16(bytes, p));
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

void ReadFixed(std::span<const std::uint8_t> bytes, std::size_t at, FixedFileInfo& fixed) {
  const auto field = [&](std::size_t index) { return Get32(bytes, at + 4 * index); };
  const auto split = [](std::uint32_t high, std::uint32_t low) {
    return VersionNumber{static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
                         static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
  };
  fixed.structVersion = field(1);
  fixed.fileVersion = split(field(2), field(3));
  fixed.productVersion = split(field(4), field(5));
  fixed.fileFlagsMask = field(6);
  fixed.fileFlags = field(7);
  fixed.fileOs = field(8);
  fixed.fileType = field(9);
  fixed.fileSubtype = field(10);
  fixed.fileDateHigh = field(11);
  fixed.fileDateLow = field(12);
}

bool ReadStringFileInfo(std::span<const std::uint8_t> bytes, const Node& node, VersionInfo& info,
                        std::string& error) {
  int tables = 0;
  const bool read = ReadChildren(bytes, node, error, [&](const Node& table) {
    if (++tables > 1) return Fail(error, "the version information has more than one string table");
    info.stringTableKey = table.key;
    return ReadChildren(bytes, table, error, [&](const Node& string) {
      info.strings.push_back({string.key, ReadText(bytes, string)});
      return true;
    });
  });
  if (read && tables == 0) return Fail(error, "the version information's StringFileInfo has no string table");
  return read;
}

bool ReadVarFileInfo(std::span<const std::uint8_t> bytes, const Node& node, VersionInfo& info,
                     std::string& error) {
  int lists = 0;
  return ReadChildren(bytes, node, error, [&](const Node& var) {
    if (var.key != kTranslationKey)
      return Fail(error, "unexpected VarFileInfo entry \"" + Narrow(var.key) + "\"");
    if (++lists > 1) return Fail(error, "the version information has more than one Translation");
    if (var.valueLength % kTranslationSize != 0 || !Fits(var.end, var.valueAt, var.valueLength))
      return Fail(error, "the Translation list's length is not whole pairs within its node");
    for (std::size_t p = var.valueAt; p < var.valueAt + var.valueLength; p += kTranslationSize)
      info.translations.push_back({Get16(bytes, p), Get16(bytes, p + 2)});
    return true;
  });
}

// ---- Writing ----

class NodeWriter {
 public:
  explicit NodeWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  // Starts a node on the next boundary with its header and key; the value follows directly
  // on the next boundary. Returns the node's start for End().
  std::size_t Begin(std::u16string_view key, std::size_t valueLength, std::uint16_t type) {
    Pad();
    const std::size_t start = out_.size();
    Append16(0);  // the length, known at End()
    Append16(valueLength);
    Append16(type);
    Append(key);
    Pad();
    if (valueLength > 0xFFFF) tooLarge_ = true;
    return start;
  }

  // The length counts the node up to here: windres leaves the padding after the last child out.
  void End(std::size_t start) {
    const std::size_t length = out_.size() - start;
    if (length > kLargestNode) tooLarge_ = true;
    out_[start] = static_cast<std::uint8_t>(length);
    out_[start + 1] = static_cast<std::uint8_t>(length >> 8);
  }

  // Text with its terminator.
  void Append(std::u16string_view text) {
    for (char16_t unit : text) Append16(unit);
    Append16(0);
  }
  void Append16(std::size_t value) {
    out_.push_back(static_cast<std::uint8_t>(value));
    out_.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  void Append32(std::uint32_t value) {
    Append16(value & 0xFFFF);
    Append16(value >> 16);
  }
  bool tooLarge() const { return tooLarge_; }

 private:
  void Pad() {
    while (out_.size() % kNodeAlignment != 0) out_.push_back(0);
  }

  std::vector<std::uint8_t>& out_;
  bool tooLarge_ = false;
};

void WriteFixed(NodeWriter& writer, const FixedFileInfo& fixed) {
  const auto high = [](const VersionNumber& v) { return static_cast<std::uint32_t>(v[0]) << 16 | v[1]; };
  const auto low = [](const VersionNumber& v) { return static_cast<std::uint32_t>(v[2]) << 16 | v[3]; };
  for (std::uint32_t field :
       {kFixedSignature, fixed.structVersion, high(fixed.fileVersion), low(fixed.fileVersion),
        high(fixed.productVersion), low(fixed.productVersion), fixed.fileFlagsMask, fixed.fileFlags,
        fixed.fileOs, fixed.fileType, fixed.fileSubtype, fixed.fileDateHigh, fixed.fileDateLow})
    writer.Append32(field);
}

bool HasZero(std::u16string_view text) { return text.find(u'\0') != std::u16string_view::npos; }

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace

bool ParseVersionInfo(std::span<const std::uint8_t> bytes, VersionInfo& info, std::string& error) {
  info = VersionInfo{};
  info.stringTableKey.clear();
  Node root;
  if (!ReadNode(bytes, 0, bytes.size(), root, error)) return false;
  if (root.key != kRootKey) return Fail(error, "the version information does not start with VS_VERSION_INFO");
  if (root.valueLength != kFixedSize || !Fits(root.end, root.valueAt, kFixedSize) ||
      Get32(bytes, root.valueAt) != kFixedSignature)
    return Fail(error, "the version information has no fixed part (VS_FIXEDFILEINFO)");
  ReadFixed(bytes, root.valueAt, info.fixed);

  bool seenStrings = false, seenVars = false;
  const bool read = ReadChildren(bytes, root, error, [&](const Node& child) {
    if (child.key == kStringFileInfoKey) {
      if (seenStrings) return Fail(error, "the version information has two StringFileInfo blocks");
      seenStrings = true;
      return ReadStringFileInfo(bytes, child, info, error);
    }
    if (child.key == kVarFileInfoKey) {
      if (seenVars) return Fail(error, "the version information has two VarFileInfo blocks");
      seenVars = true;
      return ReadVarFileInfo(bytes, child, info, error);
    }
    return Fail(error, "unexpected version information block \"" + Narrow(child.key) + "\"");
  });
  if (!read) return false;
  if (!seenStrings) return Fail(error, "the version information has no StringFileInfo");
  return true;
}

std::vector<std::uint8_t> WriteVersionInfo(const VersionInfo& info, std::string& error) {
  if (HasZero(info.stringTableKey)) {
    error = "the string table's key holds a zero character";
    return {};
  }
  for (const VersionString& string : info.strings) {
    if (HasZero(string.name) || HasZero(string.value)) {
      error = "the version string \"" + Narrow(string.name) + "\" holds a zero character";
      return {};
    }
  }

  std::vector<std::uint8_t> out;
  NodeWriter writer(out);
  const std::size_t root = writer.Begin(kRootKey, kFixedSize, kBinaryNode);
  WriteFixed(writer, info.fixed);
  const std::size_t stringFileInfo = writer.Begin(kStringFileInfoKey, 0, kTextNode);
  const std::size_t table = writer.Begin(info.stringTableKey, 0, kTextNode);
  for (const VersionString& string : info.strings) {
    const std::size_t node = writer.Begin(string.name, string.value.size() + 1, kTextNode);
    writer.Append(string.value);
    writer.End(node);
  }
  writer.End(table);
  writer.End(stringFileInfo);
  if (!info.translations.empty()) {
    const std::size_t varFileInfo = writer.Begin(kVarFileInfoKey, 0, kTextNode);
    const std::size_t var =
        writer.Begin(kTranslationKey, kTranslationSize * info.translations.size(), kBinaryNode);
    for (const Translation& translation : info.translations) {
      writer.Append16(translation.language);
      writer.Append16(translation.codePage);
    }
    writer.End(var);
    writer.End(varFileInfo);
  }
  writer.End(root);
  if (writer.tooLarge()) {
    error = "the version information passes 65,535 bytes";
    return {};
  }
  return out;
}

void SetVersionString(VersionInfo& info, std::u16string_view name, std::u16string_view value) {
  for (VersionString& string : info.strings) {
    if (string.name == name) {
      string.value = value;
      return;
    }
  }
  info.strings.push_back({std::u16string(name), std::u16string(value)});
}

void SetFileVersion(VersionInfo& info, const VersionNumber& version) {
  info.fixed.fileVersion = version;
  SetVersionString(info, u"FileVersion", Widen(FormatVersionNumber(version)));
}

void SetProductVersion(VersionInfo& info, const VersionNumber& version) {
  info.fixed.productVersion = version;
  SetVersionString(info, u"ProductVersion", Widen(FormatVersionNumber(version)));
}

bool ParseVersionNumber(std::string_view text, VersionNumber& version, std::string& error) {
  std::string quoted(1, '"');  // built in steps: GCC 12 warns falsely about "..." + string (its bug 105329)
  quoted.append(text);
  quoted += '"';
  VersionNumber parsed{};
  std::size_t pos = 0;
  for (std::size_t part = 0; part < parsed.size(); ++part) {
    if (part > 0) {
      if (pos == text.size())
        return Fail(error, "version " + quoted + " has fewer than four parts (A.B.C.D)");
      if (text[pos] != '.')
        return Fail(error, "version " + quoted + " has something other than a dot after a number");
      ++pos;
    }
    const std::size_t first = pos;
    std::uint32_t value = 0;
    // Checked digit by digit, so that a long run of digits cannot overflow.
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
      value = value * 10 + static_cast<std::uint32_t>(text[pos] - '0');
      if (value > 0xFFFF) return Fail(error, "version " + quoted + " has a part above 65535");
    }
    if (pos == first) return Fail(error, "version " + quoted + " has an empty or non-numeric part");
    parsed[part] = static_cast<std::uint16_t>(value);
  }
  if (pos != text.size())
    return Fail(error, "version " + quoted + " has more than four parts or text after them");
  version = parsed;
  return true;
}

std::string FormatVersionNumber(const VersionNumber& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) +
         "." + std::to_string(version[3]);
}

}  // namespace pe
