#pragma once
// Writes frames on worker threads while the decoder goes on. Each frame
// handed in is copied into one of a few reused buffers (two per thread), so
// the decoder never waits for an encoder unless all buffers are taken, and
// memory stays at a few frames whatever the length of the animation.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/pixel_image.h"

namespace reelmill {

enum class FrameWriteResult { Written, NotScaled, NotWritten };

struct FrameFailures {
  int failures = 0;       // frames not written
  int scaleFailures = 0;  // of those, frames that could not be scaled
  int error = 0;          // the system's error number of the first frame not written
  // Counts `result`; a frame not written takes errno as its writer left it,
  // on the thread that wrote.
  void Add(FrameWriteResult result);
  void Add(const FrameFailures& other);
};

class FramePool {
 public:
  static constexpr int kBuffersPerThread = 2;

  // Writes one frame to `path`; `tag` is the caller's (a step, an index).
  // Each thread gets its own writer from `makeWriter`, so encoders keep
  // their state between frames.
  using FrameWriter = std::function<FrameWriteResult(const PixelImage& frame, const std::string& path, long long tag)>;

  FramePool(int threads, const std::function<FrameWriter()>& makeWriter);
  ~FramePool();
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;

  // Queues a copy of `frame`; waits only while every buffer is in use.
  void Submit(const PixelImage& frame, std::string path, long long tag = 0);
  // Waits for every frame submitted and ends the threads.
  FrameFailures Finish();

 private:
  struct Job {
    PixelImage frame;
    std::string path;
    long long tag = 0;
  };

  void Work(FrameWriter writer);

  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable workAvailable_;
  std::condition_variable spaceFree_;
  std::deque<Job> queue_;
  std::vector<PixelImage> free_;
  std::vector<std::thread> workers_;
  std::size_t created_ = 0;
  FrameFailures failures_;
  bool closing_ = false;
};

// Copies `frame` into `buffer`, reusing the buffer's memory when the shapes
// agree.
void CopyFrameInto(PixelImage& buffer, const PixelImage& frame);

}  // namespace reelmill
