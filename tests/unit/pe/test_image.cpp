#include "tests/unit/pe/test_image.h"

#include "tests/oracle/pe_checksum.h"

#include <algorithm>
#include <random>
#include <string>

namespace test_image {

const ByteVector kRelocations = {0x00, 0x10, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x04, 0x30, 0x10, 0x30};

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
              std::uint32_t codePage) {
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

const std::vector<Resource> kResources = {
    Make(ResourceId::Name(u"PAYLOAD"), ResourceId::Name(u"Main"), 0, Pattern(33, 1)),
    Make(ResourceId::Number(3), ResourceId::Number(1), 1033, Pattern(100, 2)),
    Make(ResourceId::Number(10), ResourceId::Number(10), 1033, Pattern(61, 3), 1252),
    Make(ResourceId::Number(14), ResourceId::Name(u"TARNBY"), 1033, Pattern(20, 4)),
};

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

ByteVector BuildImageWithTree(const ByteVector& tree, const char* lastSection) {
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
  Put32(image, kOptionalAt + 64, oracle::PeChecksum(image, kOptionalAt + 64));
  return image;
}

ByteVector BuildImage(const std::vector<Resource>& resources, const char* lastSection) {
  return BuildImageWithTree(DepthFirstTree(resources), lastSection);
}

ByteVector DibImage(std::size_t size, std::uint32_t width, std::uint32_t seed) {
  ByteVector image = Pattern(size, seed);
  Put32(image, 0, 40);
  Put32(image, 4, width);
  Put32(image, 8, 2 * width);
  Put16(image, 12, 1);
  Put16(image, 14, 32);
  return image;
}

ByteVector PngImage(std::size_t size, std::uint32_t seed) {
  ByteVector image = Pattern(size, seed);
  const ByteVector head = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  std::copy(head.begin(), head.end(), image.begin());
  return image;
}

std::vector<pe::IconImage> SampleIcons() {
  return {{16, 16, 0, 0, 1, 32, DibImage(1128, 16, 20)},
          {32, 32, 16, 0, 1, 4, DibImage(744, 32, 21)},
          {0, 0, 0, 0, 1, 32, PngImage(3001, 22)}};
}

ByteVector IconFile(const std::vector<pe::IconImage>& images) {
  ByteVector file(6 + 16 * images.size());
  Put16(file, 2, 1);
  Put16(file, 4, static_cast<std::uint32_t>(images.size()));
  for (std::size_t k = 0; k < images.size(); ++k) {
    const pe::IconImage& image = images[k];
    const std::size_t at = 6 + 16 * k;
    file[at] = image.width;
    file[at + 1] = image.height;
    file[at + 2] = image.colorCount;
    file[at + 3] = image.reserved;
    Put16(file, at + 4, image.planes);
    Put16(file, at + 6, image.bitCount);
    Put32(file, at + 8, static_cast<std::uint32_t>(image.data.size()));
    Put32(file, at + 12, static_cast<std::uint32_t>(file.size()));
    file.insert(file.end(), image.data.begin(), image.data.end());
  }
  return file;
}

}  // namespace test_image
