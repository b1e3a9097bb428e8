#pragma once
// A GIF's frames decoded one after the other on a thread of their own, a few
// ahead of the frame being shown, so that a window plays an animation of any
// length or size with the memory of a few frames and never waits on a
// decode. The frames are those GifFrameCursor gives, as on every other road
// of the program, and each shows for the time the frame recorder gives it.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/pixel_image.h"
#include "imaging/problem.h"

namespace reelmill {

class FrameStream {
 public:
  // Frames decoded beyond the one asked for last.
  static constexpr int kLookAhead = 3;

  struct Info {
    bool known = false;     // the file was read and its blocks walked
    bool finished = false;  // the decoder gave its last frame, or refused the file
    bool refused = false;   // no frame at all: `problem` says why
    int frameCount = 0;     // as the blocks announce them; exact once finished
    int width = 0;          // of the first frame, once it is decoded
    int height = 0;
    std::vector<int> displayMs;  // per frame, as the frame recorder shows it
    Problem problem;             // why the file was refused, or what cut its frames short
  };

  // Starts reading `path`. `changed` runs on the stream's thread whenever the
  // info or the frames decoded change; it must not call back into the stream.
  FrameStream(std::string path, std::function<void()> changed);
  // Stops the thread; no call of `changed` follows.
  ~FrameStream();
  FrameStream(const FrameStream&) = delete;
  FrameStream& operator=(const FrameStream&) = delete;

  const std::string& Path() const { return path_; }
  Info Current() const;
  // Frame `index` once decoded, else null. A pass only moves forward: frames
  // before `index` are let go, and asking for one of them again starts the
  // decode over from the first frame.
  std::shared_ptr<const PixelImage> Frame(int index);
  // Whether Frame(index) would give a frame now, or the decoder has ended
  // before it; asks for nothing.
  bool Ready(int index) const;

 private:
  void Run();
  // Waits until frame `index` is wanted; false when the stream stops or
  // must start over.
  bool WaitForDemand(int index);
  void Publish(const std::function<void(Info&)>& change);

  const std::string path_;
  const std::function<void()> changed_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Info info_;
  std::deque<std::pair<int, std::shared_ptr<const PixelImage>>> frames_;  // in order
  int wanted_ = 0;
  bool restart_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace reelmill
