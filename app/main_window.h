#pragma once
// The one main window: the file list and its commands, the playing preview,
// the option pages and the progress display. It composes the collaborators
// that do the work and keeps the little state that ties them together.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/conversion_settings.h"

class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSlider;
class QTabWidget;
class QTreeView;

namespace reelmill {

class ConversionDriver;
class Desktop;
class EffectPage;
class FileAdder;
class FileListModel;
class OutputPage;
class PreviewWidget;
class ResizePage;
class Ticker;
class TimeSource;
struct WindowActions;

class MainWindow final : public QWidget {
  Q_OBJECT

 public:
  MainWindow(Desktop& desktop, TimeSource& time, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Adds paths (the system's bytes) as one Add Files command adds the files
  // a dialog returns.
  void AddPaths(const std::vector<std::string>& paths);

  // Reads the three pages into the settings, sets the work folder and the
  // recorder's quality.
  void CollectSettings();
  // Makes sure the temporary frame folder exists and is empty.
  void ResetTempFolder();
  // The Play/Pause toggle.
  void TogglePreview();
  // The pass a conversion shows of the current file, and its end.
  void PlayPass();
  void EndPass();
  // The current file shown at its first frame while its output is made at
  // full speed, and the timer following that work started.
  void ShowFileUnplayed();
  void RefreshFileCount();
  // Makes row `row` selected, focused and current, as Convert All walks the
  // list: its path becomes the current file and its size the settings' size.
  void TakeRowForConversion(int row);

  ConversionSettings& Settings() { return settings_; }
  const std::string& WorkFolder() const { return workFolder_; }
  // The current file's path, as the system's bytes.
  const std::string& CurrentFile() const { return currentFile_; }
  int CurrentRow() const { return currentRow_; }
  bool Busy() const;
  bool PreviewPlaying() const { return previewPlaying_; }

  // Collaborators and controls, for the driver and for tests.
  WindowActions& Actions() { return *actions_; }
  FileListModel& Model() { return *model_; }
  QTreeView& List() { return *list_; }
  PreviewWidget& Preview() { return *preview_; }
  OutputPage& Output() { return *outputPage_; }
  ResizePage& Resize() { return *resizePage_; }
  EffectPage& Effect() { return *effectPage_; }
  QTabWidget& Tabs() { return *tabs_; }
  QMenu& ContextMenu() { return *contextMenu_; }
  Ticker& Timer1() { return *timer1_; }
  QLineEdit& FrameBox() { return *frameBox_; }
  QLabel& FrameCountLabel() { return *frameCountLabel_; }
  QLabel& PercentLabel() { return *percentLabel_; }
  QProgressBar& Progress() { return *progress_; }
  QSlider& Trackbar() { return *trackbar_; }
  QLabel& CurrentFileLabel() { return *currentFileLabel_; }
  QLineEdit& FileCountBox() { return *fileCount_; }
  ConversionDriver& Driver() { return *driver_; }
  FileAdder& Adder() { return *adder_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void ConnectCommands();
  void SetUpPages();

  // The list's commands.
  void AddFiles();
  void AddFolder();
  void Remove();
  void RemoveAll();
  void MoveUp();
  void MoveDown();
  void MoveCurrentRow(int by, const QString& endMessage, bool atEnd);
  void RowAdded(std::uint64_t id, const std::string& path, int count, int width, int height);
  void RowChecked(std::uint64_t id, int count, int width, int height);
  void ShowFrameCount();
  void ShowCurrentFile(const QString& text);
  void StopPreview();
  // What the list and the play buttons allow follows the conversion's state.
  void ShowConversionState();
  bool ListHeld() const;
  void AddCommandFinished(bool fromFolder, bool limitReached);
  void BusyChanged(bool busy);
  void ListClicked(const QModelIndex& index);
  void ShowContextMenu(const QPoint& position);
  // Current file, size and row from the first selected row.
  void TakeFirstSelectedRow(bool touchResizePage);
  int FirstSelectedRow() const;
  void ResetProgress();

  void Play();
  void Pause();
  void ShowAbout();
  void ShowHelp();
  void TabChanged(int index);

  Desktop& desktop_;
  ConversionSettings settings_;
  std::string workFolder_;
  std::string currentFile_;
  int currentRow_ = 0;
  bool previewPlaying_ = false;

  std::unique_ptr<WindowActions> actions_;
  FileListModel* model_;
  FileAdder* adder_;
  QTreeView* list_;
  PreviewWidget* preview_;
  QTabWidget* tabs_;
  OutputPage* outputPage_;
  ResizePage* resizePage_;
  EffectPage* effectPage_;
  QMenu* contextMenu_;
  QLabel* currentFileLabel_;
  QLineEdit* fileCount_;
  QProgressBar* progress_;
  QLabel* percentLabel_;
  QLineEdit* frameBox_;
  QSlider* trackbar_;
  QLabel* frameCountLabel_;
  std::unique_ptr<Ticker> timer1_;
  std::unique_ptr<ConversionDriver> driver_;
};

}  // namespace reelmill
