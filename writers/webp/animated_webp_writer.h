#pragma once
// Animated WebP through libwebp's WebPAnimEncoder, as its own GIF converter
// writes them: lossless unless a quality is asked, transparency kept, each
// frame with its own duration, the GIF's loop count. The file takes the
// target's name only once complete.

#include <memory>
#include <string>

#include "imaging/problem.h"
#include "writers/video/video_frame.h"

namespace reelmill {

struct AnimatedWebpOptions {
  int quality = -1;   // -1: lossless; 0 to 100: lossy at that quality
  int loopCount = 0;  // how many times it plays; 0: for ever
  int method = 4;     // libwebp's effort, 0 (fast) to 6 (small)
  int threads = 1;    // >1: libwebp may use a thread of its own per frame
};

class AnimatedWebpWriter {
 public:
  static constexpr int kMaxSide = 16383;

  AnimatedWebpWriter();
  ~AnimatedWebpWriter();
  AnimatedWebpWriter(const AnimatedWebpWriter&) = delete;
  AnimatedWebpWriter& operator=(const AnimatedWebpWriter&) = delete;

  static Problem SizeRefusal(int width, int height);

  Problem Open(const std::string& path, int width, int height, const AnimatedWebpOptions& options);
  Problem Add(const VideoFrame& frame);
  Problem Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace reelmill
