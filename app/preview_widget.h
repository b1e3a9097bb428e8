#pragma once
// The preview pane: owns the frame recorder and paints its current frame
// stretched over the whole pane (nearest neighbour, aspect ratio not kept).
// Painting only reads; the recorder decides what is shown and recorded.

#include <QFrame>
#include <QImage>
#include <memory>

#include "engine/frame_recorder.h"

namespace reelmill {

class PlaybackClock;

class PreviewWidget final : public QFrame {
  Q_OBJECT

 public:
  // The widget keeps `clock`, which drives the recorder's passes.
  explicit PreviewWidget(std::unique_ptr<PlaybackClock> clock, QWidget* parent = nullptr);
  ~PreviewWidget() override;

  FrameRecorder& Recorder() { return *recorder_; }
  const FrameRecorder& Recorder() const { return *recorder_; }
  // Loads a file into the recorder (stopping its pass first) and repaints;
  // `forPass` loads a still twice, as a recording pass needs it.
  bool Load(const QString& path, bool forPass = false);
  // The picture painted last, as drawn before stretching (tests read it).
  const QImage& ShownImage() const { return shown_; }
  // Repaints after the recorder's position was changed from outside.
  void Refresh();

 signals:
  // A frame became current (it was recorded first, when recording).
  void FrameShown();
  void PassEnded();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<PlaybackClock> clock_;
  std::unique_ptr<FrameRecorder> recorder_;
  QImage shown_;
};

}  // namespace reelmill
