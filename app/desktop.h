#pragma once
// Everything the window asks of the user or of the desktop: message boxes,
// the file and folder choosers, modal dialogs and the desktop's "open". The
// window is given one; tests give it a fake that answers and records.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

class QDialog;
class QWidget;

namespace reelmill {

struct SaveChoice {
  QString path;    // the full path as the user confirmed it
  int filter = 1;  // 1-based entry of the filter list that was selected
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  // A message box with an OK button; the title is the program's name.
  virtual void Message(const QString& text) = 0;
  // The same with a warning icon and the warning sound.
  virtual void Warning(const QString& text) = 0;
  // A message whose `details` may be long: the box stays on the screen and
  // shows them in a scrolling area.
  virtual void Report(const QString& text, const QString& details) = 0;
  // Several existing files; empty when the user cancelled.
  virtual QStringList AskOpenFiles(const QString& filter) = 0;
  // One existing folder; empty when the user cancelled.
  virtual QString AskFolder(const QString& title) = 0;
  // A file name to save to, with the filter list ("Name (*.x)" entries) and
  // the 1-based entry selected at first; nullopt when cancelled.
  virtual std::optional<SaveChoice> AskSavePath(const QStringList& filters, int selectedFilter) = 0;
  // Opens a file, folder or link in the desktop's application for it.
  virtual bool Open(const QUrl& url) = 0;
  // Runs a dialog modally and returns its result.
  virtual int RunModal(QDialog& dialog) = 0;
};

// The real desktop, through Qt's dialogs and QDesktopServices.
class QtDesktop final : public Desktop {
 public:
  explicit QtDesktop(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void Message(const QString& text) override;
  void Warning(const QString& text) override;
  void Report(const QString& text, const QString& details) override;
  QStringList AskOpenFiles(const QString& filter) override;
  QString AskFolder(const QString& title) override;
  std::optional<SaveChoice> AskSavePath(const QStringList& filters, int selectedFilter) override;
  bool Open(const QUrl& url) override;
  int RunModal(QDialog& dialog) override;

 private:
  QWidget* owner_;
};

}  // namespace reelmill
