#include "app/preview_widget.h"

#include <QPainter>

#include "app/frame_image.h"
#include "engine/playback_clock.h"

namespace reelmill {

PreviewWidget::PreviewWidget(std::unique_ptr<PlaybackClock> clock, QWidget* parent)
    : QFrame(parent), clock_(std::move(clock)), player_(std::make_unique<FramePlayer>(*clock_)) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setAccessibleName(QStringLiteral("Preview"));
  player_->SetFrameShownHandler([this] {
    Refresh();
    emit FrameShown();
  });
  player_->SetPassEndedHandler([this] {
    Refresh();
    emit PassEnded();
  });
  // Called on the stream's thread: the news is taken up on the UI thread.
  // Posted calls to a widget that is gone are dropped by Qt.
  player_->SetStreamChangedHandler([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          player_->Refresh();
          Refresh();
          emit StreamChanged();
        },
        Qt::QueuedConnection);
  });
}

PreviewWidget::~PreviewWidget() { player_.reset(); }

void PreviewWidget::Load(const std::string& path) {
  player_->Load(path);
  Refresh();
}

void PreviewWidget::Refresh() {
  // The wait cursor shows over the pane while the file's first frame is on
  // its way; the rest of the window goes on answering.
  const FrameStream::Info info = player_->Info();
  const bool loading = !player_->FilePath().empty() && !info.finished && !player_->CurrentImage();
  if (loading != (cursor().shape() == Qt::WaitCursor)) loading ? setCursor(Qt::WaitCursor) : unsetCursor();
  std::shared_ptr<const PixelImage> frame = player_->CurrentImage();
  if (frame == painted_) return;
  painted_ = std::move(frame);
  shown_ = painted_ ? ToQImage(*painted_) : QImage();
  update();
}

void PreviewWidget::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (shown_.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(contentsRect(), shown_);
}

}  // namespace reelmill
