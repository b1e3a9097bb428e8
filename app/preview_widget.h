#pragma once
// The preview pane: owns the frame player and paints its current frame
// stretched over the whole pane (nearest neighbour, aspect ratio not kept).
// Painting only reads; the player decides what is shown. The player's frames
// are decoded on a thread of their own and taken up here, on the UI thread.

#include <QFrame>
#include <QImage>
#include <memory>

#include "engine/frame_player.h"

namespace reelmill {

class PlaybackClock;

class PreviewWidget final : public QFrame {
  Q_OBJECT

 public:
  // The widget keeps `clock`, which drives the player's passes.
  explicit PreviewWidget(std::unique_ptr<PlaybackClock> clock, QWidget* parent = nullptr);
  ~PreviewWidget() override;

  FramePlayer& Player() { return *player_; }
  const FramePlayer& Player() const { return *player_; }
  // Loads a file into the player (stopping its pass first) and repaints once
  // its first frame is decoded. Never waits for the file.
  void Load(const std::string& path);
  // The picture painted last, as drawn before stretching (tests read it).
  const QImage& ShownImage() const { return shown_; }
  // Repaints after the player's position was changed from outside.
  void Refresh();

 signals:
  void FrameShown();
  void PassEnded();
  // The stream learned more of the file: its frame count, a frame, its end.
  void StreamChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<PlaybackClock> clock_;
  std::unique_ptr<FramePlayer> player_;
  std::shared_ptr<const PixelImage> painted_;
  QImage shown_;
};

}  // namespace reelmill
