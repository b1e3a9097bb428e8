#include "app/conversion_driver.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSlider>
#include <QUrl>

#include "app/desktop.h"
#include "app/file_list_model.h"
#include "app/local_path.h"
#include "app/main_window.h"
#include "app/option_pages.h"
#include "app/preview_widget.h"
#include "app/save_path.h"
#include "app/sequence_export_dialog.h"
#include "app/settings_rules.h"
#include "app/time_source.h"
#include "app/window_actions.h"
#include "engine/background_conversion.h"
#include "engine/conversion.h"
#include "engine/encoded_export.h"
#include "engine/input_guard.h"
#include "engine/scale_image.h"
#include "engine/work_paths.h"
#include "imaging/image_properties.h"

namespace reelmill {

namespace {

const QString kNoFiles = QStringLiteral("Please select files.There are'n files in list");
const QString kNoFolder = QStringLiteral("Please select the directory for converted files");
const QString kNoGif = QStringLiteral("No gif files!");
// Files a failure box lists itself; more go to its details.
constexpr qsizetype kReportedInline = 10;

bool IsSequence(const ConversionSettings& settings) { return settings.outputKind == kOutputSequence; }

std::string SequenceExtension(const ConversionSettings& settings) { return SequenceExtensionOf(settings.imageFormat); }

}  // namespace

ConversionDriver::ConversionDriver(MainWindow& window, Desktop& desktop, TimeSource& time)
    : window_(window), desktop_(desktop), time_(time), timer2_(time.NewTicker()) {
  timer2_->SetHandler([this] { Timer2Tick(); });
}

ConversionDriver::~ConversionDriver() {
  timer2_->Stop();
  conversion_.reset();
}

bool ConversionDriver::OutputPending() const { return conversion_ && !conversion_->Done(); }

void ConversionDriver::SetState(State state) {
  if (state == state_) return;
  state_ = state;
  emit StateChanged(state_);
}

// ---- Convert and Convert All ------------------------------------------------

void ConversionDriver::Convert() {
  window_.CollectSettings();
  if (window_.Model().Count() == 0) return desktop_.Message(kNoFiles);
  if (window_.CurrentFile().empty())
    return desktop_.Message(QStringLiteral("Please select the file you want to convert"));
  // Without a folder nothing could be written, whatever the kind.
  if (window_.WorkFolder().size() < 2) return desktop_.Message(kNoFolder);
  const ConversionSettings& settings = window_.Settings();
  ClearReports();
  if (IsSequence(settings)) {
    SetState(State::Exporting);
    RunSequenceExport(window_.CurrentFile(), SequenceExtension(settings), {});
    SetState(State::Idle);
    if (settings.showOutputFolder) OpenWorkFolder();
    ReportFailures();
    return;
  }
  window_.Timer1().Stop();
  listPosition_ = 0;
  SetState(State::ConvertingOne);
  StartFile();
}

void ConversionDriver::ConvertAll() {
  if (window_.Model().Count() == 0) return desktop_.Message(kNoFiles);
  window_.CollectSettings();
  if (window_.WorkFolder().size() < 2) return desktop_.Message(kNoFolder);
  const ConversionSettings& settings = window_.Settings();
  ClearReports();
  if (IsSequence(settings)) {
    SetState(State::Exporting);
    for (int row = 0; row < window_.Model().Count(); ++row) {
      window_.TakeRowForConversion(row);
      RunSequenceExport(window_.CurrentFile(), SequenceExtension(settings), {});
    }
    SetState(State::Idle);
    if (settings.showOutputFolder) OpenWorkFolder();
    ReportFailures();
    return;
  }
  window_.TakeRowForConversion(0);
  listPosition_ = 0;
  wroteAny_ = false;
  SetState(State::ConvertingAll);
  StartFile();
}

void ConversionDriver::StartFile() {
  UpdateProgress();
  // The output is the engine's, made on its own thread. A recorded kind
  // follows the file's pass in real time, which the preview shows
  // meanwhile; the others go at full speed while the preview holds the
  // file's first frame.
  conversion_ = std::make_unique<BackgroundConversion>(window_.Settings(), window_.WorkFolder(), window_.CurrentFile());
  if (Encoding())
    window_.ShowFileUnplayed();
  else
    window_.PlayPass();
}

bool ConversionDriver::Encoding() const { return EncodedKindOf(window_.Settings().outputKind).has_value(); }

// ---- Timers -----------------------------------------------------------------

void ConversionDriver::UpdateProgress() {
  const FramePlayer& player = window_.Preview().Player();
  const bool encoding = conversion_ && Encoding();
  window_.FrameBox().setText(QString::number(encoding ? conversion_->ImagesDone() : player.CurrentFrame()));
  const int rows = window_.Model().Count();
  const int percent = rows > 0 ? (listPosition_ + 1) * 100 / rows : 0;
  window_.PercentLabel().setText(QStringLiteral("%1%").arg(percent));
  window_.Progress().setValue(std::clamp(percent, 0, 100));
}

void ConversionDriver::Timer1Tick() {
  UpdateProgress();
  FramePlayer& player = window_.Preview().Player();
  player.Refresh();
  const int frames = player.FrameCount();
  // The position is the pass's, or how far the encoder has come.
  const long long at = conversion_ && Encoding() ? conversion_->ImagesDone() : player.CurrentFrame();
  window_.Trackbar().setValue(frames > 0 ? static_cast<int>(std::min<long long>(at * 100 / frames, 100)) : 0);
  if (Converting()) {
    // The file is done once its output is written and its pass has shown
    // the last frame for its whole time (a file without frames has no pass).
    if (conversion_ && conversion_->Done() && !player.Active()) FinishFile();
    return;
  }
  // The preview stops after its last frame has shown for its full time.
  if (window_.PreviewPlaying() && !player.Active()) {
    player.ResetPosition();
    window_.TogglePreview();
  }
}

void ConversionDriver::TakeOutcome() {
  const ConversionOutcome outcome = conversion_->Outcome();
  conversion_.reset();
  const std::string& file = window_.CurrentFile();
  if (!outcome.ok) {
    AddFailure(file, outcome.problem);
    return;
  }
  if (outcome.damage) AddDamage(file, DamageText(outcome.damage, outcome.images, outcome.imagesAnnounced));
  wroteAny_ = true;
  const ConversionSettings& settings = window_.Settings();
  // Convert All opens the folder once, when it ends.
  if (!ConvertAllRunning() && settings.showOutputFolder) OpenWorkFolder();
  if (!ConvertAllRunning() && settings.playWhenDone) desktop_.Open(UrlOfPath(outcome.outputPath));
}

void ConversionDriver::FinishFile() {
  window_.Timer1().Stop();
  window_.EndPass();
  if (conversion_) TakeOutcome();
  window_.Trackbar().setValue(0);
  const int lastRow = window_.Model().Count() - 1;
  if (ConvertAllRunning() && listPosition_ < lastRow) {
    timer2_->Start(100);
    return;
  }
  // Once for the batch, and only when something was written there.
  if (ConvertAllRunning() && window_.Settings().showOutputFolder && wroteAny_) OpenWorkFolder();
  SetState(State::Idle);
  ReportFailures();
}

void ConversionDriver::Timer2Tick() {
  UpdateProgress();
  timer2_->Stop();
  if (listPosition_ + 1 >= window_.Model().Count()) {
    // Rows went away meanwhile: nothing is left to convert.
    SetState(State::Idle);
    ReportFailures();
    return;
  }
  window_.TakeRowForConversion(++listPosition_);
  StartFile();
}

void ConversionDriver::Stop() {
  timer2_->Stop();
  window_.Preview().Player().StopPlayback();
  // Cancelled and waited for: nothing of it is written, and its temporary
  // frames go with it.
  conversion_.reset();
  SetState(State::Idle);
}

// ---- Reports ----------------------------------------------------------------

void ConversionDriver::ClearReports() {
  failures_.clear();
  damaged_.clear();
}

void ConversionDriver::AddFailure(const std::string& path, const Problem& problem) {
  failures_ << DisplayPath(path) + QStringLiteral(": ") + QString::fromStdString(ProblemText(problem));
}

void ConversionDriver::AddDamage(const std::string& path, const std::string& text) {
  damaged_ << DisplayPath(path) + QStringLiteral(": ") + QString::fromStdString(text);
}

void ConversionDriver::OpenWorkFolder() { desktop_.Open(UrlOfPath(window_.WorkFolder())); }

void ConversionDriver::ReportFailures() {
  if (failures_.isEmpty() && damaged_.isEmpty()) return;
  QString text;
  if (!failures_.isEmpty()) text = QStringLiteral("These files could not be converted:\n\n") + failures_.join(u'\n');
  if (!damaged_.isEmpty()) {
    if (!text.isEmpty()) text += QStringLiteral("\n\n");
    text += QStringLiteral("These files are damaged; only their frames before the damage were converted:\n\n") +
            damaged_.join(u'\n');
  }
  const qsizetype failed = failures_.size(), damaged = damaged_.size();
  ClearReports();
  // A long list would make a box taller than the screen: the counts, and
  // every file with its reason in the box's scrolling details.
  if (failed + damaged <= kReportedInline) return desktop_.Message(text);
  QStringList counts;
  if (failed) counts << QStringLiteral("%1 files could not be converted").arg(failed);
  if (damaged) counts << QStringLiteral("%1 damaged files were converted up to their damage").arg(damaged);
  desktop_.Report(counts.join(QStringLiteral("; ")) + QStringLiteral(". The details list each with its reason."), text);
}

// ---- Exports ----------------------------------------------------------------

void ConversionDriver::RunSequenceExport(const std::string& path, const std::string& extension,
                                         const std::string& folder) {
  // An empty folder means the work folder.
  const std::string base = folder.empty() ? window_.WorkFolder() : folder;
  SequenceExportDialog dialog(path, extension, base, time_, &window_);
  desktop_.RunModal(dialog);
  const SequenceExport& result = dialog.Export();
  if (!dialog.Opened()) {
    AddFailure(path, result.OpenProblem());
  } else if (result.Failures() > 0) {
    AddFailure(path, result.WriteProblem());
  } else if (const Problem damage = result.Damage()) {
    AddDamage(path, DamageText(damage, result.Position(), result.AnnouncedFrames()));
  }
}

void ConversionDriver::ExportSequence(const QString& extension) {
  if (window_.WorkFolder().size() < 2) return desktop_.Message(kNoFolder);
  if (window_.CurrentFile().empty()) return desktop_.Message(kNoGif);
  // The folder the Output page holds from its last reading of its controls.
  const std::string folder = FolderWithSlash(PathFromText(window_.Output().Members().outputFolder));
  ClearReports();
  RunSequenceExport(window_.CurrentFile(), extension.toStdString(), folder);
  ReportFailures();
}

void ConversionDriver::ExportSingleImage() {
  if (window_.CurrentFile().empty()) return desktop_.Message(kNoGif);
  const auto chosen = AskImageSavePath(desktop_);
  if (!chosen) return;
  const std::string path = PathFromText(*chosen);
  const std::shared_ptr<const PixelImage> frame = window_.Preview().Player().CurrentImage();
  // The preview holds no frame (nothing played yet, or a file that does not
  // decode): there is nothing to copy.
  if (!frame) return desktop_.Message(kNoGif);
  // The GIF the frame comes from is never written over, whatever the names.
  if (SameFile(path, window_.Preview().Player().FilePath()))
    return desktop_.Message(QStringLiteral("The image was not written: ") + *chosen +
                            QStringLiteral(" is the GIF it comes from."));
  PixelImage copy(*frame);
  ScaleImage(copy, window_.Settings().width, window_.Settings().height);
  ImageProperties properties;
  properties.Set(QualityKey, "-1");
  if (!copy.Save(path, properties)) desktop_.Message(QStringLiteral("The image could not be written to ") + *chosen);
}

}  // namespace reelmill
