#include "engine/frame_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/playback_clock.h"
#include "engine/work_paths.h"
#include "imaging/codec_registry.h"
#include "imaging/image_list.h"
#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::GifBuilder;

std::string WriteGif(const testing::TempDir& dir, const std::string& name, const std::vector<int>& delays,
                     int width = 8, int height = 6, bool withControl = true) {
  GifBuilder builder(width, height);
  for (std::size_t i = 0; i < delays.size(); ++i)
    builder.SolidFrame(static_cast<std::uint8_t>(1 + i % 7), delays[i], withControl);
  const std::string path = dir / name;
  testing::WriteAll(path, builder.Bytes());
  return path;
}

std::set<std::string> TempFiles(const std::string& workFolder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(TempFolderOf(workFolder)))
    names.insert(entry.path().filename().string());
  return names;
}

struct Recording {
  explicit Recording(const testing::TempDir& dir) : recorder(clock) { recorder.SetWorkFolder(dir.Path()); }
  void Pass() {
    recorder.SetRecording(true);
    recorder.SetFileCounter(0);
    recorder.ResetPosition();
    recorder.StartPlayback();
  }
  ImmediateClock clock;
  FrameRecorder recorder;
};

TEST(FrameRecorder, DelaysBecomeDisplayTimesWithAOneStepFloor) {
  testing::TempDir dir;
  Recording r(dir);
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "d.gif", {0, 4, 5, 10, 35})));
  ASSERT_EQ(r.recorder.FrameCount(), 5);
  EXPECT_EQ(r.recorder.FrameDelayMs(0), 100);
  EXPECT_EQ(r.recorder.FrameDelayMs(1), 100);
  EXPECT_EQ(r.recorder.FrameDelayMs(2), 50);
  EXPECT_EQ(r.recorder.FrameDelayMs(3), 100);
  EXPECT_EQ(r.recorder.FrameDelayMs(4), 350);
  EXPECT_EQ(r.recorder.TotalSteps(), (100 + 100 + 50 + 100 + 350) / 100);
}

TEST(FrameRecorder, FramesWithoutControlExtensionShowForOneStep) {
  testing::TempDir dir;
  Recording r(dir);
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "n.gif", {0, 0, 0}, 4, 4, false)));
  EXPECT_EQ(r.recorder.FrameDelayMs(2), 100);
  EXPECT_EQ(r.recorder.TotalSteps(), 3);
}

TEST(FrameRecorder, LongFramesLeaveGapsInTheNumbering) {
  testing::TempDir dir;
  Recording r(dir);
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "a.gif", {10, 30, 0})));
  r.Pass();
  EXPECT_EQ(TempFiles(dir.Path()), (std::set<std::string>{"a.gif00000.jpg", "a.gif00001.jpg", "a.gif00004.jpg"}));
  EXPECT_EQ(r.recorder.TotalSteps(), 5);
  EXPECT_EQ(r.recorder.FileCounter(), 5);
  EXPECT_TRUE(r.recorder.LastFrameRecorded());
  EXPECT_EQ(r.recorder.CurrentFrame(), 0);  // a pass ends back at the first frame
  EXPECT_FALSE(r.recorder.Playing());
  EXPECT_EQ(r.clock.ElapsedMs(), 100 + 300 + 100);  // real time the pass would take
}

TEST(FrameRecorder, AFrameOf150MsTakesOneNumberButOneAndAHalfSteps) {
  testing::TempDir dir;
  Recording r(dir);
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "s.gif", std::vector<int>(10, 15))));
  r.Pass();
  const auto files = TempFiles(dir.Path());
  EXPECT_EQ(files.size(), 10u);
  EXPECT_TRUE(files.count("s.gif00000.jpg") && files.count("s.gif00009.jpg"));
  EXPECT_EQ(r.recorder.TotalSteps(), 15);
}

TEST(FrameRecorder, AFrameOf50MsTakesOneNumberButHalfAStep) {
  testing::TempDir dir;
  Recording r(dir);
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "h.gif", std::vector<int>(10, 5))));
  r.Pass();
  EXPECT_EQ(TempFiles(dir.Path()).size(), 10u);
  EXPECT_EQ(r.recorder.TotalSteps(), 5);
  EXPECT_EQ(r.clock.ElapsedMs(), 10 * 100);  // the wait never drops below one step
}

TEST(FrameRecorder, RecordedFramesAreJpegsOfTheFrameAtTheChosenQuality) {
  testing::TempDir dir;
  Recording r(dir);
  r.recorder.SetJpegQuality(10);
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "q.gif", {10, 10}, 64, 48)));
  r.Pass();
  const auto low = testing::ReadAll(TempFramePath(dir.Path(), dir / "q.gif", 0));
  ASSERT_GE(low.size(), 4u);
  EXPECT_EQ(low[0], 0xFF);
  EXPECT_EQ(low[1], 0xD8);
  EXPECT_EQ(low[3], 0xE0);  // JFIF APP0 first
  FrameSet decoded;
  ASSERT_TRUE(decoded.Load(TempFramePath(dir.Path(), dir / "q.gif", 1)));
  EXPECT_EQ(decoded.Frame(0)->Width(), 64);
  EXPECT_EQ(decoded.Frame(0)->Height(), 48);

  Recording best(dir);
  best.recorder.SetJpegQuality(100);
  ASSERT_TRUE(best.recorder.LoadGif(WriteGif(dir, "q.gif", {10, 10}, 64, 48)));
  best.Pass();
  EXPECT_GT(testing::ReadAll(TempFramePath(dir.Path(), dir / "q.gif", 0)).size(), low.size());
}

TEST(FrameRecorder, RecordsAtTheDeclaredSizeWhenItDiffers) {
  testing::TempDir dir;
  Recording r(dir);
  r.recorder.SetOutputSize(32, 20);
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "z.gif", {10, 10}, 8, 6)));
  r.Pass();
  FrameSet decoded;
  ASSERT_TRUE(decoded.Load(TempFramePath(dir.Path(), dir / "z.gif", 0)));
  EXPECT_EQ(decoded.Frame(0)->Width(), 32);
  EXPECT_EQ(decoded.Frame(0)->Height(), 20);
}

TEST(FrameRecorder, WithoutRecordingAPassWritesNothing) {
  testing::TempDir dir;
  Recording r(dir);
  ASSERT_TRUE(ResetTempFolder(dir.Path()));
  int shown = 0, ended = 0;
  r.recorder.SetFrameShownHandler([&] { ++shown; });
  r.recorder.SetPassEndedHandler([&] { ++ended; });
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "p.gif", {10, 20, 30})));
  r.recorder.StartPlayback();
  EXPECT_EQ(shown, 3);
  EXPECT_EQ(ended, 1);
  EXPECT_TRUE(TempFiles(dir.Path()).empty());
  EXPECT_FALSE(r.recorder.LastFrameRecorded());
}

TEST(FrameRecorder, StartPlaybackOnOneFrameDoesNothing) {
  testing::TempDir dir;
  Recording r(dir);
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "one.gif", {10})));
  EXPECT_EQ(r.recorder.FrameCount(), 1);
  r.Pass();
  EXPECT_FALSE(r.recorder.Playing());
  EXPECT_FALSE(std::filesystem::exists(TempFolderOf(dir.Path())));
}

TEST(FrameRecorder, ReloadingAOneFrameFileAppendsItSoAPassHasTwoSteps) {
  testing::TempDir dir;
  Recording r(dir);
  const std::string path = WriteGif(dir, "one.gif", {70});
  ASSERT_TRUE(r.recorder.LoadGif(path));
  ASSERT_TRUE(r.recorder.LoadGif(path));
  EXPECT_EQ(r.recorder.FrameCount(), 2);
  EXPECT_EQ(r.recorder.TotalSteps(), 2);  // a still picture shows for one step per frame
  r.Pass();
  EXPECT_EQ(TempFiles(dir.Path()), (std::set<std::string>{"one.gif00000.jpg", "one.gif00001.jpg"}));
}

TEST(FrameRecorder, LoadingReplacesOrDiscardsTheFramesHeld) {
  testing::TempDir dir;
  Recording r(dir);
  const std::string three = WriteGif(dir, "three.gif", {10, 10, 10});
  ASSERT_TRUE(r.recorder.LoadGif(three));
  ASSERT_TRUE(r.recorder.LoadGif(three));
  EXPECT_EQ(r.recorder.FrameCount(), 3);  // the same multi-frame file replaces its frames
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "two.gif", {10, 10})));
  EXPECT_EQ(r.recorder.FrameCount(), 2);  // a different file discards them
  EXPECT_EQ(r.recorder.FilePath(), dir / "two.gif");
  EXPECT_FALSE(r.recorder.LoadGif(dir / "missing.gif"));
  EXPECT_EQ(r.recorder.FrameCount(), 0);
  EXPECT_EQ(r.recorder.TotalSteps(), 0);
}

TEST(FrameRecorder, KeepsADelayForEveryFrameBeyondAThousand) {
  testing::TempDir dir;
  Recording r(dir);
  std::vector<int> delays(1200, 10);
  delays.back() = 50;
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "long.gif", delays, 2, 2)));
  ASSERT_EQ(r.recorder.FrameCount(), 1200);
  EXPECT_EQ(r.recorder.FrameDelayMs(1199), 500);
  EXPECT_EQ(r.recorder.TotalSteps(), 1199 + 5);
}

TEST(FrameRecorder, StopPlaybackEndsThePassAtOnce) {
  testing::TempDir dir;
  Recording r(dir);
  ASSERT_TRUE(r.recorder.LoadGif(WriteGif(dir, "s.gif", {10, 10, 10, 10})));
  r.recorder.SetFrameShownHandler([&] {
    if (r.recorder.CurrentFrame() == 1) r.recorder.StopPlayback();
  });
  r.recorder.StartPlayback();
  EXPECT_FALSE(r.recorder.Playing());
  EXPECT_EQ(r.recorder.CurrentFrame(), 1);  // left where it stopped
}

}  // namespace
}  // namespace reelmill
