#include "app/app_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The resources live in a static library: they must be registered by hand.
static void RegisterResources() { Q_INIT_RESOURCE(reelmill); }

namespace reelmill {

QIcon AppIcon() {
  RegisterResources();
  // Rendered here rather than through the icon plugins, which a minimal
  // installation may lack.
  QSvgRenderer renderer(QStringLiteral(":/reelmill/reelmill.svg"));
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace reelmill
