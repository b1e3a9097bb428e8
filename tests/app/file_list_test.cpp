// The file list driven through the window: adding by dialog, folder, command
// line and drop; the limit per command; damaged and hostile files; removing,
// moving, selecting by click and keys; the context menu; the key filter.

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSpinBox>
#include <filesystem>

#include "app/file_adder.h"
#include "app/file_probe.h"
#include "tests/app/app_test.h"

namespace reelmill::testing {

namespace fs = std::filesystem;

class FileListTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void rowsShowTheDecodedFile() {
    WindowEnv env;
    const std::string a = WriteGif(env.dir, "a.gif", {10, 10, 10}, 20, 10);
    const std::string b = WriteGif(env.dir, "b.gif", {10}, 7, 9);
    QVERIFY(env.AddFiles(QPaths({a, b})));
    QCOMPARE(env.desktop.filters, QStringList{"Flash Files(*.gif)"});
    const QStringList want[] = {{"1", "a.gif", "20*10", "3", QString::fromStdString(a)},
                                {"2", "b.gif", "7*9", "1", QString::fromStdString(b)}};
    for (int row = 0; row < 2; ++row)
      for (int column = 0; column < 5; ++column) QCOMPARE(env.Cell(row, column), want[row][column]);
    QCOMPARE(env.window.FileCountBox().text(), QString("2"));
    // Numbers keep counting after Remove All: only Add Folder restarts them.
    env.window.Actions().removeAll->trigger();
    QVERIFY(env.AddFiles(QPaths({b})));
    QCOMPARE(env.Cell(0, 0), QString("3"));
    QCOMPARE(env.window.FileCountBox().text(), QString("1"));
  }

  void addFolderReplacesTheListAndNumbersFromOne() {
    WindowEnv env;
    const std::string one = WriteGif(env.dir, "one.gif", {10});
    QVERIFY(env.AddFiles(QPaths(std::vector<std::string>(10, one))));
    QCOMPARE(env.window.Model().Count(), 10);
    fs::create_directories(env.dir / "folder/sub.gif");  // a folder is not a file
    for (const char* name : {"c.gif", "A.GIF", "b.gif"}) WriteGif(env.dir, std::string("folder/") + name, {10});
    WriteAll(env.dir / "folder/notes.txt", {1, 2, 3});
    env.window.AddPaths(std::vector<std::string>(900, one));  // replaced too, though still being added
    QVERIFY(env.AddFolder(env.dir / "folder"));
    QCOMPARE(env.desktop.folderTitles, QStringList{"Open"});
    QCOMPARE(env.window.Model().Count(), 3);
    const QString folder = QString::fromStdString(env.dir / "folder/");
    const QStringList names{"A.GIF", "b.gif", "c.gif"};
    for (int row = 0; row < 3; ++row) {
      QCOMPARE(env.Cell(row, FileListModel::kNo), QString::number(row + 1));
      QCOMPARE(env.Cell(row, FileListModel::kFilePath), folder + names[row]);
    }
  }

  void onlyAThousandFilesPerCommand_data() {
    QTest::addColumn<bool>("fromFolder");
    QTest::addColumn<int>("files");
    QTest::addColumn<QString>("message");
    QTest::newRow("1200 chosen files") << false << 1200 << "selected file can't more than 1000!";
    QTest::newRow("folder of 3000 GIFs") << true << 3000 << "selected files can't more than 1000!";
    QTest::newRow("999 chosen files") << false << 999 << "";
  }
  void onlyAThousandFilesPerCommand() {
    QFETCH(bool, fromFolder);
    QFETCH(int, files);
    QFETCH(QString, message);
    WindowEnv env;
    fs::create_directories(env.dir / "many");
    const std::string first = WriteGif(env.dir, "many/g0000.gif", {10, 20}, 3, 2);
    QStringList paths;
    for (int i = 0; i < files; ++i) {
      const std::string path = env.dir / QString("many/g%1.gif").arg(i, 4, 10, QChar('0')).toStdString();
      if (i > 0) fs::copy_file(first, path);
      paths << QString::fromStdString(path);
    }
    QVERIFY(fromFolder ? env.AddFolder(env.dir / "many") : env.AddFiles(paths));
    QCOMPARE(env.window.Model().Count(), std::min(files, 1000));
    QCOMPARE(env.desktop.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(env.Cell(std::min(files, 1000) - 1, FileListModel::kFilePath), paths[std::min(files, 1000) - 1]);
    QCOMPARE(env.Cell(999 - (files == 999), FileListModel::kCount), QString("2"));
  }

  void damagedAndHostileFilesAreListedAsUnreadable() {
    WindowEnv env;
    GifBuilder animation(6, 4);
    animation.SolidFrame(1).SolidFrame(2).SolidFrame(3);
    const auto good = animation.Bytes();
    auto huge = GifBuilder(1, 1).SolidFrame(1).Bytes();
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;  // a screen of 65535 x 65535
    const std::pair<const char*, std::vector<std::uint8_t>> files[] = {
        {"text.gif", {'h', 'e', 'l', 'l', 'o'}},           {"empty.gif", {}},
        {"header.gif", {good.begin(), good.begin() + 13}}, {"screen.gif", huge},
        {"cut.gif", {good.begin(), good.end() - 20}},
    };
    QStringList paths;
    for (const auto& [name, bytes] : files) {
      WriteAll(env.dir / name, bytes);
      paths << QString::fromStdString(env.dir / name);
    }
    fs::create_directories(env.dir / "folder.gif");
    paths << QString::fromStdString(env.dir / "folder.gif") << QString::fromStdString(env.dir / "missing.gif");
    QVERIFY(env.AddFiles(paths));
    QCOMPARE(env.window.Model().Count(), paths.size());
    for (int row = 0; row < paths.size(); ++row) {
      const bool cut = paths[row].endsWith("cut.gif");
      // The cut animation keeps its whole frames, as decoding it does.
      QCOMPARE(env.Cell(row, FileListModel::kDimension), cut ? QString("6*4") : QString("0*0"));
      QCOMPARE(env.Cell(row, FileListModel::kCount), cut ? QString("2") : QString("0"));
    }
  }

  void commandLineAndDroppedGifsAreAddedInOrder() {
    WindowEnv env;
    const std::string a = WriteGif(env.dir, "a.gif", {10});
    const std::string b = WriteGif(env.dir, "b.GIF", {10});
    QDir::setCurrent(QString::fromStdString(env.dir.Path()));
    env.window.AddPaths({"a.gif"});  // relative to the folder the program runs in
    QVERIFY(env.WaitIdle());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(env.dir / "notes.txt")),
                  QUrl::fromLocalFile(QString::fromStdString(b))});
    const QPoint at = env.window.List().viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(env.window.List().viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(env.window.List().viewport(), &drop);
    QVERIFY(env.WaitIdle());
    QCOMPARE(env.Cell(0, FileListModel::kFilePath), QString::fromStdString(a));
    QCOMPARE(env.window.Model().Count(), 2);
    QCOMPARE(env.Cell(1, FileListModel::kFilePath), QString::fromStdString(b));
  }

  void waitCursorWhileAdding() {
    WindowEnv env;
    const std::string a = WriteGif(env.dir, "a.gif", {10});
    env.window.AddPaths({a});
    QCOMPARE(env.window.cursor().shape(), Qt::WaitCursor);
    QVERIFY(env.WaitIdle());
    QCOMPARE(env.window.cursor().shape(), Qt::ArrowCursor);
  }

  void overlappingCommandsKeepTheirOrderAndCloseStopsThem() {
    WindowEnv env;
    const std::string a = WriteGif(env.dir, "a.gif", {10, 10});
    const std::string b = WriteGif(env.dir, "b.gif", {10, 10, 10});
    // Every command shares one list, read by all its worker threads at once.
    std::vector<std::string> list;
    for (int i = 0; i < 15; ++i) list.insert(list.end(), {a, b});
    for (int i = 0; i < 40; ++i) env.window.AddPaths(list);
    QVERIFY(env.WaitIdle());
    QCOMPARE(env.window.Model().Count(), 1200);
    for (int row = 0; row < 1200; row += 7) QCOMPARE(env.Cell(row, FileListModel::kCount), row % 2 ? "3" : "2");
    // Closing the window mid-command stops every command: no row follows.
    for (int i = 0; i < 10; ++i) env.window.AddPaths(std::vector<std::string>(900, a));
    QVERIFY(QTest::qWaitFor([&] { return env.window.Model().Count() > 1300; }, 60000));
    env.window.close();
    QVERIFY(!env.window.Busy());
    const int rows = env.window.Model().Count();
    QTest::qWait(100);
    QCOMPARE(env.window.Model().Count(), rows);
    QVERIFY(rows < 1200 + 9000);
    QCOMPARE(env.window.cursor().shape(), Qt::ArrowCursor);
  }

  void moveUpAndDown_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("select");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("order");  // the "No" column afterwards
    QTest::newRow("up from the first row") << 3 << 0 << true << "It's the first row!"
                                           << "123";
    QTest::newRow("down from the last row") << 3 << 2 << false << "It's the last row!"
                                            << "123";
    QTest::newRow("up from the middle") << 3 << 1 << true << ""
                                        << "213";
    QTest::newRow("down from the middle") << 3 << 1 << false << ""
                                          << "132";
    QTest::newRow("empty list") << 0 << -1 << true << "There is no rows!"
                                << "";
  }
  void moveUpAndDown() {
    QFETCH(int, rows);
    QFETCH(int, select);
    QFETCH(bool, up);
    QFETCH(QString, message);
    QFETCH(QString, order);
    WindowEnv env;
    if (rows > 0) QVERIFY(env.AddFiles(QPaths(std::vector<std::string>(rows, WriteGif(env.dir, "g.gif", {10})))));
    if (select >= 0) env.ClickRow(select);
    (up ? env.window.Actions().moveUp : env.window.Actions().moveDown)->trigger();
    QCOMPARE(env.desktop.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QString numbers;
    for (int row = 0; row < rows; ++row) numbers += env.Cell(row, FileListModel::kNo);
    QCOMPARE(numbers, order);
    if (message.isEmpty()) {
      const int moved = select + (up ? -1 : 1);
      QCOMPARE(env.window.CurrentRow(), moved);
      QVERIFY(env.window.List().selectionModel()->isRowSelected(moved, {}));
      QCOMPARE(env.window.List().currentIndex().row(), moved);
      QVERIFY(!env.window.List().selectionModel()->isRowSelected(select, {}));
    }
  }

  void selectingARowTakesItsPathAndSize() {
    WindowEnv env;
    WriteAll(env.dir / "broken.gif", {'G', 'I', 'F'});
    const std::string big = WriteGif(env.dir, "big.gif", {10, 10}, 720, 567);
    QVERIFY(env.AddFiles(QPaths({env.dir / "broken.gif", big})));
    env.ClickRow(1);
    QCOMPARE(env.window.CurrentFile(), big);
    QCOMPARE(env.window.Settings().width, 720);
    QCOMPARE(env.window.Settings().height, 567);
    QCOMPARE(env.Find<QSpinBox>("width")->value(), 720);
    QCOMPARE(env.Find<QSpinBox>("height")->value(), 567);
    QCOMPARE(env.window.CurrentFileLabel().text(), "Current Selected File:" + QString::fromStdString(big));
    QCOMPARE(env.window.FrameBox().text(), QString("0%"));
    env.ClickRow(0);
    QCOMPARE(env.window.Settings().width, 0);
    QCOMPARE(env.window.Settings().height, 0);
    // The arrow keys move the current file with the selection, without
    // touching the Resize page or the label.
    QTest::keyClick(&env.window.List(), Qt::Key_Down);
    QCOMPARE(env.window.CurrentFile(), big);
    QCOMPARE(env.window.CurrentRow(), 1);
    QCOMPARE(env.Find<QSpinBox>("width")->value(), 0);
    // The label follows, so a screen reader says which file is current.
    QVERIFY(env.window.CurrentFileLabel().text().endsWith("big.gif"));
    QCOMPARE(env.window.CurrentFileLabel().accessibleName(), env.window.CurrentFileLabel().text());
    // A click on empty space changes nothing.
    QTest::mouseClick(env.window.List().viewport(), Qt::LeftButton, {},
                      env.window.List().viewport()->rect().bottomLeft() - QPoint(-5, 5));
    QCOMPARE(env.window.CurrentFile(), big);
  }

  void removeTakesTheSelectedRows() {
    WindowEnv env;
    const std::string g = WriteGif(env.dir, "g.gif", {10});
    QVERIFY(env.AddFiles(QPaths(std::vector<std::string>(4, g))));
    env.ClickRow(1);
    env.ClickRow(3, Qt::ControlModifier);
    env.window.Actions().remove->trigger();
    QCOMPARE(env.window.Model().Count(), 2);
    QCOMPARE(env.Cell(0, FileListModel::kNo) + env.Cell(1, FileListModel::kNo), QString("13"));
    QCOMPARE(env.window.FileCountBox().text(), QString("2"));
    // Removing the last row empties the current-file label.
    env.window.Actions().removeAll->trigger();
    QVERIFY(env.AddFiles(QPaths({g})));
    env.ClickRow(0);
    env.window.Actions().remove->trigger();
    QCOMPARE(env.window.CurrentFileLabel().text(), QString());
    QCOMPARE(env.window.FileCountBox().text(), QString("0"));
  }

  void contextMenuOnRowsOnly() {
    WindowEnv env;
    QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "g.gif", {10})})));
    env.RightClick(env.RowRect(0).center() + QPoint(0, 3 * env.RowRect(0).height()));
    QVERIFY(!env.window.ContextMenu().isVisible());
    env.RightClick(env.RowRect(0).center());
    QVERIFY(env.window.ContextMenu().isVisible());
    QStringList items;
    for (QAction* action : env.window.ContextMenu().actions()) {
      items << (action->isSeparator() ? "-" : action->text());
      if (action->menu())
        for (QAction* sub : action->menu()->actions()) items << "  " + sub->text();
    }
    QCOMPARE(items,
             (QStringList{"Remove", "Remove All", "-", "Add Files", "Add Folder", "-", "Export", "  Single Image",
                          "  Bmp Sequence", "  Tga Sequence", "  Gif Sequence", "  Jpg Sequence", "  Png Sequence",
                          "  Tiff Sequence", "-", "Convert", "Convert All"}));
    env.window.ContextMenu().hide();
  }

  // The row under the pointer is what the context menu acts on.
  void theContextMenuActsOnTheRowUnderThePointer() {
    WindowEnv env;
    const std::string a = WriteGif(env.dir, "a.gif", {10}), b = WriteGif(env.dir, "b.gif", {10});
    QVERIFY(env.AddFiles(QPaths({a, b})));
    env.ClickRow(0);
    env.RightClick(env.RowRect(1).center());
    QCOMPARE(env.window.CurrentFile(), b);
    QVERIFY(env.window.List().selectionModel()->isRowSelected(1, {}));
    env.window.ContextMenu().hide();
  }

  // A worker that fails ends its command with the rows it had and says so;
  // the window goes on.
  void aFailingAddWorkerSaysOpenFileFailed() {
    WindowEnv env;
    const std::string good = WriteGif(env.dir, "good.gif", {10});
    env.window.Adder().SetProbe([&](const std::string& path) -> FileProbe {
      if (path.ends_with("bad.gif")) throw std::bad_alloc();
      return QuickProbe(path);
    });
    WriteAll(env.dir / "bad.gif", {'G', 'I', 'F'});
    QVERIFY(env.AddFiles(QPaths({good, env.dir / "bad.gif", good})));
    QCOMPARE(env.desktop.messages, QStringList{"Open file failed"});
    QVERIFY(env.window.Model().Count() <= 1);
    QVERIFY(env.AddFiles(QPaths({good})));  // the next command works
    QCOMPARE(env.Cell(env.window.Model().Count() - 1, FileListModel::kCount), QString("1"));
  }

  // Keys desktop users expect; Tab walks the controls as they stand.
  void keysAndTabOrder() {
    WindowEnv env;
    const std::string g = WriteGif(env.dir, "g.gif", {10});
    env.desktop.openFiles.push_back(QPaths({g}));
    QTest::keyClick(&env.window, Qt::Key_O, Qt::ControlModifier);
    QVERIFY(env.WaitIdle());
    QCOMPARE(env.window.Model().Count(), 1);
    env.ClickRow(0);
    QTest::keyClick(&env.window.List(), Qt::Key_Delete);
    QCOMPARE(env.window.Model().Count(), 0);
    QTest::keyClick(&env.window, Qt::Key_F1);
    QCOMPARE(env.desktop.opened.size(), 1);
    QVERIFY(env.desktop.opened[0].toLocalFile().endsWith("varnle_Reelmill.html"));
    // Tab order: from the first button down the column, then across.
    QWidget* first = env.window.findChild<QWidget*>("addFilesButton");
    QWidget* next = first->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    QCOMPARE(next->objectName(), QString("fileList"));
    QTest::keyClick(&env.window, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!env.window.isVisible());
  }

  void enterAndEscapeNeverCloseTheWindow_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
  }
  void enterAndEscapeNeverCloseTheWindow() {
    QFETCH(int, key);
    WindowEnv env;
    for (QWidget* target : {static_cast<QWidget*>(&env.window), static_cast<QWidget*>(&env.window.List()),
                            static_cast<QWidget*>(env.Find<QLineEdit>("outputFolder"))})
      QTest::keyClick(target, Qt::Key(key));
    QVERIFY(env.window.isVisible());
  }
};

REELMILL_APP_TEST(FileListTest);

}  // namespace reelmill::testing

#include "file_list_test.moc"
