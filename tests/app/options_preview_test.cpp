// The option pages and the preview, driven through the window: defaults,
// visibility rules, presets and percentages, the Resize tab, Browse,
// collecting the settings; one real-time pass of the preview on the manual
// clock; painting.

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <filesystem>

#include "app/file_probe.h"
#include "app/option_pages.h"
#include "app/output_folder.h"
#include "app/preview_widget.h"
#include "app/window_actions.h"
#include "engine/frame_recorder.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/paths.h"
#include "tests/app/app_test.h"

namespace reelmill::testing {

class OptionPagesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void startsFromTheDefaults() {
    WindowEnv env;
    QCOMPARE(env.Find<QComboBox>("outputKind")->currentText(), QString("Flash(SWF)"));
    QCOMPARE(env.Find<QComboBox>("imageFormat")->currentText(), QString("BMP"));
    QCOMPARE(env.Find<QSpinBox>("frameRate")->value(), 10);
    QCOMPARE(env.Find<QSpinBox>("frameRate")->minimum(), 1);  // no writer divides by zero
    QCOMPARE(env.Find<QComboBox>("quality")->currentText(), QString("100"));
    QCOMPARE(env.Find<QLineEdit>("outputFolder")->text().toStdString(), ModuleFolder());
    QVERIFY(env.Find<QCheckBox>("showOutputFolder")->isChecked());
    QVERIFY(!env.Find<QCheckBox>("playWhenDone")->isChecked());
    QVERIFY(env.Find<QRadioButton>("originalSize")->isChecked());
    for (const char* name : {"preset", "percent"}) QVERIFY(!env.Find<QComboBox>(name)->isEnabled());
    for (const char* name : {"width", "height"}) QVERIFY(!env.Find<QSpinBox>(name)->isEnabled());
    QVERIFY(env.Find<QComboBox>("imageFormat")->isHidden());
    QCOMPARE(env.window.Tabs().tabText(0) + env.window.Tabs().tabText(1) + env.window.Tabs().tabText(2),
             QString("  Output  Resize  Effect"));
    QCOMPARE(env.window.windowTitle(), QString("Reelmill"));
  }

  // Beside the program as in its build folder; never in the bin folder of an
  // installation, which root could write to.
  void writesBesideTheProgramOnlyWhereItIsNotInstalled() {
    TempDir root;
    const std::string bin = root / "bin/";
    std::filesystem::create_directories(bin);
    QCOMPARE(DefaultOutputFolder(bin), bin);
    std::filesystem::create_directories(root / "share/doc/reelmill");
    WriteAll(root / "share/doc/reelmill/varnle_Reelmill.html", {});
    const std::string installed = DefaultOutputFolder(bin);
    QVERIFY2(installed != bin, installed.c_str());
    QVERIFY(QFileInfo(QString::fromStdString(installed)).isDir());
  }

  void theKindShowsItsControls_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("formatShown");
    QTest::newRow("Image Sequence") << "Image Sequence" << true;
    QTest::newRow("Video(AVI)") << "Video(AVI)" << false;
    QTest::newRow("Flash(SWF)") << "Flash(SWF)" << false;
  }
  void theKindShowsItsControls() {
    QFETCH(QString, kind);
    QFETCH(bool, formatShown);
    WindowEnv env;
    env.Choose("outputKind", "Image Sequence");
    env.Choose("outputKind", kind);
    QCOMPARE(env.Find<QComboBox>("imageFormat")->isVisible(), formatShown);
    QCOMPARE(env.Find<QSpinBox>("frameRate")->isVisible(), !formatShown);
    QCOMPARE(env.window.Output().Members().outputKind, kind);
  }

  void sizesFromPresetsAndPercentages_data() {
    QTest::addColumn<QStringList>("choices");  // "preset:..." or "percent:..."
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("720*567") << QStringList{"preset:720*567"} << 720 << 567;
    QTest::newRow("10% then 200%") << QStringList{"percent:10%"} << 33 << 25;
    QTest::newRow("200% doubles") << QStringList{"percent:10%", "percent:200%"} << 66 << 50;
    QTest::newRow("50% twice") << QStringList{"percent:50%", "percent:50%"} << 83 << 62;
    QTest::newRow("175%") << QStringList{"percent:175%"} << 582 << 437;
    QTest::newRow("Custom Size keeps") << QStringList{"preset:Custom Size"} << 333 << 250;
  }
  void sizesFromPresetsAndPercentages() {
    QFETCH(QStringList, choices);
    QFETCH(int, width);
    QFETCH(int, height);
    WindowEnv env;
    env.window.Tabs().setCurrentIndex(1);
    QTest::mouseClick(env.Find<QRadioButton>("customSize"), Qt::LeftButton);
    QVERIFY(env.Find<QSpinBox>("width")->isEnabled());
    env.Find<QSpinBox>("width")->setValue(333);
    env.Find<QSpinBox>("height")->setValue(250);
    for (const QString& choice : choices) {
      const QStringList parts = choice.split(':');
      env.Choose(parts[0].toLatin1().constData(), parts[1]);
    }
    QCOMPARE(env.Find<QSpinBox>("width")->value(), width);
    QCOMPARE(env.Find<QSpinBox>("height")->value(), height);
  }

  void theResizeTabShowsTheLastCollectedSize() {
    WindowEnv env;
    env.window.Tabs().setCurrentIndex(1);
    QTest::mouseClick(env.Find<QRadioButton>("customSize"), Qt::LeftButton);
    env.Find<QSpinBox>("width")->setValue(120);
    env.Find<QSpinBox>("height")->setValue(90);
    env.window.CollectSettings();
    env.Find<QSpinBox>("width")->setValue(5);
    env.window.Tabs().setCurrentIndex(0);
    env.window.Tabs().setCurrentIndex(1);
    QCOMPARE(env.Find<QSpinBox>("width")->value(), 120);
    QCOMPARE(env.Find<QSpinBox>("height")->value(), 90);
  }

  void browseSetsTheFolder_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("folder");
    QTest::newRow("a folder") << "/home/ann/out"
                              << "/home/ann/out/";
    QTest::newRow("the root") << "/"
                              << "/";
    QTest::newRow("cancelled") << ""
                               << "";
  }
  void browseSetsTheFolder() {
    QFETCH(QString, chosen);
    QFETCH(QString, folder);
    WindowEnv env;
    env.desktop.folders.push_back(chosen);
    QTest::mouseClick(env.Find<QPushButton>("browse"), Qt::LeftButton);
    QCOMPARE(env.Find<QLineEdit>("outputFolder")->text(), folder);
    QCOMPARE(env.desktop.folderTitles, QStringList{"Open"});
  }

  void collectingReadsEveryPage() {
    WindowEnv env;
    env.Choose("outputKind", "Video(AVI)");
    env.Find<QSpinBox>("frameRate")->setValue(25);
    env.Find<QLineEdit>("outputFolder")->setText("/tmp/typed");
    env.Find<QCheckBox>("playWhenDone")->setChecked(true);
    env.Choose("quality", "60");
    env.window.CollectSettings();
    const ConversionSettings& s = env.window.Settings();
    QCOMPARE(QString::fromStdString(s.outputKind), QString("Video(AVI)"));
    QCOMPARE(s.frameRate, 25);
    QCOMPARE(s.quality, 60);
    QVERIFY(s.playWhenDone && s.showOutputFolder);
    // A typed folder gets its final '/', so names are not glued to it.
    QCOMPARE(QString::fromStdString(s.outputFolder), QString("/tmp/typed/"));
    QCOMPARE(QString::fromStdString(env.window.WorkFolder()), QString("/tmp/typed/"));
  }
};

class PreviewTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void playIsOnePassInRealTime() {
    WindowEnv env;
    QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "d.gif", {10, 30, 0})})));
    env.ClickRow(0);
    std::vector<std::pair<long long, int>> shown;
    const FramePlayer& player = env.window.Preview().Player();
    QObject::connect(&env.window.Preview(), &PreviewWidget::FrameShown,
                     [&] { shown.emplace_back(env.time.Now(), player.CurrentFrame()); });
    long long ended = -1;
    QObject::connect(&env.window.Preview(), &PreviewWidget::PassEnded, [&] { ended = env.time.Now(); });
    env.window.Actions().play->trigger();
    QVERIFY(!env.window.Actions().play->isEnabled());
    QVERIFY(env.window.Actions().pause->isEnabled());
    QVERIFY(env.WaitForStream());
    QCOMPARE(env.window.FrameCountLabel().text(), QString("/3"));
    env.time.Advance(450);
    QCOMPARE(env.window.FrameBox().text(), QString("2"));
    QCOMPARE(env.window.Trackbar().value(), 66);
    env.time.Advance(200);
    QCOMPARE(shown, (std::vector<std::pair<long long, int>>{{0, 0}, {100, 1}, {400, 2}}));
    QCOMPARE(ended, 500);
    QVERIFY(!player.Playing());
    QCOMPARE(player.CurrentFrame(), 0);
    QVERIFY(env.window.Actions().play->isEnabled());
    QVERIFY(!env.window.Actions().pause->isEnabled());
    // Pause stops a pass under way.
    env.window.Actions().play->trigger();
    QVERIFY(env.WaitForStream());
    env.time.Advance(150);
    env.window.Actions().pause->trigger();
    QVERIFY(!player.Playing());
    env.time.Advance(1000);
    QCOMPARE(shown.size(), std::size_t(5));
  }

  void removeAllWhilePlayingStopsThePreview() {
    WindowEnv env;
    QVERIFY(env.AddFiles(QPaths({WriteGif(env.dir, "d.gif", {10, 10, 10})})));
    env.ClickRow(0);
    env.window.Actions().play->trigger();
    QVERIFY(env.WaitForStream());
    env.window.Actions().removeAll->trigger();
    QVERIFY(!env.window.Preview().Player().Active());
    QVERIFY(env.window.Actions().play->isEnabled());
    QVERIFY(!env.window.Actions().pause->isEnabled());
  }

  // However small the screen, every control of the fixed window is on it.
  void theWindowFitsItsScreen() {
    WindowEnv env;
    const QRect screen = env.window.screen()->availableGeometry();
    QVERIFY(env.window.width() <= screen.width() && env.window.height() <= screen.height());
    QVERIFY(!(env.window.windowFlags() & Qt::WindowMaximizeButtonHint) ||
            env.window.minimumSize() == env.window.maximumSize());
  }

  void playNeedsASelectedFile() {
    WindowEnv env;
    env.window.Actions().play->trigger();
    env.window.Actions().pause->trigger();
    QCOMPARE(env.desktop.messages, QStringList{"Please select a file!!!"});
  }

  void paintsTheFrameOverTheWholePane() {
    WindowEnv env;
    GifBuilder builder(2, 1);
    GifFrameSpec frame;
    frame.width = 2;
    frame.height = 1;
    frame.indices = {2, 4};  // red, blue
    builder.Frame(frame).Frame(frame);
    WriteAll(env.dir / "rb.gif", builder.Bytes());
    QVERIFY(env.AddFiles(QPaths({env.dir / "rb.gif"})));
    env.ClickRow(0);
    env.window.Actions().play->trigger();
    QVERIFY(env.WaitForStream());
    const QImage pane = env.window.Preview().grab().toImage();
    const QRect area = env.window.Preview().contentsRect();
    // Nearest neighbour over the whole area, aspect ratio not kept.
    QCOMPARE(QColor(pane.pixel(area.left() + 1, area.top() + 1)), QColor(Qt::red));
    QCOMPARE(QColor(pane.pixel(area.center().x() - 2, area.bottom() - 1)), QColor(Qt::red));
    QCOMPARE(QColor(pane.pixel(area.center().x() + 2, area.top() + 1)), QColor(Qt::blue));
    QCOMPARE(QColor(pane.pixel(area.right() - 1, area.bottom() - 1)), QColor(Qt::blue));
  }
};

// The list's numbers for a file equal what decoding the file gives.
class FileProbeTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void probeEqualsDecoding() {
    TempDir dir;
    GifBuilder animation(9, 5);
    animation.SolidFrame(1).SolidFrame(2).SolidFrame(3).SolidFrame(4);
    const auto good = animation.Bytes();
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files{
        {"good.gif", good}, {"still.gif", GifBuilder(4, 3).SolidFrame(2).Bytes()}, {"text.gif", {'x'}}};
    for (std::size_t cut = 0; cut < good.size(); cut += 7)
      files.push_back({"cut.gif", {good.begin(), good.begin() + cut}});
    std::uint32_t state = 7;
    for (int copy = 0; copy < 40; ++copy) {
      auto bytes = good;
      state = state * 1664525u + 1013904223u;
      bytes[(state >> 8) % bytes.size()] ^= static_cast<std::uint8_t>(1u << (state % 8));
      files.push_back({"flipped.gif", bytes});
    }
    files.push_back({"still.bmp", {}});  // other formats decode whole
    ProbeCache cache;
    for (const auto& [name, bytes] : files) {
      const std::string path = dir / name;
      if (name == "still.bmp") {
        FrameSet set;
        QVERIFY(set.Load(dir / "still.gif"));
        QVERIFY(set.Frame(0)->Save(path, {}));
      } else {
        WriteAll(path, bytes);
      }
      FrameSet decoded;
      const FileProbe want = decoded.Load(path) ? FileProbe{static_cast<int>(decoded.Count()),
                                                            decoded.Frame(0)->Width(), decoded.Frame(0)->Height()}
                                                : FileProbe{};
      QCOMPARE(ProbeFile(path), want);
      QCOMPARE(cache.Probe(path), want);
      // The walk of an intact file already gives what the decode gives.
      if (name == "good.gif" || name == "still.gif") QCOMPARE(QuickProbe(path), want);
      if (name == "still.bmp") continue;
      WriteAll(dir / "copy.gif", ReadAll(path));
      QCOMPARE(cache.Probe(dir / "copy.gif"), want);
    }
  }
};

REELMILL_APP_TEST(OptionPagesTest);
REELMILL_APP_TEST(PreviewTest);
REELMILL_APP_TEST(FileProbeTest);

}  // namespace reelmill::testing

#include "options_preview_test.moc"
