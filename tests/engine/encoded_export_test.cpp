#include "engine/encoded_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <tuple>

#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::BlockGifWithDelays;
using testing::GifBuilder;

std::string Shell(const std::string& command) { return testing::RunCapture(command + " 2>/dev/null"); }

// What ffprobe reads of a video: "codec,width,height,pix_fmt,range,space,transfer,primaries,frames|duration".
std::string Probe(const std::string& path) {
  std::string stream = Shell(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=codec_name,width,height,pix_fmt,color_range,color_space,color_transfer,"
      "color_primaries,nb_read_frames -of csv=p=0 '" +
      path + "'");
  std::string duration = Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'");
  while (!stream.empty() && stream.back() == '\n') stream.pop_back();
  while (!duration.empty() && duration.back() == '\n') duration.pop_back();
  return stream + "|" + duration;
}

// The mean PSNR of the video's frames (decoded by ffmpeg) against the GIF's
// own frames composited over white, in dB.
double Psnr(const std::string& video, const Bytes& gif, int width, int height) {
  // Each frame once, as the video holds it (no frames doubled to a rate).
  const std::string raw =
      Shell("ffmpeg -v error -i '" + video + "' -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -");
  std::vector<std::vector<std::uint8_t>> frames;
  GifDecoder(GifCodec::kMaxDecodedBytes).DecodeEach(gif, [&](const PixelImage& frame, int) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* p = frame.Row(y) + x * 4;
        const int a = p[3];
        for (int c : {2, 1, 0}) rgb.push_back(static_cast<std::uint8_t>((p[c] * a + 255 * (255 - a) + 127) / 255));
      }
    frames.push_back(std::move(rgb));
    return true;
  });
  const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 3;
  if (frames.empty() || raw.size() < frameBytes) return 0;
  double squared = 0;
  std::size_t count = 0;
  for (std::size_t f = 0; f * frameBytes < raw.size() && f < frames.size(); ++f)
    for (std::size_t i = 0; i < frameBytes; ++i, ++count) {
      const double d = static_cast<unsigned char>(raw[f * frameBytes + i]) - frames[f][i];
      squared += d * d;
    }
  return count ? 10 * std::log10(255.0 * 255.0 / (squared / static_cast<double>(count))) : 0;
}

ConversionOutcome Export(const std::string& gif, const std::string& out, EncodedKind kind, int fps = 0) {
  EncodedExportOptions options;
  options.kind = kind;
  options.fps = fps;
  return ExportEncoded(gif, out, options);
}

bool HaveTools() { return testing::HaveTool("ffprobe") && testing::HaveTool("ffmpeg") && testing::HaveTool("webpmux"); }

TEST(ExportEncoded, VideosHoldEachFrameForItsTimeWithTheirColoursSaid) {
  if (!HaveTools()) GTEST_SKIP() << "ffprobe, ffmpeg or webpmux not installed";
  testing::TempDir dir;
  struct Case {
    std::string name;
    Bytes gif;
    EncodedKind kind;
    int fps;
    std::string probed;  // as Probe gives it
  };
  const Bytes odd = BlockGifWithDelays(201, 101, {7, 7, 7});
  const Bytes delays = BlockGifWithDelays(48, 32, {0, 1, 2, 30});  // 100 + 100 + 20 + 300 ms
  const Bytes still = BlockGifWithDelays(40, 30, {2});
  const Bytes clear = BlockGifWithDelays(32, 32, {10, 10}, 3);
  const std::vector<Case> cases = {
      {"odd.mp4", odd, EncodedKind::Mp4, 0, "h264,202,102,yuv420p,tv,smpte170m,iec61966-2-1,bt709,3|0.210000"},
      {"odd.webm", odd, EncodedKind::WebM, 0, "vp9,201,101,yuv420p,tv,smpte170m,iec61966-2-1,bt709,3|0.210000"},
      {"delays.mp4", delays, EncodedKind::Mp4, 0, "h264,48,32,yuv420p,tv,smpte170m,iec61966-2-1,bt709,4|0.520000"},
      {"delays.webm", delays, EncodedKind::WebM, 0, "vp9,48,32,yuv420p,tv,smpte170m,iec61966-2-1,bt709,4|0.520000"},
      {"still.mp4", still, EncodedKind::Mp4, 0, "h264,40,30,yuv420p,tv,smpte170m,iec61966-2-1,bt709,1|0.100000"},
      {"rate.mp4", delays, EncodedKind::Mp4, 25, "h264,48,32,yuv420p,tv,smpte170m,iec61966-2-1,bt709,13|0.520000"},
      // Frames of 1/7 s, the last one cut to end with the GIF.
      {"rate.webm", delays, EncodedKind::WebM, 7, "vp9,48,32,yuv420p,tv,smpte170m,iec61966-2-1,bt709,4|0.520000"},
      {"clear.webm", clear, EncodedKind::WebM, 0, "vp9,32,32,yuv420p,tv,smpte170m,iec61966-2-1,bt709,2|0.200000"},
      // One transparent row of odd width: the encoder cannot keep its alpha.
      {"strip.webm", BlockGifWithDelays(33, 1, {10}, 0), EncodedKind::WebM, 0,
       "vp9,33,1,yuv420p,tv,smpte170m,iec61966-2-1,bt709,1|0.100000"},
  };
  for (const Case& c : cases) {
    const std::string gif = dir / (c.name + ".gif"), out = dir / c.name;
    testing::WriteAll(gif, c.gif);
    const ConversionOutcome outcome = Export(gif, out, c.kind, c.fps);
    ASSERT_TRUE(outcome.ok) << c.name << ": " << outcome.Error();
    EXPECT_EQ(Probe(out), c.probed) << c.name;
  }
  // A transparent GIF keeps its alpha in WebM (the stream says so) and shows
  // white in MP4; both stay close to the GIF's own frames.
  EXPECT_NE(Shell("ffprobe -v error -show_entries stream_tags=alpha_mode -of csv=p=0 '" + dir / "clear.webm" + "'"),
            "");
  ASSERT_TRUE(Export(dir / "clear.webm.gif", dir / "clear.mp4", EncodedKind::Mp4).ok);
  for (const auto& [name, gif, width] : {std::tuple{"delays.mp4", &delays, 48}, std::tuple{"delays.webm", &delays, 48},
                                         std::tuple{"clear.mp4", &clear, 32}})
    EXPECT_GT(Psnr(dir / name, *gif, width, 32), 30.0) << name;
}

TEST(ExportEncoded, AnimatedWebpIsLosslessWithTheGifsLoopAndTimes) {
  if (!HaveTools()) GTEST_SKIP() << "ffprobe, ffmpeg or webpmux not installed";
  testing::TempDir dir;
  GifBuilder builder(33, 17);
  builder.Looping(3).SolidFrame(2, 4).SolidFrame(3, 0).SolidFrame(4, 25);
  testing::WriteAll(dir / "loop.gif", builder.Bytes());
  ASSERT_TRUE(Export(dir / "loop.gif", dir / "loop.webp", EncodedKind::Webp).ok);
  const std::string info = Shell("webpmux -info '" + dir / "loop.webp" + "'");
  EXPECT_NE(info.find("Canvas size: 33 x 17"), std::string::npos) << info;
  EXPECT_NE(info.find("Loop Count : 4"), std::string::npos) << info;  // played once, then looped 3 times
  EXPECT_NE(info.find("Number of frames: 3"), std::string::npos) << info;
  for (const char* line : {"40       none", "100       none", "250       none"})
    EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
  EXPECT_NE(info.find("lossless"), std::string::npos) << info;
}

TEST(ExportEncoded, DamageKeepsTheFramesBeforeItAndHostileInputsLeaveNothing) {
  testing::TempDir dir;
  Bytes cut = BlockGifWithDelays(32, 16, {10, 10, 10, 10});
  cut.resize(cut.size() - 30);
  testing::WriteAll(dir / "cut.gif", cut);
  testing::WriteAll(dir / "text.gif", {'h', 'e', 'l', 'l', 'o'});
  Bytes wide = GifBuilder(1, 1).SolidFrame(1).SolidFrame(2).Bytes();
  wide[6] = 0x20, wide[7] = 0x4E;  // a screen 20000 pixels wide
  testing::WriteAll(dir / "wide.gif", wide);
  for (EncodedKind kind : {EncodedKind::Mp4, EncodedKind::WebM, EncodedKind::Webp}) {
    const std::string ext = EncodedExtension(kind);
    const ConversionOutcome damaged = Export(dir / "cut.gif", dir / ("cut." + ext), kind);
    ASSERT_TRUE(damaged.ok) << ext << ": " << damaged.Error();
    EXPECT_EQ(damaged.images, 3) << ext;
    EXPECT_EQ(damaged.damage.code, ProblemCode::Truncated) << ext;
    const ConversionOutcome text = Export(dir / "text.gif", dir / ("text." + ext), kind);
    EXPECT_EQ(text.problem.code, ProblemCode::NotGif) << ext << ": " << text.Error();
    const ConversionOutcome tooWide = Export(dir / "wide.gif", dir / ("wide." + ext), kind);
    EXPECT_EQ(tooWide.problem.code, ProblemCode::Settings) << ext;
    EXPECT_NE(tooWide.Error().find("20000 x 1"), std::string::npos) << tooWide.Error();
    const ConversionOutcome itself = Export(dir / "cut.gif", dir / "cut.gif", kind);
    EXPECT_EQ(itself.problem.code, ProblemCode::OutputIsInput) << ext;
  }
  // Nothing but the inputs and the three damaged files' outputs.
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    ++entries;
    EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
  }
  EXPECT_EQ(entries, 3u + 3u);
}

}  // namespace
}  // namespace reelmill
