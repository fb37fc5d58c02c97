// eekpack as a user runs it: the real program, in a scratch folder of its own per test.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive/payload_digest.h"
#include "tests/unit/pe/test_image.h"
#include "archive/archive_writer.h"
#include "pe/pe_image.h"

namespace {

namespace fs = std::filesystem;
using ByteVector = std::vector<std::uint8_t>;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Spit(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class Eekpack : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/eekpack-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs eekpack in the scratch folder, held to 1 GiB of address space (or `kib`): a runaway
  // allocation fails the run, not the machine.
  Result Run(const std::vector<std::string>& args, std::uint64_t kib = 1048576) {
    std::string command =
        "cd " + Quote(dir_.string()) + " && ulimit -v " + std::to_string(kib) + " && " + Quote(EEKPACK_PATH);
    for (const auto& a : args) command += " " + Quote(a);
    command += " >out.txt 2>err.txt";
    Result result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = Slurp(dir_ / "out.txt");
    result.err = Slurp(dir_ / "err.txt");
    fs::remove(dir_ / "out.txt");
    fs::remove(dir_ / "err.txt");
    return result;
  }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  void SpitBytes(const std::string& name, const ByteVector& bytes) {
    Spit(Path(name), std::string(bytes.begin(), bytes.end()));
  }

  std::string Binary(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string bytes;
    while (bytes.size() < size) {
      // Repeats and noise, roughly like a program file.
      if (bytes.size() > 64 && rng() % 2) {
        const std::size_t from = rng() % (bytes.size() - 32);
        bytes += bytes.substr(from, 4 + rng() % 28);
      } else {
        bytes += static_cast<char>(rng());
      }
    }
    bytes.resize(size);
    return bytes;
  }

  static int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }

  fs::path dir_;
};

TEST_F(Eekpack, CreateListExtractRoundTripInBothLayouts) {
  Spit(Path("readme.txt"), "Read me first.\r\n");
  Spit(Path("Setup.exe"), Binary(300000, 1));
  Spit(Path("empty.dat"), "");
  for (const std::string layout : {"1", "2"}) {
    SCOPED_TRACE("layout " + layout);
    const Result created = Run({"create", "--layout", layout, "out.eek", "readme.txt", "Setup.exe", "empty.dat"});
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(created.err, "");  // no terminal: no bar

    const Result listed = Run({"list", "out.eek"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::istringstream lines(listed.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "layout " + layout);
    std::getline(lines, line);
    EXPECT_EQ(line, "README.TXT\t17\t16");
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("SETUP.EXE\t", 0), 0u) << line;
    EXPECT_NE(line.find("\t300000"), std::string::npos) << line;
    std::getline(lines, line);
    EXPECT_EQ(line, "EMPTY.DAT\t0\t0");

    const Result extracted = Run({"extract", "out.eek", "unpacked" + layout});
    ASSERT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(Slurp(Path("unpacked" + layout) / "README.TXT"), "Read me first.\r\n");
    EXPECT_EQ(Slurp(Path("unpacked" + layout) / "SETUP.EXE"), Slurp(Path("Setup.exe")));
    EXPECT_TRUE(fs::exists(Path("unpacked" + layout) / "EMPTY.DAT"));
    EXPECT_EQ(fs::file_size(Path("unpacked" + layout) / "EMPTY.DAT"), 0u);
  }
  // Layout 2 is the default, and its archives start with the marker.
  ASSERT_EQ(Run({"create", "default.eek", "readme.txt"}).status, 0);
  EXPECT_EQ(Slurp(Path("default.eek"))[0], '\x02');
}

TEST_F(Eekpack, AnyNumberOfThreadsMakesTheSameArchive) {
  std::vector<std::string> args = {"create", "one.eek"};
  for (std::uint32_t k = 0; k < 9; ++k) {
    const std::string name = "file" + std::to_string(k) + ".bin";
    Spit(Path(name), Binary(20000 + 7000 * k, k));
    args.push_back(name);
  }
  std::vector<std::string> one = args;
  one.insert(one.begin() + 1, "--jobs=1");
  ASSERT_EQ(Run(one).status, 0);
  for (const std::string jobs : {"2", "3", "16"}) {
    std::vector<std::string> many = args;
    many[1] = "many" + jobs + ".eek";
    many.insert(many.begin() + 1, {"--jobs", jobs});
    const Result result = Run(many);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Slurp(Path("many" + jobs + ".eek")), Slurp(Path("one.eek"))) << jobs << " threads";
  }
  // A file that cannot be read is reported as with one thread, and no archive is written.
  std::vector<std::string> broken = args;
  broken[1] = "broken.eek";
  broken.insert(broken.begin() + 5, "missing.bin");
  broken.insert(broken.begin() + 1, "--jobs=4");
  const Result failed = Run(broken);
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("cannot read missing.bin"), std::string::npos) << failed.err;
  EXPECT_FALSE(fs::exists(Path("broken.eek")));
}

TEST_F(Eekpack, LargeFilesSharedBetweenThreadsMakeTheSameArchive) {
  // Files of 2 MiB and more are split into pieces that every thread takes a share of, between
  // small files that threads take whole; one holds a run of zeros across a seam.
  Spit(Path("small1.bin"), Binary(30000, 21));
  Spit(Path("large1.bin"), Binary((5 << 19) + 4097, 22));
  Spit(Path("small2.bin"), Binary(50000, 23));
  Spit(Path("large2.bin"), Binary(1300000, 24) + std::string(400000, '\0') + Binary((1 << 20) - 200000, 25));
  const std::vector<std::string> names = {"small1.bin", "large1.bin", "small2.bin", "large2.bin"};
  std::vector<std::string> one = {"create", "--jobs=1", "one.eek"};
  one.insert(one.end(), names.begin(), names.end());
  ASSERT_EQ(Run(one).status, 0);
  for (const std::string jobs : {"2", "3", "7"}) {
    std::vector<std::string> many = {"create", "--jobs", jobs, "many" + jobs + ".eek"};
    many.insert(many.end(), names.begin(), names.end());
    const Result result = Run(many);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Slurp(Path("many" + jobs + ".eek")), Slurp(Path("one.eek"))) << jobs << " threads";
  }
  // A file that cannot be read while a large one is under way: reported, and no archive.
  const Result failed = Run({"create", "--jobs=2", "broken.eek", "large1.bin", "missing.bin", "small1.bin"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("cannot read missing.bin"), std::string::npos) << failed.err;
  EXPECT_FALSE(fs::exists(Path("broken.eek")));
}

TEST_F(Eekpack, ExtractIntoTheCurrentFolderReplacingEarlierFiles) {
  Spit(Path("a.txt"), "new content");
  ASSERT_EQ(Run({"create", "x.eek", "a.txt"}).status, 0);
  Spit(Path("A.TXT"), "an older and longer content");
  // A link of an entry's name is replaced, not written through.
  Spit(Path("victim"), "keep");
  fs::create_symlink(Path("victim"), Path("B.TXT"));
  Spit(Path("b.txt"), "bee");
  ASSERT_EQ(Run({"create", "y.eek", "b.txt"}).status, 0);
  ASSERT_EQ(Run({"extract", "x.eek"}).status, 0);
  ASSERT_EQ(Run({"extract", "y.eek"}).status, 0);
  EXPECT_EQ(Slurp(Path("A.TXT")), "new content");
  EXPECT_FALSE(fs::is_symlink(Path("B.TXT")));
  EXPECT_EQ(Slurp(Path("B.TXT")), "bee");
  EXPECT_EQ(Slurp(Path("victim")), "keep");
}

TEST_F(Eekpack, ExtractSkipsNamesThatLeaveTheFolder) {
  ByteVector archive;
  const ByteVector literal = {0x01, 'h', 'i'};
  archive::AppendRecord(archive, archive::Layout::kHeader10, "../escaped.txt", literal, 2);
  archive::AppendRecord(archive, archive::Layout::kHeader10, "..\\escaped.txt", literal, 2);
  archive::AppendRecord(archive, archive::Layout::kHeader10, "fine.txt", literal, 2);
  Spit(Path("evil.eek"), std::string(archive.begin(), archive.end()));
  fs::create_directory(Path("out"));
  const Result result = Run({"extract", "evil.eek", "out"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_FALSE(fs::exists(Path("escaped.txt")));
  EXPECT_FALSE(fs::exists(Path("ESCAPED.TXT")));
  std::vector<std::string> written;
  for (const auto& entry : fs::directory_iterator(Path("out"))) written.push_back(entry.path().filename());
  EXPECT_EQ(written, std::vector<std::string>{"FINE.TXT"});
  EXPECT_EQ(Lines(result.err), 2) << result.err;
  EXPECT_NE(result.err.find("skipped ../ESCAPED.TXT"), std::string::npos) << result.err;

  const Result listed = Run({"list", "evil.eek"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_NE(listed.out.find("..\\x5CESCAPED.TXT\t3\t2\t(skipped"), std::string::npos) << listed.out;
}

TEST_F(Eekpack, DamagedArchivesAreReported) {
  Spit(Path("big.bin"), Binary(50000, 2));
  Spit(Path("small.txt"), "small");
  ASSERT_EQ(Run({"create", "good.eek", "big.bin", "small.txt"}).status, 0);
  const std::string good = Slurp(Path("good.eek"));
  Spit(Path("cut.eek"), good.substr(0, good.size() / 2));
  for (const std::string command : {"list", "extract"}) {
    const Result result = Run({command, "cut.eek"});
    EXPECT_EQ(result.status, 1) << command;
    EXPECT_NE(result.err.find("damaged archive"), std::string::npos) << result.err;
    EXPECT_EQ(Lines(result.err), 1) << result.err;
  }
  // The launcher's rules still hold: what could be decoded was written.
  EXPECT_TRUE(fs::exists(Path("BIG.BIN")));
  EXPECT_LT(fs::file_size(Path("BIG.BIN")), 50000u);

  // A wrong size in a layout-2 header.
  std::string lying = good;
  lying[6] = static_cast<char>(lying[6] + 1);
  Spit(Path("lying.eek"), lying);
  const Result result = Run({"list", "lying.eek"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("its header says"), std::string::npos) << result.err;
  // Not an archive at all.
  Spit(Path("text.eek"), "this is not an archive, just some words in a file\n");
  EXPECT_EQ(Run({"list", "text.eek"}).status, 1);
  // An empty file is an empty archive.
  Spit(Path("empty.eek"), "");
  const Result empty = Run({"list", "empty.eek"});
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.out, "layout 1\n");
}

TEST_F(Eekpack, InputMistakesGiveOneLineErrorsAndNoArchive) {
  Spit(Path("ok.txt"), "fine");
  Spit(Path("a very long name.txt"), "long");
  Spit(Path("con.txt"), "device");
  Spit(Path("co:lon"), "colon");
  Spit(Path("back\\slash"), "slash");
  Spit(Path("OK.TXT"), "twin");
  Spit(Path(" blank"), "blank");
  Spit(Path(std::string(233, 'n')), "fits");
  Spit(Path(std::string(234, 'n')), "one byte past MAX_PATH once installed");
  struct Case {
    std::vector<std::string> args;
    std::string words;
  };
  const std::vector<Case> cases = {
      {{"create", "x.eek", "ok.txt", "missing.txt"}, "cannot read missing.txt"},
      {{"create", "--layout", "1", "x.eek", "a very long name.txt"}, "name too long for layout 1"},
      {{"create", "x.eek", "con.txt"}, "not a plain file name"},
      {{"create", "x.eek", "co:lon"}, "not a plain file name"},
      {{"create", "x.eek", "back\\slash"}, "not a plain file name"},
      {{"create", "x.eek", " blank"}, "blank"},
      {{"create", "x.eek", std::string(234, 'n')}, "name too long to install (233 bytes at most"},
      {{"create", "x.eek", "ok.txt", "OK.TXT"}, "duplicate entry name"},
      {{"create", "x.eek", "."}, "not a plain file name"},
      {{"create", "x.eek"}, "no input files"},
      {{"list", "missing.eek"}, "cannot read missing.eek"},
  };
  for (const Case& c : cases) {
    const Result result = Run(c.args);
    EXPECT_EQ(result.status, 1) << c.words;
    EXPECT_EQ(Lines(result.err), 1) << result.err;
    EXPECT_NE(result.err.find(c.words), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(Path("x.eek"))) << c.words;
  }
  EXPECT_EQ(Run({"create", "x.eek", std::string(233, 'n')}).status, 0);
  // A folder given as an input.
  fs::create_directory(Path("folder"));
  EXPECT_EQ(Run({"create", "x.eek", "folder"}).status, 1);
}

TEST_F(Eekpack, EntriesBeyondSigned32BitSizesAreRefused) {
  // A sparse file one byte over INT32_MAX: refused from its size, without reading it.
  const int fd = ::open(Path("huge.bin").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, off_t{1} << 31), 0);
  ::close(fd);
  const Result result = Run({"create", "x.eek", "huge.bin"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("larger than 2147483647"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(Path("x.eek")));
}

TEST_F(Eekpack, FailedCreateLeavesTheOldArchiveAlone) {
  Spit(Path("a.txt"), "a");
  ASSERT_EQ(Run({"create", "keep.eek", "a.txt"}).status, 0);
  const std::string before = Slurp(Path("keep.eek"));
  EXPECT_EQ(Run({"create", "keep.eek", "a.txt", "missing"}).status, 1);
  EXPECT_EQ(Slurp(Path("keep.eek")), before);
  // No temporary files left behind either.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) files += entry.is_regular_file();
  EXPECT_EQ(files, 2);
}

TEST_F(Eekpack, UsageMistakesAndHelp) {
  const Result help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("eekpack create [--layout 1|2] [--jobs N] ARCHIVE FILE..."), std::string::npos);
  EXPECT_EQ(Run({}).status, 2);
  EXPECT_EQ(Run({"pack", "x"}).status, 2);
  EXPECT_EQ(Run({"create", "--layout", "3", "x.eek", "y"}).status, 2);
  EXPECT_EQ(Run({"create", "--fast", "x.eek", "y"}).status, 2);
  for (const std::string jobs : {"0", "-1", "two", "", "1025"}) {
    EXPECT_EQ(Run({"create", "--jobs=" + jobs, "x.eek", "y"}).status, 2) << jobs;
  }
  EXPECT_EQ(Run({"create", "x.eek", "y", "--jobs"}).status, 2);
  EXPECT_EQ(Run({"list"}).status, 2);
  EXPECT_EQ(Run({"extract", "a", "b", "c"}).status, 2);
  // The version is the project's, as the build names it.
  const Result version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "eekpack " EEKPACK_VERSION "\n");
  EXPECT_EQ(Run({"--version", "x"}).status, 2);
}

// ---- Installers: made from a folder, looked into without running them, and crafted stubs ----

using test_image::Get32;
using test_image::Put32;

// The test image as a launcher stub whose payload resource (RT_RCDATA 10, 1033) holds `payload`.
ByteVector Stub(const ByteVector& payload) {
  std::vector<pe::Resource> resources = test_image::kResources;
  resources[2].data = payload;
  return test_image::BuildImage(resources);
}

bool IsRcData(const pe::Resource& r, std::uint16_t id) {
  return r.type == pe::ResourceId::Number(10) && r.name == pe::ResourceId::Number(id) && r.language == 1033;
}

const pe::Resource* FindRcData(const std::vector<pe::Resource>& resources, std::uint16_t id) {
  for (const pe::Resource& r : resources)
    if (IsRcData(r, id)) return &r;
  return nullptr;
}

class Installers : public Eekpack {
 protected:
  void SetUp() override {
    Eekpack::SetUp();
    fs::create_directory(Path("payload"));
    Spit(Path("payload") / "data.bin", Binary(40000, 3));  // first in name order
    Spit(Path("payload") / "readme.txt", "Read me.\r\n");
    Spit(Path("payload") / "setup.exe", Binary(20000, 4));
    SpitBytes("stub.exe", Stub({}));
    const Result made = Run({"installer", "made.exe", "payload", "--stub", "stub.exe"});
    ASSERT_EQ(made.status, 0) << made.err;
    const Result created =
        Run({"create", "expected.eek", "payload/data.bin", "payload/readme.txt", "payload/setup.exe"});
    ASSERT_EQ(created.status, 0) << created.err;
    const std::string text = Slurp(Path("made.exe"));
    installer_.assign(text.begin(), text.end());
    const std::string archive = Slurp(Path("expected.eek"));
    archive_.assign(archive.begin(), archive.end());
  }

  // The made installer with `payload` as its payload and `digest` as its digest record
  // (none: no digest resource).
  ByteVector Rewritten(const ByteVector& payload, const ByteVector* digest) {
    pe::PeImage image;
    std::string error;
    EXPECT_TRUE(pe::ReadPeImage(installer_, image, error)) << error;
    std::erase_if(image.resources, [](const pe::Resource& r) { return IsRcData(r, 11); });
    const auto rcData = [](std::uint16_t id, const ByteVector& data) {
      return test_image::Make(pe::ResourceId::Number(10), pe::ResourceId::Number(id), 1033, data);
    };
    pe::PutResource(image.resources, rcData(10, payload));
    if (digest != nullptr) pe::PutResource(image.resources, rcData(11, *digest));
    ByteVector out = pe::WriteWithResources(image, image.resources, error);
    EXPECT_FALSE(out.empty()) << error;
    return out;
  }

  static ByteVector DigestRecord(const ByteVector& payload) {
    std::uint8_t record[archive::kDigestRecordSize];
    archive::WriteDigestRecord(archive::DigestOf(payload), record);
    return ByteVector(std::begin(record), std::end(record));
  }

  ByteVector installer_;
  ByteVector archive_;
};

TEST_F(Installers, MadeInstallerCarriesTheDigestAndListsExtractsAndVerifiesLikeItsArchive) {
  pe::PeImage image;
  std::string error;
  ASSERT_TRUE(pe::ReadPeImage(installer_, image, error)) << error;
  const pe::Resource* payload = FindRcData(image.resources, 10);
  const pe::Resource* digest = FindRcData(image.resources, archive::kDigestResourceId);
  ASSERT_NE(payload, nullptr);
  ASSERT_NE(digest, nullptr);
  EXPECT_EQ(payload->data, archive_);
  EXPECT_EQ(digest->data, DigestRecord(archive_));

  const Result listed = Run({"list", "made.exe"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out, Run({"list", "expected.eek"}).out);
  const Result extracted = Run({"extract", "made.exe", "out"});
  EXPECT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(Slurp(Path("out") / "DATA.BIN"), Slurp(Path("payload") / "data.bin"));
  EXPECT_EQ(Slurp(Path("out") / "README.TXT"), "Read me.\r\n");
  EXPECT_EQ(Slurp(Path("out") / "SETUP.EXE"), Slurp(Path("payload") / "setup.exe"));
  const Result verified = Run({"verify", "made.exe"});
  EXPECT_EQ(verified.status, 0) << verified.err;
  EXPECT_EQ(Lines(verified.out), 1) << verified.out;
  EXPECT_NE(verified.out.find("digest matches"), std::string::npos) << verified.out;
  EXPECT_EQ(verified.err, "");
}

TEST_F(Installers, VerifyNamesWhatIsWrongInOneLine) {
  // A literal byte of data.bin's stream (header 10, name 8, control byte 1): the archive still
  // walks soundly, so only the digest tells.
  ByteVector changed = installer_;
  const auto at = std::search(changed.begin(), changed.end(), archive_.begin(), archive_.end());
  ASSERT_NE(at, changed.end());
  at[10 + 8 + 1 + 50] ^= 0x55;
  SpitBytes("changed.exe", changed);
  ByteVector cut(archive_.begin(), archive_.begin() + static_cast<std::ptrdiff_t>(archive_.size() / 2));
  const ByteVector digest = DigestRecord(archive_), cutDigest = DigestRecord(cut);
  SpitBytes("cut.exe", Rewritten(cut, &digest));
  SpitBytes("cut-matching.exe", Rewritten(cut, &cutDigest));  // as if packed so: only the walk tells
  SpitBytes("no-digest.exe", Rewritten(archive_, nullptr));
  const ByteVector badRecord = {'E', 'K', 'D', '2', 0, 0, 0, 0, 0, 0, 0, 0};
  SpitBytes("bad-record.exe", Rewritten(archive_, &badRecord));
  std::vector<pe::Resource> withoutPayload = test_image::kResources;
  withoutPayload.erase(withoutPayload.begin() + 2);
  SpitBytes("no-payload.exe", test_image::BuildImage(withoutPayload));
  SpitBytes("cut.eek", cut);
  ByteVector shortFile(installer_.begin(), installer_.end() - 100);
  SpitBytes("short.exe", shortFile);
  // A layout-1 archive starts with its first name: "MZ" alone does not make a program.
  Spit(Path("MZ.TXT"), "not a program");
  ASSERT_EQ(Run({"create", "--layout", "1", "mz.eek", "MZ.TXT"}).status, 0);

  struct Case {
    std::string file;
    int status;
    std::string words;  // in the one line on stderr, or on stdout for a sound one
  };
  const std::vector<Case> cases = {
      {"changed.exe", 1, "payload digest mismatch"},
      {"cut.exe", 1, "payload digest mismatch"},
      {"cut-matching.exe", 1, "damaged archive"},
      {"bad-record.exe", 1, "damaged payload digest"},
      {"no-payload.exe", 1, "no payload"},
      {"stub.exe", 1, "no payload"},
      {"short.exe", 1, "pass the end of the file"},
      {"cut.eek", 1, "damaged archive"},
      {"no-digest.exe", 0, "no payload digest"},
      {"expected.eek", 0, "no payload digest"},
      {"mz.eek", 0, "a bare archive"},
  };
  for (const Case& c : cases) {
    const Result result = Run({"verify", c.file});
    EXPECT_EQ(result.status, c.status) << c.file << ": " << result.err;
    if (c.status == 0) {
      EXPECT_EQ(result.err, "") << c.file;
      EXPECT_NE(result.out.find(c.words), std::string::npos) << c.file << ": " << result.out;
    } else {
      EXPECT_EQ(Lines(result.err), 1) << c.file << ": " << result.err;
      EXPECT_NE(result.err.find(c.words), std::string::npos) << c.file << ": " << result.err;
    }
  }
  // The changed byte escapes the walk: list and extract take the archive as sound.
  EXPECT_EQ(Run({"list", "changed.exe"}).status, 0);
  for (const std::string file : {"cut-matching.exe", "no-payload.exe"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", file}, {"extract", file, "out"}}) {
      const Result result = Run(args);
      EXPECT_EQ(result.status, 1) << args[0] << " " << file;
      EXPECT_EQ(Lines(result.err), 1) << args[0] << " " << file << ": " << result.err;
    }
  }
  const Result fromNoDigest = Run({"extract", "no-digest.exe", "unpacked"});
  EXPECT_EQ(fromNoDigest.status, 0) << fromNoDigest.err;
  EXPECT_EQ(Slurp(Path("unpacked") / "README.TXT"), "Read me.\r\n");
}

// The resource tree of a stub whose one 65,535-unit name is reached from 65,535 name entries,
// each leading to a language directory of its own (directories 16 bytes apart, each one's
// entry being the next one's unused first half) and one shared empty data entry: 1.7 MB of
// file that reads as 8 GiB of names.
ByteVector NameBombTree() {
  constexpr std::size_t kCount = 0xFFFF;
  constexpr std::size_t kDataEntryAt = 24, kNameDirectoryAt = 40;
  constexpr std::size_t kStringAt = kNameDirectoryAt + 16 + 8 * kCount;
  constexpr std::size_t kLanguagesAt = kStringAt + 2 + 2 * kCount;
  ByteVector tree(kLanguagesAt + 16 * kCount + 8);
  test_image::Put16(tree, 14, 1);
  Put32(tree, 16, 10);
  Put32(tree, 20, test_image::kHighBit | kNameDirectoryAt);
  Put32(tree, kDataEntryAt, test_image::kResourceRva);
  test_image::Put16(tree, kNameDirectoryAt + 12, kCount);
  for (std::size_t k = 0; k < kCount; ++k) {
    const std::size_t entry = kNameDirectoryAt + 16 + 8 * k;
    Put32(tree, entry, test_image::kHighBit | static_cast<std::uint32_t>(kStringAt));
    Put32(tree, entry + 4, test_image::kHighBit | static_cast<std::uint32_t>(kLanguagesAt + 16 * k));
    const std::size_t directory = kLanguagesAt + 16 * k;
    test_image::Put16(tree, directory + 14, 1);
    Put32(tree, directory + 16, 1033);
    Put32(tree, directory + 20, kDataEntryAt);
  }
  test_image::Put16(tree, kStringAt, kCount);
  std::fill(tree.begin() + kStringAt + 2, tree.begin() + kLanguagesAt, 'A');
  return tree;
}

TEST_F(Installers, CraftedStubsAreRefusedInOneLineWithinTheirScale) {
  const ByteVector base = Stub({});
  const auto withAlignments = [&](std::uint32_t file, std::uint32_t section) {
    ByteVector bytes = base;
    Put32(bytes, test_image::kOptionalAt + 32, section);
    Put32(bytes, test_image::kOptionalAt + 36, file);
    return bytes;
  };
  struct Case {
    std::string name;
    ByteVector bytes;
    std::string words;
  };
  const std::vector<Case> cases = {
      {"name-bomb.exe", test_image::BuildImageWithTree(NameBombTree()), "more than the file"},
      {"align-2g.exe", withAlignments(0x80000000, 0x1000), "file alignment"},
      {"align-256.exe", withAlignments(0x100, 0x1000), "file alignment"},
      {"align-128k.exe", withAlignments(0x20000, 0x20000), "file alignment"},
      {"align-above-section.exe", withAlignments(0x2000, 0x1000), "file alignment"},
  };
  for (const Case& c : cases) {
    SpitBytes(c.name, c.bytes);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"installer", "out.exe", "payload", "--stub", c.name},
          {"list", c.name}, {"extract", c.name, "out"}, {"verify", c.name}}) {
      const Result result = Run(args);
      EXPECT_EQ(result.status, 1) << args[0] << " " << c.name << ": " << result.err;
      EXPECT_EQ(Lines(result.err), 1) << args[0] << " " << c.name << ": " << result.err;
      EXPECT_NE(result.err.find(c.words), std::string::npos)
          << args[0] << " " << c.name << ": " << result.err;
    }
    EXPECT_FALSE(fs::exists(Path("out.exe"))) << c.name;
    EXPECT_FALSE(fs::exists(Path("out"))) << c.name;
  }
}

// An installer whose archive would pass the format's 2 GiB is refused in one line, with nothing
// written: 17 links to one file of 128 MiB of random bytes, which no parse makes smaller. (The
// heaviest case here: about 2.2 GB to encode, and as much held, in 8 GiB of address space.)
TEST_F(Installers, ArchivesPastTheFormatsLimitAreRefused) {
  fs::create_directory(Path("huge"));
  {
    std::mt19937_64 random(7);
    std::vector<std::uint64_t> words((std::size_t{128} << 20) / 8);
    for (std::uint64_t& word : words) word = random();
    std::ofstream out(Path("huge") / "part00.bin", std::ios::binary);
    out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size() * 8));
  }
  for (int k = 1; k < 17; ++k) {
    fs::create_hard_link(Path("huge") / "part00.bin", Path("huge") / ("part" + std::to_string(10 + k) + ".bin"));
  }
  Spit(Path("huge") / "setup.exe", Binary(2000, 9));
  const std::vector<std::string> args = {"installer", "huge.exe", "huge", "--stub", "stub.exe", "--jobs", "2"};
  const Result result = Run(args, 8u << 20);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(Lines(result.err), 1) << result.err;
  EXPECT_NE(result.err.find("2147483647 bytes, the most the format can hold"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(Path("huge.exe")));
  // With less memory than that takes, one line says so, whichever thread ran out.
  const Result short_of_memory = Run(args);
  EXPECT_EQ(short_of_memory.status, 1) << short_of_memory.err;
  EXPECT_EQ(short_of_memory.err, "eekpack: error: out of memory\n");
  EXPECT_FALSE(fs::exists(Path("huge.exe")));
}

// What is not the launcher cannot carry a payload: a windowed program without the payload's
// resource, and a console program that has one.
TEST_F(Installers, ProgramsThatAreNotTheLauncherAreRefusedAsStubs) {
  std::vector<pe::Resource> withoutPayload = test_image::kResources;
  std::erase_if(withoutPayload, [](const pe::Resource& r) { return IsRcData(r, 10); });
  ASSERT_EQ(withoutPayload.size() + 1, test_image::kResources.size());
  SpitBytes("other-program.exe", test_image::BuildImage(withoutPayload));
  ByteVector console = Stub({});
  console[test_image::kOptionalAt + 68] = 3;  // IMAGE_SUBSYSTEM_WINDOWS_CUI
  SpitBytes("console.exe", console);
  for (const auto& [stub, words] : {std::pair{"other-program.exe", "not the launcher"},
                                    std::pair{"console.exe", "is not a windowed program"}}) {
    const Result result = Run({"installer", "out.exe", "payload", "--stub", stub});
    EXPECT_EQ(result.status, 1) << stub;
    EXPECT_EQ(Lines(result.err), 1) << result.err;
    EXPECT_NE(result.err.find(words), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(Path("out.exe"))) << stub;
  }
}

TEST_F(Installers, EmptyPayloadInASectionWithoutRawDataIsRead) {
  // .text keeps its bytes in the file but claims none (a .bss-like section, its raw pointer
  // far past the end), and the stub's empty payload points into it.
  ByteVector bytes = Stub({});
  const std::size_t text = test_image::kSectionTableAt;
  Put32(bytes, text + 16, 0);
  Put32(bytes, text + 20, 0xFFFFFE00);
  // Its data entry, the only one with code page 1252: an address in .rsrc, size 0.
  std::size_t entry = 0;
  for (std::size_t at = test_image::kResourceRaw; at + 12 <= bytes.size(); ++at) {
    const std::uint32_t rva = Get32(bytes, at);
    if (rva >= test_image::kResourceRva && rva < test_image::kResourceRva + 0x1000 &&
        Get32(bytes, at + 4) == 0 && Get32(bytes, at + 8) == 1252) {
      entry = at;
      break;
    }
  }
  ASSERT_NE(entry, 0u);
  Put32(bytes, entry, test_image::kTextRva);
  SpitBytes("rawless.exe", bytes);

  const Result made = Run({"installer", "from-rawless.exe", "payload", "--stub", "rawless.exe"});
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(Run({"verify", "from-rawless.exe"}).status, 0);
  const Result stub = Run({"verify", "rawless.exe"});
  EXPECT_EQ(stub.status, 1);
  EXPECT_NE(stub.err.find("no payload"), std::string::npos) << stub.err;
}

// ---- The vendor's icon (--icon) ----

std::vector<pe::Resource> ResourcesOf(const std::string& file) {
  pe::PeImage image;
  std::string error;
  EXPECT_TRUE(pe::ReadPeImage(ByteVector(file.begin(), file.end()), image, error)) << error;
  return image.resources;
}

bool IsIconType(const pe::Resource& r, std::uint16_t type) { return r.type == pe::ResourceId::Number(type); }

TEST_F(Installers, IconOptionMakesTheVendorsIconTheFirstGroupAndKeepsTheLaunchersOwn) {
  const std::vector<pe::IconImage> icons = test_image::SampleIcons();
  SpitBytes("acme.ico", test_image::IconFile(icons));
  for (const char* out : {"iconic.exe", "iconic-again.exe"}) {
    const Result made = Run({"installer", out, "payload", "--stub", "stub.exe", "--icon", "acme.ico"});
    ASSERT_EQ(made.status, 0) << made.err;
  }
  EXPECT_EQ(Slurp(Path("iconic.exe")), Slurp(Path("iconic-again.exe")));
  const std::vector<pe::Resource> resources = ResourcesOf(Slurp(Path("iconic.exe")));

  // Explorer shows the first icon group in directory order.
  const auto first =
      std::find_if(resources.begin(), resources.end(), [](const pe::Resource& r) { return IsIconType(r, 14); });
  ASSERT_NE(first, resources.end());
  EXPECT_NE(first->name, pe::ResourceId::Name(u"TARNBY"));
  EXPECT_EQ(first->language, 1033);
  const ByteVector& group = first->data;
  ASSERT_EQ(group.size(), 6 + 14 * icons.size());
  EXPECT_EQ(test_image::Get16(group, 0), 0u);
  EXPECT_EQ(test_image::Get16(group, 2), 1u);
  EXPECT_EQ(test_image::Get16(group, 4), icons.size());
  std::vector<pe::Resource> added = {*first};
  for (std::size_t k = 0; k < icons.size(); ++k) {
    const std::size_t at = 6 + 14 * k;
    const pe::IconImage& icon = icons[k];
    EXPECT_EQ(ByteVector(group.begin() + at, group.begin() + at + 4),
              ByteVector({icon.width, icon.height, icon.colorCount, icon.reserved}));
    EXPECT_EQ(test_image::Get16(group, at + 4), icon.planes);
    EXPECT_EQ(test_image::Get16(group, at + 6), icon.bitCount);
    EXPECT_EQ(Get32(group, at + 8), icon.data.size());
    const auto id = static_cast<std::uint16_t>(test_image::Get16(group, at + 12));
    const auto held = std::find_if(resources.begin(), resources.end(), [&](const pe::Resource& r) {
      return IsIconType(r, 3) && r.name == pe::ResourceId::Number(id) && r.language == 1033;
    });
    ASSERT_NE(held, resources.end()) << "icon " << id;
    EXPECT_EQ(held->data, icon.data) << "icon " << id;
    if (std::find(added.begin(), added.end(), *held) == added.end()) added.push_back(*held);
  }
  // Everything else (the launcher's icon 1 and its TARNBY group among it) is what the
  // installer made without --icon holds, byte for byte: no new id took an old one's place.
  EXPECT_EQ(added.size(), 1 + icons.size());
  std::vector<pe::Resource> rest = resources;
  std::erase_if(rest,
                [&](const pe::Resource& r) { return std::find(added.begin(), added.end(), r) != added.end(); });
  EXPECT_EQ(rest, ResourcesOf(Slurp(Path("made.exe"))));
  const Result verified = Run({"verify", "iconic.exe"});
  EXPECT_EQ(verified.status, 0) << verified.err;
  EXPECT_NE(verified.out.find("digest matches"), std::string::npos) << verified.out;
}

TEST_F(Installers, IconFilesThatAreNotSoundAreRefusedInOneLineWithNoInstaller) {
  const ByteVector sound = test_image::IconFile(test_image::SampleIcons());
  SpitBytes("cut-directory.ico", ByteVector(sound.begin(), sound.begin() + 30));
  SpitBytes("cut-image.ico", ByteVector(sound.begin(), sound.end() - 1));
  ByteVector cursor = sound;
  test_image::Put16(cursor, 2, 2);
  SpitBytes("cursor.cur", cursor);
  SpitBytes("acme.ico", sound);
  // An installer that has the vendor's group already: a second one would not be shown.
  ASSERT_EQ(Run({"installer", "iconic.exe", "payload", "--stub", "stub.exe", "--icon", "acme.ico"}).status, 0);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--icon", "cut-directory.ico"}, "cut short"},
      {{"--icon", "cut-image.ico"}, "passes the end of the file"},
      {{"--icon", "cursor.cur"}, "not that of an icon"},
      {{"--icon", "missing.ico"}, "missing.ico"},
      {{"--icon", "acme.ico", "--stub", "iconic.exe"}, "already has the icon group"},
  };
  for (const auto& [options, words] : cases) {
    std::vector<std::string> args = {"installer", "out.exe", "payload", "--stub", "stub.exe"};
    args.insert(args.end(), options.begin(), options.end());
    const Result result = Run(args);
    EXPECT_EQ(result.status, 1) << options[1] << ": " << result.err;
    EXPECT_EQ(Lines(result.err), 1) << options[1] << ": " << result.err;
    EXPECT_NE(result.err.find("eekpack: error: "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(words), std::string::npos) << options[1] << ": " << result.err;
    EXPECT_FALSE(fs::exists(Path("out.exe"))) << options[1];
  }
}

}  // namespace
