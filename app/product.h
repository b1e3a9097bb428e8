#pragma once
// The product's own texts.

#include <QString>

namespace reelmill {

inline const QString kProductName = QStringLiteral("Reelmill");
inline const QString kProductVersion = QStringLiteral(REELMILL_VERSION);
// The desktop entry's id, by which Wayland and the docks match the window to it.
inline const QString kDesktopFileName = QStringLiteral(REELMILL_APP_ID);
inline const QString kHomePage = QStringLiteral(REELMILL_HOME_PAGE);
// The user guide, beside the program or where `cmake --install` puts it.
inline const QString kHelpFileName = QStringLiteral("varnle_Reelmill.html");

}  // namespace reelmill
