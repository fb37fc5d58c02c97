// Program images: a small PE32 image made here (headers, .text, a resource section laid out
// depth first as ld lays it out, .reloc) read, rewritten with changed, grown and shrunk
// resources and read again; the layouts the rewriting refuses; damaged images. The checksum of
// every image read or written is compared with an independent sum. Icon files read into their
// images, and the files that are not sound refused.
#include "pe/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "tests/oracle/pe_checksum.h"
#include "tests/unit/pe/test_image.h"
#include "pe/icon_file.h"

namespace {

using namespace test_image;
using pe::PeImage;

PeImage Read(const ByteVector& bytes) {
  PeImage image;
  std::string error;
  EXPECT_TRUE(pe::ReadPeImage(bytes, image, error)) << error;
  return image;
}

ByteVector Rewrite(const PeImage& image, const std::vector<Resource>& resources) {
  std::string error;
  ByteVector out = pe::WriteWithResources(image, resources, error);
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
  EXPECT_EQ(image.subsystem, pe::kSubsystemWindowsGui);
  EXPECT_FALSE(image.hasSignature);
  ASSERT_EQ(image.sections.size(), 3u);
  EXPECT_EQ(image.sections[0].name, ".text");
  EXPECT_EQ(image.sections[1].name, ".rsrc");
  EXPECT_EQ(image.sections[1].rawPointer, kResourceRaw);
  EXPECT_EQ(image.sections[2].name, ".reloc");
  EXPECT_EQ(image.resources, kResources);
  EXPECT_EQ(image.checksum, oracle::PeChecksum(image.file, image.checksumOffset));
}

TEST(PeRewriting, GrownChangedAndShrunkResourcesReadBackWithRelocationsMoved) {
  const ByteVector original = BuildImage(kResources);
  PeImage image = Read(original);            // each case rewrites the one before: .reloc moves out, then back
  std::vector<Resource> grown = kResources;  // the payload across several pages, a new version block
  pe::PutResource(grown, Make(ResourceId::Number(10), ResourceId::Number(10), 1033, Pattern(9000, 5)));
  pe::PutResource(grown, Make(ResourceId::Number(16), ResourceId::Number(1), 1033, Pattern(17, 6)));
  std::vector<Resource> changed = kResources;  // same sizes, other bytes
  pe::PutResource(changed, Make(ResourceId::Number(3), ResourceId::Number(1), 1033, Pattern(100, 7)));
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
    const pe::PeSection& rsrc = back.sections[1];
    const pe::PeSection& reloc = back.sections[2];
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
    EXPECT_EQ(back.checksum, oracle::PeChecksum(out, back.checksumOffset));
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
    EXPECT_TRUE(pe::WriteWithResources(Read(c.bytes), kResources, error).empty()) << c.why;
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
  }
  std::string error;
  EXPECT_TRUE(
      pe::WriteWithResources(Read(base), {kResources[1], kResources[2], kResources[1]}, error).empty());
  EXPECT_NE(error.find("twice"), std::string::npos) << error;
}

TEST(PeDamage, EveryCutIsRefused) {
  const ByteVector base = BuildImage(kResources);
  for (std::size_t length = 0; length < base.size(); ++length) {
    PeImage image;
    std::string error;
    EXPECT_FALSE(pe::ReadPeImage(std::span(base).first(length), image, error)) << length;
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
    EXPECT_FALSE(pe::ReadPeImage(bytes, image, error)) << c.why;
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
  EXPECT_FALSE(pe::ReadPeImage(overlapping, image, error));
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
    if (!pe::ReadPeImage(bytes, image, error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    const ByteVector out = pe::WriteWithResources(image, image.resources, error);
    if (out.empty()) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    PeImage back;
    ASSERT_TRUE(pe::ReadPeImage(out, back, error)) << "round " << round << ": " << error;
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

TEST(IconFile, ReadsEveryImageAsStoredAndRefusesWhatIsNotASoundIconFile) {
  const std::vector<pe::IconImage> icons = SampleIcons();
  const ByteVector file = IconFile(icons);
  std::vector<pe::IconImage> read;
  std::string error;
  ASSERT_TRUE(pe::ReadIconFile(file, read, error)) << error;
  EXPECT_EQ(read, icons);
  std::vector<pe::IconImage> v5 = {icons[0]};  // a BITMAPV5HEADER is a DIB too
  Put32(v5[0].data, 0, 124);
  ASSERT_TRUE(pe::ReadIconFile(IconFile(v5), read, error)) << error;
  EXPECT_EQ(read, v5);

  // Entry k's size at 14 + 16k and offset at 18 + 16k; the images at 54, 1182 and 1926.
  const auto with = [&](std::size_t at, std::uint32_t value, int width) {
    ByteVector bytes = file;
    width == 2 ? Put16(bytes, at, value) : Put32(bytes, at, value);
    return bytes;
  };
  const auto cut = [&](std::size_t size) {
    return ByteVector(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
  };
  struct Case {
    const char* what;
    ByteVector bytes;
    const char* words;
  };
  const std::vector<Case> cases = {
      {"header cut", cut(5), "shorter than its header"},
      {"reserved field set", with(0, 1, 2), "not that of an icon"},
      {"a cursor", with(2, 2, 2), "not that of an icon"},
      {"no images", with(4, 0, 2), "no images"},
      {"directory cut", cut(6 + 16 * 2 + 8), "cut short"},
      {"an image of 0 bytes", with(14, 0, 4), "size of 0"},
      {"the last image cut", cut(file.size() - 1), "image 3 of the icon file passes the end"},
      {"a size that would wrap", with(14 + 16, 0xFFFFFFFF, 4), "image 2 of the icon file passes the end"},
      {"an image over the directory", with(18, 53, 4), "inside the file's directory"},
      {"a PNG without its signature", with(1926, 0, 4), "neither a PNG nor a bitmap"},
      {"a PNG without IHDR first", with(1926 + 12, 0, 4), "neither a PNG nor a bitmap"},
      {"a BITMAPCOREHEADER", with(54, 12, 4), "neither a PNG nor a bitmap"},
      {"a DIB of two planes", with(54 + 12, 2, 2), "neither a PNG nor a bitmap"},
      {"a DIB of no width", with(54 + 4, 0, 4), "neither a PNG nor a bitmap"},
      {"a DIB shorter than its header", with(14 + 16, 39, 4), "neither a PNG nor a bitmap"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(pe::ReadIconFile(c.bytes, read, error)) << c.what;
    EXPECT_NE(error.find(c.words), std::string::npos) << c.what << ": " << error;
  }
}

}  // namespace
