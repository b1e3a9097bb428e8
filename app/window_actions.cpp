#include "app/window_actions.h"

#include <QPushButton>

namespace reelmill {

namespace {

QAction* NewAction(QObject* owner, const char* text, const char* name) {
  auto* action = new QAction(QString::fromLatin1(text), owner);
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

}  // namespace

WindowActions::WindowActions(QObject* owner)
    : addFiles(NewAction(owner, "Add Files", "addFilesAction")),
      addFolder(NewAction(owner, "Add Folder", "addFolderAction")),
      remove(NewAction(owner, "Remove", "removeAction")),
      removeAll(NewAction(owner, "Remove All", "removeAllAction")),
      moveUp(NewAction(owner, "Move Up", "moveUpAction")),
      moveDown(NewAction(owner, "Move Down", "moveDownAction")),
      convert(NewAction(owner, "Convert", "convertAction")),
      convertAll(NewAction(owner, "Convert All", "convertAllAction")),
      play(NewAction(owner, "Play", "playAction")),
      pause(NewAction(owner, "Pause", "pauseAction")),
      about(NewAction(owner, "About", "aboutAction")),
      help(NewAction(owner, "Help", "helpAction")),
      exit(NewAction(owner, "Exit", "exitAction")),
      singleImage(NewAction(owner, "Single Image", "singleImageAction")),
      sequences{NewAction(owner, "Bmp Sequence", "bmpSequenceAction"),
                NewAction(owner, "Tga Sequence", "tgaSequenceAction"),
                NewAction(owner, "Gif Sequence", "gifSequenceAction"),
                NewAction(owner, "Jpg Sequence", "jpgSequenceAction"),
                NewAction(owner, "Png Sequence", "pngSequenceAction"),
                NewAction(owner, "Tiff Sequence", "tiffSequenceAction")} {}

void WindowActions::SetListCommandsEnabled(bool enabled) {
  // Add Folder replaces the list, so it waits for the conversion too.
  for (QAction* action : {remove, removeAll, moveUp, moveDown, convert, convertAll, addFolder})
    action->setEnabled(enabled);
}

QPushButton* ButtonFor(QAction* action, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(action->objectName().replace(QLatin1String("Action"), QLatin1String("Button")));
  button->setEnabled(action->isEnabled());
  QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
  QObject::connect(action, &QAction::enabledChanged, button, &QPushButton::setEnabled);
  return button;
}

}  // namespace reelmill
