#pragma once
// Where the window writes by default and where its user guide lives.

#include <QString>
#include <string>

namespace reelmill {

// The program's folder when the program may write there and is not
// installed (its guide is not in ../share/doc/reelmill/); otherwise the
// user's videos folder, else the home folder. Ends in '/'.
std::string DefaultOutputFolder();
// The same for a program in `programFolder` (ending in '/').
std::string DefaultOutputFolder(const std::string& programFolder);

// The user guide beside the program, else where `cmake --install` puts it.
QString HelpFilePath();

}  // namespace reelmill
