#include "cli/pack_files.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <memory>
#include <exception>
#include <mutex>
#include <thread>

#include "archive/entry_name.h"
#include "archive/archive_writer.h"
#include "archive/encoder.h"
#include "cli/host_files.h"
#include "cli/terminal_progress.h"

namespace cli {

using namespace archive;

namespace {

// On Windows a backslash separates folders too; elsewhere it is a byte of the name, and refused.
std::string BaseName(const std::string& path) { return path.substr(NameStart(path)); }

// Why `name` cannot be an entry name in `layout`, or nothing.
std::string NameProblem(const std::string& name, Layout layout) {
  const std::size_t longest =
      layout == Layout::kHeader20 ? kLayout1NameSize : kLayout2LongestName;
  if (name.size() > longest) {
    return "name too long for layout " + std::to_string(static_cast<int>(layout)) + " (" +
           std::to_string(longest) + " bytes at most): " + name;
  }
  if (name.size() > kLongestInstalledName) {
    return "name too long to install (" + std::to_string(kLongestInstalledName) +
           " bytes at most, so that the path it is installed to fits MAX_PATH): " + name;
  }
  // The reader trims blanks, so the entry would come out under another name.
  if (!name.empty() && (name.front() == ' ' || name.back() == ' '))
    return "name begins or ends with a blank: \"" + name + "\"";
  if (!IsPlainFileName(CleanEntryName(name, layout).view())) {
    return "not a plain file name: \"" + name +
           "\" (no device names, control characters or any of \\ / : < > \" | ? *, and no "
           "trailing dot)";
  }
  return {};
}

std::string RecordProblem(RecordError error, const std::string& path) {
  switch (error) {
    case RecordError::kNone: return {};
    case RecordError::kEmptyName: return "no file name in " + path;
    case RecordError::kNameTooLong: return "name too long: " + path;
    case RecordError::kTooLarge:
      return "the archive would pass 2147483647 bytes, the most the format can hold, at " + path;
    case RecordError::kEndPosTooLarge:
      return "a layout 1 archive cannot pass 99999999 bytes (reached at " + path +
             "); use layout 2";
  }
  return "cannot add " + path;
}

// One file's encoding, by the thread that took it or by several, piece by piece.
struct Encoded {
  std::vector<std::uint8_t> stream;
  std::int64_t decodedSize = 0;
  std::string error;  // the file could not be read
};

// The bar over all threads: input bytes encoded out of the whole input, drawn by one thread at
// a time.
class SharedProgress {
 public:
  explicit SharedProgress(std::uint64_t total) : total_(total) {}
  void Add(std::uint64_t bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    done_ += bytes;
    // A file that grew since its size was taken cannot push the bar past the end.
    const std::uint64_t done = done_ < total_ ? done_ : total_;
    const auto percent = static_cast<int32_t>(total_ == 0 ? 100 : done * 100 / total_);
    if (percent != shown_) bar_.Show(shown_ = percent);
  }
  void Finish() { bar_.Finish(); }

 private:
  std::mutex lock_;
  TerminalProgress bar_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  int32_t shown_ = -1;
};

// An entry whose pieces threads share. The encoder reads `data`, which lives as long as it.
struct SplitEntry {
  SplitEntry(std::size_t index, std::vector<std::uint8_t> bytes)
      : index(index), data(std::move(bytes)), encoder(data), piecesLeft(encoder.Pieces()) {}

  std::size_t index;
  std::vector<std::uint8_t> data;
  SplitEncoder encoder;
  std::size_t nextPiece = 0;  // the next to hand out; guarded by PackFiles' lock
  std::size_t piecesLeft;     // not yet done; guarded by PackFiles' lock
};

}  // namespace

std::vector<std::string> NameProblems(const std::vector<std::string>& files, Layout layout) {
  std::vector<std::string> problems;
  std::map<std::string, std::string> byCleanName;
  for (const std::string& path : files) {
    const std::string name = BaseName(path);
    if (name.empty()) {
      problems.push_back("no file name in " + path);
      continue;
    }
    if (std::string problem = NameProblem(name, layout); !problem.empty()) {
      problems.push_back(std::move(problem));
      continue;
    }
    // The reader upper-cases names, so names equal but for case would land on one file.
    const auto [where, fresh] = byCleanName.emplace(CleanEntryName(name, layout).view(), path);
    if (!fresh) problems.push_back("duplicate entry name: " + path + " and " + where->second);
  }
  return problems;
}

unsigned DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores != 0 ? cores : 1;
}

bool PackFiles(const std::vector<std::string>& files, Layout layout, unsigned jobs,
               std::vector<std::uint8_t>& archive, std::string& error) {
  std::uint64_t total = 0;
  for (const std::string& path : files) total += FileSize(path);
  SharedProgress progress(total);

  // An entry of two pieces or more is split when there is more than one thread: a thread
  // looking for work takes a piece of an entry under way before a new file, so that the entry
  // is done, and its memory freed, soonest; the seams are joined as their pieces come in, and
  // whichever thread ends the entry's last piece writes its stream. Every entry under way has
  // a thread on it, so no more are held at once than there are threads, as when each takes a
  // whole file.
  const bool split = jobs > 1;
  std::vector<Encoded> encoded(files.size());
  std::mutex lock;
  std::condition_variable changed;  // an entry came under way, or a file was read
  // Guarded by `lock`:
  std::vector<std::shared_ptr<SplitEntry>> underWay;
  std::size_t next = 0;     // the next file to take
  std::size_t reading = 0;  // files taken and not yet encoded whole or put under way
  bool failed = false;
  auto work = [&] {
    std::unique_lock<std::mutex> hold(lock);
    while (!failed) {
      const auto open = std::find_if(underWay.begin(), underWay.end(), [](const auto& entry) {
        return entry->nextPiece < entry->encoder.Pieces();
      });
      if (open != underWay.end()) {
        const std::shared_ptr<SplitEntry> entry = *open;
        const std::size_t piece = entry->nextPiece++;
        hold.unlock();
        entry->encoder.RunPiece(piece);
        progress.Add(entry->encoder.PieceBytes(piece));
        hold.lock();
        if (--entry->piecesLeft == 0) {
          std::erase(underWay, entry);
          hold.unlock();
          encoded[entry->index].stream = entry->encoder.Finish();
          hold.lock();
        }
        continue;
      }
      if (next == files.size()) {
        // Nothing to take: done, unless a file being read may yet bring pieces.
        if (reading == 0) return;
        changed.wait(hold);
        continue;
      }

      const std::size_t k = next++;
      ++reading;
      hold.unlock();
      std::vector<std::uint8_t> data;
      const bool read = ReadInputFile(files[k], data, encoded[k].error);
      encoded[k].decodedSize = static_cast<std::int64_t>(data.size());
      const bool whole = read && !(split && data.size() >= 2 * SplitEncoder::kPieceSize);
      std::shared_ptr<SplitEntry> pieces;
      if (whole) {
        encoded[k].stream = EncodeEntry(data);
        progress.Add(data.size());
      } else if (read) {
        pieces = std::make_shared<SplitEntry>(k, std::move(data));
      }
      hold.lock();
      --reading;
      if (!read) failed = true;
      if (pieces) underWay.push_back(std::move(pieces));
      changed.notify_all();
    }
  };
  // No more threads than there are files and pieces of large ones to give them.
  const std::uint64_t shares = files.size() + (split ? total / SplitEncoder::kPieceSize : 0);
  // What escapes a thread (memory that cannot be had) stops the others and is thrown again here,
  // to be said in one line as on one thread, instead of ending the program.
  std::exception_ptr escaped;  // guarded by `lock`
  auto guarded = [&] {
    try {
      work();
    } catch (...) {
      const std::lock_guard<std::mutex> hold(lock);
      if (!escaped) escaped = std::current_exception();
      failed = true;
      changed.notify_all();
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < jobs && t < shares; ++t) helpers.emplace_back(guarded);
  guarded();
  for (std::thread& helper : helpers) helper.join();
  if (escaped) std::rethrow_exception(escaped);
  progress.Finish();

  // The first problem in the list's order, whichever thread met it.
  for (const Encoded& entry : encoded) {
    if (!entry.error.empty()) {
      error = entry.error;
      return false;
    }
  }
  // Straight into `archive`, reserved at once: each stream is freed as its record is added, so
  // the streams and the archive are never held twice over.
  // (Past the format's 2 GiB AppendRecord refuses anyway: nothing is reserved for that.)
  const std::size_t kept = archive.size();
  std::uint64_t bound = kept;
  for (std::size_t k = 0; k < files.size(); ++k)
    bound += std::uint64_t{kLayout1HeaderSize} + BaseName(files[k]).size() + encoded[k].stream.size();
  if (bound <= static_cast<std::uint64_t>(INT32_MAX)) archive.reserve(static_cast<std::size_t>(bound));
  for (std::size_t k = 0; k < files.size(); ++k) {
    const RecordError added =
        AppendRecord(archive, layout, BaseName(files[k]), encoded[k].stream, encoded[k].decodedSize);
    if (added != RecordError::kNone) {
      archive.resize(kept);
      error = RecordProblem(added, files[k]);
      return false;
    }
    std::vector<std::uint8_t>().swap(encoded[k].stream);
  }
  return true;
}

}  // namespace cli
