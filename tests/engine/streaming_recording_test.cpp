#include "engine/streaming_recording.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/work_paths.h"
#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::GifBuilder;

std::set<std::string> TempFiles(const std::string& workFolder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(TempFolderOf(workFolder)))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(RecordStreaming, NumbersFramesByTheirStepsLikeAFrameRecorderPass) {
  for (int threads : {1, 2, 4}) {
    testing::TempDir dir;
    testing::WriteAll(dir / "a.gif", GifBuilder(9, 7).SolidFrame(1, 10).SolidFrame(2, 30).SolidFrame(3, 0)
                                         .SolidFrame(4, 15).Bytes());
    StreamingOptions options;
    options.workFolder = dir.Path();
    options.encoderThreads = threads;
    const auto outcome = RecordStreaming(dir / "a.gif", options);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->frames, 4);
    EXPECT_EQ(outcome->totalSteps, (100 + 300 + 100 + 150) / 100);
    EXPECT_EQ(outcome->failures, 0);
    EXPECT_EQ(outcome->width, 9);
    EXPECT_EQ(outcome->height, 7);
    EXPECT_EQ(TempFiles(dir.Path()),
              (std::set<std::string>{"a.gif00000.jpg", "a.gif00001.jpg", "a.gif00004.jpg", "a.gif00005.jpg"}));
  }
}

TEST(RecordStreaming, AFileCutInsideAnImageKeepsTheFramesBeforeIt) {
  // The walk and the decode both end at the cut, so they agree on two frames.
  testing::TempDir dir;
  const auto whole = GifBuilder(8, 8).SolidFrame(1, 10).SolidFrame(2, 20).SolidFrame(3, 30).Bytes();
  testing::WriteAll(dir / "cut.gif", std::vector<std::uint8_t>(whole.begin(), whole.end() - 25));
  const auto outcome = RecordStreaming(dir / "cut.gif", StreamingOptions{dir.Path()});
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->frames, 2);
  EXPECT_EQ(outcome->totalSteps, 3);
}

TEST(RecordStreaming, AStillIsRecordedTwice) {
  testing::TempDir dir;
  testing::WriteAll(dir / "s.gif", GifBuilder(3, 3).SolidFrame(2, 90).Bytes());
  const auto outcome = RecordStreaming(dir / "s.gif", StreamingOptions{dir.Path()});
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->frames, 2);
  EXPECT_EQ(outcome->totalSteps, 2);
  EXPECT_EQ(testing::ReadAll(TempFramePath(dir.Path(), dir / "s.gif", 0)),
            testing::ReadAll(TempFramePath(dir.Path(), dir / "s.gif", 1)));
}

TEST(RecordStreaming, DeclinesWhatOnlyDecodingEveryFrameCanSettle) {
  testing::TempDir dir;
  GifBuilder bad(4, 4);
  bad.SolidFrame(1, 10).Control(30).Raw({0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 12, 2, 0xFF, 0xFF, 0}).SolidFrame(3, 40);
  testing::WriteAll(dir / "bad.gif", bad.Bytes());
  GifBuilder text(4, 4);
  text.SolidFrame(1, 10).Raw({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).SolidFrame(2, 20);
  testing::WriteAll(dir / "text.gif", text.Bytes());
  testing::WriteAll(dir / "none.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B});
  for (const char* name : {"bad.gif", "text.gif", "none.gif", "missing.gif"})
    EXPECT_FALSE(RecordStreaming(dir / name, StreamingOptions{dir.Path()})) << name;
}

TEST(RecordStreaming, CountsFramesThatCannotBeWritten) {
  testing::TempDir dir;
  testing::WriteAll(dir / "w.gif", GifBuilder(4, 4).SolidFrame(1).SolidFrame(2).Bytes());
  testing::WriteAll(dir / "file", {1});
  for (int threads : {1, 3}) {
    StreamingOptions options{dir / "file/"};  // the temporary folder cannot exist under a file
    options.encoderThreads = threads;
    const auto outcome = RecordStreaming(dir / "w.gif", options);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->failures, 2);
  }
}

}  // namespace
}  // namespace reelmill
