#pragma once
// The command line's default timing: output frame k shows the GIF frame that
// is on screen at time k / fps when the GIF plays once as browsers play it,
// so the output lasts as long as the GIF. Frames are repeated or dropped as
// the rate needs.

#include <span>
#include <vector>

namespace reelmill {

// How long a GIF frame of this delay (hundredths of a second) shows when it
// plays: delays of 0 and 1 show for 100 ms, as in browsers.
int PlayedDurationMs(int delayCentiseconds);

// How many output frames at `fps` show a GIF frame on screen from `startMs`
// to `endMs` of the play (0 when none falls in that time).
long long FramesShowing(long long startMs, long long endMs, int fps);

// How many output frames at `fps` show each GIF frame (0 for a frame too
// short to be caught); they add up to one play rounded up to whole frames.
std::vector<long long> RealTimeRepeats(std::span<const int> delaysCentiseconds, int fps);

}  // namespace reelmill
