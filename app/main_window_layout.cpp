// The window's controls, placed as the window template arranges them. The
// template is laid out in dialog units; they are scaled by the font's
// average character width and height, so nothing is clipped at larger fonts.

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTreeView>
#include <algorithm>

#include "app/file_list_model.h"
#include "app/link_label.h"
#include "app/main_window.h"
#include "app/option_pages.h"
#include "app/preview_widget.h"
#include "app/product.h"
#include "app/window_actions.h"

namespace reelmill {

namespace {

// The template's units: a quarter of the average character width across, an
// eighth of the line height down, the line height in the proportion of the
// template's own font (13 to 6). The window never grows past `room`, so it
// fits a 1366 x 768 screen, or 1920 x 1080 at a scale of 1.5.
class DialogUnits {
 public:
  DialogUnits(const QFontMetrics& metrics, const QSize& room)
      : x_(std::max(metrics.averageCharWidth(), 6)), y_(std::max(13, x_ * 13 / 6)) {
    if (room.width() > 0) x_ = std::min(x_, std::max(4, room.width() * 4 / kWidth));
    if (room.height() > 0) y_ = std::min(y_, std::max(9, room.height() * 8 / kHeight));
  }
  static constexpr int kWidth = 569;
  static constexpr int kHeight = 424;
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

namespace {

// Focusable controls in the order they stand on screen, top to bottom and
// left to right, so Tab walks them as they are seen.
void SetTabOrderByPlace(QWidget* window) {
  QList<QWidget*> controls;
  for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->focusPolicy() & Qt::TabFocus) controls << child;
  // Controls whose tops lie within one line of text count as one row.
  const int line = std::max(1, window->fontMetrics().height());
  std::stable_sort(controls.begin(), controls.end(), [line](const QWidget* a, const QWidget* b) {
    const QRect x = a->geometry(), y = b->geometry();
    if (x.top() / line != y.top() / line) return x.top() / line < y.top() / line;
    return x.left() < y.left();
  });
  for (qsizetype i = 1; i < controls.size(); ++i) QWidget::setTabOrder(controls[i - 1], controls[i]);
}

}  // namespace

void MainWindow::BuildControls() {
  // The room the screen leaves, less the title bar and the window's frame.
  const QScreen* screen = this->screen();
  const QSize room = screen ? screen->availableGeometry().size() - QSize(16, 48) : QSize();
  const DialogUnits du(fontMetrics(), room);
  setFixedSize(du.Size(DialogUnits::kWidth, DialogUnits::kHeight));
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

  // Keys users of desktop programs expect; Enter and Escape still do nothing.
  a.addFiles->setShortcut(QKeySequence::Open);
  a.remove->setShortcut(QKeySequence::Delete);
  a.help->setShortcut(QKeySequence::HelpContents);
  a.exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  for (QAction* action : {a.addFiles, a.remove, a.help, a.exit}) addAction(action);
  SetTabOrderByPlace(this);
}

}  // namespace reelmill
