// Which folder a run uses, and what it does there in which order, on a stand-in file layer
// with synthetic owners and access lists: the accounts, rights and links that Wine cannot keep
// apart.
#include "folders/run_folder.h"

#include "tests/unit/folders/stand_in_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace folders {
namespace {

using namespace folders::testing;

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
  // Another account's (passed over though this user could take it over: a handle they hold
  // would keep its power), an administrator's this user may not write, a link in its place
  // that cannot be removed, and one that can (the fixed folder is then used).
  enum Kind { kOtherAccount, kAdministrators, kFixedLink, kRemovableLink };
  for (const Kind kind : {kOtherAccount, kAdministrators, kFixedLink, kRemovableLink}) {
    Machine machine;
    Item documents;
    documents.Add("THESIS.DOC");
    Item* base;
    if (kind == kOtherAccount || kind == kAdministrators) {
      machine.Fixed(kind == kOtherAccount ? Trustee::kOther : Trustee::kAdministrators);
      base = machine.drive.Find("Tarnby Setup");
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
    EXPECT_EQ(machine.layer.StepsOf("take"), std::vector<std::string>{});
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

TEST(RunFolder, ThisUsersInstallerStillRunningStopsTheRunBeforeAnythingChangesAnothersDoesNot) {
  Machine machine;
  Item* product = machine.Fixed(Trustee::kCurrentUser);
  product->Add("README.TXT");
  product->Find("SETUP.EXE")->running = true;
  const RunFolderChoice choice = machine.Run();
  EXPECT_EQ(choice.prepared.result, FolderResult::kSetupStillOpen);
  EXPECT_EQ(machine.layer.StepsOf("take"), std::vector<std::string>{});
  EXPECT_EQ(machine.layer.StepsOf("delete"), std::vector<std::string>{});
  EXPECT_EQ(machine.layer.open.size(), 2u);  // the roots alone

  // Someone else's setup.exe kept open in their own product folder (under a base folder this
  // user may use) stops nobody: it is judged first, and the run goes to this user's folder.
  Machine other;
  Item* theirs = other.Fixed(Trustee::kCurrentUser, Trustee::kOther);
  theirs->Find("SETUP.EXE")->running = true;
  const RunFolderChoice elsewhere = other.Run();
  EXPECT_EQ(elsewhere.prepared.result, FolderResult::kReady);
  EXPECT_EQ(elsewhere.folder, RunFolder::kPerUser);
  EXPECT_EQ(other.layer.StepsOf("take"), std::vector<std::string>{});
  EXPECT_EQ(other.layer.StepsOf("delete"), std::vector<std::string>{});
}

TEST(RunFolder, NothingAnotherAccountMakesInTheFixedFoldersPlaceStopsTheRun) {
  // A hidden or system base folder, a plain file in its place, a plain file or a hidden folder
  // in the product folder's place: each someone else's.
  enum Kind { kHiddenBase, kSystemBase, kFileAsBase, kFileAsProduct, kHiddenProduct };
  for (const Kind kind : {kHiddenBase, kSystemBase, kFileAsBase, kFileAsProduct, kHiddenProduct}) {
    Machine machine;
    Item* blocker;
    if (kind <= kFileAsBase) {
      const std::uint32_t attributes[] = {kAttributeFolder | kAttributeHidden, kAttributeFolder | kAttributeSystem, 0};
      blocker = machine.drive.Add("Tarnby Setup", attributes[kind]);
    } else {
      Item* base = machine.drive.Add("Tarnby Setup", kAttributeFolder);
      blocker = base->Add("TarLoom64", kind == kFileAsProduct ? 0 : kAttributeFolder | kAttributeHidden);
    }
    blocker->security = Owned(Trustee::kOther);
    const RunFolderChoice choice = machine.Run();
    EXPECT_EQ(choice.prepared.result, FolderResult::kReady) << kind;
    EXPECT_EQ(choice.folder, RunFolder::kPerUser) << kind;
    EXPECT_EQ(machine.layer.StepsOf("delete"), std::vector<std::string>{}) << kind;
    // The same made by this user keeps its message.
    Machine own;
    (kind <= kFileAsBase ? own.drive : *own.drive.Add("Tarnby Setup", kAttributeFolder))
        .Add(blocker->name, blocker->attributes);
    const FolderResult missing = kind == kHiddenBase || kind == kSystemBase ? FolderResult::kBaseMissing
                                                                            : FolderResult::kProductMissing;
    EXPECT_EQ(own.Run().prepared.result, missing) << kind;
  }
}

TEST(RunFolder, AnElevatedRunMakesTheFixedFolderTheAdministratorsOrNone) {
  // What a run as the user left: both folders this user's, trusted as such.
  Machine machine;
  Item* product = machine.Fixed(Trustee::kCurrentUser);
  Item* base = machine.drive.Find("Tarnby Setup");
  base->Add("NOTES.TXT");
  const RunFolderChoice choice = machine.Run(true, Keepers::kAdministrators);
  ASSERT_EQ(choice.prepared.result, FolderResult::kReady);
  EXPECT_EQ(choice.folder, RunFolder::kFixed);
  // The base folder becomes the administrators' in place, its files left; the product folder is
  // emptied and replaced by a new one, made the administrators'.
  EXPECT_EQ(base->security.owner, Trustee::kAdministrators);
  EXPECT_NE(base->Find("NOTES.TXT"), nullptr);
  EXPECT_TRUE(product->deleted);
  Item* made = base->Find("TarLoom64");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->security.owner, Trustee::kAdministrators);
  EXPECT_TRUE(made->children.empty());
  EXPECT_EQ(machine.layer.StepsOf("list"), std::vector<std::string>{"TarLoom64"});
  EXPECT_TRUE(machine.local.children.empty());

  // A fixed folder it cannot have ends the elevated run: never this account's own folder.
  Machine refused;
  refused.Fixed(Trustee::kOther)->refuseTakeOver = true;
  refused.drive.Find("Tarnby Setup")->refuseTakeOver = true;
  const RunFolderChoice none = refused.Run(true, Keepers::kAdministrators);
  EXPECT_EQ(none.prepared.result, FolderResult::kNotOurs);
  EXPECT_EQ(none.folder, RunFolder::kFixed);
  EXPECT_TRUE(refused.local.children.empty());
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
  Item* product = machine.Fixed(Trustee::kCurrentUser, Trustee::kOther);
  product->Add("Sub", kAttributeFolder)->Add("PLANTED.DLL", kAttributeReadOnly);
  ASSERT_EQ(machine.Run().prepared.result, FolderResult::kReady);
  StandInLayer& layer = machine.layer;
  // Emptied, the folder itself goes and a new one of ours takes its place: a handle opened on
  // the old one before the takeover has no hold on it.
  EXPECT_EQ(layer.StepsOf("delete"),
            (std::vector<std::string>{"SETUP.EXE", "PLANTED.DLL", "Sub", "TarLoom64"}));
  EXPECT_TRUE(product->deleted);
  EXPECT_NE(machine.drive.Find("Tarnby Setup")->Find("TarLoom64"), nullptr);
  // Nothing is listed before it is opened, and taken over before that; the base folder, this
  // user's, keeps its files.
  EXPECT_EQ(layer.StepsOf("list"), (std::vector<std::string>{"TarLoom64", "Sub"}));
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
  machine.Fixed(Trustee::kCurrentUser, Trustee::kOther)->refuseDelete = true;  // someone holds it open
  const RunFolderChoice choice = machine.Run();
  EXPECT_EQ(choice.prepared.result, FolderResult::kReady);
  EXPECT_EQ(choice.folder, RunFolder::kPerUser);
}

TEST(RunFolder, ALinkSwappedInMidEmptyingIsDeletedItselfNeverFollowed) {
  Machine machine;
  Item profile;
  profile.name = "Documents";
  profile.Add("THESIS.DOC");
  Item* product = machine.Fixed(Trustee::kCurrentUser, Trustee::kOther);
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
  EXPECT_EQ(machine.layer.StepsOf("list"), std::vector<std::string>{"TarLoom64"});
  EXPECT_EQ(product->Find("Sub"), nullptr);
  EXPECT_EQ(product->Find("Followed"), nullptr);
}

}  // namespace
}  // namespace folders
