#pragma once
// How long each frame shows and how many 100-ms steps one pass takes. The
// frame recorder and the streaming recording pass share these rules, so both
// number the recorded files alike.

#include <cstdint>
#include <span>
#include <vector>

namespace reelmill {

inline constexpr int kStepMs = 100;

// A GIF delay in hundredths of a second as a display time: delays below 5,
// and frames without a delay (-1), show for one step.
int DisplayTimeMs(int delayHundredths);
// The numbers a recorded frame takes: its whole steps, at least one.
int StepsOf(int displayTimeMs);

struct FrameTimes {
  std::vector<int> displayMs;  // one per frame
  // Steps of one pass: the sum of displayMs / 100. 64-bit: 65535 frames of
  // 655.35 s are 4.3 billion steps.
  long long totalSteps = 0;
};

class AnimatedGifControl;

// The display time of frame `index` by a loaded frame table: the table's
// delay where it describes the frame, else one step. Without a table of two
// or more frames every frame shows for one step.
int DisplayMsAt(const AnimatedGifControl& control, int index);
// Frame times from a loaded frame table.
FrameTimes FrameTimesOf(const AnimatedGifControl& control, int frameCount);

// Whether a table described by the walk alone is what decoding every frame
// would give, given the images a full decode produced.
bool DescribedTableHolds(const AnimatedGifControl& described, int imagesDecoded);

// The display times of `frameCount` frames from the GIF's own frame table.
// `imagesDecoded` is how many images the last full decode of the data gave:
// when it matches the table the block walk describes, the table is taken as
// described; otherwise every frame is decoded on its own to build it.
FrameTimes LearnFrameTimes(std::span<const std::uint8_t> gifData, int frameCount, int imagesDecoded);

}  // namespace reelmill
