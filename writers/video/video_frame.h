#pragma once
// A frame as the encoded-video writers take it: 32-bit BGRA rows from the top,
// straight alpha, and the time it shows.

#include <cstddef>
#include <cstdint>

namespace reelmill {

struct VideoFrame {
  const std::uint8_t* pixels = nullptr;  // row 0 is the top row
  std::ptrdiff_t stride = 0;             // bytes from one row to the next (may be negative)
  int width = 0;
  int height = 0;
  long long startMs = 0;     // when it shows, from the start of the video
  long long durationMs = 0;  // for how long
};

}  // namespace reelmill
