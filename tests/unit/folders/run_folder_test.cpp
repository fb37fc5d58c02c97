// Which folder a run uses, and what it does there in which order, on a stand-in file layer
// with synthetic owners and access lists: the accounts, rights and links that Wine cannot keep
// apart.
#include "folders/run_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace folders {
namespace {

constexpr std::uint32_t kFull = 0x001F01FF, kRead = 0x001200A9;

FolderSecurity Owned(Trustee owner) {
  FolderSecurity security;
  security.readable = security.hasAccessList = true;
  security.owner = owner;
  security.entries[0] = {true, kFull, owner};
  security.entries[1] = {true, kRead, Trustee::kOther};
  security.count = 2;
  return security;
}

struct Item {
  std::string name;
  std::uint32_t attributes = 0;
  FolderSecurity security = Owned(Trustee::kCurrentUser);
  std::vector<std::unique_ptr<Item>> children;
  Item* target = nullptr;        // what a link points to
  bool refuseOpen = false;       // this user may not write it
  bool refuseTakeOver = false;   // nor change its owner
  bool refuseDelete = false;     // nor remove it
  bool openFollows = false;      // opening it follows the link (as Wine does)
  bool running = false;
  bool deleted = false;

  Item* Add(const std::string& child, std::uint32_t kind = 0) {
    children.push_back(std::make_unique<Item>());
    children.back()->name = child;
    children.back()->attributes = kind;
    return children.back().get();
  }
  Item* Find(const std::string& child) {
    for (auto& item : children) {
      if (!item->deleted && item->name == child) return item.get();
    }
    return nullptr;
  }
};

std::string Narrow(std::wstring_view text) { return std::string(text.begin(), text.end()); }

// Records every step as "verb name"; `after` runs after each, to change the tree mid-run.
class StandInLayer final : public FileLayer {
 public:
  struct Handle {
    Item* item;
    std::uint32_t sharing;
    std::size_t position = 0;
    bool deleting = false;
  };
  std::vector<std::string> steps;
  std::function<void(const std::string&)> after = [](const std::string&) {};
  std::map<Node, Handle> open;

  Node Root(Item& item) { return Keep(&item, 7); }
  Opened OpenFolder(Node parent, std::wstring_view name, std::uint32_t sharing, bool make) override {
    if (make && At(parent)->Find(Narrow(name)) == nullptr) {
      Step("open " + Narrow(name));
      return {Keep(At(parent)->Add(Narrow(name), kAttributeFolder), sharing), 0, kAttributeFolder, true};
    }
    return OpenEntry(parent, name, sharing);
  }
  Opened OpenEntry(Node folder, std::wstring_view name, std::uint32_t sharing) override {
    Item* entry = At(folder)->Find(Narrow(name));
    Step("open " + Narrow(name));
    if (entry == nullptr || entry->refuseOpen) return {0, entry == nullptr ? 2u : kErrorAccessDenied};
    return {Keep(entry, sharing), 0, entry->attributes & ~(entry->openFollows ? kAttributeLink : 0), false};
  }
  bool NextEntry(Node folder, bool restart, EntryName& name, std::uint32_t& attributes,
                 std::uint32_t& error) override {
    Handle& handle = open.at(folder);
    // A handle on a link that was followed would list what it points to.
    Item* listed = handle.item->target != nullptr ? handle.item->target : handle.item;
    if (restart) Step("list " + listed->name);
    handle.position = restart ? 0 : handle.position;
    auto& children = listed->children;
    while (handle.position < children.size() && children[handle.position]->deleted) ++handle.position;
    error = 0;
    if (handle.position == children.size()) return false;
    Item& child = *children[handle.position++];
    name = EntryName(std::wstring(child.name.begin(), child.name.end()));
    attributes = child.attributes;
    Step("listed " + child.name);
    return true;
  }
  void ReadSecurity(Node folder, FolderSecurity& security) override {
    security = At(folder)->security;
    Step("judge " + At(folder)->name);
  }
  std::uint32_t TakeOver(Node folder) override {
    if (At(folder)->refuseTakeOver) return kErrorAccessDenied;
    At(folder)->security = Owned(Trustee::kCurrentUser);
    Step("take " + At(folder)->name);
    return 0;
  }
  std::uint32_t Delete(Node node, std::uint32_t) override {
    Item* item = At(node);
    const bool full = std::any_of(item->children.begin(), item->children.end(), [](auto& c) { return !c->deleted; });
    if (item->refuseDelete || (item->target == nullptr && full)) return kErrorAccessDenied;
    open.at(node).deleting = true;
    Step("delete " + item->name);
    return 0;
  }
  bool ProgramRunning(Node folder, std::wstring_view name) override {
    const Item* program = At(folder)->Find(Narrow(name));
    return program != nullptr && program->running;
  }
  void Close(Node node) override {
    if (node != 0 && open.at(node).deleting) open.at(node).item->deleted = true;
    open.erase(node);
  }

  std::vector<std::string> StepsOf(const std::string& verb) const {
    std::vector<std::string> found;
    for (const auto& step : steps) {
      if (step.rfind(verb + " ", 0) == 0) found.push_back(step.substr(verb.size() + 1));
    }
    return found;
  }
  std::ptrdiff_t IndexOf(const std::string& step) const {
    return std::find(steps.begin(), steps.end(), step) - steps.begin();
  }

 private:
  Item* At(Node node) { return open.at(node).item; }
  Node Keep(Item* item, std::uint32_t sharing) {
    open.emplace(++last_, Handle{item, sharing});
    return last_;
  }
  void Step(const std::string& step) {
    steps.push_back(step);
    after(step);
  }
  Node last_ = 0;
};

// The system drive's root and this user's local application data folder.
struct Machine {
  Item drive, local;
  StandInLayer layer;

  Item* Fixed(Trustee owner) {
    Item* base = drive.Add("Tarnby Setup", kAttributeFolder);
    Item* product = base->Add("TarLoom64", kAttributeFolder);
    base->security = product->security = Owned(owner);
    product->Add("SETUP.EXE");
    return product;
  }
  RunFolderChoice Run(bool perUserKnown = true) {
    return ChooseRunFolder(layer, layer.Root(drive), perUserKnown ? layer.Root(local) : 0,
                           L"Tarnby Setup", L"TarLoom64", L"SETUP.EXE");
  }
};

TEST(RunFolder, AFreshMachineUsesTheFixedFolderHeldSharingReadingOnly) {
  Machine machine;
  const RunFolderChoice choice = machine.Run();
  ASSERT_EQ(choice.prepared.result, FolderResult::kReady);
  EXPECT_EQ(choice.folder, RunFolder::kFixed);
  EXPECT_NE(machine.drive.Find("Tarnby Setup")->Find("TarLoom64"), nullptr);
  EXPECT_EQ(machine.layer.open.at(choice.prepared.base).sharing, kShareReading);
  EXPECT_EQ(machine.layer.open.at(choice.prepared.product).sharing, kShareReading);
  // Made now: nothing to judge, list or delete; nothing made in the user's profile.
  EXPECT_EQ(machine.layer.steps, (std::vector<std::string>{"open Tarnby Setup", "open TarLoom64"}));
  EXPECT_TRUE(machine.local.children.empty());
}

TEST(RunFolder, AFixedFolderThatCannotBeTheUsersSendsTheRunToTheUsersOwnUntouched) {
  // Another account's (not to be taken over), an administrator's this user may not write, a
  // link in its place that cannot be removed, and one that can (the fixed folder is then used).
  enum Kind { kOtherAccount, kAdministrators, kFixedLink, kRemovableLink };
  for (const Kind kind : {kOtherAccount, kAdministrators, kFixedLink, kRemovableLink}) {
    Machine machine;
    Item documents;
    documents.Add("THESIS.DOC");
    Item* base;
    if (kind == kOtherAccount || kind == kAdministrators) {
      machine.Fixed(kind == kOtherAccount ? Trustee::kOther : Trustee::kAdministrators);
      base = machine.drive.Find("Tarnby Setup");
      base->refuseTakeOver = kind == kOtherAccount;
      base->refuseOpen = kind == kAdministrators;
    } else {
      base = machine.drive.Add("Tarnby Setup", kAttributeFolder | kAttributeLink);
      base->target = &documents;
      base->refuseDelete = kind == kFixedLink;
    }
    const RunFolderChoice choice = machine.Run();
    ASSERT_EQ(choice.prepared.result, FolderResult::kReady) << kind;
    EXPECT_EQ(choice.folder, kind == kRemovableLink ? RunFolder::kFixed : RunFolder::kPerUser) << kind;
    Item& used = kind == kRemovableLink ? machine.drive : machine.local;
    EXPECT_NE(used.Find("Tarnby Setup")->Find("TarLoom64"), nullptr) << kind;
    // Nothing of the fixed folder is deleted or even listed, nor anything behind a link.
    EXPECT_EQ(machine.layer.StepsOf("delete"),
              kind == kRemovableLink ? std::vector<std::string>{"Tarnby Setup"} : std::vector<std::string>{});
    EXPECT_EQ(machine.layer.StepsOf("list"), std::vector<std::string>{});
    EXPECT_NE(documents.Find("THESIS.DOC"), nullptr);
    // The two held folders stay open, besides the two roots, which the caller closes.
    EXPECT_EQ(machine.layer.open.size(), 4u);
  }
}

TEST(RunFolder, TheRunStopsOnlyWhenNeitherFolderCanBeTheUsers) {
  Machine machine;
  machine.Fixed(Trustee::kOther);
  machine.drive.Find("Tarnby Setup")->refuseTakeOver = true;
  EXPECT_EQ(machine.Run(false).prepared.result, FolderResult::kNotOurs);
  machine.local.Add("Tarnby Setup", kAttributeFolder)->refuseOpen = true;
  const RunFolderChoice choice = machine.Run();
  EXPECT_EQ(choice.folder, RunFolder::kPerUser);
  EXPECT_EQ(choice.prepared.result, FolderResult::kNotOurs);
  EXPECT_EQ(choice.prepared.error, kErrorAccessDenied);
  // A hidden base folder counts as missing, and is no reason to go elsewhere.
  Machine hidden;
  hidden.drive.Add("Tarnby Setup", kAttributeFolder | kAttributeHidden);
  EXPECT_EQ(hidden.Run().prepared.result, FolderResult::kBaseMissing);
  Machine file;
  file.drive.Add("Tarnby Setup");
  EXPECT_EQ(file.Run().prepared.result, FolderResult::kProductMissing);
}

TEST(RunFolder, AnInstallerStillRunningFromTheFolderStopsTheRunBeforeAnythingChanges) {
  Machine machine;
  Item* product = machine.Fixed(Trustee::kOther);  // would be taken over and emptied
  product->Find("SETUP.EXE")->running = true;
  const RunFolderChoice choice = machine.Run();
  EXPECT_EQ(choice.prepared.result, FolderResult::kSetupStillOpen);
  EXPECT_EQ(machine.layer.StepsOf("take"), std::vector<std::string>{});
  EXPECT_EQ(machine.layer.StepsOf("judge"), std::vector<std::string>{});
  EXPECT_EQ(machine.layer.StepsOf("delete"), std::vector<std::string>{});
  EXPECT_EQ(machine.layer.open.size(), 2u);  // the roots alone
}

TEST(RunFolder, ThisUsersFolderLosesItsPlainFilesOnly) {
  Machine machine;
  Item* product = machine.Fixed(Trustee::kCurrentUser);
  product->Add("READONLY.TXT", kAttributeReadOnly);
  product->Add("HIDDEN.TXT", kAttributeHidden);
  product->Add("Sub", kAttributeFolder)->Add("INNER.TXT");
  product->Add("LINK.DLL", kAttributeLink);
  ASSERT_EQ(machine.Run().prepared.result, FolderResult::kReady);
  EXPECT_EQ(machine.layer.StepsOf("delete"), std::vector<std::string>{"SETUP.EXE"});
  EXPECT_EQ(machine.layer.StepsOf("take"), std::vector<std::string>{});
}

TEST(RunFolder, ATakenFolderIsEmptiedEntryByEntryOpenedAndJudgedBeforeItIsListed) {
  Machine machine;
  Item* product = machine.Fixed(Trustee::kOther);
  product->Add("Sub", kAttributeFolder)->Add("PLANTED.DLL", kAttributeReadOnly);
  ASSERT_EQ(machine.Run().prepared.result, FolderResult::kReady);
  StandInLayer& layer = machine.layer;
  // Emptied, the folder itself goes and a new one of ours takes its place: a handle opened on
  // the old one before the takeover has no hold on it.
  EXPECT_EQ(layer.StepsOf("delete"),
            (std::vector<std::string>{"SETUP.EXE", "PLANTED.DLL", "Sub", "TarLoom64"}));
  EXPECT_TRUE(product->deleted);
  EXPECT_NE(machine.drive.Find("Tarnby Setup")->Find("TarLoom64"), nullptr);
  // The base folder first becomes ours, then is emptied of all but the product folder, which
  // is judged on its own; nothing is listed before it is opened, and taken over before that.
  EXPECT_LT(layer.IndexOf("take Tarnby Setup"), layer.IndexOf("list Tarnby Setup"));
  EXPECT_LT(layer.IndexOf("list Tarnby Setup"), layer.IndexOf("judge TarLoom64"));
  EXPECT_LT(layer.IndexOf("take TarLoom64"), layer.IndexOf("list TarLoom64"));
  EXPECT_LT(layer.IndexOf("listed Sub"), layer.IndexOf("open Sub"));
  EXPECT_LT(layer.IndexOf("open Sub"), layer.IndexOf("list Sub"));
  for (const auto& [node, handle] : layer.open) {
    if (handle.item->name == "Tarnby Setup" || handle.item->name == "TarLoom64") {
      EXPECT_EQ(handle.sharing, kShareReading);
    }
  }
}

TEST(RunFolder, ATakenFolderThatCannotBeReplacedSendsTheRunToTheUsersOwn) {
  Machine machine;
  machine.Fixed(Trustee::kOther)->refuseDelete = true;  // someone holds it open
  const RunFolderChoice choice = machine.Run();
  EXPECT_EQ(choice.prepared.result, FolderResult::kReady);
  EXPECT_EQ(choice.folder, RunFolder::kPerUser);
}

TEST(RunFolder, ALinkSwappedInMidEmptyingIsDeletedItselfNeverFollowed) {
  Machine machine;
  Item profile;
  profile.name = "Documents";
  profile.Add("THESIS.DOC");
  Item* product = machine.Fixed(Trustee::kOther);
  product->Add("Sub", kAttributeFolder);
  Item* followed = product->Add("Followed", kAttributeFolder | kAttributeLink);
  followed->target = &profile;
  followed->openFollows = true;
  // Between the listing and the open, "Sub" becomes a junction into the user's documents.
  machine.layer.after = [&](const std::string& step) {
    if (step != "listed Sub") return;
    Item* sub = product->Find("Sub");
    sub->attributes = kAttributeFolder | kAttributeLink;
    sub->target = &profile;
  };
  ASSERT_EQ(machine.Run().prepared.result, FolderResult::kReady);
  EXPECT_FALSE(profile.Find("THESIS.DOC") == nullptr);
  EXPECT_EQ(machine.layer.StepsOf("list"), (std::vector<std::string>{"Tarnby Setup", "TarLoom64"}));
  EXPECT_EQ(product->Find("Sub"), nullptr);
  EXPECT_EQ(product->Find("Followed"), nullptr);
}

}  // namespace
}  // namespace folders
