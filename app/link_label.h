#pragma once
// A label that is a link: blue until visited, purple after, the highlight
// colour while the pointer is over it; a click, Enter or Space opens the
// target through the desktop, and a failure says so. Screen readers hear a
// link.

#include <QLabel>

namespace reelmill {

class Desktop;

// Makes screen readers see every LinkLabel as a link; before the first one
// is made, which the label's own construction would otherwise answer.
void InstallLinkAccessibility();

class LinkLabel final : public QLabel {
  Q_OBJECT

 public:
  LinkLabel(Desktop& desktop, QString target, const QString& text, QWidget* parent = nullptr);
  bool Visited() const { return visited_; }
  const QString& Target() const { return target_; }
  // What the failure box says when the desktop cannot open a link.
  static QString FailureText();
  // Opens the link, as a click does (screen readers press it this way).
  Q_INVOKABLE void Activate();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void Open();
  void Recolour();

  Desktop& desktop_;
  QString target_;
  bool visited_ = false;
  bool hovered_ = false;
};

}  // namespace reelmill
