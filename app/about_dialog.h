#pragma once
// The About box: the program's name and version, and a link to its page.

#include <QDialog>

namespace reelmill {

class Desktop;

class AboutDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(Desktop& desktop, QWidget* parent = nullptr);
};

}  // namespace reelmill
