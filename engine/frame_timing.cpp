#include "engine/frame_timing.h"

#include <algorithm>
#include <climits>
#include <numeric>

#include "imaging/codecs/animated_gif_control.h"

namespace reelmill {

namespace {
constexpr int kShortestDelay = 5;
}  // namespace

int DisplayTimeMs(int delayHundredths) { return delayHundredths < kShortestDelay ? kStepMs : delayHundredths * 10; }

int StepsOf(int displayTimeMs) { return std::max(1, displayTimeMs / kStepMs); }

bool DescribedTableHolds(const AnimatedGifControl& described, int imagesDecoded) {
  // A still is never a table; otherwise every walked frame must be in the
  // table and every one of them must have decoded in the full decode.
  return described.GraphicBlocks() <= 1 ||
         (described.FramesLeftOut() == 0 && described.TableSize() == imagesDecoded);
}

FrameTimes FrameTimesOf(const AnimatedGifControl& control, int frameCount) {
  FrameTimes times;
  times.displayMs.assign(static_cast<std::size_t>(std::max(frameCount, 0)), kStepMs);
  const int described = control.FrameCount();
  if (described <= 0) {
    times.totalSteps = std::max(frameCount, 0);
    return times;
  }
  // Frames the table does not describe show for one step.
  for (int i = 0; i < frameCount && i < described; ++i)
    times.displayMs[static_cast<std::size_t>(i)] = DisplayTimeMs(control.Frame(i).delay);
  const long long total = std::accumulate(times.displayMs.begin(), times.displayMs.end(), 0LL);
  times.totalSteps = static_cast<int>(std::min<long long>(total / kStepMs, INT_MAX));
  return times;
}

FrameTimes LearnFrameTimes(std::span<const std::uint8_t> gifData, int frameCount, int imagesDecoded) {
  AnimatedGifControl control;
  control.LoadPictureData(gifData, FramePictures::Describe);
  if (!DescribedTableHolds(control, imagesDecoded)) control.LoadPictureData(gifData, FramePictures::Decode);
  return FrameTimesOf(control, frameCount);
}

}  // namespace reelmill
