#include "app/main_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QSlider>
#include <QTabWidget>
#include <QTreeView>
#include <filesystem>

#include "app/about_dialog.h"
#include "app/conversion_driver.h"
#include "app/desktop.h"
#include "app/file_adder.h"
#include "app/file_list_model.h"
#include "app/link_label.h"
#include "app/local_path.h"
#include "app/option_pages.h"
#include "app/output_folder.h"
#include "app/preview_widget.h"
#include "app/product.h"
#include "app/settings_rules.h"
#include "app/time_source.h"
#include "app/window_actions.h"
#include "engine/work_paths.h"
#include "imaging/paths.h"

namespace reelmill {

namespace {

// Screen readers announce the window as a window (a frame), not as a filler.
QAccessibleInterface* WindowAccessible(const QString& key, QObject* object) {
  if (key == QLatin1String("reelmill::MainWindow") && object->isWidgetType())
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window, kProductName);
  return nullptr;
}

}  // namespace

MainWindow::MainWindow(Desktop& desktop, TimeSource& time, QWidget* parent)
    : QWidget(parent),
      desktop_(desktop),
      actions_(std::make_unique<WindowActions>(this)),
      model_(new FileListModel(this)),
      adder_(new FileAdder(0, this)),
      preview_(new PreviewWidget(time.NewClock(), this)),
      timer1_(time.NewTicker()) {
  static const bool accessible = (QAccessible::installFactory(WindowAccessible), true);
  (void)accessible;
  InstallLinkAccessibility();
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(kProductName);
  BuildControls();
  SetUpPages();
  driver_ = std::make_unique<ConversionDriver>(*this, desktop_, time);
  connect(driver_.get(), &ConversionDriver::StateChanged, this, &MainWindow::ShowConversionState);
  timer1_->SetHandler([this] { driver_->Timer1Tick(); });
  ConnectCommands();
  list_->viewport()->installEventFilter(this);
  // Keys are looked at before any control of the window sees them.
  qApp->installEventFilter(this);
  RefreshFileCount();
}

MainWindow::~MainWindow() {
  adder_->StopAll();
  timer1_->Stop();
}

void MainWindow::SetUpPages() {
  outputPage_ = new OutputPage(desktop_, tabs_);
  resizePage_ = new ResizePage(tabs_);
  effectPage_ = new EffectPage(tabs_);
  tabs_->addTab(outputPage_, QStringLiteral("  Output"));
  tabs_->addTab(resizePage_, QStringLiteral("  Resize"));
  tabs_->addTab(effectPage_, QStringLiteral("  Effect"));
  tabs_->setCurrentIndex(0);
  workFolder_ = DefaultOutputFolder();
  outputPage_->Members().outputFolder = QFile::decodeName(QByteArray::fromStdString(workFolder_));
  outputPage_->RefreshControls();
}

void MainWindow::ConnectCommands() {
  const WindowActions& a = *actions_;
  connect(a.addFiles, &QAction::triggered, this, &MainWindow::AddFiles);
  connect(a.addFolder, &QAction::triggered, this, &MainWindow::AddFolder);
  connect(a.remove, &QAction::triggered, this, &MainWindow::Remove);
  connect(a.removeAll, &QAction::triggered, this, &MainWindow::RemoveAll);
  connect(a.moveUp, &QAction::triggered, this, &MainWindow::MoveUp);
  connect(a.moveDown, &QAction::triggered, this, &MainWindow::MoveDown);
  connect(a.play, &QAction::triggered, this, &MainWindow::Play);
  connect(a.pause, &QAction::triggered, this, &MainWindow::Pause);
  connect(a.about, &QAction::triggered, this, &MainWindow::ShowAbout);
  connect(a.help, &QAction::triggered, this, &MainWindow::ShowHelp);
  connect(a.exit, &QAction::triggered, this, &QWidget::close);
  connect(a.convert, &QAction::triggered, driver_.get(), &ConversionDriver::Convert);
  connect(a.convertAll, &QAction::triggered, driver_.get(), &ConversionDriver::ConvertAll);
  connect(a.singleImage, &QAction::triggered, driver_.get(), &ConversionDriver::ExportSingleImage);
  for (std::size_t i = 0; i < a.sequences.size(); ++i) {
    connect(a.sequences[i], &QAction::triggered, driver_.get(),
            [this, i] { driver_->ExportSequence(QString::fromLatin1(kSequenceExtensions[i])); });
  }
  connect(adder_, &FileAdder::RowReady, this, &MainWindow::RowAdded);
  connect(adder_, &FileAdder::RowChecked, this, &MainWindow::RowChecked);
  connect(adder_, &FileAdder::CommandFailed, this, [this] { desktop_.Message(QStringLiteral("Open file failed")); });
  connect(preview_, &PreviewWidget::StreamChanged, this, &MainWindow::ShowFrameCount);
  connect(adder_, &FileAdder::CommandFinished, this, &MainWindow::AddCommandFinished);
  connect(adder_, &FileAdder::BusyChanged, this, &MainWindow::BusyChanged);
  connect(list_, &QTreeView::clicked, this, &MainWindow::ListClicked);
  connect(list_, &QTreeView::customContextMenuRequested, this, &MainWindow::ShowContextMenu);
  connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::TabChanged);
}

bool MainWindow::Busy() const { return adder_->Busy(); }

// ---- Settings and folders ---------------------------------------------------

void MainWindow::CollectSettings() {
  resizePage_->ReadControls();
  settings_.width = resizePage_->Members().width;
  settings_.height = resizePage_->Members().height;
  effectPage_->ReadControls();
  settings_.quality = effectPage_->Members().quality;
  outputPage_->ReadControls();
  OutputPage::Values& output = outputPage_->Members();
  // A typed folder without its final '/' would glue the file names to it.
  // The folder is kept as the system's bytes; the box shows it as text.
  settings_.outputFolder = FolderWithSlash(PathFromText(output.outputFolder));
  output.outputFolder = QFile::decodeName(QByteArray::fromStdString(settings_.outputFolder));
  outputPage_->RefreshControls();
  settings_.frameRate = output.frameRate;
  settings_.outputKind = output.outputKind.toStdString();
  settings_.imageFormat = output.imageFormat.toStdString();
  settings_.showOutputFolder = output.showOutputFolder;
  settings_.playWhenDone = output.playWhenDone;
  workFolder_ = settings_.outputFolder;
}

void MainWindow::ResetTempFolder() { reelmill::ResetTempFolder(workFolder_); }

void MainWindow::TabChanged(int index) {
  if (tabs_->widget(index) != resizePage_) return;
  resizePage_->Members().width = settings_.width;
  resizePage_->Members().height = settings_.height;
  resizePage_->RefreshControls();
}

// ---- The file list ----------------------------------------------------------

void MainWindow::RefreshFileCount() { fileCount_->setText(QString::number(model_->Count())); }

void MainWindow::ResetProgress() {
  progress_->setValue(0);
  frameBox_->setText(QStringLiteral("0%"));
}

void MainWindow::AddFiles() {
  const QStringList chosen = desktop_.AskOpenFiles(QStringLiteral("Flash Files(*.gif)"));
  if (chosen.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& path : chosen) paths.push_back(PathFromText(path));
  AddPaths(paths);
}

void MainWindow::AddPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> absolute;
  for (const std::string& path : paths) {
    std::error_code ignored;
    absolute.push_back(std::filesystem::absolute(path, ignored).lexically_normal().string());
  }
  adder_->AddFiles(absolute);
  RefreshFileCount();
  ResetProgress();
}

void MainWindow::AddFolder() {
  const QString chosen = desktop_.AskFolder(QStringLiteral("Open"));
  if (chosen.isEmpty()) return;
  const std::string folder = FolderWithSlash(PathFromText(chosen));
  // The folder's files replace the list, numbered from 1 again, and so also
  // the rows of earlier commands still being added.
  adder_->StopAll();
  model_->RestartNumbering();
  model_->RemoveAll();
  adder_->AddFolder(folder);
  ResetProgress();
  RefreshFileCount();
}

void MainWindow::RowAdded(std::uint64_t id, const std::string& path, int count, int width, int height) {
  model_->Add(path, count, width, height, id);
  RefreshFileCount();
}

void MainWindow::RowChecked(std::uint64_t id, int count, int width, int height) {
  model_->Correct(id, count, width, height);
  // The current file's size is the settings' size: it follows the row.
  for (int row = 0; row < model_->Count(); ++row)
    if (model_->Entry(row).id == id && row == currentRow_ && model_->Entry(row).path == currentFile_ && !ListHeld()) {
      settings_.width = width;
      settings_.height = height;
    }
}

void MainWindow::AddCommandFinished(bool fromFolder, bool limitReached) {
  RefreshFileCount();
  if (limitReached) {
    desktop_.Message(fromFolder ? QStringLiteral("selected files can't more than 1000!")
                                : QStringLiteral("selected file can't more than 1000!"));
  }
}

void MainWindow::BusyChanged(bool busy) {
  if (busy) {
    setCursor(Qt::WaitCursor);
  } else {
    unsetCursor();
  }
}

void MainWindow::Remove() {
  if (model_->Count() == 1) {
    timer1_->Stop();
    ShowCurrentFile({});
  }
  std::vector<int> rows;
  for (const QModelIndex& index : list_->selectionModel()->selectedRows()) rows.push_back(index.row());
  model_->RemoveRows(rows);
  RefreshFileCount();
}

void MainWindow::RemoveAll() {
  // The preview's file is gone from the list: its pass ends, Play is back.
  StopPreview();
  timer1_->Stop();
  model_->RemoveAll();
  RefreshFileCount();
  frameCountLabel_->setText(QStringLiteral("0"));
  ShowCurrentFile({});
}

void MainWindow::MoveUp() { MoveCurrentRow(-1, QStringLiteral("It's the first row!"), currentRow_ == 0); }

void MainWindow::MoveDown() {
  MoveCurrentRow(+1, QStringLiteral("It's the last row!"), currentRow_ + 1 == model_->Count());
}

void MainWindow::MoveCurrentRow(int by, const QString& endMessage, bool atEnd) {
  list_->setFocus();
  if (model_->Count() == 0) {
    desktop_.Message(QStringLiteral("There is no rows!"));
    return;
  }
  if (currentRow_ < 0 || currentRow_ >= model_->Count()) return;
  if (atEnd) {
    desktop_.Message(endMessage);
    return;
  }
  // Other selected rows keep their selection; the moved row becomes selected
  // and focused in its new place.
  const int from = currentRow_, to = currentRow_ + by;
  const bool otherWasSelected = list_->selectionModel()->isRowSelected(to, {});
  model_->MoveRow(from, to);
  currentRow_ = to;
  auto* selection = list_->selectionModel();
  selection->select(
      model_->index(from, 0),
      (otherWasSelected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
  selection->setCurrentIndex(model_->index(to, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

int MainWindow::FirstSelectedRow() const {
  int first = -1;
  for (const QModelIndex& index : list_->selectionModel()->selectedRows())
    if (first < 0 || index.row() < first) first = index.row();
  return first;
}

void MainWindow::TakeFirstSelectedRow(bool touchResizePage) {
  const int row = FirstSelectedRow();
  if (row >= 0) {
    const GifListEntry& entry = model_->Entry(row);
    currentFile_ = entry.path;
    const Dimension size = ParseDimension(entry.dimension);
    settings_.width = size.width;
    settings_.height = size.height;
    if (touchResizePage) {
      resizePage_->Members().width = size.width;
      resizePage_->Members().height = size.height;
      resizePage_->RefreshControls();
    }
    // The label follows every selection, keys included, so a screen reader
    // says which file is current.
    ShowCurrentFile(QStringLiteral("Current Selected File:") + entry.filePath);
    ResetProgress();
  }
  currentRow_ = row;
}

void MainWindow::ListClicked(const QModelIndex& index) {
  // The file under conversion stays the current file until it is done.
  if (ListHeld() || !index.isValid()) return;
  TakeFirstSelectedRow(true);
}

void MainWindow::TakeRowForConversion(int row) {
  list_->setFocus();
  auto* selection = list_->selectionModel();
  selection->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  list_->scrollTo(model_->index(row, 0));
  const GifListEntry& entry = model_->Entry(row);
  currentFile_ = entry.path;
  const Dimension size = ParseDimension(entry.dimension);
  settings_.width = size.width;
  settings_.height = size.height;
  resizePage_->Members().width = size.width;
  resizePage_->Members().height = size.height;
  resizePage_->RefreshControls();
}

void MainWindow::ShowCurrentFile(const QString& text) {
  currentFileLabel_->setText(text);
  // Screen readers say the label's text: it names the current file.
  currentFileLabel_->setAccessibleName(text.isEmpty() ? QStringLiteral("Current file") : text);
}

void MainWindow::ShowContextMenu(const QPoint& position) {
  const QModelIndex index = list_->indexAt(position);
  if (!index.isValid()) return;
  // The menu acts on the row under the pointer: it becomes the current file
  // first, unless a conversion holds the current file.
  if (!ListHeld()) {
    list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    TakeFirstSelectedRow(true);
  }
  contextMenu_->popup(list_->viewport()->mapToGlobal(position));
}

// ---- Preview ----------------------------------------------------------------

void MainWindow::Play() {
  if (currentFile_.empty()) {
    desktop_.Message(QStringLiteral("Please select a file!!!"));
    return;
  }
  ResetTempFolder();
  TogglePreview();
}

void MainWindow::Pause() {
  if (!currentFile_.empty()) TogglePreview();
}

void MainWindow::TogglePreview() {
  FramePlayer& player = preview_->Player();
  player.StopPlayback();
  // Stopping keeps the frame shown; starting streams the file afresh. The
  // frames come on the player's own thread: nothing here waits for them.
  if (!previewPlaying_ || player.FilePath() != currentFile_) preview_->Load(currentFile_);
  if (previewPlaying_) {
    previewPlaying_ = false;
    player.StopPlayback();
    preview_->Refresh();
  } else {
    previewPlaying_ = true;
    player.StartPlayback();
  }
  ShowConversionState();
  timer1_->Start(100);
  ShowFrameCount();
}

bool MainWindow::ListHeld() const { return driver_->CurrentState() != ConversionDriver::State::Idle; }

void MainWindow::ShowConversionState() {
  const bool idle = !ListHeld();
  actions_->SetListCommandsEnabled(idle);
  // Pausing would end a conversion's pass before its last frame: Play and
  // Pause wait for the file to finish.
  actions_->play->setEnabled(idle && !previewPlaying_);
  actions_->pause->setEnabled(idle && previewPlaying_);
}

void MainWindow::PlayPass() {
  previewPlaying_ = false;
  TogglePreview();
}

void MainWindow::ShowFileUnplayed() {
  preview_->Player().StopPlayback();
  previewPlaying_ = false;
  if (preview_->Player().FilePath() != currentFile_) preview_->Load(currentFile_);
  ShowConversionState();
  timer1_->Start(100);
  ShowFrameCount();
}

void MainWindow::EndPass() {
  preview_->Player().StopPlayback();
  previewPlaying_ = false;
  ShowConversionState();
}

void MainWindow::StopPreview() {
  preview_->Player().StopPlayback();
  previewPlaying_ = false;
  ShowConversionState();
}

void MainWindow::ShowFrameCount() {
  frameCountLabel_->setText(QStringLiteral("/%1").arg(preview_->Player().FrameCount()));
}

// ---- About, help, keys, closing ----------------------------------------------

void MainWindow::ShowAbout() {
  AboutDialog about(desktop_, this);
  about.setWindowIcon(windowIcon());
  desktop_.RunModal(about);
}

void MainWindow::ShowHelp() { desktop_.Open(QUrl::fromLocalFile(HelpFilePath())); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  const bool inThisWindow = watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this;
  if (inThisWindow && (type == QEvent::KeyPress || type == QEvent::KeyRelease)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    // Neither key closes the window nor reaches a control of it.
    if (key == Qt::Key_Escape || (type == QEvent::KeyPress && (key == Qt::Key_Return || key == Qt::Key_Enter)))
      return true;
    // Seen before the list moves its selection: a press takes the row that
    // was selected, its release the row that now is.
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && watched == list_ && FirstSelectedRow() >= 0 && !ListHeld())
      TakeFirstSelectedRow(false);
  }
  if (watched == list_->viewport() && (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)) {
    auto* drop = static_cast<QDropEvent*>(event);
    std::vector<std::string> gifs;
    for (const QUrl& url : drop->mimeData()->urls()) {
      if (!url.isLocalFile()) continue;
      const std::string path = PathFromUrl(url);
      if (QFile::decodeName(QByteArray::fromStdString(path)).endsWith(QLatin1String(".gif"), Qt::CaseInsensitive))
        gifs.push_back(path);
    }
    if (gifs.empty()) return false;
    drop->acceptProposedAction();
    if (type == QEvent::Drop) AddPaths(gifs);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  adder_->StopAll();
  driver_->Stop();
  timer1_->Stop();
  preview_->Player().StopPlayback();
  QWidget::closeEvent(event);
}

}  // namespace reelmill
