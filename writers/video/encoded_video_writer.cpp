#include "writers/video/encoded_video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "imaging/file_io.h"

namespace reelmill {

namespace {

constexpr AVRational kMilliseconds{1, 1000};

// x264's "slow": with the settings below it makes H.264 smaller and closer
// to GIFs than ffmpeg's defaults on nearly every GIF measured, where
// "medium" does not; VP9 takes speed 1 at both.
constexpr char kDefaultPreset[] = "slow";

// VP9's speed for each of x264's preset names, so one --preset serves both.
// Speed 1 ("medium" and "slow") matches ffmpeg's default VP9 in size and
// fidelity on GIFs and takes less time.
int Vp9Speed(const std::string& preset) {
  static const std::pair<const char*, int> kSpeeds[] = {{"ultrafast", 6}, {"superfast", 5}, {"veryfast", 4},
                                                        {"faster", 3},    {"fast", 2},      {"medium", 1},
                                                        {"slow", 1},      {"slower", 0},    {"veryslow", 0}};
  for (const auto& [name, speed] : kSpeeds)
    if (preset == name) return speed;
  return 1;
}

}  // namespace

std::string FfmpegErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return text;
}

struct EncodedVideoWriter::State {
  explicit State(const std::string& path) : partial(path), target(path) {}
  ~State() {
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    if (format) {
      if (format->pb) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }

  AtomicFileWriter partial;  // reserves the hidden name; FFmpeg writes that path
  std::string target;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  SwsContext* sws = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  int width = 0, height = 0;                 // shown
  int codedWidth = 0, codedHeight = 0;       // encoded
  std::vector<std::uint8_t> coded;           // the frame at the coded size, BGRA
  std::map<long long, long long> durations;  // by start, until the packet comes out
  bool failed = false;

  Problem Failure(int error, const std::string& what) {
    failed = true;
    if (error == AVERROR(ENOSPC) || error == AVERROR(EROFS) || error == AVERROR(EACCES) || error == AVERROR(EIO) ||
        error == AVERROR(EDQUOT))
      return WritingProblem(AVUNERROR(error), target);
    return Refusal(ProblemCode::CannotWrite, what + ": " + FfmpegErrorText(error));
  }

  // Writes every packet the encoder has ready.
  Problem Drain() {
    for (;;) {
      int result = avcodec_receive_packet(codec, packet);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return {};
      if (result < 0) return Failure(result, "the encoder failed");
      if (const auto found = durations.find(packet->pts); found != durations.end()) {
        packet->duration = found->second;
        durations.erase(found);
      }
      if (Problem problem = Write(packet)) return problem;
    }
  }

  Problem Write(AVPacket* encoded) {
    encoded->stream_index = stream->index;
    av_packet_rescale_ts(encoded, kMilliseconds, stream->time_base);
    const int result = av_interleaved_write_frame(format, encoded);
    if (result < 0) return Failure(result, "the video could not be written");
    return {};
  }
};

EncodedVideoWriter::EncodedVideoWriter() = default;
EncodedVideoWriter::~EncodedVideoWriter() = default;

Problem EncodedVideoWriter::SizeRefusal(VideoFormat format, int width, int height) {
  const int limit = format == VideoFormat::Mp4H264 ? kMaxH264Side : kMaxVp9Side;
  if (width >= 1 && height >= 1 && width <= limit && height <= limit) return {};
  return Refusal(ProblemCode::Settings, std::string(format == VideoFormat::Mp4H264 ? "H.264" : "VP9") +
                                            " takes frames of at most " + std::to_string(limit) + " x " +
                                            std::to_string(limit) + " pixels, and these are " + std::to_string(width) +
                                            " x " + std::to_string(height));
}

bool EncodedVideoWriter::AlphaFits(int width, int height) { return height > 1 || width % 2 == 0 || width == 1; }

Problem EncodedVideoWriter::Open(const std::string& path, int width, int height, const EncodedVideoOptions& options) {
  if (Problem refused = SizeRefusal(options.format, width, height)) return refused;
  if (options.alpha && !AlphaFits(width, height))
    return Refusal(ProblemCode::Settings, "VP9 keeps no transparency in frames of " + std::to_string(width) + " x " +
                                              std::to_string(height) + " pixels");
  // The encoders' chatter is not for the user; failures come back as problems.
  av_log_set_level(AV_LOG_QUIET);
  auto state = std::make_unique<State>(path);
  State& s = *state;
  if (!s.partial.Open()) return WritingProblem(errno != 0 ? errno : EIO, path);
  const bool h264 = options.format == VideoFormat::Mp4H264;
  s.width = width;
  s.height = height;
  // 4:2:0 in H.264 needs even sides, and its headers crop in steps of two:
  // an odd side gets one more pixel, a copy of the edge.
  s.codedWidth = h264 ? (width + 1) / 2 * 2 : width;
  s.codedHeight = h264 ? (height + 1) / 2 * 2 : height;

  const std::string& file = s.partial.TempPath();
  int result = avformat_alloc_output_context2(&s.format, nullptr, h264 ? "mp4" : "webm", file.c_str());
  if (result < 0) return s.Failure(result, "no muxer");
  const AVCodec* encoder = avcodec_find_encoder_by_name(h264 ? "libx264" : "libvpx-vp9");
  if (!encoder)
    return Refusal(ProblemCode::CannotWrite, std::string("FFmpeg has no ") + (h264 ? "libx264" : "libvpx-vp9"));
  s.codec = avcodec_alloc_context3(encoder);
  AVCodecContext* c = s.codec;
  c->width = s.codedWidth;
  c->height = s.codedHeight;
  c->pix_fmt = options.alpha && !h264 ? AV_PIX_FMT_YUVA420P : AV_PIX_FMT_YUV420P;
  c->time_base = kMilliseconds;
  c->sample_aspect_ratio = AVRational{1, 1};
  c->color_range = AVCOL_RANGE_MPEG;
  // BT.601's matrix keeps more of a GIF's colour detail in the full-size
  // luma plane than BT.709's: measured, 4:2:0 loses 0.3 to 0.7 dB less.
  c->colorspace = AVCOL_SPC_SMPTE170M;
  c->color_primaries = AVCOL_PRI_BT709;
  c->color_trc = AVCOL_TRC_IEC61966_2_1;  // GIF colours are sRGB
  // x264 keeps its cores busiest with half as many frame threads again as
  // cores (its own rule when left to choose): a long GIF on two cores
  // encodes some 5 % faster than on two threads.
  c->thread_count = h264 && options.threads > 1 ? options.threads * 3 / 2 : options.threads;
  if (s.format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const std::string preset = options.preset.empty() ? kDefaultPreset : options.preset;
  if (h264) {
    av_opt_set(c->priv_data, "preset", preset.c_str(), 0);
    av_opt_set_double(c->priv_data, "crf", options.crf >= 0 ? options.crf : 23, 0);
    // Tuned on GIFs (flat colours, text, dithering) against x264's own
    // defaults: psychovisual trellis off and a lighter psychovisual RD keep
    // the GIF's exact colours, stronger deblocking its flat areas; together
    // smaller files that decode closer to the GIF.
    av_opt_set(c->priv_data, "x264-params", "psy-rd=0.3,0:deblock=1,1", 0);
  } else {
    c->bit_rate = 0;  // constant quality
    av_opt_set_int(c->priv_data, "crf", options.crf >= 0 ? options.crf : 32, 0);
    av_opt_set(c->priv_data, "deadline", "good", 0);
    av_opt_set_int(c->priv_data, "cpu-used", Vp9Speed(preset), 0);
    av_opt_set_int(c->priv_data, "row-mt", 1, 0);
  }
  if ((result = avcodec_open2(c, encoder, nullptr)) < 0) return s.Failure(result, "the encoder refused its settings");

  s.stream = avformat_new_stream(s.format, nullptr);
  if (!s.stream) return s.Failure(AVERROR(ENOMEM), "no stream");
  s.stream->time_base = kMilliseconds;
  avcodec_parameters_from_context(s.stream->codecpar, c);
  if (options.alpha && !h264) av_dict_set(&s.stream->metadata, "alpha_mode", "1", 0);

  if ((result = avio_open(&s.format->pb, file.c_str(), AVIO_FLAG_WRITE)) < 0) return s.Failure(result, "cannot create");
  AVDictionary* muxing = nullptr;
  // The index first, so the video plays while it downloads.
  if (h264) av_dict_set(&muxing, "movflags", "+faststart", 0);
  result = avformat_write_header(s.format, &muxing);
  av_dict_free(&muxing);
  if (result < 0) return s.Failure(result, "the header could not be written");

  // Chroma averaged over each pixel's area: of the filters measured on GIFs
  // (bicubic, bilinear, point), the closest after decoding, most of all on
  // dithered pictures.
  const int swsFlags = SWS_AREA | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP;
  s.sws = sws_getContext(s.codedWidth, s.codedHeight, AV_PIX_FMT_BGRA, s.codedWidth, s.codedHeight, c->pix_fmt,
                         swsFlags, nullptr, nullptr, nullptr);
  if (!s.sws) return Refusal(ProblemCode::CannotWrite, "no colour conversion");
  // Full-range RGB in, BT.601 limited range out, as the stream is tagged.
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(s.sws, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
  s.frame = av_frame_alloc();
  s.packet = av_packet_alloc();
  if (!s.frame || !s.packet) return s.Failure(AVERROR(ENOMEM), "no memory");
  s.frame->format = c->pix_fmt;
  s.frame->width = s.codedWidth;
  s.frame->height = s.codedHeight;
  if ((result = av_frame_get_buffer(s.frame, 0)) < 0) return s.Failure(result, "no memory");
  s.coded.resize(static_cast<std::size_t>(s.codedWidth) * static_cast<std::size_t>(s.codedHeight) * 4);
  state_ = std::move(state);
  return {};
}

Problem EncodedVideoWriter::Add(const VideoFrame& frame) {
  if (!state_ || state_->failed) return Refusal(ProblemCode::CannotWrite, "the video is not open");
  State& s = *state_;
  if (frame.width != s.width || frame.height != s.height || !frame.pixels)
    return Refusal(ProblemCode::CannotWrite, "a frame changed size");
  // Rows top down at the coded size, the extra column and row repeating the
  // edge so nothing smears into the picture.
  const std::size_t row = static_cast<std::size_t>(s.codedWidth) * 4;
  for (int y = 0; y < s.codedHeight; ++y) {
    const std::uint8_t* from = frame.pixels + std::min(y, s.height - 1) * frame.stride;
    std::uint8_t* to = s.coded.data() + static_cast<std::size_t>(y) * row;
    std::memcpy(to, from, static_cast<std::size_t>(s.width) * 4);
    if (s.codedWidth > s.width) std::memcpy(to + s.width * 4, from + (s.width - 1) * 4, 4);
  }
  int result = av_frame_make_writable(s.frame);
  if (result < 0) return s.Failure(result, "no memory");
  const std::uint8_t* planes[1] = {s.coded.data()};
  const int strides[1] = {static_cast<int>(row)};
  sws_scale(s.sws, planes, strides, 0, s.codedHeight, s.frame->data, s.frame->linesize);
  s.frame->pts = frame.startMs;
  s.durations[frame.startMs] = std::max(1LL, frame.durationMs);
  if ((result = avcodec_send_frame(s.codec, s.frame)) < 0) return s.Failure(result, "the encoder failed");
  return s.Drain();
}

Problem EncodedVideoWriter::Close() {
  if (!state_ || state_->failed) return Refusal(ProblemCode::CannotWrite, "the video is not open");
  std::unique_ptr<State> state = std::move(state_);
  State& s = *state;
  int result = avcodec_send_frame(s.codec, nullptr);
  if (result < 0) return s.Failure(result, "the encoder failed");
  if (Problem problem = s.Drain()) return problem;
  if ((result = av_write_trailer(s.format)) < 0) return s.Failure(result, "the index could not be written");
  if ((result = avio_closep(&s.format->pb)) < 0) return s.Failure(result, "the video could not be written");
  if (!s.partial.Commit()) return WritingProblem(errno != 0 ? errno : EIO, s.target);
  return {};
}

}  // namespace reelmill
