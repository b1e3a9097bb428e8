#pragma once
// Keeps a conversion or export from costing the user one of its own inputs,
// however the paths name them (other spellings, hard links, symbolic links).

#include <string>

namespace reelmill {

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

// Why recording `gifPath` under `workFolder` would destroy it, or empty text:
// the temporary frame folder is emptied before and after every pass, so an
// input kept in it would be deleted.
std::string InputInTempFolderReason(const std::string& gifPath, const std::string& workFolder);

// Why writing `outputPath` would destroy the input `gifPath`, or empty text.
std::string OutputReplacesInputReason(const std::string& outputPath, const std::string& gifPath);

}  // namespace reelmill
