// Program images: a small PE32 image made here (headers, .text, a resource section laid out
// depth first as ld lays it out, .reloc) read, rewritten with changed, grown and shrunk
// resources and read again; the layouts the rewriting refuses; damaged images. The checksum of
// every image read or written is compared with an independent sum.
#include "tools/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

namespace {

using tools::PeImage;
using tools::Resource;
using tools::ResourceId;
using ByteVector = std::vector<std::uint8_t>;

// The test image's layout, written out here rather than shared with the code under test.
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::size_t kPeAt = 0x80;
constexpr std::size_t kOptionalAt = kPeAt + 24;
constexpr std::size_t kOptionalSize = 96 + 16 * 8;
constexpr std::size_t kDirectoriesAt = kOptionalAt + 96;
constexpr std::size_t kSectionTableAt = kOptionalAt + kOptionalSize;
constexpr std::uint32_t kTextRva = 0x1000;
constexpr std::uint32_t kTextSize = 0x600;
constexpr std::uint32_t kResourceRva = 0x2000;
constexpr std::uint32_t kResourceRaw = 0x200 + kTextSize;
// One block of base relocations: page 0x1000, 12 bytes, two 32-bit fix-ups.
const ByteVector kRelocations = {0x00, 0x10, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x04, 0x30, 0x10, 0x30};
constexpr std::uint32_t kHighBit = 0x80000000;

void Put16(ByteVector& bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
void Put32(ByteVector& bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, value);
  Put16(bytes, at + 2, value >> 16);
}
std::uint32_t Get16(const ByteVector& bytes, std::size_t at) { return bytes[at] | bytes[at + 1] << 8; }
std::uint32_t Get32(const ByteVector& bytes, std::size_t at) {
  return Get16(bytes, at) | Get16(bytes, at + 2) << 16;
}
std::uint32_t AlignUp(std::size_t value, std::uint32_t alignment) {
  return static_cast<std::uint32_t>((value + alignment - 1) / alignment * alignment);
}

Resource Make(ResourceId type, ResourceId name, std::uint16_t language, ByteVector data,
              std::uint32_t codePage = 0) {
  Resource resource;
  resource.type = std::move(type);
  resource.name = std::move(name);
  resource.language = language;
  resource.codePage = codePage;
  resource.data = std::move(data);
  return resource;
}

ByteVector Pattern(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  ByteVector bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// Like the launcher's: a named type, an icon, the payload, a named icon group.
const std::vector<Resource> kResources = {
    Make(ResourceId::Name(u"PAYLOAD"), ResourceId::Name(u"Main"), 0, Pattern(33, 1)),
    Make(ResourceId::Number(3), ResourceId::Number(1), 1033, Pattern(100, 2)),
    Make(ResourceId::Number(10), ResourceId::Number(10), 1033, Pattern(61, 3), 1252),
    Make(ResourceId::Number(14), ResourceId::Name(u"TARNBY"), 1033, Pattern(20, 4)),
};

// A resource tree with one resource per type, each type's directories, name strings, data
// entry and data together, depth first as ld lays it out: not the order the writer uses, so the
// reader is checked on its own. Types come in the order given.
ByteVector DepthFirstTree(const std::vector<Resource>& resources) {
  ByteVector tree(16 + 8 * resources.size());
  const auto named =
      std::count_if(resources.begin(), resources.end(), [](const Resource& r) { return r.type.isName; });
  Put16(tree, 12, static_cast<std::uint32_t>(named));
  Put16(tree, 14, static_cast<std::uint32_t>(resources.size() - named));
  auto grow = [&](std::size_t size) {
    const std::size_t at = tree.size();
    tree.resize(at + size);
    return at;
  };
  auto idField = [&](const ResourceId& id) -> std::uint32_t {
    if (!id.isName) return id.number;
    const std::size_t at = grow(2 + 2 * id.name.size());
    Put16(tree, at, static_cast<std::uint32_t>(id.name.size()));
    for (std::size_t i = 0; i < id.name.size(); ++i) Put16(tree, at + 2 + 2 * i, id.name[i]);
    return kHighBit | static_cast<std::uint32_t>(at);
  };
  for (std::size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    const std::size_t nameDirectory = grow(24), languageDirectory = grow(24), dataEntry = grow(16);
    Put32(tree, 16 + 8 * i, idField(r.type));
    Put32(tree, 20 + 8 * i, kHighBit | static_cast<std::uint32_t>(nameDirectory));
    Put16(tree, nameDirectory + (r.name.isName ? 12 : 14), 1);
    Put32(tree, nameDirectory + 16, idField(r.name));
    Put32(tree, nameDirectory + 20, kHighBit | static_cast<std::uint32_t>(languageDirectory));
    Put16(tree, languageDirectory + 14, 1);
    Put32(tree, languageDirectory + 16, r.language);
    Put32(tree, languageDirectory + 20, static_cast<std::uint32_t>(dataEntry));
    tree.resize(AlignUp(tree.size(), 4));
    const std::size_t dataAt = grow(r.data.size());
    std::copy(r.data.begin(), r.data.end(), tree.begin() + static_cast<std::ptrdiff_t>(dataAt));
    Put32(tree, dataEntry, kResourceRva + static_cast<std::uint32_t>(dataAt));
    Put32(tree, dataEntry + 4, static_cast<std::uint32_t>(r.data.size()));
    Put32(tree, dataEntry + 8, r.codePage);
  }
  return tree;
}

// The checksum as it is usually written down: 32-bit words with carries, folded at the end.
std::uint32_t ReferenceChecksum(ByteVector file, std::size_t field) {
  const std::size_t length = file.size();
  for (std::size_t i = field; i < field + 4 && i < length; ++i) file[i] = 0;
  file.resize(AlignUp(length, 4));
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 4) {
    sum += Get32(file, i);
    sum = (sum & 0xFFFFFFFF) + (sum >> 32);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  sum = (sum + (sum >> 16)) & 0xFFFF;
  return static_cast<std::uint32_t>(sum + length);
}

// A GUI program image: .text, the resources, then `lastSection` holding the relocations.
ByteVector BuildImage(const std::vector<Resource>& resources, const char* lastSection = ".reloc") {
  const ByteVector tree = DepthFirstTree(resources);
  const std::uint32_t treeRaw = AlignUp(tree.size(), kFileAlignment);
  const std::uint32_t relocationsRva = kResourceRva + AlignUp(tree.size(), kSectionAlignment);
  const std::uint32_t relocationsRaw = kResourceRaw + treeRaw;
  ByteVector image(relocationsRaw + kFileAlignment);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPeAt);
  Put32(image, kPeAt, 0x4550);
  Put16(image, kPeAt + 4, 0x14C);
  Put16(image, kPeAt + 6, 3);
  Put16(image, kPeAt + 20, kOptionalSize);
  Put16(image, kPeAt + 22, 0x0102);
  Put16(image, kOptionalAt, 0x10B);
  Put32(image, kOptionalAt + 4, kTextSize);
  Put32(image, kOptionalAt + 8, kTextSize + treeRaw + kFileAlignment);  // as ld counts it
  Put32(image, kOptionalAt + 16, kTextRva);
  Put32(image, kOptionalAt + 28, 0x400000);
  Put32(image, kOptionalAt + 32, kSectionAlignment);
  Put32(image, kOptionalAt + 36, kFileAlignment);
  Put16(image, kOptionalAt + 40, 4);
  Put16(image, kOptionalAt + 48, 4);
  Put32(image, kOptionalAt + 56, relocationsRva + kSectionAlignment);
  Put32(image, kOptionalAt + 60, 0x200);
  Put16(image, kOptionalAt + 68, 2);
  Put16(image, kOptionalAt + 70, 0x40);
  Put32(image, kOptionalAt + 92, 16);
  Put32(image, kDirectoriesAt + 2 * 8, kResourceRva);
  Put32(image, kDirectoriesAt + 2 * 8 + 4, static_cast<std::uint32_t>(tree.size()));
  Put32(image, kDirectoriesAt + 5 * 8, relocationsRva);
  Put32(image, kDirectoriesAt + 5 * 8 + 4, static_cast<std::uint32_t>(kRelocations.size()));
  struct Section {
    const char* name;
    std::uint32_t virtualSize, rva, rawSize, raw, characteristics;
  };
  const Section sections[] = {
      {".text", kTextSize, kTextRva, kTextSize, 0x200, 0x60000020},
      {".rsrc", static_cast<std::uint32_t>(tree.size()), kResourceRva, treeRaw, kResourceRaw, 0x40000040},
      {lastSection, static_cast<std::uint32_t>(kRelocations.size()), relocationsRva, kFileAlignment,
       relocationsRaw, 0x42000040},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t at = kSectionTableAt + 40 * i;
    std::copy_n(sections[i].name, std::char_traits<char>::length(sections[i].name), image.begin() + at);
    Put32(image, at + 8, sections[i].virtualSize);
    Put32(image, at + 12, sections[i].rva);
    Put32(image, at + 16, sections[i].rawSize);
    Put32(image, at + 20, sections[i].raw);
    Put32(image, at + 36, sections[i].characteristics);
  }
  const ByteVector code = Pattern(kTextSize, 99);
  std::copy(code.begin(), code.end(), image.begin() + 0x200);
  std::copy(tree.begin(), tree.end(), image.begin() + kResourceRaw);
  std::copy(kRelocations.begin(), kRelocations.end(), image.begin() + relocationsRaw);
  Put32(image, kOptionalAt + 64, ReferenceChecksum(image, kOptionalAt + 64));
  return image;
}

PeImage Read(const ByteVector& bytes) {
  PeImage image;
  std::string error;
  EXPECT_TRUE(tools::ReadPeImage(bytes, image, error)) << error;
  return image;
}

ByteVector Rewrite(const PeImage& image, const std::vector<Resource>& resources) {
  std::string error;
  ByteVector out = tools::WriteWithResources(image, resources, error);
  EXPECT_FALSE(out.empty()) << error;
  return out;
}

// The data addresses in a written tree, in directory order, found by walking it here.
std::vector<std::uint32_t> DataRvas(const ByteVector& file, std::size_t treeAt) {
  std::vector<std::uint32_t> rvas;
  auto entries = [&](std::size_t directory, auto visit) {
    const std::size_t count = Get16(file, treeAt + directory + 12) + Get16(file, treeAt + directory + 14);
    for (std::size_t i = 0; i < count; ++i) visit(Get32(file, treeAt + directory + 20 + 8 * i) & ~kHighBit);
  };
  entries(0, [&](std::size_t type) {
    entries(type, [&](std::size_t name) {
      entries(name, [&](std::size_t data) { rvas.push_back(Get32(file, treeAt + data)); });
    });
  });
  return rvas;
}

TEST(PeReading, ReadsHeadersSectionsAndAnLdStyleTree) {
  const PeImage image = Read(BuildImage(kResources));
  EXPECT_EQ(image.subsystem, tools::kSubsystemWindowsGui);
  EXPECT_FALSE(image.hasSignature);
  ASSERT_EQ(image.sections.size(), 3u);
  EXPECT_EQ(image.sections[0].name, ".text");
  EXPECT_EQ(image.sections[1].name, ".rsrc");
  EXPECT_EQ(image.sections[1].rawPointer, kResourceRaw);
  EXPECT_EQ(image.sections[2].name, ".reloc");
  EXPECT_EQ(image.resources, kResources);
  EXPECT_EQ(image.checksum, ReferenceChecksum(image.file, image.checksumOffset));
}

TEST(PeRewriting, GrownChangedAndShrunkResourcesReadBackWithRelocationsMoved) {
  const ByteVector original = BuildImage(kResources);
  PeImage image = Read(original);            // each case rewrites the one before: .reloc moves out, then back
  std::vector<Resource> grown = kResources;  // the payload across several pages, a new version block
  tools::PutResource(grown, Make(ResourceId::Number(10), ResourceId::Number(10), 1033, Pattern(9000, 5)));
  tools::PutResource(grown, Make(ResourceId::Number(16), ResourceId::Number(1), 1033, Pattern(17, 6)));
  std::vector<Resource> changed = kResources;  // same sizes, other bytes
  tools::PutResource(changed, Make(ResourceId::Number(3), ResourceId::Number(1), 1033, Pattern(100, 7)));
  const std::vector<Resource> shrunk = {kResources[3]};

  const std::vector<Resource>* cases[] = {&grown, &changed, &shrunk};
  const std::uint32_t relocationsRvas[] = {0x5000, 0x3000, 0x3000};
  for (std::size_t c = 0; c < 3; ++c) {
    const std::vector<Resource>* resources = cases[c];
    const ByteVector out = Rewrite(image, *resources);
    const PeImage back = Read(out);
    std::vector<Resource> expected = *resources;  // PutResource appends; the tree sorts
    std::stable_sort(expected.begin(), expected.end(), [](const Resource& a, const Resource& b) {
      return a.type.isName != b.type.isName ? a.type.isName : a.type.number < b.type.number;
    });
    EXPECT_EQ(back.resources, expected);

    ASSERT_EQ(back.sections.size(), 3u);
    const tools::PeSection& rsrc = back.sections[1];
    const tools::PeSection& reloc = back.sections[2];
    EXPECT_EQ(rsrc.virtualAddress, kResourceRva);
    EXPECT_EQ(rsrc.rawPointer, kResourceRaw);
    EXPECT_EQ(rsrc.rawSize, AlignUp(rsrc.virtualSize, kFileAlignment));
    EXPECT_EQ(back.directories[2].rva, kResourceRva);
    EXPECT_EQ(back.directories[2].size, rsrc.virtualSize);

    EXPECT_EQ(reloc.virtualAddress, kResourceRva + AlignUp(rsrc.virtualSize, kSectionAlignment));
    EXPECT_EQ(reloc.virtualAddress, relocationsRvas[c]);
    EXPECT_EQ(reloc.rawPointer, rsrc.rawPointer + rsrc.rawSize);
    EXPECT_EQ(reloc.virtualSize, kRelocations.size());
    EXPECT_EQ(
        ByteVector(out.begin() + reloc.rawPointer, out.begin() + reloc.rawPointer + kRelocations.size()),
        kRelocations);
    EXPECT_EQ(back.directories[5].rva, reloc.virtualAddress);
    EXPECT_EQ(back.directories[5].size, kRelocations.size());
    EXPECT_EQ(out.size(), reloc.rawPointer + reloc.rawSize);

    EXPECT_EQ(back.sizeOfImage, AlignUp(reloc.virtualAddress + reloc.virtualSize, kSectionAlignment));
    EXPECT_EQ(back.sizeOfInitializedData,
              image.sizeOfInitializedData - image.sections[1].rawSize + rsrc.rawSize);
    EXPECT_EQ(back.checksum, ReferenceChecksum(out, back.checksumOffset));
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + kOptionalAt, out.begin()));
    EXPECT_TRUE(std::equal(original.begin() + 0x200, original.begin() + kResourceRaw, out.begin() + 0x200));
    image = back;
  }
}

TEST(PeRewriting, LevelsSortedAsWindowsSearchesThemDataAlignedOutputRepeatable) {
  std::vector<Resource> resources;
  for (const char16_t* name : {u"b", u"B", u"_", u"a"})  // code units: "B" < "_" < "a" < "b"
    resources.push_back(Make(ResourceId::Name(name), ResourceId::Number(1), 0, Pattern(3, 10)));
  for (std::uint16_t id : {24, 1, 3})
    resources.push_back(Make(ResourceId::Number(id), ResourceId::Number(7), 0, Pattern(5, id)));
  for (std::uint16_t language : {1033, 0, 1031})
    resources.push_back(
        Make(ResourceId::Number(6), ResourceId::Number(2), language, Pattern(language % 7 + 1, 11)));
  resources.push_back(Make(ResourceId::Number(6), ResourceId::Name(u"Z"), 0, Pattern(1, 12)));  // names first

  const PeImage image = Read(BuildImage(kResources));
  const ByteVector out = Rewrite(image, resources);
  std::vector<std::pair<std::string, int>> order;
  for (const Resource& r : Read(out).resources)
    order.emplace_back(
        r.type.isName ? std::string(r.type.name.begin(), r.type.name.end()) : std::to_string(r.type.number),
        r.name.isName ? -1 : r.language);
  const std::vector<std::pair<std::string, int>> expected = {{"B", 0},    {"_", 0},    {"a", 0},  {"b", 0},
                                                             {"1", 0},    {"3", 0},    {"6", -1}, {"6", 0},
                                                             {"6", 1031}, {"6", 1033}, {"24", 0}};
  EXPECT_EQ(order, expected);

  const std::vector<std::uint32_t> rvas = DataRvas(out, kResourceRaw);
  EXPECT_EQ(rvas.size(), resources.size());
  for (std::uint32_t rva : rvas) EXPECT_EQ(rva % 8, 0u) << rva;
  EXPECT_EQ(Get32(out, kResourceRaw + 4), 0u) << "the root's time stamp";

  std::reverse(resources.begin(), resources.end());
  EXPECT_EQ(Rewrite(image, resources), out);
}

TEST(PeRewriting, RefusesLayoutsItCannotChangeSafely) {
  const ByteVector base = BuildImage(kResources);
  const std::uint32_t relocationsRva = Read(base).sections[2].virtualAddress;
  struct Case {
    const char* why;
    ByteVector bytes;
  };
  std::vector<Case> cases = {{"signed", base},
                             {"follows", BuildImage(kResources, ".data2")},
                             {"follow the last section", base},
                             {"data directory 9", base},
                             {"no section", base}};
  Put32(cases[0].bytes, kDirectoriesAt + 4 * 8, static_cast<std::uint32_t>(base.size()));
  Put32(cases[0].bytes, kDirectoriesAt + 4 * 8 + 4, 8);
  cases[2].bytes.resize(base.size() + 16, 0);
  Put32(cases[3].bytes, kDirectoriesAt + 9 * 8, relocationsRva + 4);
  Put32(cases[3].bytes, kDirectoriesAt + 9 * 8 + 4, 4);
  Put32(cases[4].bytes, kDirectoriesAt + 2 * 8, 0);
  for (const Case& c : cases) {
    std::string error;
    EXPECT_TRUE(tools::WriteWithResources(Read(c.bytes), kResources, error).empty()) << c.why;
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
  }
  std::string error;
  EXPECT_TRUE(
      tools::WriteWithResources(Read(base), {kResources[1], kResources[2], kResources[1]}, error).empty());
  EXPECT_NE(error.find("twice"), std::string::npos) << error;
}

TEST(PeDamage, EveryCutIsRefused) {
  const ByteVector base = BuildImage(kResources);
  for (std::size_t length = 0; length < base.size(); ++length) {
    PeImage image;
    std::string error;
    EXPECT_FALSE(tools::ReadPeImage(std::span(base).first(length), image, error)) << length;
    EXPECT_FALSE(error.empty()) << length;
  }
}

TEST(PeDamage, OffsetsAndSizesPointingOutsideAreRefused) {
  const ByteVector base = BuildImage(kResources);
  const auto tree = [&](std::size_t offset) { return kResourceRaw + offset; };
  const auto target = [&](std::size_t entry) {
    return static_cast<std::size_t>(Get32(base, tree(entry) + 4) & ~kHighBit);
  };
  // Each entry leads to the next level's directory, whose first entry starts 16 bytes in.
  const std::size_t iconLanguageEntry = target(target(24) + 16) + 16;  // the icon: resource 1
  const std::size_t iconDataEntry = target(iconLanguageEntry);
  struct Case {
    const char* why;
    std::size_t at;
    int width;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"e_lfanew", 0x3C, 4, 0xFFFFFFF0},
      {"e_lfanew", 0x3C, 4, static_cast<std::uint32_t>(base.size() - 8)},
      {"\"PE\"", kPeAt, 4, 0x4551},
      {"i386", kPeAt + 4, 2, 0x8664},
      {"PE32", kOptionalAt, 2, 0x20B},
      {"optional header", kPeAt + 20, 2, 0xFFFF},
      {"data directories", kPeAt + 20, 2, 96 + 8},
      {"section table", kPeAt + 6, 2, 0xFFFF},
      {"pass the end", kSectionTableAt + 40 + 20, 4, 0xFFFFFE00},
      {"power of two", kOptionalAt + 36, 4, 0x300},
      {"resource directory lies outside", kDirectoriesAt + 16, 4, 0x7FFF0000},
      {"entries pass", tree(14), 2, 0xFFFF},
      {"lies outside", tree(28), 4, kHighBit | 0x7FFFFFF0},
      {"twice", tree(28), 4, kHighBit},
      {"leads to data", tree(28), 4, 0x30},
      {"above 65535", tree(24), 4, 0x12345},
      {"name lies outside", tree(16), 4, kHighBit | 0x7FFFFFF0},
      {"name passes the end", tree(Get32(base, tree(16)) & ~kHighBit), 2, 0xFFFF},
      {"leads to a directory", tree(iconLanguageEntry) + 4, 4, kHighBit | 0x10},
      {"language is a name", tree(iconLanguageEntry), 4, kHighBit | 0x10},
      {"outside the sections", tree(iconDataEntry), 4, 0xFFFFFF00},
      {"outside the sections", tree(iconDataEntry) + 4, 4, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    ByteVector bytes = base;
    (c.width == 2 ? Put16 : Put32)(bytes, c.at, c.value);
    PeImage image;
    std::string error;
    EXPECT_FALSE(tools::ReadPeImage(bytes, image, error)) << c.why;
    EXPECT_NE(error.find(c.why), std::string::npos) << c.why << ": " << error;
  }
  // Every data entry on the whole of .text: blocks used over and over, more than the file.
  ByteVector overlapping = base;
  for (std::size_t i = 0; i < kResources.size(); ++i) {
    const std::size_t dataEntry = target(target(target(16 + 8 * i) + 16) + 16);
    Put32(overlapping, tree(dataEntry), kTextRva);
    Put32(overlapping, tree(dataEntry) + 4, kTextSize);
  }
  PeImage image;
  std::string error;
  EXPECT_FALSE(tools::ReadPeImage(overlapping, image, error));
  EXPECT_NE(error.find("overlap"), std::string::npos) << error;
}

TEST(PeDamage, NoiseIsRefusedOrRewrittenFaithfully) {
  // Whatever a damaged image is read as, a rewrite with its own resources reads back the same.
  const ByteVector base = BuildImage(kResources);
  const std::size_t noisy = kResourceRaw + Read(base).sections[1].virtualSize;  // headers and tree
  std::mt19937 random(77);
  int rewritten = 0;
  for (int round = 0; round < 3000; ++round) {
    ByteVector bytes = base;
    for (int flips = 1 + round % 3; flips > 0; --flips) {
      const std::size_t at = round % 2 ? random() % 0x200 : kResourceRaw + random() % (noisy - kResourceRaw);
      bytes[at] = static_cast<std::uint8_t>(random());
    }
    PeImage image;
    std::string error;
    if (!tools::ReadPeImage(bytes, image, error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    const ByteVector out = tools::WriteWithResources(image, image.resources, error);
    if (out.empty()) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    PeImage back;
    ASSERT_TRUE(tools::ReadPeImage(out, back, error)) << "round " << round << ": " << error;
    // The noise may have unsorted the tree; the rewrite sorts it.
    for (auto* resources : {&image.resources, &back.resources})
      std::sort(resources->begin(), resources->end(), [](const Resource& a, const Resource& b) {
        return std::tie(a.type.isName, a.type.name, a.type.number, a.name.isName, a.name.name, a.name.number,
                        a.language) < std::tie(b.type.isName, b.type.name, b.type.number, b.name.isName,
                                               b.name.name, b.name.number, b.language);
      });
    EXPECT_EQ(back.resources, image.resources) << "round " << round;
    ++rewritten;
  }
  EXPECT_GT(rewritten, 100);  // the noise leaves enough images whole to test the rewrite
}

}  // namespace
