// The window's controls, placed as the window template arranges them. The
// template is laid out in dialog units; they are scaled by the font's
// average character width and height, so nothing is clipped at larger fonts.

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTreeView>

#include "app/file_list_model.h"
#include "app/link_label.h"
#include "app/main_window.h"
#include "app/option_pages.h"
#include "app/preview_widget.h"
#include "app/product.h"
#include "app/window_actions.h"

namespace reelmill {

namespace {

class DialogUnits {
 public:
  explicit DialogUnits(const QFontMetrics& metrics)
      : x_(std::max(metrics.averageCharWidth(), 6)), y_(std::max(metrics.height(), 13)) {}
  QRect Rect(int x, int y, int w, int h) const { return {X(x), Y(y), X(w), Y(h)}; }
  QSize Size(int w, int h) const { return {X(w), Y(h)}; }

 private:
  int X(int units) const { return units * x_ / 4; }
  int Y(int units) const { return units * y_ / 8; }
  int x_, y_;
};

QLineEdit* ReadOnlyBox(QWidget* parent, const char* name, const char* accessibleName) {
  auto* box = new QLineEdit(parent);
  box->setReadOnly(true);
  box->setObjectName(QString::fromLatin1(name));
  box->setAccessibleName(QString::fromLatin1(accessibleName));
  return box;
}

}  // namespace

void MainWindow::BuildControls() {
  const DialogUnits du(fontMetrics());
  setFixedSize(du.Size(569, 424));
  const auto place = [&](QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(du.Rect(x, y, width, height));
  };

  struct ButtonSpec {
    QAction* action;
    const char* caption;
    int x, y;
  };
  const WindowActions& a = *actions_;
  const ButtonSpec buttons[] = {{a.exit, "Exit", 512, 396},
                                {a.addFiles, "ADD Gif(s)", 14, 20},
                                {a.removeAll, "Remove All", 14, 95},
                                {a.addFolder, "Add Folder", 14, 45},
                                {a.remove, "Remove", 14, 70},
                                {a.about, "About", 14, 220},
                                {a.convertAll, "Convert All", 14, 195},
                                {a.convert, "Convert", 14, 170},
                                {a.moveDown, "Move Down", 14, 145},
                                {a.moveUp, "Move Up", 14, 120},
                                {a.pause, "Pause", 386, 247},
                                {a.play, "Play", 326, 247},
                                {a.help, "Help", 506, 247}};
  for (const ButtonSpec& spec : buttons) {
    QPushButton* button = ButtonFor(spec.action, QString::fromLatin1(spec.caption), this);
    button->setAutoDefault(false);
    place(button, spec.x, spec.y, 50, 14);
  }

  place(preview_, 323, 18, 237, 220);

  list_ = new QTreeView(this);
  list_->setObjectName(QStringLiteral("fileList"));
  list_->setAccessibleName(QStringLiteral("File list"));
  list_->setModel(model_);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->setAcceptDrops(true);
  list_->viewport()->setAcceptDrops(true);
  list_->header()->setStretchLastSection(false);
  list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int column = 0; column < FileListModel::kColumns; ++column)
    list_->setColumnWidth(column, FileListModel::kColumnWidths[column]);
  place(list_, 72, 20, 248, 223);

  auto* countCaption = new QLabel(QStringLiteral("File count"), this);
  place(countCaption, 14, 251, 41, 8);
  fileCount_ = ReadOnlyBox(this, "fileCount", "File count");
  countCaption->setBuddy(fileCount_);
  place(fileCount_, 62, 251, 28, 14);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setAccessibleName(QStringLiteral("Progress"));
  progress_->setRange(0, 100);
  progress_->setTextVisible(false);
  place(progress_, 92, 248, 200, 14);
  percentLabel_ = new QLabel(QStringLiteral("0%"), this);
  percentLabel_->setObjectName(QStringLiteral("percent"));
  place(percentLabel_, 300, 251, 21, 8);
  frameBox_ = ReadOnlyBox(this, "frameNumber", "Frame");
  place(frameBox_, 511, 281, 24, 14);
  trackbar_ = new QSlider(Qt::Horizontal, this);
  trackbar_->setObjectName(QStringLiteral("trackbar"));
  trackbar_->setAccessibleName(QStringLiteral("Position"));
  trackbar_->setRange(0, 100);
  trackbar_->setTickPosition(QSlider::NoTicks);
  // Display only: the position follows the preview, never the other way.
  trackbar_->setAttribute(Qt::WA_TransparentForMouseEvents);
  trackbar_->setFocusPolicy(Qt::NoFocus);
  place(trackbar_, 316, 265, 246, 15);
  frameCountLabel_ = new QLabel(QStringLiteral("0"), this);
  frameCountLabel_->setObjectName(QStringLiteral("frameCount"));
  frameCountLabel_->setAlignment(Qt::AlignCenter);
  place(frameCountLabel_, 541, 280, 18, 13);
  auto* link = new LinkLabel(desktop_, kHomePage, QStringLiteral("Reelmill on the web"), this);
  link->setObjectName(QStringLiteral("link"));
  place(link, 434, 339, 101, 8);
  link->adjustSize();
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("tabs"));
  place(tabs_, 7, 280, 416, 137);
  currentFileLabel_ = new QLabel(this);
  currentFileLabel_->setObjectName(QStringLiteral("currentFile"));
  currentFileLabel_->setAccessibleName(QStringLiteral("Current file"));
  place(currentFileLabel_, 74, 8, 242, 8);

  contextMenu_ = new QMenu(this);
  contextMenu_->setObjectName(QStringLiteral("contextMenu"));
  contextMenu_->addAction(a.remove);
  contextMenu_->addAction(a.removeAll);
  contextMenu_->addSeparator();
  contextMenu_->addAction(a.addFiles);
  contextMenu_->addAction(a.addFolder);
  contextMenu_->addSeparator();
  QMenu* exportMenu = contextMenu_->addMenu(QStringLiteral("Export"));
  exportMenu->setObjectName(QStringLiteral("exportMenu"));
  exportMenu->addAction(a.singleImage);
  for (QAction* sequence : a.sequences) exportMenu->addAction(sequence);
  contextMenu_->addSeparator();
  contextMenu_->addAction(a.convert);
  contextMenu_->addAction(a.convertAll);
}

}  // namespace reelmill
