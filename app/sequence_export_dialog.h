#pragma once
// "Export Process": writes every frame of a GIF as a numbered still image,
// one frame per 100-ms tick, showing "written/count". It closes by itself
// after the last frame; closing it earlier ends the export and keeps the
// frames written so far.

#include <QDialog>
#include <memory>
#include <string>

#include "engine/sequence_export.h"

class QLabel;
class QProgressBar;

namespace reelmill {

class Ticker;
class TimeSource;

class SequenceExportDialog final : public QDialog {
  Q_OBJECT

 public:
  // `outputFolder` ends in '/'; for Convert and Convert All the caller
  // passes the work folder.
  SequenceExportDialog(const std::string& sourcePath, const std::string& extension, const std::string& outputFolder,
                       TimeSource& time, QWidget* parent = nullptr);
  ~SequenceExportDialog() override;

  const SequenceExport& Export() const { return export_; }
  bool Opened() const { return opened_; }
  QLabel& ProgressLabel() { return *label_; }
  QProgressBar& ProgressBar() { return *bar_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void Tick();

  SequenceExport export_;
  bool opened_ = false;
  std::unique_ptr<Ticker> ticker_;
  QLabel* label_;
  QProgressBar* bar_;
};

}  // namespace reelmill
