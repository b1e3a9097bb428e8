#include "imaging/codecs/gif_codec.h"

#include "imaging/codecs/gif_decoder.h"
#include "imaging/codecs/gif_encoder.h"
#include "imaging/codecs/gif_writer.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/paths.h"

namespace reelmill {

namespace {

constexpr int kDelayDigits = 16;
constexpr int kMillisecondsPerCentisecond = 10;

}  // namespace

bool GifCodec::LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                          std::unique_ptr<ImageProperties>& outProperties) {
  GifDecoder decoder(maxDecodedBytes_);
  GifDecoder::Result result;
  const bool decoded = decoder.Decode(data, result);
  loadProblem_ = decoder.Ending();
  if (!decoded) return false;

  std::string delays;
  delays.reserve(result.delaysCentiseconds.size() * kDelayDigits);
  for (const int delay : result.delaysCentiseconds) {
    delays += ZeroPadded(static_cast<long long>(delay) * kMillisecondsPerCentisecond, kDelayDigits);
  }
  auto properties = std::make_unique<ImageProperties>();
  properties->Set(FrameDelaysKey, delays);
  for (auto& frame : result.frames) out.Append(std::move(frame));
  outProperties = std::move(properties);
  return true;
}

bool GifCodec::SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                        const ImageProperties& /*properties: GIF takes no save options*/) {
  if (images.empty() || images.front() == nullptr || images.front()->IsEmpty()) return false;
  const PixelImage& image = *images.front();
  // Refused before any colour work: GIF sizes are 16-bit.
  if (image.Width() > kMaxGifDimension || image.Height() > kMaxGifDimension) return false;
  const auto indexed = ToGifIndexed(image);
  return indexed && WriteGifFile(path, *indexed);
}

}  // namespace reelmill
