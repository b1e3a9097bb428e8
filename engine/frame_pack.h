#pragma once
// The JPEG frames of one pass kept one after the other in a single temporary
// file. The command line records into it instead of a file per frame: on
// many file systems creating a file costs more than encoding a small frame.
// The outputs are made from the same bytes, so they do not change.

#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>

namespace reelmill {

class FramePack {
 public:
  struct Entry {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
  };

  // Creates (or empties) the file at `path`; Ok() says whether it could.
  explicit FramePack(std::string path);
  // Removes the file.
  ~FramePack();
  FramePack(const FramePack&) = delete;
  FramePack& operator=(const FramePack&) = delete;

  bool Ok() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // Adds the frame recorded at `step`; safe from several threads. False when
  // it could not be written.
  bool Add(long long step, std::span<const std::uint8_t> jpeg);
  // The frames added, by step.
  std::map<long long, Entry> Frames() const;
  // Forgets every frame, for a pass that starts over.
  void Clear();

 private:
  std::string path_;
  int fd_ = -1;
  mutable std::mutex mutex_;
  std::uint64_t end_ = 0;
  std::map<long long, Entry> frames_;
};

}  // namespace reelmill
