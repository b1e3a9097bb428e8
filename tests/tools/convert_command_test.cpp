// reelmill-convert's GIF mode, run as a user would: outputs checked against
// the window's road, ffprobe and ffmpeg as a second opinion on the AVI, and
// failures that must stay contained to their own file.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cmath>
#include <filesystem>

#include "engine/conversion.h"
#include "imaging/image_list.h"
#include "tests/support/container_reader.h"
#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"
#include "tests/tools/convert_fixture.h"
#include "tests/tools/run_converter.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::BlockGif;
using testing::Quoted;
using testing::RunResult;
using testing::Workspace;

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
  // No progress bar when stderr is not a terminal.
  EXPECT_EQ(run.err, "1 of 1 files converted; outputs in " + ws.out.Path() + "\n");
  const std::string avi = ws.out / "blocks.avi";
  int status = -1;
  const std::string probe = testing::RunCapture(
      "ffprobe -v error -count_frames -select_streams v:0 -of csv=p=0 -show_entries "
      "stream=codec_name,width,height,r_frame_rate,nb_read_frames " +
          Quoted(avi),
      &status);
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

TEST(ConvertCommand, WindowTimingWritesTheWindowsFilesAndTheSwfCarriesTheRecordedJpegs) {
  const Workspace ws;
  const std::string gif = ws.Write("clip.gif", BlockGif(5, 48, 32, 30));
  for (const char* to : {"avi", "swf"}) {
    for (const char* extra : {"", "--size 40x30 --quality 55 --fps 25"}) {
      const RunResult run = ws.Run(std::string("--quiet --timing window --to ") + to + " " + extra + " -o " +
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
      ASSERT_TRUE(reference.ok) << reference.Error();
      EXPECT_EQ(testing::ReadAll(ws.out / (std::string("clip.") + to)), testing::ReadAll(reference.outputPath))
          << to << " " << extra;
    }
  }
  // Each DefineBitsJPEG2 tag holds the JPEG that the AVI carries as that frame.
  ASSERT_EQ(ws.Run("--quiet --timing window --to avi -o " + Quoted(ws.out.Path()) + " " + Quoted(gif)).status, 0);
  ASSERT_EQ(ws.Run("--quiet --timing window --to swf -o " + Quoted(ws.out.Path()) + " " + Quoted(gif)).status, 0);
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

TEST(ConvertCommand, RealTimingLastsAsLongAsTheGifPlays) {
  const Workspace ws;
  const std::string minute = ws.Write("minute.gif", BlockGif(60, 16, 16, 100));  // sixty 1-second frames
  const std::string quick = ws.Write("quick.gif", BlockGif(4, 16, 16, 5));       // four 50-ms frames
  for (const int fps : {10, 25}) {
    const std::string folder = ws.out / std::to_string(fps);
    const std::string common = "--quiet --fps " + std::to_string(fps) + " -o " + Quoted(folder) + " ";
    ASSERT_EQ(ws.Run(common + "--to avi " + Quoted(minute) + " " + Quoted(quick)).status, 0);
    ASSERT_EQ(ws.Run(common + "--to swf " + Quoted(minute)).status, 0);
    const auto avi = testing::ReadAvi(testing::ReadAll(folder + "/minute.avi"));
    EXPECT_EQ(avi.totalFrames, 60u * fps);
    EXPECT_EQ(avi.frames.size(), 60u * fps);
    EXPECT_EQ(avi.microsecondsPerFrame, 1000000u / fps);
    EXPECT_EQ(testing::ReadAvi(testing::ReadAll(folder + "/quick.avi")).totalFrames, fps == 10 ? 2u : 5u);
    const auto swf = testing::ReadSwf(testing::ReadAll(folder + "/minute.swf"));
    EXPECT_EQ(swf.frameCount, 60 * fps);
    EXPECT_EQ(swf.frameRate, fps);
    EXPECT_EQ(swf.Count(21), 60);  // each picture defined once, then shown again
    if (!testing::HaveTool("ffprobe")) continue;
    const std::string probe = testing::RunCapture(
        "ffprobe -v error -count_frames -select_streams v:0 -of csv=p=0 -show_entries stream=nb_read_frames " +
        Quoted(folder + "/minute.avi"));
    EXPECT_EQ(probe, std::to_string(60 * fps) + "\n");
    const std::string duration = testing::RunCapture("ffprobe -v error -of csv=p=0 -show_entries format=duration " +
                                                     Quoted(folder + "/minute.avi"));
    EXPECT_NEAR(std::stod(duration), 60.0, 1e-3) << duration;
    EXPECT_EQ(testing::RunCapture("ffmpeg -nostdin -v error -i " + Quoted(folder + "/minute.avi") + " -f null - 2>&1"),
              "");
  }
}

TEST(ConvertCommand, EachFailureIsReportedAndTheOtherFilesStillConvert) {
  const Workspace ws;
  const std::string good = ws.Write("good.gif", BlockGif(2, 16, 16, 10));
  const std::string empty = ws.Write("empty.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B});
  const std::string text = ws.Write("text.gif", {'h', 'e', 'l', 'l', 'o'});
  const std::string missing = ws.in / "missing.gif";
  const std::string last = ws.Write("last.gif", BlockGif(3, 16, 16, 10));
  for (const char* to : {"avi", "png"}) {
    const RunResult run =
        ws.Run(std::string("--to ") + to + " --jobs 2 -o " + Quoted(ws.out.Path()) + " " + Quoted(good) + " " +
               Quoted(empty) + " " + Quoted(text) + " " + Quoted(missing) + " " + Quoted(last));
    EXPECT_EQ(run.status, 1) << to;
    for (const std::string& bad : {empty, text, missing})
      EXPECT_NE(run.err.find(bad + ": "), std::string::npos) << to << "\n" << run.err;
    EXPECT_EQ(run.err.find(good + ": "), std::string::npos);
    EXPECT_NE(run.err.find("2 of 5 files converted, 3 failed; outputs in "), std::string::npos) << run.err;
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
    for (const std::string& input : {a, b})
      EXPECT_NE(run.err.find(input + ": " + ws.out / "file/sub/ is not a folder"), std::string::npos) << run.err;
    EXPECT_TRUE(ws.NoTemporaryFilesLeft());
    EXPECT_EQ(ws.OutputEntries(), 1u);
  }
}

TEST(ConvertCommand, TheSameFileTwiceIsConvertedOnceAndAnotherWithItsOutputNameIsRefused) {
  const Workspace ws;
  const std::string first = ws.Write("one/same.gif", BlockGif(2, 16, 16, 10));
  const std::string second = ws.Write("two/same.gif", BlockGif(3, 32, 16, 10));
  const RunResult run = ws.Run("--to avi --jobs 1 -o " + Quoted(ws.out.Path()) + " " + Quoted(first) + " " +
                               Quoted(second) + " " + Quoted(first));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(second + ": refused: its output " + ws.out / "same.avi" + " would overwrite that of input 1"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("1 of 3 files converted, 1 failed, 1 skipped"), std::string::npos) << run.err;
  EXPECT_EQ(testing::ReadAvi(testing::ReadAll(ws.out / "same.avi")).width, 16);  // the first one's
  EXPECT_EQ(ws.OutputEntries(), 1u);
}

TEST(ConvertCommand, OutputsAreNamedAsUsersExpect) {
  const Workspace ws;
  const Bytes gif = BlockGif(2, 16, 16, 10);
  // Names ending in .gif are named as the window names them; other names get
  // their extension replaced or added.
  const std::vector<std::pair<std::string, std::string>> names = {
      {"clip.gif", "clip.avi"}, {"LOUD.GIF", "LOUD.avi"},  {"anim", "anim.avi"},      {"a", "a.avi"},
      {"ab", "ab.avi"},         {"shot.jpeg", "shot.avi"}, {".hidden", ".hidden.avi"}};
  std::string inputs;
  for (const auto& [name, output] : names) inputs += " " + Quoted(ws.Write(name, gif));
  const RunResult run = ws.Run("--quiet -o " + Quoted(ws.out.Path()) + inputs);
  EXPECT_EQ(run.status, 0) << run.err;
  for (const auto& [name, output] : names) EXPECT_TRUE(fs::exists(ws.out / output)) << name;
  EXPECT_EQ(ws.OutputEntries(), names.size());

  // -o NAME.swf with one GIF names the file.
  const std::string named = ws.out / "deep/movie.SWF";
  ASSERT_EQ(ws.Run("--quiet --to swf -o " + Quoted(named) + " " + Quoted(ws.in / "anim")).status, 0);
  EXPECT_EQ(testing::Text(testing::ReadAll(named), 0, 3), "FWS");
  // A sequence of a GIF named without .gif, at the quality and size asked.
  ASSERT_EQ(
      ws.Run("--quiet --to JPEG --quality 30 --size 8x6 -o " + Quoted(ws.out.Path()) + " " + Quoted(ws.in / "anim"))
          .status,
      0);
  FrameSet frame;
  ASSERT_TRUE(frame.Load(ws.out / "varnle_reelmill/jpg/anim00001.jpg"));
  EXPECT_EQ(frame.Frame(0)->Width(), 8);
  EXPECT_EQ(frame.Frame(0)->Height(), 6);
}

TEST(ConvertCommand, InputsAreNeverOverwrittenAndPipesNeverWaitedOn) {
  const Workspace ws;
  const Bytes gif = BlockGif(2, 16, 16, 10);
  const std::string named = ws.Write("b.avi", gif);  // a GIF named like an output
  const std::string other = ws.Write("b.gif", gif);  // whose output would be b.avi
  const std::string pipe = ws.in / "pipe.gif";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string fine = ws.Write("fine.gif", gif);
  const RunResult run = ws.Run("--to avi --jobs 1 -o " + Quoted(ws.in.Path()) + " " + Quoted(named) + " " +
                               Quoted(other) + " " + Quoted(pipe) + " " + Quoted(fine));
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

// The colour of the video's first frame at (x, y), as ffmpeg decodes it.
std::array<int, 3> FirstFramePixel(const std::string& video, int width, int x, int y) {
  const std::string rgb =
      testing::RunCapture("ffmpeg -v error -i " + Quoted(video) + " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
  const std::size_t at = (std::size_t(y) * width + x) * 3;
  if (rgb.size() < at + 3) return {-1, -1, -1};
  return {static_cast<unsigned char>(rgb[at]), static_cast<unsigned char>(rgb[at + 1]),
          static_cast<unsigned char>(rgb[at + 2])};
}

TEST(ConvertCommand, VideoAndWebpOutputsFollowTheirOptions) {
  if (!testing::HaveTool("ffmpeg") || !testing::HaveTool("webpmux")) GTEST_SKIP() << "ffmpeg/webpmux not installed";
  const Workspace ws;
  // Left half transparent, right half colour 0 (black), two frames.
  testing::GifBuilder builder(32, 32);
  for (int f = 0; f < 2; ++f) {
    testing::GifFrameSpec frame;
    frame.width = frame.height = 32;
    frame.transparentIndex = 3;
    for (int i = 0; i < 32 * 32; ++i) frame.indices.push_back(i % 32 < 16 ? 3 : static_cast<std::uint8_t>(f));
    builder.Frame(frame);
  }
  const std::string gif = Quoted(ws.Write("clear.gif", builder.Bytes()));
  const std::string out = Quoted(ws.out.Path());
  ASSERT_EQ(ws.Run("--quiet --to mp4 -o " + out + " " + gif).status, 0);
  ASSERT_EQ(ws.Run("--quiet --to webm -o " + out + " " + gif).status, 0);
  ASSERT_EQ(ws.Run("--quiet --to webp --quality 75 -o " + out + " " + gif).status, 0);
  const std::string named = ws.out / "named.mp4";
  ASSERT_EQ(ws.Run("--quiet --crf 40 --preset ultrafast --background '#0000ff' -o " + Quoted(named) + " " + gif).status,
            0);
  // A quality below 100 raises the crf from its default; 100 is the default.
  const std::string rated = ws.out / "rated.mp4";
  ASSERT_EQ(ws.Run("--quiet --preset ultrafast --quality 70 -o " + Quoted(rated) + " " + gif).status, 0);
  EXPECT_EQ(ws.OutputEntries(), 5u);

  // Transparent pixels show white by default and the colour asked for; x264
  // writes the settings it ran with into the stream.
  const auto white = FirstFramePixel(ws.out / "clear.mp4", 32, 4, 16);
  const auto blue = FirstFramePixel(named, 32, 4, 16);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(white[c], 255, 8) << c;
    EXPECT_NEAR(blue[c], c == 2 ? 255 : 0, 8) << c;
  }
  const std::string settings = testing::Text(testing::ReadAll(named), 0, std::size_t(fs::file_size(named)));
  for (const char* used : {"crf=40.0", "subme=0"}) EXPECT_NE(settings.find(used), std::string::npos) << used;
  const std::string ratedSettings = testing::Text(testing::ReadAll(rated), 0, std::size_t(fs::file_size(rated)));
  EXPECT_NE(ratedSettings.find("crf=32.0"), std::string::npos);
  EXPECT_NE(testing::RunCapture("webpmux -info " + Quoted(ws.out / "clear.webp")).find("lossy"), std::string::npos);
  EXPECT_EQ(testing::Text(testing::ReadAll(ws.out / "clear.webm"), 0, 4), "\x1A\x45\xDF\xA3");
}

TEST(ConvertCommand, UsageErrorsExitWithTwoAndAHint) {
  const Workspace ws;
  const std::string gif = ws.Write("u.gif", BlockGif(2, 16, 16, 10));
  const std::string g = " " + Quoted(gif);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "no GIF files given"},
      {"--to mkv" + g, "--to mkv: choose avi, swf, mp4, webm, webp"},
      {"--size 0x5" + g, "--size 0x5: give WIDTHxHEIGHT with sides of 1 to 5000"},
      {"--size big" + g, "--size big: give WIDTHxHEIGHT"},
      {"--size 5001x10" + g, "--size 5001x10: give WIDTHxHEIGHT"},
      {"--size 20000x20000" + g, "--size 20000x20000: give WIDTHxHEIGHT"},
      {"--to swf --fps 256" + g, "--fps 256: a SWF movie plays at most 255 whole frames per second"},
      {"--fps 0" + g, "--fps 0: give whole frames per second"},
      {"--fps 2.5" + g, "--fps 2.5: give whole frames per second"},
      {"--quality 5" + g, "--quality"},
      {"--jobs -1" + g, "--jobs -1: give 0 (one per core) up to 256 files at once"},
      {"--jobs 100000000000000000000" + g, "--jobs"},
      {"--shard 3/3" + g, "--shard 3/3: give K/N with 0 <= K < N"},
      {"--timing late" + g, "--timing"},
      {"--files-from " + Quoted(ws.in / "nolist.txt") + g,
       "--files-from " + ws.in / "nolist.txt" + ": No such file or directory"},
      {"--to png -o out.avi" + g, "-o out.avi: the output kind is png"},
      {"-o two.avi" + g + g, "-o two.avi names one output file, so give exactly one GIF file"},
      {"--to mp4 --crf 52" + g, "--crf 52: give a whole number, 0 to 51"},
      {"--to webm --crf 64" + g, "--crf 64: give a whole number, 0 to 63"},
      {"--to mp4 --crf -1" + g, "--crf -1: give a whole number, 0 to 51"},
      {"--to mp4 --crf 2.5" + g, "--crf 2.5: give a whole number, 0 to 51"},
      {"--to webm --timing window" + g, "--timing window applies to avi and swf, not webm"},
      {"-o clip.mkv" + g, "-o clip.mkv: give a folder, or a file name ending in .avi"},
      {"--to png -o frames.png" + g, "-o frames.png: give a folder for the png files"},
      {"--to mp4 --preset quick" + g, "--preset quick: give ultrafast,"},
      {"--to webm --background mauve" + g, "--background mauve: give a colour name or #rrggbb"},
      {"--crf 20" + g, "--crf applies to mp4 and webm, not avi"},
      {"--to webp --preset slow" + g, "--preset applies to mp4 and webm, not webp"},
      {"--to png --background red" + g, "--background applies to mp4 and webm, not png"},
      {"--bogus" + g, "--bogus"}};
  for (const auto& [arguments, message] : cases) {
    const bool namesOutput = arguments.find("-o ") != std::string::npos;
    const RunResult run = ws.Run(namesOutput ? arguments : "-o " + Quoted(ws.out.Path()) + " " + arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_NE(run.err.find(message), std::string::npos) << arguments << "\n" << run.err;
    EXPECT_TRUE(run.err.ends_with("Run with --help for more information.\n")) << arguments << "\n" << run.err;
    EXPECT_LT(run.err.size(), 300u) << arguments << "\n" << run.err;  // a line, not a 309-digit range
  }
  EXPECT_EQ(ws.OutputEntries(), 0u);
  const RunResult help = ws.Run("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* word : {"--jobs", "--timing", "--files-from", "--skip-existing", "--report", "--shard"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  const RunResult version = ws.Run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("reelmill-convert ")) << version.out;
}

}  // namespace
}  // namespace reelmill
