#pragma once
// One QAction per command of the window. Buttons and context-menu items
// trigger the same action, so enabling or disabling a command is done once.

#include <QAction>
#include <QObject>
#include <array>

class QPushButton;

namespace reelmill {

struct WindowActions {
  explicit WindowActions(QObject* owner);

  QAction* addFiles;
  QAction* addFolder;
  QAction* remove;
  QAction* removeAll;
  QAction* moveUp;
  QAction* moveDown;
  QAction* convert;
  QAction* convertAll;
  QAction* play;
  QAction* pause;
  QAction* about;
  QAction* help;
  QAction* exit;
  QAction* singleImage;
  // "Bmp Sequence" ... "Tiff Sequence", in menu order.
  std::array<QAction*, 6> sequences;

  // The commands a recording locks: "Remove", "Remove All", "Move Up",
  // "Move Down", "Convert", "Convert All" and "Add Folder" (which would
  // replace the list under way).
  void SetListCommandsEnabled(bool enabled);
};

// The file extension each sequence item writes.
inline constexpr const char* kSequenceExtensions[] = {"bmp", "tga", "gif", "jpg", "png", "tiff"};

// A push button with its own caption that triggers `action` and follows its
// enabled state.
QPushButton* ButtonFor(QAction* action, const QString& caption, QWidget* parent);

}  // namespace reelmill
