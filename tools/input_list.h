#pragma once
// The inputs of a batch, one at a time, in order: the arguments, then the
// lines of each --files-from list ("-": standard input). A folder stands for
// the GIF files in it (".gif" in any case, in name order) and, when
// recursive, in its sub-folders, each with its folder relative to the one
// named. Nothing is read ahead, so lists of any length take little memory.

#include <cstdio>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace reelmill {

struct InputItem {
  std::string path;
  std::string relativeFolder;  // the sub-folder it was found in under a named folder, ending in '/'
  std::string error;           // set when the path is neither a file nor a folder
};

class InputList {
 public:
  // `standardInput` serves a list named "-".
  InputList(std::vector<std::string> arguments, std::vector<std::string> listFiles, bool recursive,
            std::istream& standardInput);
  ~InputList();

  // Opens the list files; false with `why` when one cannot be read.
  bool Open(std::string& why);
  // The next input, or nullopt after the last.
  std::optional<InputItem> Next();

 private:
  struct Folder;
  std::optional<InputItem> FromArgument(const std::string& path);
  std::optional<std::string> NextArgument();

  std::vector<std::string> arguments_;
  std::vector<std::string> listFiles_;
  bool recursive_;
  std::istream& standardInput_;
  std::size_t nextArgument_ = 0;
  std::size_t nextList_ = 0;
  std::vector<std::unique_ptr<std::istream>> lists_;
  std::istream* currentList_ = nullptr;
  std::vector<Folder> folders_;  // the folders being walked, innermost last
};

}  // namespace reelmill
