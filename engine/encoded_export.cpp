#include "engine/encoded_export.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <variant>

#include "engine/input_guard.h"
#include "engine/real_timing.h"
#include "engine/recorded_frame.h"
#include "engine/scale_image.h"
#include "imaging/codecs/animated_gif_control.h"
#include "imaging/codecs/gif_block_walker.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/file_io.h"
#include "writers/video/encoded_video_writer.h"
#include "writers/webp/animated_webp_writer.h"

namespace reelmill {

namespace {

// The shortest time a frame of a still shows, as the window's steps.
constexpr int kShortestStillMs = 100;

// The encoders behind one interface: open, add, close.
class Encoder {
 public:
  Problem Open(const std::string& path, int width, int height, const EncodedExportOptions& options, bool alpha,
               int loopCount) {
    if (options.kind == EncodedKind::Webp) {
      AnimatedWebpOptions webp;
      webp.quality = options.quality < 100 ? options.quality : -1;  // 100: lossless
      webp.loopCount = loopCount;
      webp.threads = options.threads;
      return writer_.emplace<AnimatedWebpWriter>().Open(path, width, height, webp);
    }
    EncodedVideoOptions video;
    video.format = options.kind == EncodedKind::Mp4 ? VideoFormat::Mp4H264 : VideoFormat::WebMVp9;
    video.crf = options.crf;
    // A quality as the window's slider gives it: 100 is the default crf,
    // each step below a little smaller, 10 near each encoder's worst.
    if (video.crf < 0 && options.quality > 0 && options.quality < 100)
      video.crf = options.kind == EncodedKind::Mp4 ? 23 + (100 - options.quality) * 3 / 10
                                                   : 32 + (100 - options.quality) * 31 / 90;
    video.preset = options.preset;
    video.alpha = alpha;
    video.threads = options.threads;
    return writer_.emplace<EncodedVideoWriter>().Open(path, width, height, video);
  }
  Problem Add(const VideoFrame& frame) {
    return std::visit(
        [&](auto& w) -> Problem {
          if constexpr (std::is_same_v<std::decay_t<decltype(w)>, std::monostate>)
            return {};
          else
            return w.Add(frame);
        },
        writer_);
  }
  Problem Close() {
    return std::visit(
        [&](auto& w) -> Problem {
          if constexpr (std::is_same_v<std::decay_t<decltype(w)>, std::monostate>)
            return {};
          else
            return w.Close();
        },
        writer_);
  }

 private:
  std::variant<std::monostate, AnimatedWebpWriter, EncodedVideoWriter> writer_;
};

Problem SizeRefusal(EncodedKind kind, int width, int height) {
  if (kind == EncodedKind::Webp) return AnimatedWebpWriter::SizeRefusal(width, height);
  return EncodedVideoWriter::SizeRefusal(kind == EncodedKind::Mp4 ? VideoFormat::Mp4H264 : VideoFormat::WebMVp9, width,
                                         height);
}

// Whether any frame shows a pixel that is not opaque: a WebM then keeps an
// alpha plane. A quick pass of the decoder, nothing kept.
bool ShowsTransparency(std::span<const std::uint8_t> data) {
  bool transparent = false;
  GifDecoder(GifCodec::kMaxDecodedBytes).DecodeEach(data, [&](const PixelImage& frame, int) {
    if (frame.BitCount() == 8) {
      // A still: transparent where its pixels use an entry of alpha 0.
      const auto palette = frame.Palette();
      for (int y = 0; y < frame.Height() && !transparent; ++y)
        for (int x = 0; x < frame.Width() && !transparent; ++x) transparent = palette[frame.Row(y)[x]].reserved != 255;
    } else {
      for (int y = 0; y < frame.Height() && !transparent; ++y)
        for (int x = 0; x < frame.Width() && !transparent; ++x) transparent = frame.Row(y)[x * 4 + 3] != 255;
    }
    return !transparent;
  });
  return transparent;
}

// `frame` as 32-bit BGRA with straight alpha: a still's palette gives its
// transparent entry alpha 0.
void ToBgra(const PixelImage& frame, PixelImage& out) {
  if (out.Width() != frame.Width() || out.Height() != frame.Height() || out.BitCount() != 32)
    out.Create(frame.Width(), frame.Height(), 32);
  if (frame.BitCount() == 32) {
    for (int y = 0; y < frame.Height(); ++y)
      std::memcpy(out.Row(y), frame.Row(y), static_cast<std::size_t>(frame.Width()) * 4);
    return;
  }
  if (frame.BitCount() == 8) {
    const auto palette = frame.Palette();
    for (int y = 0; y < frame.Height(); ++y) {
      const std::uint8_t* in = frame.Row(y);
      std::uint8_t* p = out.Row(y);
      for (int x = 0; x < frame.Width(); ++x, p += 4) {
        const PaletteEntry& entry = palette[in[x]];
        p[0] = entry.blue, p[1] = entry.green, p[2] = entry.red, p[3] = entry.reserved;
      }
    }
    return;
  }
  const PixelImage colour = ToTrueColour(frame);  // 24 bits
  for (int y = 0; y < colour.Height(); ++y) {
    const std::uint8_t* in = colour.Row(y);
    std::uint8_t* p = out.Row(y);
    for (int x = 0; x < colour.Width(); ++x, p += 4, in += 3) p[0] = in[0], p[1] = in[1], p[2] = in[2], p[3] = 255;
  }
}

// `frame` as 32-bit BGRA at the output size, over `background` when the
// output keeps no alpha.
const PixelImage& Prepared(const PixelImage& frame, const EncodedExportOptions& options, bool keepAlpha,
                           PixelImage& scratch, Problem& problem) {
  ToBgra(frame, scratch);
  if (NeedsScaling(frame, options.width, options.height)) {
    ScaleImage(scratch, options.width, options.height);
    if (scratch.Width() != options.width || scratch.Height() != options.height) {
      problem = Refusal(ProblemCode::OverMemory, "a frame could not be scaled to " + std::to_string(options.width) +
                                                     " x " + std::to_string(options.height));
      return frame;
    }
  }
  // WebP keeps its pixels as they are; a WebM with alpha keeps the alpha
  // but shows the background where a player ignores it.
  if (keepAlpha && options.kind == EncodedKind::Webp) return scratch;
  const int red = options.background >> 16 & 0xFF, green = options.background >> 8 & 0xFF,
            blue = options.background & 0xFF;
  for (int y = 0; y < scratch.Height(); ++y) {
    std::uint8_t* p = scratch.Row(y);
    for (int x = 0; x < scratch.Width(); ++x, p += 4) {
      const int a = p[3];
      if (a == 255) continue;
      if (keepAlpha) {
        if (a == 0)
          p[0] = static_cast<std::uint8_t>(blue), p[1] = static_cast<std::uint8_t>(green),
          p[2] = static_cast<std::uint8_t>(red);
        continue;
      }
      p[0] = static_cast<std::uint8_t>((p[0] * a + blue * (255 - a) + 127) / 255);
      p[1] = static_cast<std::uint8_t>((p[1] * a + green * (255 - a) + 127) / 255);
      p[2] = static_cast<std::uint8_t>((p[2] * a + red * (255 - a) + 127) / 255);
      p[3] = 255;
    }
  }
  return scratch;
}

}  // namespace

std::optional<EncodedKind> EncodedKindOf(std::string_view outputKind) {
  if (outputKind == kOutputMp4) return EncodedKind::Mp4;
  if (outputKind == kOutputWebm) return EncodedKind::WebM;
  if (outputKind == kOutputWebp) return EncodedKind::Webp;
  return std::nullopt;
}

EncodedExportOptions EncodedOptionsFrom(const ConversionSettings& settings, EncodedKind kind) {
  EncodedExportOptions options;
  options.kind = kind;
  options.width = settings.width;
  options.height = settings.height;
  if (settings.quality < 100) options.quality = std::clamp(settings.quality, 10, 100);
  return options;
}

const char* EncodedExtension(EncodedKind kind) {
  switch (kind) {
    case EncodedKind::Mp4: return "mp4";
    case EncodedKind::WebM: return "webm";
    case EncodedKind::Webp: return "webp";
  }
  return "mp4";
}

JobMemory EncodedMemory(int width, int height, const EncodedExportOptions& options) {
  const bool scaling = options.width > 0 && options.height > 0;
  const std::uint64_t outputPixels = static_cast<std::uint64_t>(scaling ? options.width : width) *
                                     static_cast<std::uint64_t>(scaling ? options.height : height);
  const std::uint64_t framePixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  // The encoders keep frames to look ahead: x264 some 60 at its default
  // presets, libvpx 25, libwebp the previous canvas and its candidates.
  const std::uint64_t lookAhead = options.kind == EncodedKind::Mp4    ? 64 * outputPixels * 3 / 2
                                  : options.kind == EncodedKind::WebM ? 32 * outputPixels * 5 / 2
                                                                      : 6 * outputPixels * 4;
  JobMemory memory;
  memory.base = GifDecoder::WorkingBytes(width, height) + lookAhead;
  // A true-colour copy, the scaled one, and the writer's own rows.
  memory.oneThread = framePixels * 4 + outputPixels * 8;
  memory.perThread = memory.oneThread;
  return memory;
}

ConversionOutcome ExportEncoded(const std::string& gifPath, const std::string& outputPath,
                                const EncodedExportOptions& options) {
  ConversionOutcome outcome;
  outcome.outputPath = outputPath;
  if (const std::string why = OutputReplacesInputReason(outputPath, gifPath); !why.empty()) {
    outcome.problem = Refusal(ProblemCode::OutputIsInput, why);
    return outcome;
  }
  Problem unreadable;
  const auto data = ReadFileBytes(gifPath, kMaxWholeFileBytes, &unreadable);
  if (!data) {
    outcome.problem = unreadable;
    return outcome;
  }
  GifFrameCursor cursor(*data, GifCodec::kMaxDecodedBytes);
  int delay = 0;
  const PixelImage* frame = cursor.Next(&delay);
  if (!frame) {
    outcome.problem = cursor.Ending() ? cursor.Ending() : ProblemOf(ProblemCode::NoImage);
    return outcome;
  }
  const bool scaling = NeedsScaling(*frame, options.width, options.height);
  const int width = scaling ? options.width : frame->Width();
  const int height = scaling ? options.height : frame->Height();
  if ((outcome.problem = SizeRefusal(options.kind, width, height))) return outcome;
  // WebP keeps transparency always, WebM when the GIF shows any (and the
  // encoder can), MP4 never; what is not kept shows the background.
  const bool keepAlpha =
      options.kind == EncodedKind::Webp ||
      (options.kind == EncodedKind::WebM && ShowsTransparency(*data) && EncodedVideoWriter::AlphaFits(width, height));
  Encoder encoder;
  if ((outcome.problem = encoder.Open(outputPath, width, height, options, keepAlpha, GifPlayCount(*data))))
    return outcome;

  PixelImage scratch;
  long long playedMs = 0;  // of the GIF
  long long outputFrames = 0;
  // At a constant rate the last frame ends with the GIF's play, so it waits
  // here until it is known to be the last.
  PixelImage pending;
  VideoFrame pendingFrame{};
  for (; frame; frame = cursor.Next(&delay)) {
    if (options.cancel && options.cancel->load()) {
      outcome.cancelled = true;
      return outcome;  // the encoder's partial file goes with it
    }
    // A still shows for its own time, at least one step.
    const long long ms = cursor.Finished() && outcome.images == 0
                             ? std::max<long long>(kShortestStillMs, PlayedDurationMs(delay))
                             : PlayedDurationMs(delay);
    const PixelImage& ready = Prepared(*frame, options, keepAlpha, scratch, outcome.problem);
    if (outcome.problem) return outcome;
    VideoFrame video{
        ready.Row(0), -static_cast<std::ptrdiff_t>(ready.Stride()), ready.Width(), ready.Height(), playedMs, ms};
    if (options.fps > 0) {
      // Constant rate: output frame k shows what the GIF shows at k / fps
      // (frame 0 always catches the GIF's first frame).
      const long long repeats = FramesShowing(playedMs, playedMs + ms, options.fps);
      if (repeats > 0 && pendingFrame.pixels) outcome.problem = encoder.Add(pendingFrame);
      for (long long k = 0; k < repeats && !outcome.problem; ++k, ++outputFrames) {
        video.startMs = outputFrames * 1000 / options.fps;
        video.durationMs = (outputFrames + 1) * 1000 / options.fps - video.startMs;
        if (k + 1 < repeats) {
          outcome.problem = encoder.Add(video);
        } else {
          pending = ready;
          pendingFrame = VideoFrame{pending.Row(0),  -static_cast<std::ptrdiff_t>(pending.Stride()),
                                    pending.Width(), pending.Height(),
                                    video.startMs,   video.durationMs};
        }
      }
    } else {
      outcome.problem = encoder.Add(video);
      ++outputFrames;
    }
    if (outcome.problem) return outcome;
    playedMs += ms;
    ++outcome.images;
    if (options.imagesDone) options.imagesDone->store(outcome.images);
  }
  if (pendingFrame.pixels) {
    pendingFrame.durationMs = std::max(1LL, playedMs - pendingFrame.startMs);
    if ((outcome.problem = encoder.Add(pendingFrame))) return outcome;
  }
  if ((outcome.problem = encoder.Close())) return outcome;
  outcome.ok = true;
  outcome.frames = outputFrames;
  outcome.damage = cursor.Ending();
  outcome.imagesAnnounced = AnnouncedFrameCount(*data);
  return outcome;
}

}  // namespace reelmill
