#include "app/output_folder.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/product.h"
#include "app/settings_rules.h"
#include "imaging/paths.h"

namespace reelmill {

std::string DefaultOutputFolder() {
  const std::string programFolder = ModuleFolder();
  if (!programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0) return programFolder;
  QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  return FolderWithSlash(folder.toStdString());
}

QString HelpFilePath() {
  const QString beside = QString::fromStdString(ModuleFolder()) + kHelpFileName;
  if (QFileInfo::exists(beside)) return beside;
  const QString installed = QDir::cleanPath(QString::fromStdString(ModuleFolder()) +
                                            QStringLiteral("../share/doc/reelmill/") + kHelpFileName);
  return QFileInfo::exists(installed) ? installed : beside;
}

}  // namespace reelmill
