// A stand-in for the install folders' file layer, with synthetic owners and access lists: the
// accounts, rights and links that Wine cannot keep apart. It records every step as "verb name"
// and can change the tree between two of them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "folders/run_folder.h"

namespace folders::testing {

constexpr std::uint32_t kFull = 0x001F01FF, kRead = 0x001200A9;

inline FolderSecurity Owned(Trustee owner) {
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
  std::string content;         // what was written to it
  std::uint32_t links = 1;     // its names, this one and hard links elsewhere

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

inline std::string Narrow(std::wstring_view text) { return std::string(text.begin(), text.end()); }

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
  Trustee ours = Trustee::kCurrentUser;  // who the folders it makes and takes over belong to
  std::size_t room = SIZE_MAX;           // bytes the disk takes before it is full
  bool deletesReadOnly = true;           // the system deletes a read-only file as it is

  Node Root(Item& item) { return Keep(&item, 7); }
  Opened OpenFolder(Node parent, std::wstring_view name, std::uint32_t sharing, bool make) override {
    if (make && At(parent)->Find(Narrow(name)) == nullptr) {
      Step("open " + Narrow(name));
      Item* made = At(parent)->Add(Narrow(name), kAttributeFolder);
      made->security = Owned(ours);
      return {Keep(made, sharing), 0, kAttributeFolder, true};
    }
    return OpenEntry(parent, name, sharing);
  }
  Opened OpenEntry(Node folder, std::wstring_view name, std::uint32_t sharing) override {
    Item* entry = At(folder)->Find(Narrow(name));
    Step("open " + Narrow(name));
    if (entry == nullptr || entry->refuseOpen) return {0, entry == nullptr ? 2u : kErrorAccessDenied};
    if (Shared(entry, sharing)) return {0, kErrorSharingViolation};
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
    At(folder)->security = Owned(ours);
    Step("take " + At(folder)->name);
    return 0;
  }
  std::uint32_t Delete(Node node, std::uint32_t attributes) override {
    Item* item = At(node);
    const bool full = std::any_of(item->children.begin(), item->children.end(), [](auto& c) { return !c->deleted; });
    if (item->refuseDelete || (item->target == nullptr && full)) return kErrorAccessDenied;
    // A read-only file is refused unless the caller says it is one, which clears the bit.
    if ((item->attributes & kAttributeReadOnly) != 0 && (attributes & kAttributeReadOnly) == 0) return kErrorAccessDenied;
    item->attributes &= ~kAttributeReadOnly;
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
  // The step is recorded before the call acts, so `after` can change the tree in between.
  Opened MakeFile(Node folder, std::wstring_view name) override {
    Step("create " + Narrow(name));
    if (At(folder)->Find(Narrow(name)) != nullptr) return {0, kErrorAlreadyExists};
    return {Keep(At(folder)->Add(Narrow(name)), kShareNothing), 0, 0, true};
  }
  std::uint32_t Append(Node file, const std::uint8_t* data, std::size_t size) override {
    Step("write " + At(file)->name);
    const std::size_t taken = std::min(size, room);
    room -= taken;
    At(file)->content.append(reinterpret_cast<const char*>(data), taken);
    return taken < size ? kErrorDiskFull : 0;
  }
  Opened OpenForHolding(Node folder, std::wstring_view name) override {
    Step("hold " + Narrow(name));
    Item* file = At(folder)->Find(Narrow(name));
    return file != nullptr ? Opened{Keep(file, kShareReading), 0, file->attributes} : Opened{0, 2};
  }
  std::uint32_t ReadFacts(Node node, FileFacts& facts) override {
    facts = {reinterpret_cast<std::uintptr_t>(At(node)), At(node)->links};  // the item is the file
    return 0;
  }
  std::uint32_t SetAttributes(Node node, std::uint32_t attributes) override {
    At(node)->attributes = (At(node)->attributes & ~0x7u) | (attributes & 0x7);
    Step("attributes " + At(node)->name);
    return 0;
  }
  std::uint32_t DeleteReadOnly(Node node) override {
    const std::uint32_t kept = At(node)->attributes;
    const std::uint32_t failed = deletesReadOnly ? Delete(node, kAttributeReadOnly) : 87;  // an older system
    At(node)->attributes = kept;
    return failed;
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
  // Whether another handle on `item` and one asked with `sharing` exclude each other.
  bool Shared(const Item* item, std::uint32_t sharing) const {
    return std::any_of(open.begin(), open.end(), [&](const auto& held) {
      return held.second.item == item && (held.second.sharing == kShareNothing || sharing == kShareNothing);
    });
  }
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

  // The fixed folders as an earlier run left them; the product folder `productOwner`'s.
  Item* Fixed(Trustee owner, Trustee productOwner) {
    Item* base = drive.Add("Tarnby Setup", kAttributeFolder);
    Item* product = base->Add("TarLoom64", kAttributeFolder);
    base->security = Owned(owner);
    product->security = Owned(productOwner);
    product->Add("SETUP.EXE");
    return product;
  }
  Item* Fixed(Trustee owner) { return Fixed(owner, owner); }
  RunFolderChoice Run(bool perUserKnown = true, Keepers keepers = Keepers::kThisUser) {
    layer.ours = keepers == Keepers::kThisUser ? Trustee::kCurrentUser : Trustee::kAdministrators;
    return ChooseRunFolder(layer, layer.Root(drive), perUserKnown ? layer.Root(local) : 0,
                           L"Tarnby Setup", L"TarLoom64", L"SETUP.EXE", keepers);
  }
};

}  // namespace folders::testing
