#pragma once
// The application icon, drawn from the SVG kept in the program's resources.

#include <QIcon>

namespace reelmill {

QIcon AppIcon();

}  // namespace reelmill
