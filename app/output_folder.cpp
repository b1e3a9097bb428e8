#include "app/output_folder.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/product.h"
#include "app/settings_rules.h"
#include "imaging/paths.h"

namespace reelmill {

namespace {

// Where `cmake --install` and the Debian package put the guide, seen from
// the program's folder.
QString InstalledGuide(const std::string& programFolder) {
  return QDir::cleanPath(QString::fromStdString(programFolder) + QStringLiteral("../share/doc/reelmill/") +
                         kHelpFileName);
}

}  // namespace

std::string DefaultOutputFolder(const std::string& programFolder) {
  // An installed program's folder (/usr/bin) is the system's, no place for
  // videos even where root may write.
  if (!programFolder.empty() && !QFileInfo::exists(InstalledGuide(programFolder)) &&
      ::access(programFolder.c_str(), W_OK) == 0)
    return programFolder;
  QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  return FolderWithSlash(folder.toStdString());
}

std::string DefaultOutputFolder() { return DefaultOutputFolder(ModuleFolder()); }

QString HelpFilePath() {
  const QString beside = QString::fromStdString(ModuleFolder()) + kHelpFileName;
  if (QFileInfo::exists(beside)) return beside;
  const QString installed = InstalledGuide(ModuleFolder());
  return QFileInfo::exists(installed) ? installed : beside;
}

}  // namespace reelmill
