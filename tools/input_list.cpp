#include "tools/input_list.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "engine/input_guard.h"
#include "engine/work_paths.h"
#include "tools/output_naming.h"

namespace reelmill {

namespace fs = std::filesystem;

// One folder level: its entries in name order, and where the walk stands.
struct InputList::Folder {
  std::string path;      // ends in '/'
  std::string relative;  // relative to the folder named, ends in '/' unless empty
  std::vector<std::string> names;
  std::size_t next = 0;
};

// The entries of one list, read in blocks as they are needed. A list that
// is not a regular file is waited on in short ticks, so a request to stop
// is seen at once even while its writer is silent.
class InputList::ListReader {
 public:
  ListReader(int fd, bool owned) : fd_(fd), owned_(owned) {
    struct stat st {};
    waits_ = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
  }
  ~ListReader() {
    if (owned_) ::close(fd_);
  }
  ListReader(const ListReader&) = delete;
  ListReader& operator=(const ListReader&) = delete;

  enum class Status { Entry, End, Stopped };
  // The next entry, ended by `delimiter` or by the end of the list.
  Status Next(char delimiter, const std::atomic<bool>* cancel, std::string& entry) {
    for (;;) {
      const auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
      const auto found = std::find(begin, buffer_.end(), delimiter);
      // An entry longer than any path is handed on as it is; it fails as a
      // name that is too long instead of growing the buffer for ever.
      if (found != buffer_.end() || (ended_ && start_ < buffer_.size()) || buffer_.size() - start_ > kMaxEntry) {
        const auto end = found != buffer_.end() ? found : std::min(buffer_.end(), begin + kMaxEntry);
        entry.assign(begin, end);
        start_ = static_cast<std::size_t>(end - buffer_.begin()) + (found != buffer_.end() ? 1 : 0);
        return Status::Entry;
      }
      if (ended_) return Status::End;
      if (!Fill(cancel)) return Status::Stopped;
    }
  }

 private:
  static constexpr std::size_t kBlock = 64 * 1024;
  static constexpr std::size_t kMaxEntry = 1 << 20;

  // False when asked to stop while waiting.
  bool Fill(const std::atomic<bool>* cancel) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
    while (waits_) {
      if (cancel && cancel->load()) return false;
      pollfd ready{fd_, POLLIN, 0};
      const int n = ::poll(&ready, 1, 100);
      if (n > 0) break;
      if (n < 0 && errno != EINTR) break;
    }
    const std::size_t had = buffer_.size();
    buffer_.resize(had + kBlock);
    ssize_t got = -1;
    do got = ::read(fd_, buffer_.data() + had, kBlock);
    while (got < 0 && errno == EINTR);
    buffer_.resize(had + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    // A read error ends the list like its end does.
    ended_ = got <= 0;
    return true;
  }

  int fd_;
  bool owned_;
  bool waits_ = false;
  bool ended_ = false;
  std::vector<char> buffer_;
  std::size_t start_ = 0;
};

namespace {

std::vector<std::string> SortedNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

InputList::InputList(InputListOptions options) : options_(std::move(options)) {}

InputList::~InputList() = default;

bool InputList::Open(std::string& why) {
  for (const std::string& list : options_.listFiles) {
    if (list == "-") {
      lists_.push_back(std::make_unique<ListReader>(options_.standardInput, false));
      continue;
    }
    const int fd = ::open(list.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      why = "--files-from " + list + ": " + std::strerror(errno);
      return false;
    }
    lists_.push_back(std::make_unique<ListReader>(fd, true));
  }
  return true;
}

std::optional<InputItem> InputList::NextListEntry() {
  const char delimiter = options_.nullSeparated ? '\0' : '\n';
  std::string entry;
  while (nextList_ < lists_.size()) {
    switch (lists_[nextList_]->Next(delimiter, options_.cancel, entry)) {
      case ListReader::Status::End: ++nextList_; continue;
      case ListReader::Status::Stopped:
        readToTheEnd_ = false;
        nextList_ = lists_.size();
        return std::nullopt;
      case ListReader::Status::Entry: break;
    }
    if (!options_.nullSeparated) {
      if (!entry.empty() && entry.back() == '\r') entry.pop_back();  // lists written on other systems
      if (const auto nul = entry.find('\0'); nul != std::string::npos)
        return InputItem{entry.substr(0, nul),
                         {},
                         Refusal(ProblemCode::ListEntry,
                                 "this line of the list holds a NUL byte; lists that end names with NUL bytes "
                                 "(find -print0) need -0")};
    }
    if (!entry.empty()) return InputItem{entry, {}, {}};
  }
  return std::nullopt;
}

std::optional<InputItem> InputList::FromArgument(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return InputItem{path, {}, ReadingProblem(errno)};
  if (S_ISDIR(st.st_mode)) {
    const std::string folder = path.back() == '/' ? path : path + "/";
    folders_.push_back(Folder{folder, {}, SortedNames(folder)});
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) return InputItem{path, {}, ProblemOf(ProblemCode::NotRegularFile)};
  return InputItem{path, {}, {}};
}

bool InputList::IsOutputFolder(const std::string& folder, const std::string& name, const std::string& relative) const {
  // The outputs of the files in `folder` go to the output folder plus
  // `relative`; their sequences to its sequence folder.
  const std::string path = folder + name;
  return SameFile(path, options_.outputFolder) ||
         SameFile(path, SequenceFolderOf(options_.outputFolder + relative, ""));
}

std::optional<InputItem> InputList::Next() {
  for (;;) {
    if (!folders_.empty()) {
      Folder& folder = folders_.back();
      if (folder.next >= folder.names.size()) {
        folders_.pop_back();
        continue;
      }
      const std::string name = folder.names[folder.next++];
      const std::string path = folder.path + name;
      std::error_code error;
      // Linked folders are not followed, so a loop of links cannot trap the walk.
      const fs::file_status own = fs::symlink_status(path, error);
      if (options_.recursive && fs::is_directory(own)) {
        if (!IsOutputFolder(folder.path, name, folder.relative))
          folders_.push_back(Folder{path + "/", folder.relative + name + "/", SortedNames(path + "/")});
        continue;
      }
      if (HasExtension(name, "gif") && fs::is_regular_file(fs::status(path, error)))
        return InputItem{path, folder.relative, {}};
      continue;
    }
    if (nextArgument_ < options_.arguments.size()) {
      if (auto item = FromArgument(options_.arguments[nextArgument_++])) return item;
      continue;
    }
    auto entry = NextListEntry();
    if (!entry) return std::nullopt;
    if (entry->problem) return entry;
    if (auto item = FromArgument(entry->path)) return item;
  }
}

}  // namespace reelmill
