#include "app/conversion_driver.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSlider>
#include <QUrl>
#include <sstream>

#include "app/desktop.h"
#include "app/file_list_model.h"
#include "app/main_window.h"
#include "app/option_pages.h"
#include "app/preview_widget.h"
#include "app/save_path.h"
#include "app/sequence_export_dialog.h"
#include "app/settings_rules.h"
#include "app/time_source.h"
#include "app/window_actions.h"
#include "engine/conversion.h"
#include "engine/frame_recorder.h"
#include "engine/input_guard.h"
#include "engine/scale_image.h"
#include "engine/work_paths.h"
#include "imaging/image_properties.h"

namespace reelmill {

namespace {

const QString kNoFiles = QStringLiteral("Please select files.There are'n files in list");
const QString kNoFolder = QStringLiteral("Please select the directory for converted files");
const QString kNoGif = QStringLiteral("No gif files!");

bool IsSequence(const ConversionSettings& settings) { return settings.outputKind == kOutputSequence; }

QString SequenceExtension(const ConversionSettings& settings) {
  return QString::fromStdString(SequenceExtensionOf(settings.imageFormat));
}

}  // namespace

ConversionDriver::ConversionDriver(MainWindow& window, Desktop& desktop, TimeSource& time)
    : window_(window), desktop_(desktop), time_(time), timer2_(time.NewTicker()) {
  timer2_->SetHandler([this] { Timer2Tick(); });
}

ConversionDriver::~ConversionDriver() { timer2_->Stop(); }

// ---- Convert and Convert All ------------------------------------------------

void ConversionDriver::Convert() {
  window_.CollectSettings();
  if (window_.Model().Count() == 0) return desktop_.Message(kNoFiles);
  if (window_.CurrentFile().isEmpty())
    return desktop_.Message(QStringLiteral("Please select the file you want to convert"));
  const ConversionSettings& settings = window_.Settings();
  if (IsSequence(settings)) {
    if (window_.WorkFolder().size() < 2) return desktop_.Message(kNoFolder);
    ClearReports();
    RunSequenceExport(window_.CurrentFile(), SequenceExtension(settings), QString());
    if (settings.showOutputFolder) OpenWorkFolder();
    ReportFailures();
    return;
  }
  FrameRecorder& recorder = window_.Preview().Recorder();
  window_.Timer1().Stop();
  recorder.StopPlayback();
  recorder.ResetPosition();
  window_.PreviewPlaying() = true;
  converting_ = true;
  convertAllRunning_ = false;
  listPosition_ = 0;
  ClearReports();
  if (!InputIsSafe()) {
    converting_ = false;
    window_.PreviewPlaying() = false;
    ReportFailures();
    return;
  }
  recorder.SetRecording(true);
  recorder.SetFileCounter(0);
  window_.ResetTempFolder();
  window_.Timer1().Start(100);
  DeclareOutputSize();
  window_.Preview().Load(window_.CurrentFile(), true);
  if (!HasFrames()) return FinishFile(false);
  recorder.StartPlayback();
}

void ConversionDriver::ConvertAll() {
  if (window_.Model().Count() == 0) return desktop_.Message(kNoFiles);
  window_.CollectSettings();
  if (window_.WorkFolder().size() < 2) return desktop_.Message(kNoFolder);
  const ConversionSettings& settings = window_.Settings();
  ClearReports();
  if (IsSequence(settings)) {
    for (int row = 0; row < window_.Model().Count(); ++row) {
      window_.TakeRowForConversion(row);
      RunSequenceExport(window_.CurrentFile(), SequenceExtension(settings), QString());
    }
    if (settings.showOutputFolder) OpenWorkFolder();
    ReportFailures();
    return;
  }
  window_.TakeRowForConversion(0);
  listPosition_ = 0;
  FrameRecorder& recorder = window_.Preview().Recorder();
  recorder.SetRecording(true);
  recorder.SetFileCounter(0);
  convertAllRunning_ = true;
  converting_ = true;
  window_.PreviewPlaying() = false;
  recorder.ResetPosition();
  if (!InputIsSafe()) return FinishFile(false);
  window_.ResetTempFolder();
  DeclareOutputSize();
  window_.TogglePreview();
  if (!HasFrames()) FinishFile(false);
}

void ConversionDriver::DeclareOutputSize() {
  // Recorded frames are scaled to the declared size when it differs from the
  // GIF's own; 0 x 0 keeps the GIF's size.
  window_.Preview().Recorder().SetOutputSize(window_.Settings().width, window_.Settings().height);
}

bool ConversionDriver::HasFrames() {
  const FrameRecorder& recorder = window_.Preview().Recorder();
  if (recorder.FrameCount() > 0) return true;
  // Nothing to record: the pass would never reach a last frame.
  AddFailure(window_.CurrentFile(), recorder.LoadProblem() ? recorder.LoadProblem() : ProblemOf(ProblemCode::NoImage));
  return false;
}

void ConversionDriver::ClearReports() {
  failures_.clear();
  damaged_.clear();
}

void ConversionDriver::AddFailure(const QString& path, const Problem& problem) {
  failures_ << path + QStringLiteral(": ") + QString::fromStdString(ProblemText(problem));
}

bool ConversionDriver::InputIsSafe() {
  // The temporary frame folder is emptied before and after every pass: a GIF
  // kept there would be deleted with it.
  const std::string why = InputInTempFolderReason(window_.CurrentFile().toStdString(), window_.WorkFolder());
  if (why.empty()) return true;
  AddFailure(window_.CurrentFile(), Refusal(ProblemCode::OutputIsInput, why));
  return false;
}

// ---- Timers -----------------------------------------------------------------

void ConversionDriver::UpdateProgress() {
  const FrameRecorder& recorder = window_.Preview().Recorder();
  window_.FrameBox().setText(QString::number(recorder.CurrentFrame()));
  const int rows = window_.Model().Count();
  const int percent = rows > 0 ? (listPosition_ + 1) * 100 / rows : 0;
  window_.PercentLabel().setText(QStringLiteral("%1%").arg(percent));
  window_.Progress().setValue(std::clamp(percent, 0, 100));
}

void ConversionDriver::Timer1Tick() {
  UpdateProgress();
  FrameRecorder& recorder = window_.Preview().Recorder();
  const int frames = recorder.FrameCount();
  window_.Trackbar().setValue(frames > 0 ? recorder.CurrentFrame() * 100 / frames : 0);
  if (converting_) {
    window_.Actions().SetListCommandsEnabled(false);
    // Pausing would end the pass before its last frame, and nothing would
    // ever write the output: Play and Pause wait for the file to finish.
    window_.Actions().play->setEnabled(false);
    window_.Actions().pause->setEnabled(false);
    // The pass is over once its last frame was recorded, whether or not a
    // tick caught that frame on screen.
    if (recorder.LastFrameRecorded()) FinishFile(true);
    return;
  }
  // The preview stops after its last frame has shown for its full time.
  if (window_.PreviewPlaying() && !recorder.Playing()) {
    recorder.ResetPosition();
    window_.PreviewPlaying() = true;
    window_.TogglePreview();
  }
}

void ConversionDriver::FinishFile(bool recorded) {
  FrameRecorder& recorder = window_.Preview().Recorder();
  WindowActions& actions = window_.Actions();
  recorder.SetRecording(false);
  converting_ = false;
  actions.SetListCommandsEnabled(true);
  window_.Timer1().Stop();
  if (recorded) WriteOutput();
  actions.SetListCommandsEnabled(true);
  actions.play->setEnabled(true);
  actions.pause->setEnabled(false);
  window_.Trackbar().setValue(0);
  const int lastRow = window_.Model().Count() - 1;
  if (convertAllRunning_ && listPosition_ < lastRow) {
    recorder.SetRecording(true);
    converting_ = true;
    timer2_->Start(100);
    return;
  }
  if (convertAllRunning_) {
    convertAllRunning_ = false;
    converting_ = false;
    recorder.SetRecording(false);
    actions.SetListCommandsEnabled(true);
    if (window_.Settings().showOutputFolder) OpenWorkFolder();
  }
  window_.PreviewPlaying() = false;
  ReportFailures();
}

void ConversionDriver::Timer2Tick() {
  UpdateProgress();
  timer2_->Stop();
  if (listPosition_ + 1 >= window_.Model().Count()) {
    // Rows went away meanwhile: nothing is left to convert.
    converting_ = convertAllRunning_ = false;
    window_.Preview().Recorder().SetRecording(false);
    window_.Actions().SetListCommandsEnabled(true);
    ReportFailures();
    return;
  }
  window_.TakeRowForConversion(listPosition_ + 1);
  window_.PreviewPlaying() = false;
  ++listPosition_;
  window_.Preview().Recorder().ResetPosition();
  if (!InputIsSafe()) return FinishFile(false);
  DeclareOutputSize();
  window_.TogglePreview();
  if (!HasFrames()) FinishFile(false);
}

void ConversionDriver::Stop() {
  timer2_->Stop();
  window_.Preview().Recorder().StopPlayback();
  window_.Preview().Recorder().SetRecording(false);
  converting_ = convertAllRunning_ = false;
}

// ---- Writing ----------------------------------------------------------------

void ConversionDriver::WriteOutput() {
  const FrameRecorder& recorder = window_.Preview().Recorder();
  ConversionSettings settings = window_.Settings();
  const PixelImage* first = recorder.Frames().Frame(0);
  if ((settings.width <= 0 || settings.height <= 0) && first) {
    settings.width = first->Width();
    settings.height = first->Height();
  }
  std::ostringstream log, errors;
  const std::string gif = window_.CurrentFile().toStdString();
  // Frames that could not be written or scaled would leave gaps: no output.
  const Problem gaps = RecordingProblem(recorder.RecordFailures(), recorder.ScaleFailures(), recorder.RecordError(),
                                        recorder.FrameCount(), settings, window_.WorkFolder());
  ConversionOutcome outcome;
  if (!gaps) {
    outcome = reelmill::WriteOutput(window_.WorkFolder(), window_.WorkFolder(), gif, settings, recorder.TotalSteps(),
                                    log, errors);
  } else {
    outcome.problem = gaps;
  }
  if (!outcome.ok) {
    AddFailure(window_.CurrentFile(), outcome.problem);
  } else if (recorder.LoadProblem()) {
    // Damaged: the frames before the damage became the output.
    damaged_ << window_.CurrentFile() + QStringLiteral(": ") +
                    QString::fromStdString(ProblemText(recorder.LoadProblem()));
  }
  if (settings.showOutputFolder) OpenWorkFolder();
  if (!convertAllRunning_ && settings.playWhenDone && outcome.ok)
    desktop_.Open(QUrl::fromLocalFile(QString::fromStdString(outcome.outputPath)));
  window_.ResetTempFolder();
}

void ConversionDriver::OpenWorkFolder() {
  desktop_.Open(QUrl::fromLocalFile(QString::fromStdString(window_.WorkFolder())));
}

void ConversionDriver::ReportFailures() {
  if (failures_.isEmpty()) return;
  const QString text = QStringLiteral("These files could not be converted:\n\n") + failures_.join(u'\n');
  ClearReports();
  desktop_.Message(text);
}

// ---- Exports ----------------------------------------------------------------

void ConversionDriver::RunSequenceExport(const QString& path, const QString& extension, const QString& folder) {
  // An empty folder means the work folder.
  const QString base = folder.isEmpty() ? QString::fromStdString(window_.WorkFolder()) : folder;
  SequenceExportDialog dialog(path, extension, base, time_, &window_);
  desktop_.RunModal(dialog);
  const SequenceExport& result = dialog.Export();
  if (!dialog.Opened()) {
    AddFailure(path, result.OpenProblem());
  } else if (result.Failures() > 0) {
    AddFailure(path, result.WriteProblem());
  } else if (const Problem damage = result.Damage()) {
    damaged_ << path + QStringLiteral(": ") +
                    QString::fromStdString(DamageText(damage, result.Position(), result.AnnouncedFrames()));
  }
}

void ConversionDriver::ExportSequence(const QString& extension) {
  if (window_.WorkFolder().size() < 2) return desktop_.Message(kNoFolder);
  if (window_.CurrentFile().isEmpty()) return desktop_.Message(kNoGif);
  // The folder the Output page holds from its last reading of its controls.
  const QString folder = QString::fromStdString(FolderWithSlash(window_.Output().Members().outputFolder.toStdString()));
  ClearReports();
  RunSequenceExport(window_.CurrentFile(), extension, folder);
  ReportFailures();
}

void ConversionDriver::ExportSingleImage() {
  if (window_.CurrentFile().isEmpty()) return desktop_.Message(kNoGif);
  const auto path = AskImageSavePath(desktop_);
  if (!path) return;
  const PixelImage* frame = window_.Preview().Recorder().CurrentImage();
  // The preview holds no frame (nothing played yet, or a file that does not
  // decode): there is nothing to copy.
  if (!frame) return desktop_.Message(kNoGif);
  // The GIF the frame comes from is never written over, whatever the names.
  if (SameFile(path->toStdString(), window_.Preview().Recorder().FilePath()))
    return desktop_.Message(QStringLiteral("The image was not written: ") + *path +
                            QStringLiteral(" is the GIF it comes from."));
  PixelImage copy(*frame);
  ScaleImage(copy, window_.Settings().width, window_.Settings().height);
  ImageProperties properties;
  properties.Set(QualityKey, "-1");
  if (!copy.Save(path->toStdString(), properties))
    desktop_.Message(QStringLiteral("The image could not be written to ") + *path);
}

}  // namespace reelmill
