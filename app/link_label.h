#pragma once
// A label that is a link: blue until visited, purple after, the highlight
// colour while the pointer is over it; a click opens the target through the
// desktop, and a failure says so.

#include <QLabel>

namespace reelmill {

class Desktop;

class LinkLabel final : public QLabel {
  Q_OBJECT

 public:
  LinkLabel(Desktop& desktop, QString target, const QString& text, QWidget* parent = nullptr);
  bool Visited() const { return visited_; }
  const QString& Target() const { return target_; }
  // What the failure box says when the desktop cannot open a link.
  static QString FailureText();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
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
