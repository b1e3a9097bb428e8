// MP4, WebM and animated WebP from any input: a file either converts, or
// fails with a reason and leaves nothing; a converted file is read back by
// the demuxers players use and holds what the GIF's timing promises (each
// frame for its played time, one play long, a still at least 100 ms, or k
// frames at a constant rate, the last one ending with the play) and its
// play count. Pictures are scaled small so each run stays fast; the
// encoders' own limits are the unit tests'.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}
#include <webp/demux.h>

#include "engine/encoded_export.h"
#include "engine/real_timing.h"
#include "fuzz/fuzz_support.h"
#include "imaging/codecs/gif_block_walker.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/file_io.h"

namespace reelmill::fuzz {
namespace {

constexpr std::uint64_t kMaxPixelWork = 1u << 18;
constexpr std::size_t kMaxGifFrames = 48;
constexpr long long kMaxOutputFrames = 240;

struct ReadBack {
  long long frames = 0;
  long long durationMs = 0;
  int loopCount = -1;  // WebP only
};

// Packets of the video stream and the length the container gives, as a
// player's demuxer sees them. WebM leaves a block's duration to the next
// block and the segment's; MP4 gives each sample its own, which must add up.
ReadBack ReadVideo(const std::string& path, bool durations) {
  AVFormatContext* context = nullptr;
  Require(avformat_open_input(&context, path.c_str(), nullptr, nullptr) == 0, "the video opens");
  Require(avformat_find_stream_info(context, nullptr) >= 0 && context->nb_streams == 1, "one stream");
  const AVRational base = context->streams[0]->time_base;
  ReadBack back;
  long long first = -1, end = 0;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(context, packet) >= 0) {
    Require(packet->pts != AV_NOPTS_VALUE, "every frame has a time");
    Require(!durations || packet->duration > 0, "every frame has a duration");
    const long long startMs = av_rescale_q(packet->pts, base, AVRational{1, 1000});
    const long long endMs = av_rescale_q(packet->pts + packet->duration, base, AVRational{1, 1000});
    first = first < 0 ? startMs : std::min(first, startMs);
    end = std::max(end, endMs);
    ++back.frames;
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  back.durationMs = av_rescale(context->duration, 1000, AV_TIME_BASE);
  avformat_close_input(&context);
  Require(first == 0, "the first frame shows at once");
  Require(!durations || end == back.durationMs, "the frames' durations add up to the file's");
  return back;
}

ReadBack ReadWebp(const std::string& path) {
  const auto bytes = ReadFileBytes(path);
  Require(bytes.has_value(), "the WebP reads back");
  const WebPData data{bytes->data(), bytes->size()};
  WebPDemuxer* demux = WebPDemux(&data);
  Require(demux != nullptr, "the WebP demuxes");
  ReadBack back;
  back.loopCount = static_cast<int>(WebPDemuxGetI(demux, WEBP_FF_LOOP_COUNT));
  WebPIterator frame;
  if (WebPDemuxGetFrame(demux, 1, &frame)) {
    do {
      ++back.frames;
      back.durationMs += frame.duration;
    } while (WebPDemuxNextFrame(&frame));
    WebPDemuxReleaseIterator(&frame);
  }
  WebPDemuxDelete(demux);
  return back;
}

EncodedExportOptions OptionsFor(std::span<const std::uint8_t> data, bool smallScreen) {
  std::uint32_t hash = 2166136261u;
  for (const std::uint8_t b : data) hash = (hash ^ b) * 16777619u;
  static constexpr EncodedKind kKinds[] = {EncodedKind::Mp4, EncodedKind::WebM, EncodedKind::Webp, EncodedKind::Mp4};
  static constexpr int kRates[] = {0, 0, 7, 25};
  static constexpr int kSizes[][2] = {{0, 0}, {17, 9}, {2, 2}, {33, 1}};
  EncodedExportOptions options;
  options.kind = kKinds[hash & 3];
  options.fps = kRates[(hash >> 2) & 3];
  const auto* size = kSizes[(hash >> 4) & 3];
  // The GIF's own size only where it is small; else a small declared size.
  options.width = size[0] == 0 && !smallScreen ? 16 : size[0];
  options.height = size[0] == 0 && !smallScreen ? 16 : size[1];
  options.quality = ((hash >> 6) & 1) ? 50 : -1;
  options.preset = "ultrafast";
  options.threads = 1;
  return options;
}

}  // namespace
}  // namespace reelmill::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace reelmill;
  using namespace reelmill::fuzz;
  static const bool quiet = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)quiet;
  const std::span<const std::uint8_t> data(bytes, size);
  if (GifPixelWork(data) > kMaxPixelWork) return -1;

  // What the GIF promises, from the window's decoder: each frame's delay.
  std::vector<int> delays;
  GifDecoder(GifCodec::kMaxDecodedBytes).DecodeEach(data, [&](const PixelImage&, int delay) {
    delays.push_back(delay);
    return delays.size() <= kMaxGifFrames;
  });
  if (delays.size() > kMaxGifFrames) return -1;
  long long playMs = 0;
  for (const int delay : delays) playMs += PlayedDurationMs(delay);
  if (delays.size() == 1) playMs = std::max(playMs, 100LL);

  GifBlockWalker walker(data);
  const bool smallScreen = walker.Valid() && walker.ScreenWidth() <= 48 && walker.ScreenHeight() <= 48;
  const EncodedExportOptions options = OptionsFor(data, smallScreen);
  if (options.fps > 0 && FramesShowing(0, playMs, options.fps) > kMaxOutputFrames) return -1;

  const std::string folder = FreshFolder("encoded");
  const std::string gif = folder + "clip.gif";
  const std::string output = folder + "clip." + EncodedExtension(options.kind);
  Require(WriteFileBytes(gif, data), "the input is written");
  const ConversionOutcome outcome = ExportEncoded(gif, output, options);

  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++entries;
  Require(entries == (outcome.ok ? 2u : 1u), "a conversion leaves its output and nothing else; a failure nothing");
  if (!outcome.ok) {
    Require(!outcome.Error().empty(), "a failure says why");
    // A screen grown past the codec's limit by its first image is refused.
    Require(delays.empty() || outcome.problem.code == ProblemCode::Settings,
            "a GIF whose frames the window shows converts");
    return 0;
  }
  Require(outcome.images == static_cast<int>(delays.size()), "every frame the window shows is converted");

  const ReadBack back =
      options.kind == EncodedKind::Webp ? ReadWebp(output) : ReadVideo(output, options.kind == EncodedKind::Mp4);
  // libwebp folds a frame that changes nothing into the one before it.
  const bool folds = options.kind == EncodedKind::Webp;
  Require(folds ? back.frames <= outcome.frames : back.frames == outcome.frames, "the file holds the frames written");
  // One frame makes a still WebP, which has neither time nor loops.
  const bool still = folds && back.frames == 1 && back.durationMs == 0;
  if (options.fps == 0) {
    Require(outcome.frames == static_cast<long long>(delays.size()), "one output frame per GIF frame");
    Require(still || back.durationMs == playMs, "the output lasts one play of the GIF");
  } else {
    Require(outcome.frames == std::max(1LL, FramesShowing(0, playMs, options.fps)), "k frames at the rate asked");
    Require(still || back.durationMs == playMs, "the last frame ends with the GIF's play");
  }
  if (folds && !still) Require(back.loopCount == GifPlayCount(data), "the GIF's play count");
  return 0;
}
