#include "tools/input_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

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

InputList::InputList(std::vector<std::string> arguments, std::vector<std::string> listFiles, bool recursive,
                     std::istream& standardInput)
    : arguments_(std::move(arguments)),
      listFiles_(std::move(listFiles)),
      recursive_(recursive),
      standardInput_(standardInput) {}

InputList::~InputList() = default;

bool InputList::Open(std::string& why) {
  for (const std::string& list : listFiles_) {
    if (list == "-") {
      lists_.push_back(nullptr);
      continue;
    }
    auto file = std::make_unique<std::ifstream>(list);
    if (!*file) {
      why = "--files-from " + list + ": " + std::strerror(errno);
      return false;
    }
    lists_.push_back(std::move(file));
  }
  return true;
}

std::optional<std::string> InputList::NextArgument() {
  if (nextArgument_ < arguments_.size()) return arguments_[nextArgument_++];
  std::string line;
  for (;;) {
    if (!currentList_) {
      if (nextList_ >= lists_.size()) return std::nullopt;
      currentList_ = lists_[nextList_] ? lists_[nextList_].get() : &standardInput_;
      ++nextList_;
    }
    if (std::getline(*currentList_, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();  // lists written on other systems
      if (!line.empty()) return line;
      continue;
    }
    currentList_ = nullptr;
  }
}

std::optional<InputItem> InputList::FromArgument(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return InputItem{path, {}, std::strerror(errno)};
  if (S_ISDIR(st.st_mode)) {
    const std::string folder = path.back() == '/' ? path : path + "/";
    folders_.push_back(Folder{folder, {}, SortedNames(folder)});
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) return InputItem{path, {}, "not a regular file or a folder"};
  return InputItem{path, {}, {}};
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
      if (recursive_ && fs::is_directory(own)) {
        const std::string relative = folder.relative + name + "/";
        folders_.push_back(Folder{path + "/", relative, SortedNames(path + "/")});
        continue;
      }
      if (HasExtension(name, "gif") && fs::is_regular_file(fs::status(path, error)))
        return InputItem{path, folder.relative, {}};
      continue;
    }
    const auto argument = NextArgument();
    if (!argument) return std::nullopt;
    if (auto item = FromArgument(*argument)) return item;
  }
}

}  // namespace reelmill
