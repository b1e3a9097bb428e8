#include "app/local_path.h"

#include <QFile>
#include <filesystem>
#include <vector>

#include "imaging/paths.h"

namespace reelmill {

namespace {

bool IsUtf8(const std::string& text) {
  const QByteArray bytes = QByteArray::fromStdString(text);
  return QString::fromUtf8(bytes).toUtf8() == bytes;
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

std::string Bytes(const QString& text) { return QFile::encodeName(text).toStdString(); }

// The one entry of `folder` (bytes) that shows as `name`, or its bytes as
// text gives them.
std::string EntryShownAs(const std::string& folder, const QString& name) {
  std::string found;
  int matches = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string entry = it->path().filename().string();
    if (QFile::decodeName(QByteArray::fromStdString(entry)) == name) {
      found = entry;
      ++matches;
    }
  }
  return matches == 1 ? found : Bytes(name);
}

}  // namespace

QString DisplayPath(const std::string& path) {
  const QString text = QFile::decodeName(QByteArray::fromStdString(path));
  return IsUtf8(path) ? text : text + QStringLiteral(" (invalid encoding)");
}

QString DisplayName(const std::string& path) { return DisplayPath(FileNameOf(path)); }

std::string PathFromText(const QString& text) {
  const std::string direct = Bytes(text);
  if (text.isEmpty() || Exists(direct) || !text.contains(QChar(0xFFFD))) return direct;
  // Part by part, each found among the entries of the folder before it.
  std::string path = text.startsWith(u'/') ? "/" : "";
  const QStringList parts = text.split(u'/', Qt::SkipEmptyParts);
  for (qsizetype i = 0; i < parts.size(); ++i) {
    const std::string bytes = Bytes(parts[i]);
    path += Exists(path + bytes) ? bytes : EntryShownAs(path, parts[i]);
    if (i + 1 < parts.size() || text.endsWith(u'/')) path += '/';
  }
  return path;
}

std::string PathFromUrl(const QUrl& url) {
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

QUrl UrlOfPath(const std::string& path) {
  return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

}  // namespace reelmill
