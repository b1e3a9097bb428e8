#include "engine/conversion.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <tuple>

#include "engine/frame_pack.h"
#include "engine/work_paths.h"
#include "tests/support/container_reader.h"
#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using testing::GifBuilder;

constexpr int kShowFrame = 1;
constexpr int kDefineBitsJpeg2 = 21;

std::string WriteGif(const std::string& path, const std::vector<int>& delays, int width = 16, int height = 12) {
  GifBuilder builder(width, height);
  for (std::size_t i = 0; i < delays.size(); ++i) builder.SolidFrame(static_cast<std::uint8_t>(2 + i % 6), delays[i]);
  testing::WriteAll(path, builder.Bytes());
  return path;
}

struct Job {
  Job(std::string_view kind, int fps = 10) {
    settings.outputKind = std::string(kind);
    settings.outputFolder = out.Path();
    settings.frameRate = fps;
  }
  ConversionOutcome Convert(const std::string& gif) { return GifConverter(settings, work.Path()).Convert(gif); }
  bool TempFolderEmpty() const {
    const std::string temp = TempFolderOf(work.Path());
    return !fs::exists(temp) || fs::is_empty(temp);
  }
  testing::TempDir in, out, work;
  ConversionSettings settings;
};

TEST(GifConverter, DelaysOf10_30_10GiveThreeAviFramesAndFiveSwfFrames) {
  Job avi(kOutputAvi), swf(kOutputSwf);
  const auto aviOutcome = avi.Convert(WriteGif(avi.in / "clip.gif", {10, 30, 10}));
  ASSERT_TRUE(aviOutcome.ok) << aviOutcome.Error();
  EXPECT_EQ(aviOutcome.outputPath, avi.out / "clip.avi");
  const auto movie = testing::ReadAvi(testing::ReadAll(aviOutcome.outputPath));
  EXPECT_EQ(movie.totalFrames, 3u);
  EXPECT_EQ(movie.frames.size(), 3u);
  EXPECT_EQ(movie.microsecondsPerFrame, 100000u);
  EXPECT_EQ(movie.width, 16);
  EXPECT_EQ(movie.height, 12);
  EXPECT_TRUE(avi.TempFolderEmpty());

  const auto swfOutcome = swf.Convert(WriteGif(swf.in / "clip.gif", {10, 30, 10}));
  ASSERT_TRUE(swfOutcome.ok) << swfOutcome.Error();
  EXPECT_EQ(swfOutcome.outputPath, swf.out / "clip.swf");
  const auto bytes = testing::ReadAll(swfOutcome.outputPath);
  const auto file = testing::ReadSwf(bytes);
  EXPECT_EQ(file.declaredLength, bytes.size());
  EXPECT_EQ(file.frameCount, 5);
  EXPECT_EQ(file.Count(kShowFrame), 5);
  EXPECT_EQ(file.Count(kDefineBitsJpeg2), 3);
  EXPECT_EQ(file.frameRate, 10);
  EXPECT_TRUE(swf.TempFolderEmpty());
}

TEST(GifConverter, AviFramesAreTheRecordedJpegsWithTheirIdentifierReplaced) {
  Job avi(kOutputAvi), swf(kOutputSwf);
  const auto a = avi.Convert(WriteGif(avi.in / "x.gif", {10, 10}));
  const auto s = swf.Convert(WriteGif(swf.in / "x.gif", {10, 10}));
  ASSERT_TRUE(a.ok && s.ok);
  const auto movie = testing::ReadAvi(testing::ReadAll(a.outputPath));
  const auto file = testing::ReadSwf(testing::ReadAll(s.outputPath));
  std::vector<std::vector<std::uint8_t>> jpegs;
  for (const auto& tag : file.tags)
    if (tag.code == kDefineBitsJpeg2) jpegs.push_back(testing::JpegOfBitsTag(tag));
  ASSERT_EQ(jpegs.size(), 2u);
  ASSERT_EQ(movie.frames.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    auto expected = jpegs[i];
    ASSERT_GT(expected.size(), 10u);
    std::copy_n("AVI1", 4, expected.begin() + 6);
    expected.resize((expected.size() + 3) / 4 * 4, 0);
    EXPECT_EQ(movie.frames[i], expected) << "frame " << i;
  }
}

TEST(GifConverter, AOneFrameGifGivesTwoSteps) {
  Job avi(kOutputAvi), swf(kOutputSwf);
  const auto a = avi.Convert(WriteGif(avi.in / "still.gif", {0}));
  const auto s = swf.Convert(WriteGif(swf.in / "still.gif", {0}));
  ASSERT_TRUE(a.ok && s.ok);
  EXPECT_EQ(testing::ReadAvi(testing::ReadAll(a.outputPath)).totalFrames, 2u);
  const auto file = testing::ReadSwf(testing::ReadAll(s.outputPath));
  EXPECT_EQ(file.Count(kShowFrame), 2);
  EXPECT_EQ(file.Count(kDefineBitsJpeg2), 2);
}

TEST(GifConverter, FramesOf15HundredthsLeaveStepsWithoutFiles) {
  Job avi(kOutputAvi), swf(kOutputSwf);
  const auto a = avi.Convert(WriteGif(avi.in / "f.gif", std::vector<int>(4, 15)));
  const auto s = swf.Convert(WriteGif(swf.in / "f.gif", std::vector<int>(4, 15)));
  ASSERT_TRUE(a.ok && s.ok);
  EXPECT_EQ(testing::ReadAvi(testing::ReadAll(a.outputPath)).totalFrames, 4u);
  const auto file = testing::ReadSwf(testing::ReadAll(s.outputPath));
  EXPECT_EQ(file.Count(kShowFrame), 6);  // 4 x 150 ms = 6 steps
  EXPECT_EQ(file.Count(kDefineBitsJpeg2), 4);
}

TEST(GifConverter, DeclaredSizeAndFrameRateReachTheHeaders) {
  Job avi(kOutputAvi, 25);
  avi.settings.width = 40;
  avi.settings.height = 30;
  const auto a = avi.Convert(WriteGif(avi.in / "s.gif", {10, 10}));
  ASSERT_TRUE(a.ok);
  const auto movie = testing::ReadAvi(testing::ReadAll(a.outputPath));
  EXPECT_EQ(movie.width, 40);
  EXPECT_EQ(movie.height, 30);
  EXPECT_EQ(movie.microsecondsPerFrame, 40000u);

  Job zero(kOutputAvi, 0);  // a frame rate below 1 is taken as 1
  const auto z = zero.Convert(WriteGif(zero.in / "s.gif", {10, 10}));
  ASSERT_TRUE(z.ok);
  EXPECT_EQ(testing::ReadAvi(testing::ReadAll(z.outputPath)).microsecondsPerFrame, 1000000u);
}

TEST(GifConverter, ReplacesAnExistingOutput) {
  Job avi(kOutputAvi);
  testing::WriteAll(avi.out / "clip.avi", {1, 2, 3});
  const auto a = avi.Convert(WriteGif(avi.in / "clip.gif", {10, 10}));
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(testing::Text(testing::ReadAll(a.outputPath), 0, 4), "RIFF");
}

TEST(GifConverter, AFileWithoutFramesFailsClearlyAndTouchesNothing) {
  Job avi(kOutputAvi);
  testing::WriteAll(avi.out / "bad.avi", {7, 7});
  testing::WriteAll(avi.in / "bad.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B});
  const auto outcome = avi.Convert(avi.in / "bad.gif");
  EXPECT_FALSE(outcome.ok);
  EXPECT_FALSE(outcome.Error().empty());
  EXPECT_EQ(testing::ReadAll(avi.out / "bad.avi"), (std::vector<std::uint8_t>{7, 7}));
  EXPECT_TRUE(avi.TempFolderEmpty());

  const auto missing = avi.Convert(avi.in / "missing.gif");
  EXPECT_FALSE(missing.ok);
  EXPECT_FALSE(fs::exists(avi.out / "missing.avi"));
}

TEST(GifConverter, AnUnwritableOutputFolderFailsAndLeavesNoTemporaryFiles) {
  for (std::string_view kind : {kOutputAvi, kOutputSwf}) {
    Job job(kind);
    testing::WriteAll(job.out / "file", {1});
    job.settings.outputFolder = job.out / "file/sub/";
    const auto outcome = job.Convert(WriteGif(job.in / "w.gif", {10, 10}));
    EXPECT_FALSE(outcome.ok) << kind;
    EXPECT_FALSE(outcome.Error().empty());
    EXPECT_TRUE(job.TempFolderEmpty());
    EXPECT_EQ(std::distance(fs::directory_iterator(job.out.Path()), fs::directory_iterator()), 1);
  }
}

}  // namespace
}  // namespace reelmill

namespace reelmill {
namespace {

// GIFs that exercise every rule of a pass: delays, stills, missing controls,
// transparency and disposal, damage, blocks that are not frames.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> PassCorpus() {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> corpus;
  corpus.emplace_back("delays.gif", GifBuilder(12, 9)
                                        .Looping()
                                        .SolidFrame(1, 10)
                                        .SolidFrame(2, 30)
                                        .SolidFrame(3, 0)
                                        .SolidFrame(4, 15)
                                        .SolidFrame(5, 4)
                                        .Bytes());
  corpus.emplace_back("still.gif", GifBuilder(7, 5).SolidFrame(3, 250).Bytes());
  corpus.emplace_back("nocontrol.gif", GifBuilder(6, 6).SolidFrame(1, 0, false).SolidFrame(2, 0, false).Bytes());
  GifBuilder layered(10, 10);
  for (int i = 0; i < 4; ++i) {
    testing::GifFrameSpec f;
    f.left = i;
    f.top = 2 * i % 5;
    f.width = 6;
    f.height = 4;
    for (int p = 0; p < 24; ++p) f.indices.push_back(static_cast<std::uint8_t>((p + i) % 8));
    f.disposal = i % 4;
    f.transparentIndex = i == 1 ? 2 : -1;
    f.interlaced = i == 2;
    f.delay = 20 + 10 * i;
    layered.Frame(f);
  }
  corpus.emplace_back("layered.gif", layered.Bytes());
  const auto whole = GifBuilder(8, 8).SolidFrame(1, 10).SolidFrame(2, 20).SolidFrame(3, 30).SolidFrame(4, 40).Bytes();
  corpus.emplace_back("cut.gif", std::vector<std::uint8_t>(whole.begin(), whole.end() - 30));
  GifBuilder badPixels(4, 4);
  badPixels.SolidFrame(1, 10).SolidFrame(2, 20);
  badPixels.Control(30).Raw({0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 12, 2, 0xFF, 0xFF, 0});  // undecodable
  badPixels.SolidFrame(3, 40);
  corpus.emplace_back("badpixels.gif", badPixels.Bytes());
  GifBuilder secondBad(4, 4);
  secondBad.SolidFrame(1, 60).Control(30).Raw({0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 12, 2, 0xFF, 0xFF, 0});
  secondBad.SolidFrame(3, 40);
  corpus.emplace_back("secondbad.gif", secondBad.Bytes());
  GifBuilder lastBad(6, 6);  // long files fail the same way: the frames before the damage stay
  for (int i = 0; i < 12; ++i) lastBad.SolidFrame(static_cast<std::uint8_t>(i % 8), 10 + 5 * i);
  lastBad.Control(30).Raw({0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 12, 2, 0xFF, 0xFF, 0});
  corpus.emplace_back("lastbad.gif", lastBad.Bytes());
  GifBuilder text(5, 5);
  text.SolidFrame(1, 10).Control(50).Raw({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).SolidFrame(2, 20);
  corpus.emplace_back("text.gif", text.Bytes());
  return corpus;
}

TEST(GifConverter, StreamingAndTheFrameRecorderWriteTheSameFiles) {
  for (std::string_view kind : {kOutputAvi, kOutputSwf}) {
    for (const auto& [name, bytes] : PassCorpus()) {
      for (const auto& [width, height, quality] : {std::tuple{0, 0, 100}, std::tuple{23, 17, 60}}) {
        Job streaming(kind), recorder(kind);
        for (Job* job : {&streaming, &recorder}) {
          job->settings.width = width;
          job->settings.height = height;
          job->settings.quality = quality;
        }
        testing::WriteAll(streaming.in / name, bytes);
        GifConverter fast(streaming.settings, streaming.work.Path());
        fast.SetEncoderThreads(name.size() % 2 ? 3 : 1);
        const auto a = fast.Convert(streaming.in / name);
        GifConverter reference(recorder.settings, recorder.work.Path());
        reference.SetRoad(RecordingRoad::FrameRecorder);
        const auto b = reference.Convert(streaming.in / name);
        const std::string where = std::string(kind) + " " + name + " " + std::to_string(width);
        ASSERT_EQ(a.ok, b.ok) << where << ": " << a.Error() << " / " << b.Error();
        ASSERT_TRUE(a.ok) << where << ": " << a.Error();
        EXPECT_EQ(testing::ReadAll(a.outputPath), testing::ReadAll(b.outputPath)) << where;
        EXPECT_TRUE(streaming.TempFolderEmpty());
      }
    }
  }
}

}  // namespace
}  // namespace reelmill

#include "engine/sequence_export.h"
#include "imaging/codec_registry.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"

namespace reelmill {
namespace {

// The grey level at the centre of an AVI frame's JPEG.
int GreyOf(const std::vector<std::uint8_t>& jpeg) {
  ImageList images;
  std::unique_ptr<ImageProperties> properties;
  auto codec = CodecRegistry::Instance().CreateCodec(ImageFormat::Jpeg);
  if (!codec || !codec->LoadMemory(jpeg, images, properties) || images.Empty()) return -1;
  const PixelImage& image = images.At(0);
  return image.PixelAddress(image.Width() / 2, image.Height() / 2)[1];
}

// Frames of 655.35 s (6553 steps each) in grey levels 0, 10, 20, ...
std::vector<std::uint8_t> LongFramesGif(int frames) {
  std::vector<testing::GifColour> greys;
  for (int i = 0; i < 32; ++i) greys.push_back({std::uint8_t(i * 8), std::uint8_t(i * 8), std::uint8_t(i * 8)});
  GifBuilder builder(16, 16, greys);
  for (int i = 0; i < frames; ++i) builder.SolidFrame(static_cast<std::uint8_t>(i), 65535);
  return builder.Bytes();
}

TEST(GifConverter, FramesPastStep99999StayInOrderAndSwfRefusesSuchPasses) {
  // 17 frames: the last one starts at step 104848, a sixth digit.
  for (const RecordingRoad road : {RecordingRoad::Streaming, RecordingRoad::FrameRecorder}) {
    Job avi(kOutputAvi), swf(kOutputSwf);
    const std::string gif = avi.in / "slow.gif";
    testing::WriteAll(gif, LongFramesGif(17));
    GifConverter aviConverter(avi.settings, avi.work.Path());
    aviConverter.SetRoad(road);
    const auto a = aviConverter.Convert(gif);
    ASSERT_TRUE(a.ok) << a.Error();
    const auto movie = testing::ReadAvi(testing::ReadAll(a.outputPath));
    ASSERT_EQ(movie.frames.size(), 17u);
    for (int i = 0; i < 17; ++i) EXPECT_NEAR(GreyOf(movie.frames[i]), i * 8, 2) << "frame " << i;

    GifConverter swfConverter(swf.settings, swf.work.Path());
    swfConverter.SetRoad(road);
    const auto s = swfConverter.Convert(gif);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.Error().find("at most 32767 frames"), std::string::npos) << s.Error();
    EXPECT_FALSE(fs::exists(s.outputPath));
    EXPECT_TRUE(swf.TempFolderEmpty());
  }
}

TEST(GifConverter, SettingsNoOutputCanHoldAreRefusedBeforeAnyWork) {
  struct Case {
    std::string_view kind;
    int fps, width, height;
    const char* reason;
  };
  for (const Case& c : {Case{kOutputSwf, 256, 0, 0, "at most 255 frames per second"},
                        Case{kOutputSwf, 300, 0, 0, "at most 255 frames per second"},
                        Case{kOutputAvi, 10, 20000, 20000, "larger than a frame may be"}}) {
    Job job(c.kind, c.fps);
    job.settings.width = c.width;
    job.settings.height = c.height;
    const auto outcome = job.Convert(WriteGif(job.in / "s.gif", {10, 10}));
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.Error().find(c.reason), std::string::npos) << outcome.Error();
    EXPECT_FALSE(fs::exists(outcome.outputPath));
  }
  Job fits(kOutputSwf, 255);
  EXPECT_TRUE(fits.Convert(WriteGif(fits.in / "s.gif", {10, 10})).ok);
}

TEST(GifConverter, NoConversionOrExportWritesOverItsOwnInput) {
  Job job(kOutputAvi);
  job.settings.outputFolder = job.in.Path();
  const auto gifBytes = GifBuilder(8, 8).SolidFrame(1, 10).SolidFrame(2, 10).Bytes();
  // A GIF named like its own output, by its name and through a hard link.
  const std::string named = job.in / "movie.avi";
  testing::WriteAll(named, gifBytes);
  fs::create_directory(job.in / "links");
  testing::WriteAll(job.in / "links/clip.gif", gifBytes);
  fs::create_hard_link(job.in / "links/clip.gif", job.in / "clip.avi");
  // A GIF in the temporary frame folder, which every pass empties, and a
  // link that leads there.
  fs::create_directories(TempFolderOf(job.work.Path()));
  const std::string inTemp = TempFolderOf(job.work.Path()) + "t.gif";
  testing::WriteAll(inTemp, gifBytes);
  fs::create_symlink(inTemp, job.in / "link.gif");
  for (const std::string& input : {named, job.in / "links/clip.gif", inTemp, job.in / "link.gif"}) {
    const auto outcome = job.Convert(input);
    EXPECT_FALSE(outcome.ok) << input;
    EXPECT_FALSE(outcome.Error().empty()) << input;
  }
  for (const std::string& kept : {named, job.in / "clip.avi", inTemp})
    EXPECT_EQ(testing::ReadAll(kept), gifBytes) << kept;

  // A sequence file that is the source itself is skipped; the rest is written.
  const std::string source = job.out / "varnle_reelmill/bmp/x.gif00000.bmp";
  fs::create_directories(fs::path(source).parent_path());
  testing::WriteAll(source, gifBytes);
  fs::create_symlink(source, job.out / "x.gif");
  SequenceExport exporter(job.out / "x.gif", "bmp", job.out.Path());
  ASSERT_TRUE(exporter.Open());
  EXPECT_FALSE(exporter.WriteNext());
  EXPECT_TRUE(exporter.WriteNext());
  EXPECT_EQ(testing::ReadAll(source), gifBytes);
}

// A frame goes to the pack's memory whenever it still fits there, so the
// frames of one pass alternate between memory (/proc/self/fd/N) and the file
// in the temporary folder. The AVI plays them in step order whichever of the
// two paths sorts first: /dev/shm sorts before /proc, /tmp after it.
TEST(WriteRecordedFrames, PackedFramesPlayInStepOrderWhereverThePackLies) {
  std::vector<fs::path> bases{fs::temp_directory_path()};
  if (fs::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0) bases.push_back("/dev/shm");
  for (const fs::path& base : bases) {
    const testing::TempDir work(base), out;
    FramePack pack(work / "clip.gif.frames", 102);
    const std::size_t sizes[] = {60, 70, 30, 80, 12};  // memory, file, memory, file, memory
    std::vector<RecordedFrame> frames;
    for (long long step = 0; step < 5; ++step) {
      std::vector<std::uint8_t> jpeg(sizes[step], static_cast<std::uint8_t>(step));
      const std::uint8_t head[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
      std::copy(std::begin(head), std::end(head), jpeg.begin());
      ASSERT_TRUE(pack.Add(step, jpeg));
    }
    for (const auto& [step, entry] : pack.Frames())
      frames.push_back(RecordedFrame{step, entry.path, entry.offset, entry.size, false});
    ASSERT_NE(frames[0].path, frames[1].path) << "the frames should lie in both stores";
    ConversionSettings settings;
    settings.outputKind = kOutputAvi;
    settings.frameRate = 10;
    settings.width = settings.height = 16;
    std::ostringstream log, err;
    const ConversionOutcome outcome =
        WriteRecordedFrames(out / "clip.avi", frames, work / "clip.gif", settings, 5, log, err);
    ASSERT_TRUE(outcome.ok) << outcome.Error() << err.str();
    const auto movie = testing::ReadAvi(testing::ReadAll(out / "clip.avi"));
    ASSERT_EQ(movie.frames.size(), 5u) << base;
    for (std::size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(movie.frames[i].size(), (sizes[i] + 3) / 4 * 4) << base << " frame " << i;
      EXPECT_EQ(movie.frames[i][10], i) << base << " frame " << i;
    }
  }
}

}  // namespace
}  // namespace reelmill
