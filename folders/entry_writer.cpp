#include "folders/entry_writer.h"

#include <algorithm>
#include <new>

#include "folders/output_path.h"

namespace folders {

namespace {

constexpr std::size_t kMaxPath = 260;  // MAX_PATH, the NUL included

// Marks the file or link `node` for deletion. A read-only file cannot be; its bit is cleared
// for that and set again when the file keeps another name (the attribute is the file's, not the
// name's) or stays after all.
std::uint32_t DeleteAsItself(FileLayer& layer, Node node, std::uint32_t attributes) {
  if ((attributes & kAttributeReadOnly) == 0) return layer.Delete(node, attributes);
  if (layer.DeleteReadOnly(node) == 0) return 0;
  FileFacts facts;
  const bool shared = layer.ReadFacts(node, facts) != 0 || facts.links != 1;
  const std::uint32_t rest = attributes & ~kAttributeReadOnly;
  std::uint32_t failed = layer.SetAttributes(node, rest);
  if (failed == 0) failed = layer.Delete(node, rest);
  if (failed != 0 || shared) layer.SetAttributes(node, attributes);
  return failed;
}

}  // namespace

EntryWriter::~EntryWriter() {
  while (Held* file = held_) {
    held_ = file->next;
    ::operator delete(file);
  }
}

void EntryWriter::WriteInto(Node folder, std::string_view folderPath) {
  LetGo();
  folder_ = folder;
  folderPath_ = win32::PathText(folderPath);
  failure_.error = 0;
}

void EntryWriter::Begin(std::string_view name) {
  if (failure_) return;
  entry_.length = std::min(name.size(), sizeof entry_.bytes);
  std::copy_n(name.data(), entry_.length, entry_.bytes);
  name_.SetLength(toWide_(name, name_.data(), EntryName::capacity()));
  // Refused before anything is touched, as the system would refuse the path: it must fit
  // MAX_PATH with its NUL.
  const win32::PathText path = OutputPath(folderPath_.view(), name);
  win32::WideText<kMaxPath - 1> wide;
  if (path.cut() || name_.empty() || toWide_(path.view(), wide.data(), wide.capacity()) == 0) {
    Fail(kErrorPathTooLong);
    return;
  }
  // The file written for the name before is held sharing reading only: it would refuse the
  // delete.
  if (Held** earlier = Find(name); *earlier != nullptr) Release(earlier);
  if (const std::uint32_t failed = RemoveEarlier()) {
    Fail(failed);
    return;
  }
  const Opened made = layer_.MakeFile(folder_, name_.view());
  if (made.node == 0) {
    Fail(made.error);
    return;
  }
  writing_ = made.node;
}

std::uint32_t EntryWriter::RemoveEarlier() {
  const Opened earlier = layer_.OpenEntry(folder_, name_.view(), kShareNothing);
  if (earlier.node == 0) return earlier.error == kErrorFileNotFound ? 0 : earlier.error;
  // A real folder is not the unpacking's to empty; a link to one goes like any link.
  const bool folder = (earlier.attributes & (kAttributeFolder | kAttributeLink)) == kAttributeFolder;
  const std::uint32_t failed =
      folder ? kErrorAccessDenied : DeleteAsItself(layer_, earlier.node, earlier.attributes);
  layer_.Close(earlier.node);
  return failed;
}

void EntryWriter::Write(const std::uint8_t* data, std::size_t size) {
  if (writing_ == 0 || size == 0) return;
  if (const std::uint32_t failed = layer_.Append(writing_, data, size)) Fail(failed);
}

void EntryWriter::End() {
  if (writing_ == 0) return;
  // The writing handle shares nothing, so the file is reopened to be held; the same file, or
  // the run stops.
  FileFacts written;
  const bool known = layer_.ReadFacts(writing_, written) == 0;
  layer_.Close(writing_);
  writing_ = 0;
  const Opened held = layer_.OpenForHolding(folder_, name_.view());
  FileFacts reopened;
  if (held.node != 0 && known && layer_.ReadFacts(held.node, reopened) == 0 &&
      reopened.identity == written.identity) {
    Keep(held.node, written.identity);
    return;
  }
  layer_.Close(held.node);
  Fail(held.node == 0 ? held.error : kErrorFileInvalid);
}

void EntryWriter::Fail(std::uint32_t error) {
  failure_.path = OutputPath(folderPath_.view(), entry_.view());
  failure_.error = error != 0 ? error : kErrorWriteFault;
  if (writing_ == 0) return;
  // A cut-off file is no installer: it goes, so that nothing can start it; deleted on its own
  // handle, so nothing else can be deleted in its place.
  layer_.Delete(writing_, 0);
  layer_.Close(writing_);
  writing_ = 0;
}

void EntryWriter::RemoveOwn(std::wstring_view name, std::uint64_t identity) {
  const Opened file = layer_.OpenEntry(folder_, name, kShareNothing);
  FileFacts facts;
  if (file.node != 0 && layer_.ReadFacts(file.node, facts) == 0 && facts.identity == identity) {
    DeleteAsItself(layer_, file.node, file.attributes);
  }
  layer_.Close(file.node);
}

void EntryWriter::Discard(std::string_view name) {
  Held** file = Find(name);
  if (*file == nullptr) return;
  const std::uint64_t identity = (*file)->identity;
  Release(file);
  EntryName wide;
  wide.SetLength(toWide_(name, wide.data(), EntryName::capacity()));
  if (!wide.empty()) RemoveOwn(wide.view(), identity);
}

void EntryWriter::LetGo() {
  while (held_ != nullptr) Release(&held_);
}

void EntryWriter::Keep(Node node, std::uint64_t identity) {
  // Without room the file stays open all the same, only unknown to Wrote and Discard.
  auto* file = static_cast<Held*>(::operator new(sizeof(Held), std::nothrow_t{}));
  if (file == nullptr) return;
  *file = {node, identity, entry_, held_};
  held_ = file;
}

EntryWriter::Held** EntryWriter::Find(std::string_view name) {
  Held** link = &held_;
  while (*link != nullptr && (*link)->name != name) link = &(*link)->next;
  return link;
}

void EntryWriter::Release(Held** link) {
  Held* file = *link;
  layer_.Close(file->node);
  *link = file->next;
  ::operator delete(file);
}

}  // namespace folders
