#pragma once
// GIFs like a screen recording: one full frame, then a small rectangle that
// moves on it from frame to frame, so large and long animations stay small
// files. The window's streaming, its benchmarks and the end-to-end test use
// them.

#include <cstdint>
#include <vector>

#include "tests/support/gif_builder.h"

namespace reelmill::testing {

inline std::vector<std::uint8_t> ScreenRecordingGif(int width, int height, int frames, int delay = 10) {
  GifBuilder builder(width, height);
  builder.SolidFrame(4, delay);
  const int boxWidth = std::min(width, 64), boxHeight = std::min(height, 48);
  for (int i = 1; i < frames; ++i) {
    GifFrameSpec box;
    box.left = (i * 16) % std::max(1, width - boxWidth);
    box.top = (i * 8) % std::max(1, height - boxHeight);
    box.width = boxWidth;
    box.height = boxHeight;
    box.indices.assign(static_cast<std::size_t>(boxWidth * boxHeight), static_cast<std::uint8_t>(1 + i % 7));
    box.delay = delay;
    builder.Frame(box);
  }
  return builder.Bytes();
}

}  // namespace reelmill::testing
