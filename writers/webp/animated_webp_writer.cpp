#include "writers/webp/animated_webp_writer.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

#include "imaging/file_io.h"

namespace reelmill {

struct AnimatedWebpWriter::State {
  ~State() {
    if (encoder) WebPAnimEncoderDelete(encoder);
  }
  std::string path;
  WebPAnimEncoder* encoder = nullptr;
  WebPConfig config{};
  int width = 0, height = 0;
  long long endMs = 0;
  std::vector<std::uint8_t> rows;  // the frame top down, BGRA
};

AnimatedWebpWriter::AnimatedWebpWriter() = default;
AnimatedWebpWriter::~AnimatedWebpWriter() = default;

Problem AnimatedWebpWriter::SizeRefusal(int width, int height) {
  if (width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide) return {};
  return Refusal(ProblemCode::Settings, "WebP takes frames of at most 16383 x 16383 pixels, and these are " +
                                            std::to_string(width) + " x " + std::to_string(height));
}

Problem AnimatedWebpWriter::Open(const std::string& path, int width, int height, const AnimatedWebpOptions& options) {
  if (Problem refused = SizeRefusal(width, height)) return refused;
  auto state = std::make_unique<State>();
  state->path = path;
  state->width = width;
  state->height = height;
  WebPAnimEncoderOptions animation;
  if (!WebPAnimEncoderOptionsInit(&animation)) return Refusal(ProblemCode::CannotWrite, "libwebp does not match");
  animation.anim_params.loop_count = options.loopCount;
  animation.anim_params.bgcolor = 0x00000000;  // transparent, as a GIF's first canvas
  state->encoder = WebPAnimEncoderNew(width, height, &animation);
  if (!state->encoder || !WebPConfigInit(&state->config))
    return Refusal(ProblemCode::OverMemory, "libwebp could not start an animation");
  WebPConfig& config = state->config;
  config.lossless = options.quality < 0 ? 1 : 0;
  config.quality = options.quality < 0 ? 75.0f : static_cast<float>(options.quality);
  config.method = options.method;
  config.thread_level = options.threads > 1 ? 1 : 0;
  if (!WebPValidateConfig(&config)) return Refusal(ProblemCode::Settings, "libwebp refused the settings");
  state->rows.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  state_ = std::move(state);
  return {};
}

Problem AnimatedWebpWriter::Add(const VideoFrame& frame) {
  if (!state_) return Refusal(ProblemCode::CannotWrite, "the animation is not open");
  State& s = *state_;
  if (frame.width != s.width || frame.height != s.height || !frame.pixels)
    return Refusal(ProblemCode::CannotWrite, "a frame changed size");
  const std::size_t row = static_cast<std::size_t>(s.width) * 4;
  for (int y = 0; y < s.height; ++y) std::memcpy(s.rows.data() + y * row, frame.pixels + y * frame.stride, row);
  WebPPicture picture;
  if (!WebPPictureInit(&picture)) return Refusal(ProblemCode::CannotWrite, "libwebp does not match");
  picture.use_argb = 1;
  picture.width = s.width;
  picture.height = s.height;
  const bool imported = WebPPictureImportBGRA(&picture, s.rows.data(), static_cast<int>(row));
  const bool added = imported && WebPAnimEncoderAdd(s.encoder, &picture, static_cast<int>(frame.startMs), &s.config);
  WebPPictureFree(&picture);
  if (!added)
    return Refusal(ProblemCode::CannotWrite, std::string("libwebp failed: ") + WebPAnimEncoderGetError(s.encoder));
  s.endMs = frame.startMs + frame.durationMs;
  return {};
}

Problem AnimatedWebpWriter::Close() {
  if (!state_) return Refusal(ProblemCode::CannotWrite, "the animation is not open");
  std::unique_ptr<State> state = std::move(state_);
  // The end's time gives the last frame its duration.
  WebPData assembled;
  WebPDataInit(&assembled);
  if (!WebPAnimEncoderAdd(state->encoder, nullptr, static_cast<int>(state->endMs), nullptr) ||
      !WebPAnimEncoderAssemble(state->encoder, &assembled))
    return Refusal(ProblemCode::CannotWrite, std::string("libwebp failed: ") + WebPAnimEncoderGetError(state->encoder));
  errno = 0;
  const bool written = WriteFileAtomically(state->path, std::span<const std::uint8_t>(assembled.bytes, assembled.size));
  WebPDataClear(&assembled);
  if (!written) return WritingProblem(errno != 0 ? errno : EIO, state->path);
  return {};
}

}  // namespace reelmill
