// How an unpacked entry replaces what has its name, on the stand-in file layer: the order of
// open, delete, create, write and hold, and the links, swaps and read-only files Wine cannot show.
#include "folders/entry_writer.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "tests/unit/folders/stand_in_layer.h"
#include "cli/host_files.h"

namespace folders {
namespace {

using namespace folders::testing;
using Steps = std::vector<std::string>;

std::size_t Widen(std::string_view text, wchar_t* out, std::size_t room) {
  return text.size() > room ? 0 : std::copy(text.begin(), text.end(), out) - out;
}

void Put(archive::EntrySink& sink, const std::string& name, const std::string& bytes) {
  sink.Begin(name);
  sink.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  sink.End();
}

struct Product {
  Item folder, outside;  // the held product folder; a file of the user's elsewhere
  StandInLayer layer;
  EntryWriter writer{layer, Widen};
  Product() { writer.WriteInto(layer.Root(folder), "C:\\P"); outside.content = "the user's"; }
  Item* Link(const std::string& name, std::uint32_t kind = kAttributeLink) {
    Item* link = folder.Add(name, kind);
    link->target = &outside;
    return link;
  }
  std::string Content(const std::string& name) { return folder.Find(name) ? folder.Find(name)->content : "-"; }
};

TEST(EntryWriterReplaces, AnEarlierFileOpenedAsItselfDeletedThenANewOneMadeWrittenAndHeld) {
  Product p;
  Item* earlier = p.folder.Add("README.TXT", kAttributeHidden | kAttributeSystem);
  Put(p.writer, "README.TXT", "new");
  EXPECT_EQ(p.layer.steps, (Steps{"open README.TXT", "delete README.TXT", "create README.TXT",
                                  "write README.TXT", "hold README.TXT"}));
  EXPECT_TRUE(earlier->deleted && p.writer.Wrote("README.TXT") && p.Content("README.TXT") == "new");
  EXPECT_EQ(p.layer.open.rbegin()->second.sharing, kShareReading);
}

TEST(EntryWriterReplaces, ALinkOfAnyKindItselfItsTargetUntouched) {
  for (const std::uint32_t kind : {kAttributeLink, kAttributeLink | kAttributeFolder}) {
    Product p;
    Item* link = p.Link("DATA.BIN", kind);
    Put(p.writer, "DATA.BIN", "entry");
    EXPECT_TRUE(link->deleted && p.Content("DATA.BIN") == "entry") << kind;
    EXPECT_TRUE(!p.outside.deleted && p.outside.content == "the user's") << kind;
  }
}

TEST(EntryWriterReplaces, AReadOnlyFileWhoseOtherNameKeepsTheReadOnlyBit) {
  for (const bool deletesReadOnly : {true, false}) {  // Windows 10 1809 on, and before
    Product p;
    p.layer.deletesReadOnly = deletesReadOnly;
    Item* linked = p.folder.Add("DATA.BIN", kAttributeReadOnly);
    linked->links = 2;
    Put(p.writer, "DATA.BIN", "data");
    EXPECT_TRUE(linked->deleted && !p.writer.Failed()) << deletesReadOnly;
    EXPECT_EQ(linked->attributes, kAttributeReadOnly) << deletesReadOnly;
  }
}

TEST(EntryWriterReplaces, ANameCarriedTwiceWithTheSecondEntryAlone) {
  Product p;
  Put(p.writer, "TWICE.TXT", "the first, longer");
  Put(p.writer, "TWICE.TXT", "second");
  EXPECT_EQ(p.Content("TWICE.TXT"), "second");
  EXPECT_EQ(p.layer.open.size(), 2u);  // the folder and the second file: the first let go of
}

TEST(EntryWriterRefuses, ALinkPlantedBetweenTheDeleteAndTheCreateWritingNothingThroughIt) {
  Product p;
  p.folder.Add("SETUP.EXE");
  p.layer.after = [&](const std::string& step) { if (step == "create SETUP.EXE") p.Link("SETUP.EXE"); };
  Put(p.writer, "SETUP.EXE", "entry");
  EXPECT_EQ(p.writer.failure().error, kErrorAlreadyExists);
  EXPECT_TRUE(p.layer.StepsOf("write").empty() && p.outside.content == "the user's");
}

TEST(EntryWriterRefuses, AFolderOfTheEntrysNameTouchingNothing) {
  for (const bool empty : {true, false}) {
    Product p;
    Item* folder = p.folder.Add("DOCS", kAttributeFolder);
    if (!empty) folder->Add("INNER.TXT");
    Put(p.writer, "DOCS", "entry");
    EXPECT_EQ(p.writer.failure().error, kErrorAccessDenied) << empty;
    EXPECT_EQ(p.layer.steps, Steps{"open DOCS"}) << empty;
  }
}

TEST(EntryWriterRefuses, APathPastMaxPathBeforeAnythingIsTouched) {
  Product p;
  Put(p.writer, std::string(254, 'N'), "259 characters");
  p.layer.steps.clear();
  Put(p.writer, std::string(255, 'N'), "260");
  EXPECT_EQ(p.writer.failure().error, kErrorPathTooLong);
  EXPECT_EQ(p.layer.steps, Steps{});
}

TEST(EntryWriterRefuses, AFullDiskRemovingTheCutOffFileAndWritingNothingMore) {
  Product p;
  p.layer.room = 4;
  Put(p.writer, "A.DLL", "0123456789");
  Put(p.writer, "B.DLL", "b");
  EXPECT_EQ(p.writer.failure().error, kErrorDiskFull);
  EXPECT_EQ(p.writer.failure().path.view(), "C:\\P\\A.DLL");
  EXPECT_TRUE(p.folder.Find("A.DLL") == nullptr && p.layer.StepsOf("create") == Steps{"A.DLL"});
}

TEST(EntryWriterRefuses, AnotherFileUnderTheNameAtHoldingLeavingItAlone) {
  Product p;
  p.layer.after = [&](const std::string& step) {
    if (step != "hold SETUP.EXE") return;
    p.folder.Find("SETUP.EXE")->deleted = true;
    p.folder.Add("SETUP.EXE")->content = "planted";
  };
  Put(p.writer, "SETUP.EXE", "ours");
  EXPECT_EQ(p.writer.failure().error, kErrorFileInvalid);
  EXPECT_TRUE(!p.writer.Wrote("SETUP.EXE") && p.Content("SETUP.EXE") == "planted");
}

TEST(EntryWriterDiscards, OnlyTheFileItWrote) {
  Product p;
  Put(p.writer, "SETUP.EXE", "ours");
  Put(p.writer, "README.TXT", "ours");
  Item* ours = p.folder.Find("SETUP.EXE");
  p.folder.Find("README.TXT")->deleted = true;  // another file under the name by now
  Item* other = p.folder.Add("README.TXT");
  p.writer.Discard("SETUP.EXE");
  p.writer.Discard("README.TXT");
  EXPECT_TRUE(ours->deleted && !other->deleted && !p.writer.Wrote("SETUP.EXE"));
  EXPECT_EQ(p.layer.open.size(), 1u);
}

// The packer's extract, by path with its own rule (unlink, then a new file that follows no
// link), comes to the same on the same earlier files.
TEST(EntryWriterReplaces, AsThePackersExtractDoes) {
  namespace fs = std::filesystem;
  const fs::path out = fs::temp_directory_path() / ("entry_writer_" + std::to_string(::getpid()));
  fs::create_directories(out / "DIR.TXT" / "INNER");
  std::ofstream(out / "victim") << "the user's";
  std::ofstream(out / "ZETA.TXT") << "stale";
  fs::permissions(out / "ZETA.TXT", fs::perms::owner_read);
  fs::create_symlink(out / "victim", out / "A.BIN");
  cli::FolderSink sink(out.string());
  Product p;
  p.folder.Add("ZETA.TXT", kAttributeReadOnly);
  p.Link("A.BIN");
  p.folder.Add("DIR.TXT", kAttributeFolder)->Add("INNER", kAttributeFolder);
  using Entry = std::pair<std::string, std::string>;
  for (const auto& [name, bytes] : {Entry{"ZETA.TXT", "zeta"}, {"A.BIN", "a"}, {"TWICE.TXT", "first, longer"},
                                    {"TWICE.TXT", "second"}, {"DIR.TXT", "d"}}) {
    Put(sink, name, bytes);
    Put(p.writer, name, bytes);
  }
  for (const auto& [name, bytes] : {Entry{"ZETA.TXT", "zeta"}, {"A.BIN", "a"}, {"TWICE.TXT", "second"}}) {
    std::ifstream file(out / name);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), bytes) << name;
    EXPECT_EQ(p.Content(name), bytes) << name;
    EXPECT_FALSE(fs::is_symlink(out / name)) << name;
  }
  std::ifstream victim(out / "victim");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), p.outside.content);
  // The folder's entry refused by both, what it holds kept.
  EXPECT_TRUE(sink.errors().size() == 1 && sink.errors()[0].find("/DIR.TXT") != std::string::npos);
  EXPECT_EQ(p.writer.failure().path.view(), "C:\\P\\DIR.TXT");
  EXPECT_TRUE(fs::exists(out / "DIR.TXT" / "INNER") && p.folder.Find("DIR.TXT")->Find("INNER"));
  fs::remove_all(out);
}

}  // namespace
}  // namespace folders
