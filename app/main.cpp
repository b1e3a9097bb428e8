// reelmill: the desktop window. GIF paths on the command line are added to
// the list at start, as one Add Files command adds them.

#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_icon.h"
#include "app/desktop.h"
#include "app/main_window.h"
#include "app/product.h"
#include "app/time_source.h"
#include "imaging/file_io.h"

namespace {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// A GIF by its name or its content; anything else given would be no row.
bool IsGifArgument(const std::string& path) {
  if (!reelmill::FileSize(path)) return false;
  const std::string lower = QFile::decodeName(QByteArray::fromStdString(path)).toLower().toStdString();
  if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".gif") == 0) return true;
  const int fd = reelmill::OpenRegularForReading(path);
  char head[4] = {};
  const bool gif = fd >= 0 && ::read(fd, head, 4) == 4 && std::string(head, 4) == "GIF8";
  if (fd >= 0) ::close(fd);
  return gif;
}

}  // namespace

int main(int argc, char* argv[]) {
  // The options are read before the window system is asked for: --help and
  // --version work anywhere.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QFile::decodeName(argv[i]);
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Converts animated GIFs to AVI, SWF or image sequences."));
  parser.addPositionalArgument(QStringLiteral("GIF"), QStringLiteral("GIF files to put in the list."),
                               QStringLiteral("[GIF...]"));
  // Not addHelpOption(): its --help-all is for Qt's own options, which this
  // parser refuses, and would have gone on to open the window.
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Displays help on commandline options."));
  parser.addOption(help);
  const QCommandLineOption version = parser.addVersionOption();
  if (!parser.parse(arguments)) {
    std::fprintf(stderr, "reelmill: %s\nRun with --help for more information.\n", qPrintable(parser.errorText()));
    return 2;
  }
  if (parser.isSet(help)) {
    std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("reelmill"))),
               stdout);
    return 0;
  }
  if (parser.isSet(version)) {
    std::printf("reelmill %s\n", qPrintable(reelmill::kProductVersion));
    return 0;
  }
  if (!HasDisplay()) {
    std::fputs(
        "reelmill: there is no display to show the window on (DISPLAY is not set); run it in a desktop "
        "session, or under xvfb-run\n",
        stderr);
    return 1;
  }

  // The arguments' own bytes: Qt's text of them cannot spell every name.
  std::vector<std::string> paths;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (options && argument == "--") {
      options = false;
    } else if (options && argument.size() > 1 && argument[0] == '-') {
      continue;
    } else if (IsGifArgument(argument)) {
      paths.push_back(argument);
    } else {
      std::fprintf(stderr, "reelmill: %s: not a GIF file, left out\n", argv[i]);
    }
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("reelmill"));
  QApplication::setApplicationDisplayName(reelmill::kProductName);
  QApplication::setApplicationVersion(reelmill::kProductVersion);
  QApplication::setDesktopFileName(reelmill::kDesktopFileName);
  QApplication::setWindowIcon(reelmill::AppIcon());

  reelmill::QtDesktop desktop;
  reelmill::EventLoopTime time;
  reelmill::MainWindow window(desktop, time);
  desktop.SetOwner(&window);
  window.show();
  if (!paths.empty()) window.AddPaths(paths);
  return QApplication::exec();
}
