#include "app/sequence_export_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QStyle>
#include <QVBoxLayout>

#include "app/time_source.h"

namespace reelmill {

SequenceExportDialog::SequenceExportDialog(const std::string& sourcePath, const std::string& extension,
                                           const std::string& outputFolder, TimeSource& time, QWidget* parent)
    : QDialog(parent), export_(sourcePath, extension, outputFolder), ticker_(time.NewTicker()) {
  setObjectName(QStringLiteral("sequenceExportDialog"));
  setWindowTitle(QApplication::applicationDisplayName());
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_DialogSaveButton).pixmap(32, 32));
  auto* caption = new QLabel(QStringLiteral("Export Process"), this);
  label_ = new QLabel(this);
  label_->setObjectName(QStringLiteral("exportProgressText"));
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("exportProgress"));
  bar_->setAccessibleName(QStringLiteral("Export Process"));
  bar_->setTextVisible(false);
  bar_->setMinimumWidth(240);

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addWidget(caption, 1);
  top->addWidget(label_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(bar_);

  // The first frame is decoded and the file's blocks announce the count, so
  // the range is known before the first tick.
  opened_ = export_.Open();
  bar_->setRange(0, std::max(export_.FrameCount(), 1));
  bar_->setValue(0);
  ticker_->SetHandler([this] { Tick(); });
}

SequenceExportDialog::~SequenceExportDialog() { ticker_->Stop(); }

void SequenceExportDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!ticker_->Active()) ticker_->Start(100);
}

void SequenceExportDialog::Tick() {
  if (export_.Done()) {
    accept();
    return;
  }
  export_.WriteNext();
  // A damaged file ends early: the count becomes the frames it gave.
  bar_->setMaximum(std::max(export_.FrameCount(), 1));
  bar_->setValue(export_.Position());
  label_->setText(QString::fromStdString(export_.ProgressText()));
  if (export_.Done()) accept();
}

void SequenceExportDialog::done(int result) {
  ticker_->Stop();
  QDialog::done(result);
}

}  // namespace reelmill
