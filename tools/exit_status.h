#pragma once
// Exit statuses of reelmill-convert, shared by all of its modes.

namespace reelmill {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the output could not be written; the reason is on stderr
inline constexpr int kExitUsage = 2;   // bad command line; a one-line hint is on stderr

}  // namespace reelmill
