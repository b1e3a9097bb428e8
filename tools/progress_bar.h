#pragma once
// One-line progress on a terminal: files done of total, and the file at work.

#include <cstdio>
#include <mutex>
#include <string>

namespace reelmill {

class ProgressBar {
 public:
  // Draws only when `enabled` (stderr is a terminal and --quiet is not given).
  ProgressBar(std::FILE* stream, int total, bool enabled);
  // The number of files, as far as it is known (lists are read as they go).
  void SetTotal(int total);
  void Started(const std::string& file);
  void Finished();
  // Writes a message on its own line without breaking the bar.
  void Message(const std::string& line);
  void Close();

 private:
  void Draw();

  std::mutex mutex_;
  std::FILE* stream_;
  int total_;
  int done_ = 0;
  std::string current_;
  bool enabled_;
  bool drawn_ = false;
};

}  // namespace reelmill
