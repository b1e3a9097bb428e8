// Convert and Convert All on the manual clock, the exports, and the window's
// AVI and SWF against the engine's bytes for the same file.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <filesystem>

#include "app/conversion_driver.h"
#include "app/option_pages.h"
#include "app/preview_widget.h"
#include "app/save_path.h"
#include "app/sequence_export_dialog.h"
#include "app/window_actions.h"
#include "engine/conversion.h"
#include "engine/frame_recorder.h"
#include "imaging/image_list.h"
#include "tests/app/app_test.h"
#include "tests/support/container_reader.h"
#include "tests/support/screen_recording.h"

namespace reelmill::testing {

namespace fs = std::filesystem;

namespace {

constexpr int kTagDefineBitsJpeg2 = 21;

// A window set to convert into the test's own output folder.
struct ConvertEnv : WindowEnv {
  ConvertEnv(const QString& kind) {
    fs::create_directories(dir / "out");
    Choose("outputKind", kind);
    Find<QLineEdit>("outputFolder")->setText(QString::fromStdString(dir / "out/"));
  }
  std::string Out(const std::string& name) { return dir / ("out/" + name); }
  // Runs timers until the command has ended (no recording, no next file).
  bool Finish() {
    return AdvanceUntil([this] { return !window.Driver().Converting() && !window.Driver().ConvertAllRunning(); });
  }
  QStringList OpenedPaths() {
    QStringList paths;
    for (const QUrl& url : desktop.opened) paths << url.toLocalFile();
    return paths;
  }
};

}  // namespace

class ConversionTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void convertShowsItsShareOfTheList() {
    ConvertEnv env("Video(AVI)");
    const std::string g = WriteGif(env.dir, "clip.gif", {10, 10, 10});
    QVERIFY(env.AddFiles(QPaths({g, g, g, g})));
    env.ClickRow(2);
    WriteAll(env.Out("clip.avi"), {'o', 'l', 'd'});
    env.window.Actions().convert->trigger();
    env.time.Advance(100);
    QCOMPARE(env.window.PercentLabel().text(), QString("25%"));
    QVERIFY(!env.window.Actions().remove->isEnabled());  // the list waits for the recording
    QVERIFY(env.Finish());
    QCOMPARE(env.window.PercentLabel().text(), QString("25%"));
    QCOMPARE(env.window.Progress().value(), 25);
    QVERIFY(env.window.Actions().remove->isEnabled());
    // clip.gif gives clip.avi in the work folder, replacing the old one.
    const AviFile avi = ReadAvi(ReadAll(env.Out("clip.avi")));
    QCOMPARE(avi.totalFrames, 3u);
    QCOMPARE(env.OpenedPaths(), QStringList{QString::fromStdString(env.Out(""))});
    QVERIFY(fs::is_empty(env.Out("varnle_reelmill/Temp")));
    QVERIFY(env.desktop.messages.isEmpty());
  }

  void convertAllWalksTheRows() {
    ConvertEnv env("Flash(SWF)");
    QStringList paths;
    for (const char* name : {"a.gif", "b.gif", "c.gif"})
      paths << QString::fromStdString(WriteGif(env.dir, name, {10, 20}));
    QVERIFY(env.AddFiles(paths));
    QStringList percents;
    QObject::connect(&env.window.Preview(), &PreviewWidget::FrameShown, [&] {
      if (percents.isEmpty() || percents.back() != env.window.PercentLabel().text())
        percents << env.window.PercentLabel().text();
    });
    env.Find<QCheckBox>("playWhenDone")->setChecked(true);  // no effect in Convert All
    env.window.Actions().convertAll->trigger();
    QVERIFY(env.Finish());
    if (percents.back() != env.window.PercentLabel().text()) percents << env.window.PercentLabel().text();
    percents.removeAll("0%");
    QCOMPARE(percents, (QStringList{"33%", "66%", "100%"}));
    // The folder opens once, when the batch ends.
    QCOMPARE(env.OpenedPaths(), QStringList{QString::fromStdString(env.Out(""))});
    for (const char* name : {"a.swf", "b.swf", "c.swf"}) QVERIFY(fs::exists(env.Out(name)));
    QCOMPARE(env.window.List().currentIndex().row(), 2);
  }

  void convertAllGoesOnPastFilesThatDoNotDecode() {
    ConvertEnv env("Video(AVI)");
    WriteAll(env.dir / "bad.gif", {'G', 'I', 'F', '8', '9', 'a'});
    // A GIF in the temporary frame folder would be deleted with it: refused.
    fs::create_directories(env.Out("varnle_reelmill/Temp"));
    const std::string inTemp = env.Out("varnle_reelmill/Temp/t.gif");
    fs::copy_file(WriteGif(env.dir, "t.gif", {10}), inTemp);
    const auto kept = ReadAll(inTemp);
    QVERIFY(env.AddFiles(
        QPaths({WriteGif(env.dir, "a.gif", {10}), env.dir / "bad.gif", inTemp, WriteGif(env.dir, "c.gif", {10})})));
    env.window.Actions().convertAll->trigger();
    QVERIFY(env.Finish());
    QVERIFY(fs::exists(env.Out("a.avi")) && fs::exists(env.Out("c.avi")) && !fs::exists(env.Out("bad.avi")));
    QCOMPARE(env.desktop.messages.size(), 1);
    QVERIFY(env.desktop.messages[0].contains(QString::fromStdString(env.dir / "bad.gif") + ": "));
    QVERIFY(
        env.desktop.messages[0].contains(QString::fromStdString(inTemp) + ": it lies in the temporary frame folder"));
    QVERIFY(!env.desktop.messages[0].contains("a.gif"));
    QCOMPARE(ReadAll(inTemp), kept);
    QVERIFY(!fs::exists(env.Out("t.avi")));
  }

  void stepsAndFramesOfTheOutputs_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<int>>("delays");
    QTest::addColumn<int>("frames");   // AVI frames, or SWF frames: the GIF's time at 10 fps
    QTest::addColumn<int>("bitmaps");  // SWF bitmaps: the GIF frames the movie shows
    QTest::newRow("AVI of 10, 30, 10") << "Video(AVI)" << QList<int>{10, 30, 10} << 5 << 0;
    QTest::newRow("SWF of 10, 30, 10") << "Flash(SWF)" << QList<int>{10, 30, 10} << 5 << 3;
    QTest::newRow("AVI of 15s") << "Video(AVI)" << QList<int>{15, 15, 15, 15} << 6 << 0;
    QTest::newRow("SWF of 15s") << "Flash(SWF)" << QList<int>{15, 15, 15, 15} << 6 << 4;
    QTest::newRow("one-frame AVI") << "Video(AVI)" << QList<int>{10} << 1 << 0;
    QTest::newRow("one-frame SWF") << "Flash(SWF)" << QList<int>{10} << 1 << 1;
  }
  void stepsAndFramesOfTheOutputs() {
    QFETCH(QString, kind);
    QFETCH(QList<int>, delays);
    QFETCH(int, frames);
    QFETCH(int, bitmaps);
    ConvertEnv env(kind);
    const std::string gif = WriteGif(env.dir, "d.gif", std::vector<int>(delays.begin(), delays.end()), 16, 8);
    QVERIFY(env.AddFiles(QPaths({gif})));
    env.ClickRow(0);
    env.Find<QCheckBox>("playWhenDone")->setChecked(true);
    const long long start = env.time.Now();
    env.window.Actions().convert->trigger();
    QVERIFY(env.Finish());
    // Real time: the frames' display times, plus at most one 100-ms tick; a
    // still has no pass.
    long long shown = 0;
    for (int d : delays) shown += d < 5 ? 100 : d * 10;
    if (delays.size() == 1) shown = 0;
    QVERIFY(env.time.Now() - start <= ((shown + 99) / 100 + 1) * 100 + 10);
    if (kind == "Video(AVI)") {
      const AviFile avi = ReadAvi(ReadAll(env.Out("d.avi")));
      QCOMPARE(int(avi.totalFrames), frames);
      QCOMPARE(avi.width, 16);
      QCOMPARE(avi.height, 8);
    } else {
      const SwfFile swf = ReadSwf(ReadAll(env.Out("d.swf")));
      QCOMPARE(swf.frameCount, frames);
      QCOMPARE(swf.Count(kTagDefineBitsJpeg2), bitmaps);
    }
    // A single Convert opens what it wrote when asked to.
    QCOMPARE(env.OpenedPaths().last(), QString::fromStdString(env.Out(kind == "Video(AVI)" ? "d.avi" : "d.swf")));
  }

  void convertChecksBeforeItStarts_data() {
    QTest::addColumn<bool>("all");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("select");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("message");
    QTest::newRow("Convert, empty list") << false << 0 << false << "Video(AVI)"
                                         << "/tmp/"
                                         << "Please select files.There are'n files in list";
    QTest::newRow("Convert All, empty list") << true << 0 << false << "Video(AVI)"
                                             << "/tmp/"
                                             << "Please select files.There are'n files in list";
    QTest::newRow("Convert, no row") << false << 1 << false << "Video(AVI)"
                                     << "/tmp/"
                                     << "Please select the file you want to convert";
    QTest::newRow("Convert All, no folder") << true << 1 << false << "Flash(SWF)"
                                            << ""
                                            << "Please select the directory for converted files";
    QTest::newRow("Convert sequence, no folder") << false << 1 << true << "Image Sequence"
                                                 << ""
                                                 << "Please select the directory for converted files";
    QTest::newRow("Convert AVI, no folder") << false << 1 << true << "Video(AVI)"
                                            << ""
                                            << "Please select the directory for converted files";
  }
  void convertChecksBeforeItStarts() {
    QFETCH(bool, all);
    QFETCH(int, rows);
    QFETCH(bool, select);
    QFETCH(QString, kind);
    QFETCH(QString, folder);
    QFETCH(QString, message);
    ConvertEnv env(kind);
    env.Find<QLineEdit>("outputFolder")->setText(folder);
    if (rows) QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "g.gif", {10, 10})})));
    if (select) env.ClickRow(0);
    (all ? env.window.Actions().convertAll : env.window.Actions().convert)->trigger();
    QCOMPARE(env.desktop.messages, QStringList{message});
    QVERIFY(!env.window.Driver().Converting());
  }

  // While a file converts, the list holds it: a click or an arrow key does not
  // change the file, and Add Folder (which would replace the list) waits.
  void theFileUnderConversionStaysTheCurrentOne() {
    ConvertEnv env("Video(AVI)");
    const std::string a = WriteGif(env.dir, "a.gif", {50, 50}), b = WriteGif(env.dir, "b.gif", {10});
    QVERIFY(env.AddFiles(QPaths({a, b})));
    env.ClickRow(0);
    env.window.Actions().convert->trigger();
    env.ClickRow(1);
    QTest::keyClick(&env.window.List(), Qt::Key_Up);
    QCOMPARE(env.window.CurrentFile(), a);
    QVERIFY(!env.window.Actions().addFolder->isEnabled());
    QVERIFY(env.Finish());
    QVERIFY(env.desktop.messages.isEmpty());
    QVERIFY(fs::exists(env.Out("a.avi")) && !fs::exists(env.Out("b.avi")));
    QVERIFY(env.window.Actions().addFolder->isEnabled());
  }

  // A GIF larger than the arrows reach keeps its own size, and so does a
  // typed frame rate above them.
  void sizesAndRatesAboveTheArrowsAreKept() {
    ConvertEnv env("Video(AVI)");
    QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "wide.gif", {10, 10}, 6000, 2)})));
    env.ClickRow(0);
    QCOMPARE(env.Find<QSpinBox>("width")->value(), 6000);
    auto* rate = env.Find<QSpinBox>("frameRate");
    rate->setValue(100);
    rate->stepUp();
    QCOMPARE(rate->value(), 100);  // the arrows stop where they always did
    rate->setValue(150);
    env.window.Actions().convert->trigger();
    QVERIFY(env.Finish());
    const AviFile avi = ReadAvi(ReadAll(env.Out("wide.avi")));
    QCOMPARE(avi.width, 6000);
    QCOMPARE(avi.height, 2);
    QCOMPARE(avi.microsecondsPerFrame, 1000000u / 150);
  }

  // Sixty failures give a box that fits the screen: the counts, and every
  // file with its reason in its details.
  void manyFailuresGoToTheDetails() {
    ConvertEnv env("Video(AVI)");
    std::vector<std::string> bad;
    for (int i = 0; i < 12; ++i) {
      bad.push_back(env.dir / ("bad" + std::to_string(i) + ".gif"));
      WriteAll(bad.back(), {'G', 'I', 'F', '8', '9', 'a'});
    }
    QVERIFY(env.AddFiles(QPaths(bad)));
    env.window.Actions().convertAll->trigger();
    QVERIFY(env.Finish());
    QCOMPARE(env.desktop.messages,
             QStringList{"12 files could not be converted. The details list each with its reason."});
    QCOMPARE(env.desktop.details.size(), 1);
    for (const std::string& path : bad)
      QVERIFY(env.desktop.details[0].contains(QString::fromStdString(path) + ": the file ends early"));
    QVERIFY(env.OpenedPaths().isEmpty());  // nothing was written: no folder opens
  }

  // MP4, WebM and WebP go at full speed, without a pass: each row's file is
  // written, a damaged file keeps its frames before the damage and is
  // listed, the frame box counts the frames encoded, and no frame rate is
  // offered.
  void encodedKindsConvertAtFullSpeed_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("magicAt");
    QTest::addColumn<QByteArray>("magic");
    QTest::newRow("MP4") << "Video(MP4)"
                         << "mp4" << 4 << QByteArray("ftyp");
    QTest::newRow("WebM") << "Video(WebM)"
                          << "webm" << 0 << QByteArray("\x1a\x45\xdf\xa3");
    QTest::newRow("WebP") << "Animated WebP"
                          << "webp" << 8 << QByteArray("WEBP");
  }
  void encodedKindsConvertAtFullSpeed() {
    QFETCH(QString, kind);
    QFETCH(QString, extension);
    QFETCH(int, magicAt);
    QFETCH(QByteArray, magic);
    ConvertEnv env(kind);
    QVERIFY(env.Find<QSpinBox>("frameRate")->isHidden());
    QVERIFY(env.Find<QComboBox>("imageFormat")->isHidden());
    auto cut = ScreenRecordingGif(32, 24, 12, 20);
    cut.resize(cut.size() - 30);  // inside the last image
    WriteAll(env.dir / "cut.gif", cut);
    QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "long.gif", {300, 300, 300}, 21, 11), env.dir / "cut.gif"})));
    long long shownFrames = 0;
    QObject::connect(&env.window.FrameBox(), &QLineEdit::textChanged,
                     [&](const QString& text) { shownFrames = std::max(shownFrames, text.toLongLong()); });
    const long long start = env.time.Now();
    env.window.Actions().convertAll->trigger();
    QVERIFY(env.Finish());
    QVERIFY(env.time.Now() - start < 1000);  // the passes would take 9 s and more
    for (const char* name : {"long.", "cut."}) {
      QFile out(QString::fromStdString(env.Out(name + extension.toStdString())));
      QVERIFY(out.open(QIODevice::ReadOnly));
      QCOMPARE(out.read(magicAt + magic.size()).mid(magicAt), magic);
    }
    QCOMPARE(env.window.PercentLabel().text(), QString("100%"));
    QCOMPARE(shownFrames, 11);  // the last file's frames before its damage
    QCOMPARE(env.desktop.messages.size(), 1);
    QVERIFY(env.desktop.messages[0].contains(QString::fromStdString(env.dir / "cut.gif") + ": "));
    QVERIFY(env.desktop.messages[0].startsWith("These files are damaged"));
    QCOMPARE(env.OpenedPaths(), QStringList{QString::fromStdString(env.Out(""))});
  }

  // The window writes what reelmill-convert writes with real timing: the
  // video lasts as long as the GIF, whatever the frame rate.
  void windowOutputsEqualTheEngines_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("fps");
    QTest::addColumn<int>("size");  // declared size: 0 the GIF's own
    QTest::newRow("AVI at 10") << "Video(AVI)" << 10 << 0;
    QTest::newRow("SWF at 10") << "Flash(SWF)" << 10 << 0;
    QTest::newRow("AVI at 25") << "Video(AVI)" << 25 << 0;
    QTest::newRow("SWF at 25") << "Flash(SWF)" << 25 << 0;
    QTest::newRow("AVI resized") << "Video(AVI)" << 12 << 24;
    QTest::newRow("SWF resized") << "Flash(SWF)" << 12 << 24;
  }
  void windowOutputsEqualTheEngines() {
    QFETCH(QString, kind);
    QFETCH(int, fps);
    QFETCH(int, size);
    ConvertEnv env(kind);
    const std::string gif = WriteGif(env.dir, "same.gif", {10, 40, 0, 25}, 20, 12);
    QVERIFY(env.AddFiles(QPaths({gif})));
    env.ClickRow(0);
    env.Find<QSpinBox>("frameRate")->setValue(fps);
    env.Choose("quality", "70");
    if (size) {
      env.window.Tabs().setCurrentIndex(1);
      QTest::mouseClick(env.window.findChild<QWidget*>("customSize"), Qt::LeftButton);
      env.Find<QSpinBox>("width")->setValue(size);
      env.Find<QSpinBox>("height")->setValue(size);
    }
    env.window.Actions().convert->trigger();
    QVERIFY(env.Finish());
    const std::string name = kind == "Video(AVI)" ? "same.avi" : "same.swf";
    ConversionSettings settings;
    settings.outputKind = kind.toStdString();
    settings.frameRate = fps;
    settings.quality = 70;
    settings.width = settings.height = size;
    settings.outputFolder = env.dir / "engine/";
    fs::create_directories(settings.outputFolder);
    GifConverter converter(settings, env.dir / "work/");
    converter.SetTiming(OutputTiming::Real);
    QVERIFY(converter.Convert(gif).ok);
    QVERIFY(ReadAll(env.Out(name)) == ReadAll(settings.outputFolder + name));
  }
};

// Large and long GIFs stream through the window: the preview plays them,
// the conversion and the export take every frame, and nothing waits for a
// whole decode.
class StreamingTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void largeAndLongGifsPlayConvertAndExport_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("frames");
    QTest::newRow("1920 x 1080, 30 frames") << 1920 << 1080 << 30;
    QTest::newRow("640 x 480, 1000 frames") << 640 << 480 << 1000;
  }
  void largeAndLongGifsPlayConvertAndExport() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, frames);
    ConvertEnv env("Video(AVI)");
    WriteAll(env.dir / "big.gif", ScreenRecordingGif(width, height, frames));
    QVERIFY(env.AddFiles(QPaths({env.dir / "big.gif"})));
    QCOMPARE(env.Cell(0, FileListModel::kDimension), QString("%1*%2").arg(width).arg(height));
    QCOMPARE(env.Cell(0, FileListModel::kCount), QString::number(frames));
    env.ClickRow(0);
    env.window.Actions().play->trigger();
    int shown = 0;
    QObject::connect(&env.window.Preview(), &PreviewWidget::FrameShown, [&] { ++shown; });
    QVERIFY(env.AdvanceUntil([&] { return !env.window.Preview().Player().Active() && shown > 0; }));
    QCOMPARE(shown, frames);
    QCOMPARE(env.window.FrameCountLabel().text(), QString("/%1").arg(frames));
    env.window.Actions().convert->trigger();
    QVERIFY(env.Finish());
    QVERIFY(env.desktop.messages.isEmpty());
    QCOMPARE(int(ReadAvi(ReadAll(env.Out("big.avi"))).totalFrames), frames);  // 100 ms each at 10 fps
    env.Choose("outputKind", "Image Sequence");
    env.Choose("imageFormat", "PNG");
    env.window.Actions().convert->trigger();
    QCOMPARE(std::distance(fs::directory_iterator(env.Out("varnle_reelmill/png/")), {}), frames);
  }

  // A name that is not UTF-8 reaches the engine as its own bytes, from the
  // command line and from the dialog, and shows as file managers show it.
  void namesThatAreNotUtf8AreKeptToTheByte() {
    ConvertEnv env("Video(AVI)");
    const std::string name =
        "bad\xff\xfe"
        "bytes.gif";
    const std::string gif = WriteGif(env.dir, name, {10, 10});
    env.window.AddPaths({gif});
    QVERIFY(env.WaitIdle());
    QVERIFY(env.AddFiles({QFile::decodeName(QByteArray::fromStdString(gif))}));  // as a dialog spells it
    QCOMPARE(env.window.Model().Count(), 2);
    for (int row = 0; row < 2; ++row) {
      QCOMPARE(env.Cell(row, FileListModel::kFileName),
               QString::fromUtf8("bad\uFFFD\uFFFDbytes.gif (invalid encoding)"));
      QCOMPARE(env.Cell(row, FileListModel::kCount), QString("2"));
    }
    env.ClickRow(1);
    QCOMPARE(env.window.CurrentFile(), gif);
    env.window.Actions().convert->trigger();
    QVERIFY(env.Finish());
    QVERIFY(env.desktop.messages.isEmpty());
    QVERIFY(
        fs::exists(env.Out("bad\xff\xfe"
                           "bytes.avi")));
  }
};

class ExportTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void sequenceItemsWriteEveryFrame_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("extension");
    QTest::newRow("Tga Sequence") << "Tga Sequence"
                                  << "tga";
    QTest::newRow("Tiff Sequence") << "Tiff Sequence"
                                   << "tiff";
    QTest::newRow("Png Sequence") << "Png Sequence"
                                  << "png";
  }
  void sequenceItemsWriteEveryFrame() {
    QFETCH(QString, item);
    QFETCH(QString, extension);
    ConvertEnv env("Flash(SWF)");
    env.window.Output().ReadControls();  // the export reads the page's last reading
    QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "a.gif", std::vector<int>(12, 300))})));
    env.ClickRow(0);
    QString label;
    bool closedItself = false;
    env.desktop.modal = [&](QDialog& dialog) {
      auto& exportDialog = static_cast<SequenceExportDialog&>(dialog);
      dialog.show();
      const long long start = env.time.Now();
      env.time.AdvanceUntil([&] { return !dialog.isVisible(); }, 10000, 100);
      closedItself = !dialog.isVisible() && env.time.Now() - start == 1200;  // one frame per tick
      label = exportDialog.ProgressLabel().text();
      return dialog.result();
    };
    for (QAction* action : env.window.Actions().sequences)
      if (action->text() == item) action->trigger();
    QVERIFY(closedItself);
    QCOMPARE(label, QString("12/12"));
    const std::string folder = env.Out("varnle_reelmill/" + extension.toStdString() + "/");
    for (int i = 0; i < 12; ++i)
      QVERIFY(fs::exists(folder + "a.gif" + QString("%1").arg(i, 5, 10, QChar('0')).toStdString() + "." +
                         extension.toStdString()));
    QCOMPARE(std::distance(fs::directory_iterator(folder), {}), 12);
  }

  void closingTheExportKeepsWhatWasWritten() {
    ConvertEnv env("Image Sequence");
    QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "a.gif", std::vector<int>(8, 10))})));
    env.ClickRow(0);
    env.desktop.modal = [&](QDialog& dialog) {
      dialog.show();
      env.time.Advance(300);
      dialog.reject();  // the close box
      env.time.Advance(1000);
      return dialog.result();
    };
    env.window.Actions().convert->trigger();
    QCOMPARE(std::distance(fs::directory_iterator(env.Out("varnle_reelmill/bmp/")), {}), 3);
  }

  void convertAllMakesASequencePerRow() {
    ConvertEnv env("Image Sequence");
    env.Choose("imageFormat", "JPG");
    QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "a.gif", {10, 10}), WriteGif(env.dir, "b.gif", {10, 10, 10})})));
    env.window.Actions().convertAll->trigger();
    QCOMPARE(env.desktop.dialogs, (QStringList{"sequenceExportDialog", "sequenceExportDialog"}));
    QCOMPARE(std::distance(fs::directory_iterator(env.Out("varnle_reelmill/jpg/")), {}), 5);
    QCOMPARE(env.OpenedPaths(), QStringList{QString::fromStdString(env.Out(""))});
  }

  void moreFramesThanSixteenBitsCount() {
    TempDir dir;
    GifBuilder builder(1, 1);
    for (int i = 0; i < 70000; ++i) builder.SolidFrame(static_cast<std::uint8_t>(i % 8), 10);
    WriteAll(dir / "long.gif", builder.Bytes());
    ManualTime time;
    SequenceExportDialog dialog(dir / "long.gif", "bmp", dir.Path(), time);
    QCOMPARE(dialog.ProgressBar().maximum(), 70000);
    dialog.show();
    time.Advance(200);
    QCOMPARE(dialog.ProgressLabel().text(), QString("2/70000"));
    dialog.reject();
  }

  void savePathGetsTheFiltersExtension_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("path");
    QTest::newRow("JPEG filter") << "/home/ann/name" << 3 << "/home/ann/name.jpg";
    QTest::newRow("TIFF filter") << "/home/ann/name" << 5 << "/home/ann/name.tif";
    QTest::newRow("own extension kept") << "/home/ann/name.png" << 1 << "/home/ann/name.png";
    QTest::newRow("dotted folder") << "/home/my.files/name" << 3 << "/home/my.files/name";
  }
  void savePathGetsTheFiltersExtension() {
    QFETCH(QString, typed);
    QFETCH(int, filter);
    QFETCH(QString, path);
    ManualTime time;
    FakeDesktop desktop(time);
    desktop.savePaths.push_back(SaveChoice{typed, filter});
    QCOMPARE(AskImageSavePath(desktop), std::optional<QString>(path));
    QCOMPARE(desktop.saveSelected, 1);
    QCOMPARE(desktop.saveFilters.size(), 5);
    QCOMPARE(desktop.saveFilters[2], QString("JPEG File (*.jpg *.jpeg)"));
  }

  void singleImageSavesTheShownFrame_data() {
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("played");
    QTest::addColumn<QString>("size");  // of the saved image; empty: nothing saved
    QTest::newRow("animation frame scaled") << 3 << true << "30*20";
    QTest::newRow("8-bit still keeps its size") << 1 << true << "9*7";
    QTest::newRow("nothing in the preview") << 3 << false << "";
  }
  void singleImageSavesTheShownFrame() {
    QFETCH(int, frames);
    QFETCH(bool, played);
    QFETCH(QString, size);
    ConvertEnv env("Flash(SWF)");
    QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "s.gif", std::vector<int>(frames, 10), 9, 7)})));
    env.ClickRow(0);
    env.window.Settings().width = 30;
    env.window.Settings().height = 20;
    if (played) {
      env.window.Actions().play->trigger();
      QVERIFY(env.WaitForStream());
    }
    env.desktop.savePaths.push_back(SaveChoice{QString::fromStdString(env.dir / "shot"), 4});
    env.window.Actions().singleImage->trigger();
    if (size.isEmpty()) {
      QCOMPARE(env.desktop.messages, QStringList{"No gif files!"});
      QVERIFY(!fs::exists(env.dir / "shot.png"));
      return;
    }
    FrameSet saved;
    QVERIFY(saved.Load(env.dir / "shot.png"));
    QCOMPARE(QString("%1*%2").arg(saved.Frame(0)->Width()).arg(saved.Frame(0)->Height()), size);
  }
};

REELMILL_APP_TEST(ConversionTest);
REELMILL_APP_TEST(ExportTest);
REELMILL_APP_TEST(StreamingTest);

}  // namespace reelmill::testing

#include "conversion_test.moc"
