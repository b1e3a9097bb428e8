#pragma once
// The save chooser of the single-image export.

#include <QString>
#include <QStringList>
#include <optional>

namespace reelmill {

class Desktop;

// The chooser's filters, in order; entry 1 is selected at first.
QStringList ImageSaveFilters();

// A confirmed name gets the selected filter's extension (1 "bmp", 2 "gif",
// 3 "jpg", 4 "png", 5 "tif") when the whole path holds no '.' at all, so a
// name inside a folder whose name holds a '.' stays as typed.
QString WithFilterExtension(const QString& path, int filter);

// Asks for the path to save an image to; nullopt when cancelled.
std::optional<QString> AskImageSavePath(Desktop& desktop);

}  // namespace reelmill
