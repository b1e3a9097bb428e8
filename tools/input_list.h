#pragma once
// The inputs of a batch, one at a time, in order: the arguments, then the
// entries of each --files-from list ("-": standard input), one per line or,
// with nullSeparated, each ended by a NUL byte. A folder stands for the GIF
// files in it (".gif" in any case, in name order) and, when recursive, in
// its sub-folders, each with its folder relative to the one named; the
// output folder is never walked, so a run never takes its own outputs.
// Nothing is read ahead, so lists of any length take little memory.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/problem.h"

namespace reelmill {

struct InputItem {
  std::string path;
  std::string relativeFolder;  // the sub-folder it was found in under a named folder, ending in '/'
  Problem problem;             // set when the entry cannot be an input at all
};

struct InputListOptions {
  std::vector<std::string> arguments;
  std::vector<std::string> listFiles;
  bool recursive = false;
  bool nullSeparated = false;
  int standardInput = 0;     // the descriptor a list named "-" is read from
  std::string outputFolder;  // ends in '/'; with its sequence folders, never walked
  // Once set, lists that make the reader wait (pipes, terminals) are read no
  // further; files and folders still give their entries.
  const std::atomic<bool>* cancel = nullptr;
};

class InputList {
 public:
  explicit InputList(InputListOptions options);
  ~InputList();

  // Opens the list files; false with `why` when one cannot be read.
  bool Open(std::string& why);
  // The next input, or nullopt after the last.
  std::optional<InputItem> Next();
  // False when Next stopped before the end of a list (it was cancelled).
  bool ReadToTheEnd() const { return readToTheEnd_; }

 private:
  struct Folder;
  class ListReader;
  std::optional<InputItem> FromArgument(const std::string& path);
  std::optional<InputItem> NextListEntry();
  bool IsOutputFolder(const std::string& folder, const std::string& name, const std::string& relative) const;

  InputListOptions options_;
  std::size_t nextArgument_ = 0;
  std::size_t nextList_ = 0;
  std::vector<std::unique_ptr<ListReader>> lists_;
  std::vector<Folder> folders_;  // the folders being walked, innermost last
  bool readToTheEnd_ = true;
};

}  // namespace reelmill
