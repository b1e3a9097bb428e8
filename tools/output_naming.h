#pragma once
// Where reelmill-convert puts each output.

#include <string>
#include <string_view>

namespace reelmill {

// The AVI or SWF file name for a GIF file name: a name ending in ".gif" (any
// case) is named as the window names it, its last three characters replaced
// ("clip.gif" gives "clip.avi"); any other name gets its extension replaced,
// or the extension added when it has none ("anim" gives "anim.avi",
// "clip.jpeg" gives "clip.avi").
std::string OutputFileName(const std::string& gifFileName, std::string_view extension);

// True when `text` ends in "." + `extension`, in any case.
bool HasExtension(std::string_view text, std::string_view extension);

}  // namespace reelmill
