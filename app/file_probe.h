#pragma once
// What a row of the file list shows about a file: its frame count and the
// size of its first frame. QuickProbe gives them from the walk of the blocks
// at once; ProbeFile exactly as decoding the file gives them (0 and 0 x 0 for
// a file that does not decode), which differs only for damaged files. Plain
// C++: the add workers call them off the UI thread.

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace reelmill {

struct FileProbe {
  int count = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const FileProbe&, const FileProbe&) = default;
};

// The frames the blocks announce and the first frame's size from the
// screen and the first image's place, without decoding any pixel.
FileProbe QuickProbe(const std::string& path);

// Decodes `path` with the codec its extension selects. GIFs are decoded
// frame by frame as the preview streams them, none kept, so a long
// animation costs one decode's time and a few frames of memory.
FileProbe ProbeFile(const std::string& path);

// ProbeFile with a memory of contents already measured: the result depends
// on the bytes alone, so a copy of a file measured before costs one read and
// a hash. Safe to call from several threads.
class ProbeCache {
 public:
  FileProbe Probe(const std::string& path);
  std::size_t Size() const;

 private:
  struct Key {
    std::uint64_t size;
    std::size_t hash;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const { return key.hash ^ (key.size * 0x9E3779B97F4A7C15ull); }
  };
  mutable std::mutex mutex_;
  std::unordered_map<Key, FileProbe, KeyHash> known_;
};

}  // namespace reelmill
