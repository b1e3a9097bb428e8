#include "engine/frame_stream.h"

#include <algorithm>

#include "engine/frame_timing.h"
#include "imaging/codecs/animated_gif_control.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/file_io.h"

namespace reelmill {

FrameStream::FrameStream(std::string path, std::function<void()> changed)
    : path_(std::move(path)), changed_(std::move(changed)) {
  thread_ = std::thread([this] { Run(); });
}

FrameStream::~FrameStream() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

FrameStream::Info FrameStream::Current() const {
  std::lock_guard lock(mutex_);
  return info_;
}

std::shared_ptr<const PixelImage> FrameStream::Frame(int index) {
  std::shared_ptr<const PixelImage> frame;
  {
    std::lock_guard lock(mutex_);
    if (index < wanted_ && (frames_.empty() || frames_.front().first > index)) {
      // Gone already: decode from the start again.
      restart_ = true;
      frames_.clear();
    }
    wanted_ = index;
    while (!frames_.empty() && frames_.front().first < index) frames_.pop_front();
    if (!frames_.empty() && frames_.front().first == index) frame = frames_.front().second;
  }
  wake_.notify_all();
  return frame;
}

bool FrameStream::Ready(int index) const {
  std::lock_guard lock(mutex_);
  if (info_.finished && index >= info_.frameCount) return true;
  return std::any_of(frames_.begin(), frames_.end(), [index](const auto& frame) { return frame.first == index; });
}

void FrameStream::Publish(const std::function<void(Info&)>& change) {
  {
    std::lock_guard lock(mutex_);
    change(info_);
  }
  if (changed_) changed_();
}

bool FrameStream::WaitForDemand(int index) {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [&] { return stop_ || restart_ || index <= wanted_ + kLookAhead; });
  return !stop_ && !restart_;
}

void FrameStream::Run() {
  Problem unreadable;
  const auto data = ReadFileBytes(path_, kMaxWholeFileBytes, &unreadable);
  if (!data) {
    Publish([&](Info& info) {
      info.known = info.finished = info.refused = true;
      info.problem = unreadable;
    });
    return;
  }
  // The walk of the blocks gives the count and the times at once; the
  // decoder has the last word on both.
  AnimatedGifControl described;
  described.LoadPictureData(*data, FramePictures::Describe);
  const int announced = AnnouncedFrameCount(*data);
  Publish([&](Info& info) {
    info.known = true;
    info.frameCount = announced;
    info.displayMs = FrameTimesOf(described, announced).displayMs;
  });

  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      restart_ = false;
    }
    GifFrameCursor cursor(*data, GifCodec::kMaxDecodedBytes);
    int index = 0;
    bool interrupted = false;
    while (!(interrupted = !WaitForDemand(index))) {
      const PixelImage* frame = cursor.Next();
      if (!frame) break;
      auto copy = std::make_shared<const PixelImage>(*frame);
      const int width = frame->Width(), height = frame->Height();
      {
        std::lock_guard lock(mutex_);
        if (restart_ || stop_) break;
        frames_.emplace_back(index, std::move(copy));
      }
      if (index == 0)
        Publish([&](Info& info) {
          info.width = width;
          info.height = height;
        });
      else if (changed_)
        changed_();
      ++index;
    }
    if (!interrupted && cursor.Finished()) {
      // A damaged file gives fewer frames, and times from decoding each of
      // them on its own where the walk cannot vouch for its table.
      std::vector<int> times;
      if (!cursor.Refused() && !DescribedTableHolds(described, index)) {
        AnimatedGifControl checked;
        checked.LoadPictureData(*data, FramePictures::Check);
        times = FrameTimesOf(checked, index).displayMs;
      }
      Publish([&](Info& info) {
        info.finished = true;
        info.refused = cursor.Refused();
        info.problem = cursor.Ending();
        info.frameCount = index;
        if (!times.empty()) info.displayMs = std::move(times);
        info.displayMs.resize(static_cast<std::size_t>(index), kStepMs);
      });
    }
    // Wait for a new pass or the end.
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return stop_ || restart_; });
    if (stop_) return;
  }
}

}  // namespace reelmill
