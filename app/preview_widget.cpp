#include "app/preview_widget.h"

#include <QPainter>

#include "app/frame_image.h"
#include "engine/playback_clock.h"

namespace reelmill {

PreviewWidget::PreviewWidget(std::unique_ptr<PlaybackClock> clock, QWidget* parent)
    : QFrame(parent), clock_(std::move(clock)), recorder_(std::make_unique<FrameRecorder>(*clock_)) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setAccessibleName(QStringLiteral("Preview"));
  recorder_->SetFrameShownHandler([this] {
    Refresh();
    emit FrameShown();
  });
  recorder_->SetPassEndedHandler([this] {
    Refresh();
    emit PassEnded();
  });
}

PreviewWidget::~PreviewWidget() { recorder_->StopPlayback(); }

bool PreviewWidget::Load(const QString& path, bool forPass) {
  const std::string file = path.toStdString();
  const bool loaded = forPass ? recorder_->LoadForPass(file) : recorder_->LoadGif(file);
  Refresh();
  return loaded;
}

void PreviewWidget::Refresh() {
  const PixelImage* frame = recorder_->CurrentImage();
  shown_ = frame ? ToQImage(*frame) : QImage();
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
