#pragma once
// What can be learned of an input before converting it: whether it is a GIF
// at all, and the size of its screen as decoded, on which its memory depends. Named
// pipes and devices are refused without being opened.

#include <cstdint>
#include <string>

#include "imaging/problem.h"

namespace reelmill {

struct InputProbe {
  Problem refusal;  // why it is not a GIF to convert
  int screenWidth = 0;
  int screenHeight = 0;
  std::uint64_t fileBytes = 0;
};

InputProbe ProbeInput(const std::string& path);

// True when `path` is a regular file that starts like a GIF ("GIF8").
bool StartsLikeAGif(const std::string& path);

}  // namespace reelmill
