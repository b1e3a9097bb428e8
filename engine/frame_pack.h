#pragma once
// The JPEG frames of one pass kept one after the other, in memory up to a
// limit and then in a single temporary file. The command line records into
// it instead of a file per frame: on many file systems creating a file costs
// more than encoding a small frame, and most passes never touch the disk.
// The outputs are made from the same bytes, so they do not change.

#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>

namespace reelmill {

class FramePack {
 public:
  // Frames beyond this many bytes go to the file.
  static constexpr std::uint64_t kMemoryBytes = 32ull << 20;

  struct Entry {
    std::string path;  // where the writers read it (the memory part has a path too)
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
  };

  // `path` is where the file goes once `memoryBytes` are held in memory. A
  // frame goes to memory whenever it still fits, so the frames of a pass may
  // alternate between the two: only Frames() knows their order.
  explicit FramePack(std::string path, std::uint64_t memoryBytes = kMemoryBytes);
  // Removes the file and frees the memory.
  ~FramePack();
  FramePack(const FramePack&) = delete;
  FramePack& operator=(const FramePack&) = delete;

  bool Ok() const { return memory_.fd >= 0 || file_.fd >= 0; }
  // Adds the frame recorded at `step`; safe from several threads. False when
  // it could not be written.
  bool Add(long long step, std::span<const std::uint8_t> jpeg);
  // The frames added, by step.
  std::map<long long, Entry> Frames() const;
  // Bytes of the frames added so far.
  std::uint64_t Bytes() const;
  // Forgets every frame, for a pass that starts over.
  void Clear();

 private:
  struct Part {
    int fd = -1;
    std::string path;
    std::uint64_t end = 0;
  };
  Part* PartFor(std::uint64_t size);

  std::string filePath_;
  std::uint64_t memoryBytes_;
  mutable std::mutex mutex_;
  Part memory_;
  Part file_;
  std::map<long long, Entry> frames_;
};

}  // namespace reelmill
