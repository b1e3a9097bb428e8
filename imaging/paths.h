#pragma once
// Path and folder helpers shared by the engine and the application. Paths
// use '/' as the separator; folders handed around as text end in '/'.

#include <string>
#include <string_view>

namespace reelmill {

// The folder of the running executable, ending in '/'. Filled on first use.
const std::string& ModuleFolder();

// True when `path` names an existing folder.
bool IsDirectory(const std::string& path);

// Creates the folder `path` and any missing parents. Returns non-zero when the
// last folder of the path was created by this call (0 when it already existed,
// or when the path has no '/' to climb by). The climb stops at an existing
// folder or at the root.
int CreateFolderPath(const std::string& path);

// The text after the last '/' (the whole path when there is none).
std::string FileNameOf(const std::string& path);

// `number` in decimal, padded on the left with '0' to at least `width` digits;
// never cut.
std::string ZeroPadded(long long number, int width);

// Frame file order: texts compare character by character as unsigned bytes,
// except that runs of digits compare by their value, so frame9.jpg comes
// before frame10.jpg and step 100000 after step 99999. Runs of equal width
// compare as their bytes do; equal values of different widths put the
// shorter run first.
bool FrameOrderLess(std::string_view a, std::string_view b);

}  // namespace reelmill
