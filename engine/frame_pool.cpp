#include "engine/frame_pool.h"

#include <algorithm>
#include <cerrno>

namespace reelmill {

void FrameFailures::Add(FrameWriteResult result) {
  if (result == FrameWriteResult::Written) return;
  if (failures == 0 && result == FrameWriteResult::NotWritten) error = errno;
  ++failures;
  if (result == FrameWriteResult::NotScaled) ++scaleFailures;
}

void FrameFailures::Add(const FrameFailures& other) {
  if (error == 0) error = other.error;
  failures += other.failures;
  scaleFailures += other.scaleFailures;
}

void CopyFrameInto(PixelImage& buffer, const PixelImage& frame) {
  const bool sameShape = !buffer.IsEmpty() && buffer.Width() == frame.Width() && buffer.Height() == frame.Height() &&
                         buffer.BitCount() == frame.BitCount();
  if (!sameShape) {
    buffer = frame;
    return;
  }
  std::copy_n(frame.Bits(), frame.BufferSize(), buffer.Bits());
  if (!frame.Palette().empty()) std::ranges::copy(frame.Palette(), buffer.Palette().begin());
}

FramePool::FramePool(int threads, const std::function<FrameWriter()>& makeWriter)
    : capacity_(static_cast<std::size_t>(std::max(threads, 1)) * kBuffersPerThread) {
  for (int i = 0; i < std::max(threads, 1); ++i) workers_.emplace_back([this, writer = makeWriter()] { Work(writer); });
}

FramePool::~FramePool() { Finish(); }

void FramePool::Submit(const PixelImage& frame, std::string path, long long tag) {
  std::unique_lock lock(mutex_);
  spaceFree_.wait(lock, [&] { return !free_.empty() || created_ < capacity_; });
  PixelImage buffer;
  if (!free_.empty()) {
    buffer = std::move(free_.back());
    free_.pop_back();
  } else {
    ++created_;
  }
  lock.unlock();
  CopyFrameInto(buffer, frame);
  lock.lock();
  queue_.push_back({std::move(buffer), std::move(path), tag});
  workAvailable_.notify_one();
}

FrameFailures FramePool::Finish() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  workAvailable_.notify_all();
  for (auto& worker : workers_) worker.join();
  workers_.clear();
  return failures_;
}

void FramePool::Work(FrameWriter writer) {
  std::unique_lock lock(mutex_);
  for (;;) {
    workAvailable_.wait(lock, [&] { return !queue_.empty() || closing_; });
    if (queue_.empty()) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    const FrameWriteResult result = writer(job.frame, job.path, job.tag);
    const int error = errno;
    lock.lock();
    errno = error;
    failures_.Add(result);
    free_.push_back(std::move(job.frame));
    spaceFree_.notify_one();
  }
}

}  // namespace reelmill
