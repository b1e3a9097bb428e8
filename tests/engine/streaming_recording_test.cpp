#include "engine/streaming_recording.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/frame_pack.h"
#include "engine/work_paths.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/codecs/jpeg_codec.h"
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

// An image whose pixel data cannot be decoded (a code past the table).
void BadImage(GifBuilder& builder, int delay) {
  builder.Control(delay).Raw({0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 12, 2, 0xFF, 0xFF, 0});
}

TEST(RecordStreaming, NumbersFramesByTheirStepsLikeAFrameRecorderPass) {
  for (int threads : {1, 2, 4}) {
    testing::TempDir dir;
    testing::WriteAll(dir / "a.gif",
                      GifBuilder(9, 7).SolidFrame(1, 10).SolidFrame(2, 30).SolidFrame(3, 0).SolidFrame(4, 15).Bytes());
    StreamingOptions options;
    options.workFolder = dir.Path();
    options.encoderThreads = threads;
    const auto outcome = RecordStreaming(dir / "a.gif", options);
    ASSERT_TRUE(outcome.ok) << outcome.Error();
    EXPECT_EQ(outcome.frames, 4);
    EXPECT_EQ(outcome.totalSteps, (100 + 300 + 100 + 150) / 100);
    EXPECT_EQ(outcome.failures, 0);
    EXPECT_EQ(outcome.width, 9);
    EXPECT_EQ(outcome.height, 7);
    EXPECT_EQ(TempFiles(dir.Path()),
              (std::set<std::string>{"a.gif00000.jpg", "a.gif00001.jpg", "a.gif00004.jpg", "a.gif00005.jpg"}));
    // At 4 frames per second the output shows 0, 250 and 500 ms of the play:
    // the third GIF frame (400 to 500 ms) is never shown, so never encoded.
    ResetTempFolder(dir.Path());
    options.realTimeFps = 4;
    const auto real = RecordStreaming(dir / "a.gif", options);
    ASSERT_TRUE(real.ok) << real.Error();
    EXPECT_EQ(real.frames, 4);
    EXPECT_EQ(real.imageSteps, (std::vector<long long>{0, 1, 4, 5}));
    EXPECT_EQ(TempFiles(dir.Path()), (std::set<std::string>{"a.gif00000.jpg", "a.gif00001.jpg", "a.gif00005.jpg"}));
  }
}

TEST(RecordStreaming, DamageKeepsTheFramesBeforeItWithTheRecordersTimes) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    int frames;
    long long totalSteps;
  };
  std::vector<Case> cases;
  const auto whole = GifBuilder(8, 8).SolidFrame(1, 10).SolidFrame(2, 20).SolidFrame(3, 30).Bytes();
  cases.push_back({"cut.gif", {whole.begin(), whole.end() - 25}, 2, 3});
  GifBuilder last(4, 4);
  for (int i = 0; i < 30; ++i) last.SolidFrame(static_cast<std::uint8_t>(1 + i % 7), 20);
  BadImage(last, 20);
  cases.push_back({"lastbad.gif", last.Bytes(), 30, 60});
  // Only the first image decodes: a still, shown for the first two delays
  // of the frames that decode on their own (60 and 40 hundredths).
  GifBuilder second(4, 4);
  second.SolidFrame(1, 60);
  BadImage(second, 30);
  second.SolidFrame(3, 40);
  cases.push_back({"secondbad.gif", second.Bytes(), 2, 10});
  GifBuilder text(4, 4);  // a plain text block is not a frame of its own
  text.SolidFrame(1, 10).Raw({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).SolidFrame(2, 20);
  cases.push_back({"text.gif", text.Bytes(), 2, 3});
  for (const Case& c : cases) {
    testing::TempDir dir;
    testing::WriteAll(dir / c.name, c.bytes);
    const auto outcome = RecordStreaming(dir / c.name, StreamingOptions{dir.Path()});
    ASSERT_TRUE(outcome.ok) << c.name << ": " << outcome.Error();
    EXPECT_EQ(outcome.frames, c.frames) << c.name;
    EXPECT_EQ(outcome.totalSteps, c.totalSteps) << c.name;
    EXPECT_EQ(TempFiles(dir.Path()).size(), static_cast<std::size_t>(c.frames)) << c.name;
  }
}

TEST(RecordStreaming, AStillIsRecordedTwice) {
  testing::TempDir dir;
  testing::WriteAll(dir / "s.gif", GifBuilder(3, 3).SolidFrame(2, 90).Bytes());
  const auto outcome = RecordStreaming(dir / "s.gif", StreamingOptions{dir.Path()});
  ASSERT_TRUE(outcome.ok);
  EXPECT_EQ(outcome.frames, 2);
  EXPECT_EQ(outcome.totalSteps, 2);
  EXPECT_EQ(testing::ReadAll(TempFramePath(dir.Path(), dir / "s.gif", 0)),
            testing::ReadAll(TempFramePath(dir.Path(), dir / "s.gif", 1)));
}

TEST(RecordStreaming, FilesWithoutFramesFail) {
  testing::TempDir dir;
  testing::WriteAll(dir / "none.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B});
  testing::WriteAll(dir / "png.gif", {0x89, 'P', 'N', 'G', 13, 10, 26, 10});
  for (const char* name : {"none.gif", "png.gif", "missing.gif"}) {
    const auto outcome = RecordStreaming(dir / name, StreamingOptions{dir.Path()});
    EXPECT_FALSE(outcome.ok) << name;
    EXPECT_FALSE(outcome.Error().empty()) << name;
  }
}

TEST(RecordStreaming, PassesPastTheirLimitsStopOnceThatIsCertain) {
  testing::TempDir dir;
  GifBuilder slow(2, 2);  // 655.35 s a frame: 6553 steps
  for (int i = 0; i < 50; ++i) slow.SolidFrame(static_cast<std::uint8_t>(i % 8), 65535);
  testing::WriteAll(dir / "slow.gif", slow.Bytes());
  StreamingOptions options{dir.Path()};
  options.maxSteps = 10000;
  const auto refused = RecordStreaming(dir / "slow.gif", options);
  EXPECT_FALSE(refused.ok);
  EXPECT_TRUE(refused.tooLong);
  EXPECT_EQ(TempFiles(dir.Path()).size(), 1u);  // stopped at the second frame

  // Frames past the pack's limit stop the pass too, at the next frame.
  FramePack pack(dir / "slow.gif.frames");
  StreamingOptions packed{dir.Path()};
  packed.pack = &pack;
  packed.maxPackBytes = 1;
  const auto full = RecordStreaming(dir / "slow.gif", packed);
  EXPECT_FALSE(full.ok);
  EXPECT_TRUE(full.packFull);
  EXPECT_EQ(pack.Frames().size(), 1u);
  // And so do frames past the count one pass may keep.
  StreamingOptions capped{dir.Path()};
  capped.maxFrames = 3;
  ResetTempFolder(dir.Path());
  const auto many = RecordStreaming(dir / "slow.gif", capped);
  EXPECT_FALSE(many.ok);
  EXPECT_NE(many.Error().find("more frames than the 3"), std::string::npos) << many.Error();
  EXPECT_EQ(TempFiles(dir.Path()).size(), 3u);

  // Forty frames of 50 ms number forty files but last 20 steps.
  GifBuilder fast(2, 2);
  for (int i = 0; i < 40; ++i) fast.SolidFrame(static_cast<std::uint8_t>(i % 8), 5);
  testing::WriteAll(dir / "fast.gif", fast.Bytes());
  options.maxSteps = 20;
  const auto kept = RecordStreaming(dir / "fast.gif", options);
  ASSERT_TRUE(kept.ok) << kept.Error();
  EXPECT_EQ(kept.totalSteps, 20);
}

TEST(RecordStreaming, EncoderThreadsFitTheMemoryBudget) {
  testing::TempDir dir;
  testing::WriteAll(dir / "m.gif", GifBuilder(64, 48).SolidFrame(1).SolidFrame(2).SolidFrame(3).Bytes());
  const std::uint64_t decoder = GifDecoder::WorkingBytes(64, 48);
  const std::uint64_t encoder = JpegEncoder::WorkingBytes(64, 48, 32);
  const std::uint64_t canvas = 64 * 48 * 4;
  struct Case {
    std::uint64_t budget;
    int threads;  // 0: refused
  };
  for (const Case c : {Case{decoder + encoder - 1, 0}, Case{decoder + encoder, 1},
                       Case{decoder + 3 * (encoder + 2 * canvas), 3}, Case{std::uint64_t{1} << 31, 8}}) {
    StreamingOptions options{dir.Path()};
    options.encoderThreads = 8;
    options.memoryBudget = c.budget;
    const auto outcome = RecordStreaming(dir / "m.gif", options);
    EXPECT_EQ(outcome.ok, c.threads > 0) << c.budget << ": " << outcome.Error();
    if (outcome.ok) {
      EXPECT_EQ(outcome.encoderThreads, c.threads) << c.budget;
    }
  }
}

TEST(RecordStreaming, CountsFramesThatCannotBeWritten) {
  testing::TempDir dir;
  testing::WriteAll(dir / "w.gif", GifBuilder(4, 4).SolidFrame(1).SolidFrame(2).Bytes());
  testing::WriteAll(dir / "file", {1});
  for (int threads : {1, 3}) {
    StreamingOptions options{dir / "file/"};  // the temporary folder cannot exist under a file
    options.encoderThreads = threads;
    const auto outcome = RecordStreaming(dir / "w.gif", options);
    ASSERT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.failures, 2);
  }
}

}  // namespace
}  // namespace reelmill

#include "imaging/file_io.h"

namespace reelmill {
namespace {

TEST(FramePack, KeepsFramesInMemoryThenInItsFileAndLeavesNothing) {
  testing::TempDir dir;
  const std::string file = dir / "clip.gif.frames";
  {
    FramePack pack(file);
    ASSERT_TRUE(pack.Ok());
    const std::vector<std::uint8_t> big(12u << 20, 7), small = {1, 2, 3};
    for (long long step : {0, 4, 9}) ASSERT_TRUE(pack.Add(step, big));  // the third no longer fits in memory
    ASSERT_TRUE(pack.Add(12, small));
    const auto frames = pack.Frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_NE(frames.at(0).path, file);
    EXPECT_EQ(frames.at(0).path, frames.at(4).path);
    EXPECT_EQ(frames.at(9).path, file);
    EXPECT_EQ(frames.at(12).path, frames.at(0).path);  // what still fits goes to memory
    for (const auto& [step, entry] : frames) {
      const auto bytes = ReadFileBytes(entry.path);
      ASSERT_TRUE(bytes) << step;
      const std::vector<std::uint8_t> frame(bytes->begin() + static_cast<std::ptrdiff_t>(entry.offset),
                                            bytes->begin() + static_cast<std::ptrdiff_t>(entry.offset + entry.size));
      EXPECT_EQ(frame, step == 12 ? small : big) << step;
    }
    EXPECT_EQ(pack.Bytes(), 3 * big.size() + small.size());
    pack.Clear();
    EXPECT_TRUE(pack.Frames().empty());
    EXPECT_EQ(pack.Bytes(), 0u);
    EXPECT_FALSE(pack.Add(1, {}));
  }
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace reelmill
