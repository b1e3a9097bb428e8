#pragma once
// The product's own texts.

#include <QString>

namespace reelmill {

inline const QString kProductName = QStringLiteral("Reelmill");
inline const QString kProductVersion = QStringLiteral(REELMILL_VERSION);
inline const QString kHomePage = QStringLiteral("https://reelmill.org/");
// The user guide, beside the program or where `cmake --install` puts it.
inline const QString kHelpFileName = QStringLiteral("varnle_Reelmill.html");

}  // namespace reelmill
