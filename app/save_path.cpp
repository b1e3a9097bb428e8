#include "app/save_path.h"

#include "app/desktop.h"

namespace reelmill {

QStringList ImageSaveFilters() {
  return {QStringLiteral("BMP File (*.bmp)"), QStringLiteral("GIF File (*.gif)"),
          QStringLiteral("JPEG File (*.jpg *.jpeg)"), QStringLiteral("PNG Files (*.png)"),
          QStringLiteral("TIFF Files (*.tif *.tiff)")};
}

QString WithFilterExtension(const QString& path, int filter) {
  static const char* const kExtensions[] = {"bmp", "gif", "jpg", "png", "tif"};
  if (path.contains(u'.') || filter < 1 || filter > 5) return path;
  return path + u'.' + QLatin1String(kExtensions[filter - 1]);
}

std::optional<QString> AskImageSavePath(Desktop& desktop) {
  const auto choice = desktop.AskSavePath(ImageSaveFilters(), 1);
  if (!choice || choice->path.isEmpty()) return std::nullopt;
  return WithFilterExtension(choice->path, choice->filter);
}

}  // namespace reelmill
