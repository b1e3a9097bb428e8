#include "engine/frame_timing.h"

#include <algorithm>

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
  return described.GraphicBlocks() <= 1 || (described.FramesLeftOut() == 0 && described.TableSize() == imagesDecoded);
}

int DisplayMsAt(const AnimatedGifControl& control, int index) {
  // Frames the table does not describe show for one step.
  if (control.FrameCount() <= 0 || index < 0 || index >= control.FrameCount()) return kStepMs;
  return DisplayTimeMs(control.Frame(index).delay);
}

FrameTimes FrameTimesOf(const AnimatedGifControl& control, int frameCount) {
  FrameTimes times;
  long long totalMs = 0;
  for (int i = 0; i < frameCount; ++i) {
    times.displayMs.push_back(DisplayMsAt(control, i));
    totalMs += times.displayMs.back();
  }
  times.totalSteps = totalMs / kStepMs;
  return times;
}

FrameTimes LearnFrameTimes(std::span<const std::uint8_t> gifData, int frameCount, int imagesDecoded) {
  // Nothing to time: a refused file is not walked, however many blocks it has.
  if (frameCount <= 0) return {};
  AnimatedGifControl control;
  control.LoadPictureData(gifData, FramePictures::Describe);
  // Only the delays are read, so the frames are checked, not kept.
  if (!DescribedTableHolds(control, imagesDecoded)) control.LoadPictureData(gifData, FramePictures::Check);
  return FrameTimesOf(control, frameCount);
}

}  // namespace reelmill
