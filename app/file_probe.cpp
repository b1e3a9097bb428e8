#include "app/file_probe.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "imaging/codec_registry.h"
#include "imaging/codecs/animated_gif_control.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/codecs/gif_reader.h"
#include "imaging/file_io.h"
#include "imaging/image_list.h"

namespace reelmill {

namespace {

// The frames as the window streams them: one at a time, none kept, so a
// file counts however many large frames it has.
FileProbe MeasureGif(const std::vector<std::uint8_t>& bytes) {
  FileProbe probe;
  const bool decoded = GifDecoder(GifCodec::kMaxDecodedBytes).DecodeEach(bytes, [&](const PixelImage& frame, int) {
    if (probe.count++ == 0) {
      probe.width = frame.Width();
      probe.height = frame.Height();
    }
    return true;
  });
  return decoded ? probe : FileProbe{};
}

FileProbe DecodeWhole(const std::string& path) {
  FrameSet frames;
  if (!frames.Load(path) || frames.Count() == 0) return {};
  const PixelImage* first = frames.Frame(0);
  return {static_cast<int>(frames.Count()), first->Width(), first->Height()};
}

bool IsGifPath(const std::string& path) { return CodecRegistry::Instance().FormatFromPath(path) == ImageFormat::Gif; }

}  // namespace

FileProbe QuickProbe(const std::string& path) {
  if (!IsGifPath(path)) return DecodeWhole(path);
  const auto bytes = ReadFileBytes(path, kMaxWholeFileBytes);
  if (!bytes) return {};
  GifReader reader(*bytes);
  GifImageHeader first;
  if (!reader.Open() || !reader.NextImage(first)) return {};
  // The screen grows to hold the first image, as the decoder draws it.
  const int width = std::max(reader.Screen().width, first.rect.Right());
  const int height = std::max(reader.Screen().height, first.rect.Bottom());
  if (width <= 0 || height <= 0) return {};
  return {AnnouncedFrameCount(*bytes), width, height};
}

FileProbe ProbeFile(const std::string& path) {
  if (!IsGifPath(path)) return DecodeWhole(path);
  const auto bytes = ReadFileBytes(path, kMaxWholeFileBytes);
  return bytes ? MeasureGif(*bytes) : FileProbe{};
}

FileProbe ProbeCache::Probe(const std::string& path) {
  if (!IsGifPath(path)) return DecodeWhole(path);
  const auto bytes = ReadFileBytes(path, kMaxWholeFileBytes);
  if (!bytes || bytes->empty()) return {};
  const Key key{bytes->size(), std::hash<std::string_view>{}(
                                   std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()))};
  {
    std::lock_guard lock(mutex_);
    if (auto found = known_.find(key); found != known_.end()) return found->second;
  }
  const FileProbe probe = MeasureGif(*bytes);
  std::lock_guard lock(mutex_);
  known_.emplace(key, probe);
  return probe;
}

std::size_t ProbeCache::Size() const {
  std::lock_guard lock(mutex_);
  return known_.size();
}

}  // namespace reelmill
