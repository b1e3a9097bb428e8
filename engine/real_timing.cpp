#include "engine/real_timing.h"

#include <algorithm>

namespace reelmill {

namespace {

// The first output frame at or after `ms`: ceil(ms * fps / 1000).
long long FirstFrameAtOrAfter(long long ms, int fps) { return (ms * fps + 999) / 1000; }

}  // namespace

int PlayedDurationMs(int delayCentiseconds) { return delayCentiseconds <= 1 ? 100 : delayCentiseconds * 10; }

long long FramesShowing(long long startMs, long long endMs, int fps) {
  fps = std::max(fps, 1);
  return FirstFrameAtOrAfter(endMs, fps) - FirstFrameAtOrAfter(startMs, fps);
}

std::vector<long long> RealTimeRepeats(std::span<const int> delaysCentiseconds, int fps) {
  std::vector<long long> repeats;
  repeats.reserve(delaysCentiseconds.size());
  long long start = 0;
  for (const int delay : delaysCentiseconds) {
    const long long end = start + PlayedDurationMs(delay);
    repeats.push_back(FramesShowing(start, end, fps));
    start = end;
  }
  return repeats;
}

}  // namespace reelmill
