#include "app/option_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <limits>

#include "app/desktop.h"
#include "app/local_path.h"
#include "app/settings_rules.h"

namespace reelmill {

namespace {

QComboBox* NewList(QWidget* parent, const QString& name, const QString& accessibleName, const QStringList& items) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setAccessibleName(accessibleName);
  box->addItems(items);
  return box;
}

// A number box whose arrows stay between `minimum` and `arrowMaximum`, while
// the edit, and what the program puts in it, keeps any whole number from
// `minimum` up: a GIF of 6000 pixels keeps its 6000.
class NumberBox final : public QSpinBox {
 public:
  NumberBox(QWidget* parent, int minimum, int arrowMaximum) : QSpinBox(parent), arrowMaximum_(arrowMaximum) {
    setRange(minimum, std::numeric_limits<int>::max());
  }
  // As wide as the numbers the arrows reach, not as the largest one typed.
  QSize sizeHint() const override { return Narrowed(QSpinBox::sizeHint()); }
  QSize minimumSizeHint() const override { return Narrowed(QSpinBox::minimumSizeHint()); }
  void stepBy(int steps) override {
    const long long wanted = static_cast<long long>(value()) + steps;
    if (wanted < minimum() || wanted > arrowMaximum_) return;
    QSpinBox::stepBy(steps);
  }

 protected:
  StepEnabled stepEnabled() const override {
    StepEnabled enabled = StepNone;
    if (value() > minimum()) enabled |= StepDownEnabled;
    if (value() < arrowMaximum_) enabled |= StepUpEnabled;
    return enabled;
  }

 private:
  QSize Narrowed(QSize size) const {
    const QFontMetrics metrics = fontMetrics();
    size.setWidth(size.width() - metrics.horizontalAdvance(QString::number(maximum())) +
                  metrics.horizontalAdvance(QString::number(arrowMaximum_)));
    return size;
  }

  int arrowMaximum_;
};

QSpinBox* NewNumber(QWidget* parent, const QString& name, const QString& accessibleName, int minimum,
                    int arrowMaximum) {
  auto* box = new NumberBox(parent, minimum, arrowMaximum);
  box->setObjectName(name);
  box->setAccessibleName(accessibleName);
  return box;
}

QLabel* NewLabel(QWidget* parent, const QString& text, QWidget* buddy = nullptr) {
  auto* label = new QLabel(text, parent);
  if (buddy) label->setBuddy(buddy);
  return label;
}

template <typename Strings>
QStringList ToList(const Strings& items) {
  QStringList list;
  for (const auto& item : items) list << QString::fromLatin1(item.data(), static_cast<qsizetype>(item.size()));
  return list;
}

}  // namespace

// ---- Output -----------------------------------------------------------------

OutputPage::OutputPage(Desktop& desktop, QWidget* parent) : QWidget(parent), desktop_(desktop) {
  setObjectName(QStringLiteral("outputPage"));
  kind_ = NewList(this, QStringLiteral("outputKind"), QStringLiteral("Convert To:"),
                  {QStringLiteral("Flash(SWF)"), QStringLiteral("Video(AVI)"), QStringLiteral("Image Sequence"),
                   QStringLiteral("Video(MP4)"), QStringLiteral("Video(WebM)"), QStringLiteral("Animated WebP")});
  format_ = NewList(this, QStringLiteral("imageFormat"), QStringLiteral("Image Format:"),
                    {"BMP", "TGA", "JPG", "GIF", "PNG", "TIFF"});
  // A frame rate below 1 would make the writers divide by zero.
  rate_ = NewNumber(this, QStringLiteral("frameRate"), QStringLiteral("Frame Rate:"), 1, 100);
  folder_ = new QLineEdit(this);
  folder_->setObjectName(QStringLiteral("outputFolder"));
  folder_->setAccessibleName(QStringLiteral("Output Path:"));
  auto* browse = new QPushButton(QStringLiteral("Browse"), this);
  browse->setObjectName(QStringLiteral("browse"));
  showFolder_ = new QCheckBox(QStringLiteral("Show output directory when done."), this);
  showFolder_->setObjectName(QStringLiteral("showOutputFolder"));
  playWhenDone_ = new QCheckBox(QStringLiteral("Play the converted file when done."), this);
  playWhenDone_->setObjectName(QStringLiteral("playWhenDone"));
  formatLabel_ = NewLabel(this, QStringLiteral("Image Format:"), format_);
  rateLabel_ = NewLabel(this, QStringLiteral("Frame Rate:"), rate_);
  fpsLabel_ = NewLabel(this, QStringLiteral("FPS"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(NewLabel(this, QStringLiteral("Convert To:"), kind_), 0, 0);
  grid->addWidget(kind_, 0, 1);
  grid->addWidget(formatLabel_, 0, 2);
  grid->addWidget(format_, 0, 3);
  grid->addWidget(rateLabel_, 0, 2);
  auto* rateRow = new QHBoxLayout;
  rateRow->addWidget(rate_);
  rateRow->addWidget(fpsLabel_);
  grid->addLayout(rateRow, 0, 3);
  grid->addWidget(NewLabel(this, QStringLiteral("Output Path:"), folder_), 1, 0);
  grid->addWidget(folder_, 1, 1, 1, 2);
  grid->addWidget(browse, 1, 3);
  grid->addWidget(showFolder_, 2, 0, 1, 4);
  grid->addWidget(playWhenDone_, 3, 0, 1, 4);
  grid->setColumnStretch(1, 1);

  connect(kind_, &QComboBox::activated, this, &OutputPage::KindChosen);
  connect(format_, &QComboBox::activated, this, &OutputPage::FormatChosen);
  connect(browse, &QPushButton::clicked, this, &OutputPage::Browse);
  ShowKindControls();
  RefreshControls();
}

void OutputPage::ReadControls() {
  values_.outputFolder = folder_->text();
  values_.frameRate = rate_->value();
  values_.showOutputFolder = showFolder_->isChecked();
  values_.playWhenDone = playWhenDone_->isChecked();
  values_.outputKind = kind_->currentText();
  values_.imageFormat = format_->currentText();
}

void OutputPage::RefreshControls() {
  folder_->setText(values_.outputFolder);
  rate_->setValue(values_.frameRate);
  showFolder_->setChecked(values_.showOutputFolder);
  playWhenDone_->setChecked(values_.playWhenDone);
  kind_->setCurrentText(values_.outputKind);
  format_->setCurrentText(values_.imageFormat);
}

void OutputPage::KindChosen() {
  ReadControls();
  ShowKindControls();
  RefreshControls();
}

void OutputPage::ShowKindControls() {
  const bool sequence = values_.outputKind == QLatin1String("Image Sequence");
  // MP4, WebM and WebP keep each frame's own time: no rate applies to them.
  const bool recorded =
      values_.outputKind == QLatin1String("Flash(SWF)") || values_.outputKind == QLatin1String("Video(AVI)");
  for (QWidget* w : {static_cast<QWidget*>(formatLabel_), static_cast<QWidget*>(format_)}) w->setVisible(sequence);
  for (QWidget* w : {static_cast<QWidget*>(rateLabel_), static_cast<QWidget*>(rate_), static_cast<QWidget*>(fpsLabel_)})
    w->setVisible(recorded);
}

void OutputPage::FormatChosen() {
  ReadControls();
  RefreshControls();
}

void OutputPage::Browse() {
  // Cancelling empties the folder, as the folder chooser leaves no choice.
  const QString chosen = desktop_.AskFolder(QStringLiteral("Open"));
  values_.outputFolder = chosen.isEmpty()
                             ? QString()
                             : QFile::decodeName(QByteArray::fromStdString(FolderWithSlash(PathFromText(chosen))));
  folder_->setText(values_.outputFolder);
}

// ---- Resize -----------------------------------------------------------------

ResizePage::ResizePage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("resizePage"));
  original_ = new QRadioButton(QStringLiteral("Original Size"), this);
  original_->setObjectName(QStringLiteral("originalSize"));
  custom_ = new QRadioButton(QStringLiteral("Custom Size"), this);
  custom_->setObjectName(QStringLiteral("customSize"));
  preset_ = NewList(this, QStringLiteral("preset"), QStringLiteral("Preset:"), ToList(kPresetItems));
  percent_ = NewList(this, QStringLiteral("percent"), QStringLiteral("Percent"), ToList(kPercentItems));
  percent_->setCurrentIndex(4);
  width_ = NewNumber(this, QStringLiteral("width"), QStringLiteral("Width:"), 0, 5000);
  height_ = NewNumber(this, QStringLiteral("height"), QStringLiteral("Height:"), 0, 5000);

  auto* grid = new QGridLayout(this);
  grid->addWidget(original_, 0, 0);
  grid->addWidget(custom_, 1, 0);
  grid->addWidget(NewLabel(this, QStringLiteral("Preset:"), preset_), 0, 1);
  grid->addWidget(preset_, 0, 2);
  grid->addWidget(NewLabel(this, QStringLiteral("pixels")), 0, 3);
  grid->addWidget(NewLabel(this, QStringLiteral("Percent"), percent_), 1, 1);
  grid->addWidget(percent_, 1, 2);
  grid->addWidget(NewLabel(this, QStringLiteral("Width:"), width_), 2, 1);
  grid->addWidget(width_, 2, 2);
  grid->addWidget(NewLabel(this, QStringLiteral("Height:"), height_), 3, 1);
  grid->addWidget(height_, 3, 2);
  grid->setColumnStretch(4, 1);

  connect(original_, &QRadioButton::clicked, this, [this] { ModeChosen(0); });
  connect(custom_, &QRadioButton::clicked, this, [this] { ModeChosen(1); });
  connect(preset_, &QComboBox::activated, this, &ResizePage::PresetChosen);
  connect(percent_, &QComboBox::activated, this, &ResizePage::PercentChosen);
  original_->setChecked(true);
  ModeChosen(0);
}

void ResizePage::ReadControls() {
  values_.sizeMode = custom_->isChecked() ? 1 : 0;
  values_.width = width_->value();
  values_.height = height_->value();
}

void ResizePage::RefreshControls() {
  (values_.sizeMode == 1 ? custom_ : original_)->setChecked(true);
  width_->setValue(values_.width);
  height_->setValue(values_.height);
}

void ResizePage::ModeChosen(int mode) {
  values_.sizeMode = mode;
  for (QWidget* w : {static_cast<QWidget*>(preset_), static_cast<QWidget*>(percent_), static_cast<QWidget*>(width_),
                     static_cast<QWidget*>(height_)})
    w->setEnabled(mode == 1);
}

void ResizePage::PresetChosen() {
  ReadControls();
  if (const auto size = PresetSize(preset_->currentText().toStdString())) {
    values_.width = size->first;
    values_.height = size->second;
  }
  RefreshControls();
}

void ResizePage::PercentChosen() {
  ReadControls();
  const std::string item = percent_->currentText().toStdString();
  values_.width = ApplyPercent(values_.width, item);
  values_.height = ApplyPercent(values_.height, item);
  RefreshControls();
}

// ---- Effect -----------------------------------------------------------------

EffectPage::EffectPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("effectPage"));
  quality_ = NewList(this, QStringLiteral("quality"), QStringLiteral("File Quality"),
                     {"100", "90", "80", "70", "60", "50", "40", "30", "20", "10"});
  auto* row = new QHBoxLayout(this);
  row->addWidget(NewLabel(this, QStringLiteral("File Quality"), quality_));
  row->addWidget(quality_);
  row->addWidget(NewLabel(this, QStringLiteral("%")));
  row->addStretch(1);
  connect(quality_, &QComboBox::activated, this, [this] {
    ReadControls();
    values_.quality = quality_->currentText().toInt();
    RefreshControls();
  });
}

void EffectPage::ReadControls() { values_.index = quality_->currentIndex(); }

void EffectPage::RefreshControls() { quality_->setCurrentIndex(values_.index); }

}  // namespace reelmill
