// reelmill-convert's GIF mode, run as a user would: outputs checked against
// the window's road, ffprobe and ffmpeg as a second opinion on the AVI, and
// failures that must stay contained to their own file.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "engine/conversion.h"
#include "imaging/image_list.h"
#include "tests/support/container_reader.h"
#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"
#include "tests/tools/run_converter.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Quoted;
using testing::RunResult;

// Frames of 16 x 16 colour blocks that move from frame to frame; the blocks
// line up with the JPEG's chroma blocks, so quality 100 keeps them close.
Bytes BlockGif(int frames, int width, int height, int delay) {
  testing::GifBuilder builder(width, height);
  for (int f = 0; f < frames; ++f) {
    testing::GifFrameSpec spec;
    spec.width = width;
    spec.height = height;
    spec.delay = delay;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) spec.indices.push_back(static_cast<std::uint8_t>((x / 16 + y / 16 + f) % 8));
    builder.Frame(spec);
  }
  return builder.Bytes();
}

struct Workspace {
  testing::TempDir in, out, tmp, scratch;
  std::string Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = in / name;
    fs::create_directories(fs::path(path).parent_path());
    testing::WriteAll(path, bytes);
    return path;
  }
  RunResult Run(const std::string& arguments) const {
    return testing::RunConverter(arguments, scratch.Path(), "TMPDIR=" + Quoted(tmp.Path()));
  }
  bool NoTemporaryFilesLeft() const { return fs::is_empty(tmp.Path()); }
  std::size_t OutputEntries() const {
    return static_cast<std::size_t>(std::distance(fs::recursive_directory_iterator(out.Path()), {}));
  }
};

double Psnr(const std::string& rgb, const PixelImage& frame, std::size_t offset) {
  double squared = 0;
  const int w = frame.Width(), h = frame.Height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* bgra = frame.PixelAddress(x, y);
      const auto* got = reinterpret_cast<const std::uint8_t*>(rgb.data()) + offset + (std::size_t(y) * w + x) * 3;
      for (int c = 0; c < 3; ++c) {
        const double d = double(got[c]) - double(bgra[2 - c]);
        squared += d * d;
      }
    }
  const double mse = squared / (double(w) * h * 3);
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(ConvertCommand, AviIsReadByFfprobeAndEveryFrameMatchesItsGifFrame) {
  if (!testing::HaveTool("ffprobe") || !testing::HaveTool("ffmpeg")) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
  const Workspace ws;
  const std::string gif = ws.Write("blocks.gif", BlockGif(12, 96, 64, 10));
  const RunResult run = ws.Run("--to avi --fps 10 -o " + Quoted(ws.out.Path()) + " " + Quoted(gif));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "1 of 1 files converted.\n");  // no progress bar when stderr is not a terminal
  const std::string avi = ws.out / "blocks.avi";
  int status = -1;
  const std::string probe = testing::RunCapture(
      "ffprobe -v error -count_frames -select_streams v:0 -of csv=p=0 -show_entries "
      "stream=codec_name,width,height,r_frame_rate,nb_read_frames " + Quoted(avi), &status);
  EXPECT_EQ(probe, "mjpeg,96,64,10/1,12\n");
  const std::string errors = testing::RunCapture("ffmpeg -nostdin -v error -i " + Quoted(avi) + " -f null - 2>&1");
  EXPECT_EQ(errors, "");
  const std::string rgb =
      testing::RunCapture("ffmpeg -nostdin -v error -i " + Quoted(avi) + " -f rawvideo -pix_fmt rgb24 -");
  FrameSet frames;
  ASSERT_TRUE(frames.Load(gif));
  const std::size_t frameBytes = 96 * 64 * 3;
  ASSERT_EQ(rgb.size(), frames.Count() * frameBytes);
  for (std::size_t i = 0; i < frames.Count(); ++i)
    EXPECT_GE(Psnr(rgb, *frames.Frame(static_cast<long long>(i)), i * frameBytes), 35.0) << "frame " << i;
  EXPECT_TRUE(ws.NoTemporaryFilesLeft());
}

TEST(ConvertCommand, WritesTheFilesTheWindowsConvertWritesAndTheSwfCarriesTheRecordedJpegs) {
  const Workspace ws;
  const std::string gif = ws.Write("clip.gif", BlockGif(5, 48, 32, 30));
  for (const char* to : {"avi", "swf"}) {
    for (const char* extra : {"", "--size 40x30 --quality 55 --fps 25"}) {
      const RunResult run = ws.Run(std::string("--quiet --to ") + to + " " + extra + " -o " +
                                   Quoted(ws.out.Path()) + " " + Quoted(gif));
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");
      ConversionSettings settings;
      settings.outputKind = std::string(to == std::string("avi") ? kOutputAvi : kOutputSwf);
      settings.outputFolder = ws.scratch.Path();
      settings.frameRate = *extra ? 25 : 10;
      settings.quality = *extra ? 55 : 100;
      settings.width = *extra ? 40 : 0;
      settings.height = *extra ? 30 : 0;
      testing::TempDir work;
      GifConverter window(settings, work.Path());
      window.SetRoad(RecordingRoad::FrameRecorder);
      const auto reference = window.Convert(gif);
      ASSERT_TRUE(reference.ok) << reference.error;
      EXPECT_EQ(testing::ReadAll(ws.out / (std::string("clip.") + to)), testing::ReadAll(reference.outputPath))
          << to << " " << extra;
    }
  }
  // Each DefineBitsJPEG2 tag holds the JPEG that the AVI carries as that frame.
  ASSERT_EQ(ws.Run("--quiet --to avi -o " + Quoted(ws.out.Path()) + " " + Quoted(gif)).status, 0);
  ASSERT_EQ(ws.Run("--quiet --to swf -o " + Quoted(ws.out.Path()) + " " + Quoted(gif)).status, 0);
  const auto avi = testing::ReadAvi(testing::ReadAll(ws.out / "clip.avi"));
  const auto swf = testing::ReadSwf(testing::ReadAll(ws.out / "clip.swf"));
  std::size_t bitmap = 0;
  for (const auto& tag : swf.tags) {
    if (tag.code != 21) continue;
    ASSERT_LT(bitmap, avi.frames.size());
    Bytes jpeg = testing::JpegOfBitsTag(tag);
    std::copy_n("AVI1", 4, jpeg.begin() + 6);
    jpeg.resize((jpeg.size() + 3) / 4 * 4, 0);
    EXPECT_EQ(avi.frames[bitmap++], jpeg);
  }
  EXPECT_EQ(bitmap, 5u);
  EXPECT_EQ(swf.Count(1), 15);  // five frames of 300 ms
}

TEST(ConvertCommand, EachFailureIsReportedAndTheOtherFilesStillConvert) {
  const Workspace ws;
  const std::string good = ws.Write("good.gif", BlockGif(2, 16, 16, 10));
  const std::string empty = ws.Write("empty.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B});
  const std::string text = ws.Write("text.gif", {'h', 'e', 'l', 'l', 'o'});
  const std::string missing = ws.in / "missing.gif";
  const std::string last = ws.Write("last.gif", BlockGif(3, 16, 16, 10));
  for (const char* to : {"avi", "png"}) {
    const RunResult run = ws.Run(std::string("--to ") + to + " --jobs 2 -o " + Quoted(ws.out.Path()) + " " +
                                 Quoted(good) + " " + Quoted(empty) + " " + Quoted(text) + " " + Quoted(missing) +
                                 " " + Quoted(last));
    EXPECT_EQ(run.status, 1) << to;
    for (const std::string& bad : {empty, text, missing})
      EXPECT_NE(run.err.find(bad + ": "), std::string::npos) << to << "\n" << run.err;
    EXPECT_EQ(run.err.find(good + ": "), std::string::npos);
    EXPECT_NE(run.err.find("2 of 5 files converted, 3 failed."), std::string::npos) << run.err;
    EXPECT_TRUE(ws.NoTemporaryFilesLeft());
  }
  EXPECT_TRUE(fs::exists(ws.out / "good.avi"));
  EXPECT_TRUE(fs::exists(ws.out / "last.avi"));
  EXPECT_TRUE(fs::exists(ws.out / "varnle_reelmill/png/last.gif00002.png"));
  EXPECT_EQ(ws.OutputEntries(), 2u + 2u /* varnle_reelmill/png */ + 2u + 3u);
}

TEST(ConvertCommand, AnOutputFolderThatCannotBeMadeFailsEveryFileCleanly) {
  const Workspace ws;
  const std::string a = ws.Write("a.gif", BlockGif(2, 16, 16, 10));
  const std::string b = ws.Write("b.gif", BlockGif(2, 16, 16, 10));
  testing::WriteAll(ws.out / "file", {1});
  for (const char* to : {"avi", "swf", "bmp"}) {
    const RunResult run = ws.Run(std::string("--quiet --to ") + to + " -o " + Quoted(ws.out / "file/sub") + " " +
                                 Quoted(a) + " " + Quoted(b));
    EXPECT_EQ(run.status, 1) << to;
    EXPECT_NE(run.err.find(a + ": "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(b + ": "), std::string::npos) << run.err;
    EXPECT_TRUE(ws.NoTemporaryFilesLeft());
    EXPECT_EQ(ws.OutputEntries(), 1u);
  }
}

TEST(ConvertCommand, ASecondInputWithTheSameOutputNameIsRefused) {
  const Workspace ws;
  const std::string first = ws.Write("one/same.gif", BlockGif(2, 16, 16, 10));
  const std::string second = ws.Write("two/same.gif", BlockGif(3, 32, 16, 10));
  const RunResult run = ws.Run("--to avi --jobs 1 -o " + Quoted(ws.out.Path()) + " " + Quoted(first) + " " +
                               Quoted(second) + " " + Quoted(first));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(second + ": refused"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(first + ": refused"), std::string::npos) << run.err;  // the same file twice
  EXPECT_EQ(testing::ReadAvi(testing::ReadAll(ws.out / "same.avi")).width, 16);  // the first one's
  EXPECT_EQ(ws.OutputEntries(), 1u);
}

TEST(ConvertCommand, InputsAreNeverOverwrittenAndPipesNeverWaitedOn) {
  const Workspace ws;
  const Bytes gif = BlockGif(2, 16, 16, 10);
  const std::string named = ws.Write("b.avi", gif);  // a GIF named like an output
  const std::string other = ws.Write("b.gif", gif);  // whose output would be b.avi
  const std::string pipe = ws.in / "pipe.gif";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string fine = ws.Write("fine.gif", gif);
  const RunResult run = ws.Run("--to avi -o " + Quoted(ws.in.Path()) + " " + Quoted(named) + " " + Quoted(other) +
                               " " + Quoted(pipe) + " " + Quoted(fine));
  EXPECT_EQ(run.status, 1);
  for (const std::string& refused : {named, other, pipe})
    EXPECT_NE(run.err.find(refused + ": "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(pipe + ": not a regular file"), std::string::npos) << run.err;
  EXPECT_EQ(testing::ReadAll(named), gif);
  EXPECT_TRUE(fs::exists(ws.in / "fine.avi"));
}

TEST(ConvertCommand, SequencesLandWhereTheWindowsImageSequencePutsThem) {
  const Workspace ws;
  const std::string gif = ws.Write("seq.gif", BlockGif(3, 16, 16, 500));
  ASSERT_EQ(ws.Run("--quiet --to tiff -o " + Quoted(ws.out.Path()) + " " + Quoted(gif)).status, 0);
  ASSERT_EQ(ws.Run("--quiet --to tga -o " + Quoted(ws.out.Path()) + " " + Quoted(gif)).status, 0);
  for (int i = 0; i < 3; ++i) {
    const std::string n = "seq.gif0000" + std::to_string(i);
    EXPECT_TRUE(fs::exists(ws.out / ("varnle_reelmill/tiff/" + n + ".tiff"))) << n;
    EXPECT_TRUE(fs::exists(ws.out / ("varnle_reelmill/tga/" + n + ".tga"))) << n;
  }
  EXPECT_EQ(ws.OutputEntries(), 3u + 3u + 3u);
}

TEST(ConvertCommand, UsageErrorsExitWithTwoAndAHint) {
  const Workspace ws;
  const std::string gif = ws.Write("u.gif", BlockGif(2, 16, 16, 10));
  for (const std::string& arguments : {std::string(), "--to webm " + Quoted(gif), "--size 0x5 " + Quoted(gif),
                                       "--size big " + Quoted(gif), "--size 5001x10 " + Quoted(gif),
                                       "--size 20000x20000 " + Quoted(gif), "--to swf --fps 256 " + Quoted(gif),
                                       "--quality 0 " + Quoted(gif),
                                       "--jobs -1 " + Quoted(gif), "--bogus " + Quoted(gif)}) {
    const RunResult run = ws.Run("-o " + Quoted(ws.out.Path()) + " " + arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_TRUE(run.err.ends_with("Run with --help for more information.\n")) << arguments << "\n" << run.err;
  }
  EXPECT_EQ(ws.OutputEntries(), 0u);
  const RunResult help = ws.Run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--jobs"), std::string::npos);
}

}  // namespace
}  // namespace reelmill
