// Recording sinks and sources for the archive tests.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/byte_io.h"
#include "archive/entry_name.h"
#ifdef _WIN32
#include "win32/upper_case.h"
#endif

namespace archive::testing {

// The upper-casing the tests expect of the walk: the system's under Windows (CharUpperBuffA,
// as the launcher's sink asks for), code page 1252 elsewhere.
inline void SystemUpperCase(char* text, std::size_t length) {
#ifdef _WIN32
  win32::UpperCaseAnsi(text, length);
#else
  UpperCase1252(text, length);
#endif
}

// Remembers every entry and every write piece.
class RecordingSink final : public EntrySink {
 public:
  struct Entry {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> pieces;
    bool ended = false;
  };
  void Begin(std::string_view name) override { entries.push_back({std::string(name), {}, {}, false}); }
  void Write(const std::uint8_t* data, std::size_t size) override {
    entries.back().bytes.insert(entries.back().bytes.end(), data, data + size);
    entries.back().pieces.push_back(size);
  }
  void End() override { entries.back().ended = true; }
  void UpperCase(char* name, std::size_t length) override { SystemUpperCase(name, length); }
  bool Failed() const override { return entries.size() >= failAfterEntries; }

  std::vector<Entry> entries;
  std::size_t failAfterEntries = SIZE_MAX;  // a sink that can write no more after so many
};

class RecordingProgress final : public ProgressReport {
 public:
  void PercentChanged(int32_t percent) override { reports.push_back(percent); }
  std::vector<int32_t> reports;
};

// A file-like source whose reads deliver at most `limits[k]` bytes for the k-th read (the
// last limit repeating), as a flaky or truncated file might.
class StingySource final : public ByteSource {
 public:
  StingySource(std::span<const std::uint8_t> bytes, std::vector<int32_t> limits)
      : bytes_(bytes), limits_(std::move(limits)) {}
  int32_t Read(std::uint8_t* dest, int32_t count) override {
    int32_t allowed = count;
    if (!limits_.empty()) {
      allowed = std::min(count, limits_[std::min(reads_, limits_.size() - 1)]);
      ++reads_;
    }
    int32_t n = 0;
    while (n < allowed && pos_ < bytes_.size()) dest[n++] = bytes_[pos_++];
    return n;
  }
  void Seek(int32_t offset) override { pos_ = static_cast<std::size_t>(offset); }
  int32_t Length() override { return static_cast<int32_t>(bytes_.size()); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::vector<int32_t> limits_;
  std::size_t reads_ = 0;
  std::size_t pos_ = 0;
};

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace archive::testing
