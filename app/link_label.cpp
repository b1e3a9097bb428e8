#include "app/link_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

#include "app/desktop.h"

namespace reelmill {

namespace {

// The label as a screen reader should present it: a link that can be pressed.
class AccessibleLink final : public QAccessibleWidget {
 public:
  explicit AccessibleLink(LinkLabel* link) : QAccessibleWidget(link, QAccessible::Link, link->text()) {
    addControllingSignal(QStringLiteral("linkActivated(QString)"));
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction()) QMetaObject::invokeMethod(widget(), "Activate");
  }
};

QAccessibleInterface* LinkAccessible(const QString& key, QObject* object) {
  if (key == QLatin1String("reelmill::LinkLabel")) return new AccessibleLink(static_cast<LinkLabel*>(object));
  return nullptr;
}

}  // namespace

void InstallLinkAccessibility() {
  static const bool installed = (QAccessible::installFactory(LinkAccessible), true);
  (void)installed;
}

LinkLabel::LinkLabel(Desktop& desktop, QString target, const QString& text, QWidget* parent)
    : QLabel(text, parent), desktop_(desktop), target_(std::move(target)) {
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  setCursor(Qt::PointingHandCursor);
  setToolTip(target_);
  setAccessibleName(text);
  setFocusPolicy(Qt::TabFocus);
  Recolour();
}

void LinkLabel::Activate() { Open(); }

QString LinkLabel::FailureText() {
  // The desktop reports no reason of its own: the closest is that nothing
  // is associated with the link.
  return QStringLiteral(
      "Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.");
}

void LinkLabel::Open() {
  if (desktop_.Open(QUrl(target_))) {
    visited_ = true;
    Recolour();
  } else {
    desktop_.Warning(FailureText());
  }
}

void LinkLabel::Recolour() {
  QPalette colours = palette();
  const QColor text = hovered_   ? palette().color(QPalette::Highlight)
                      : visited_ ? QColor(0x55, 0x1A, 0x8B)
                                 : QColor(0, 0, 0xEE);
  colours.setColor(QPalette::WindowText, text);
  setPalette(colours);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Open();
  QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
    Open();
    event->accept();
    return;
  }
  QLabel::keyPressEvent(event);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  Recolour();
  QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
  hovered_ = false;
  Recolour();
  QLabel::leaveEvent(event);
}

}  // namespace reelmill
