#pragma once
// The arithmetic and text rules of the option pages, apart from the widgets.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace reelmill {

// The items of the "Percent" list, and what one does to a size: the factor
// applied in floating point and truncated toward zero; "200%" doubles in
// integers; "100%" and unknown items change nothing.
inline constexpr std::string_view kPercentItems[] = {"10%",  "25%",  "50%",  "75%", "100%",
                                                     "125%", "150%", "175%", "200%"};
int ApplyPercent(int value, std::string_view item);

// The items of the "Preset:" list; a preset's size by its exact text
// ("Custom Size" and unknown items: none).
inline constexpr std::string_view kPresetItems[] = {"Custom Size", "128*96",  "160*120", "176*144",
                                                    "320*240",     "352*288", "640*480", "720*567"};
std::optional<std::pair<int, int>> PresetSize(std::string_view item);

// A folder as the Output page keeps it: ending in '/' unless empty.
std::string FolderWithSlash(std::string folder);

}  // namespace reelmill
