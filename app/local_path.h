#pragma once
// File names as the system holds them: bytes, which need not be UTF-8. The
// window keeps every path as those bytes, from wherever it came (the command
// line, a drop, a dialog, the output box), and makes text of a path only to
// show it. Qt's own conversions replace bytes that are not UTF-8 and cannot
// give them back.

#include <QString>
#include <QUrl>
#include <string>

namespace reelmill {

// The path as text to show: bytes that are not UTF-8 appear as U+FFFD and
// the name says "(invalid encoding)", as file managers show such names.
QString DisplayPath(const std::string& path);
// The last part of DisplayPath, after its final '/'.
QString DisplayName(const std::string& path);

// The bytes of a path that a dialog or the user gave as text. A name Qt
// could not spell is found again among the entries of its folder, where it
// is the only one that shows as that text.
std::string PathFromText(const QString& text);

// The bytes of a dropped file's path, kept as the URL holds them.
std::string PathFromUrl(const QUrl& url);

// A local URL of `path` for the desktop's "open", bytes kept.
QUrl UrlOfPath(const std::string& path);

}  // namespace reelmill
