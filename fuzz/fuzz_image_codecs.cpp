// Every image reader behind CodecRegistry, with a save of what loads so the
// encoders see hostile pixel data too. The first byte picks the reader (low
// three bits) and the format of the save (the next three); the rest is the
// file. What loads is a non-empty image within the pixel limit; what saves
// loads back at its size.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "fuzz/fuzz_support.h"
#include "imaging/codec_registry.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"

namespace reelmill::fuzz {
namespace {

constexpr ImageFormat kReaders[] = {ImageFormat::Bmp,  ImageFormat::Tga,  ImageFormat::Ico, ImageFormat::Png,
                                    ImageFormat::Tiff, ImageFormat::Jpeg, ImageFormat::Gif};
struct Writer {
  ImageFormat format;
  const char* extension;
};
constexpr Writer kWriters[] = {{ImageFormat::Bmp, "bmp"},  {ImageFormat::Tga, "tga"},  {ImageFormat::Png, "png"},
                               {ImageFormat::Tiff, "tif"}, {ImageFormat::Jpeg, "jpg"}, {ImageFormat::Gif, "gif"}};

constexpr std::uint64_t kMaxPixelWork = 1u << 24;
// Saves of larger images only make a run slow.
constexpr std::uint64_t kMaxSavedPixels = 1u << 22;

}  // namespace
}  // namespace reelmill::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace reelmill;
  using namespace reelmill::fuzz;
  if (size < 1) return -1;
  const ImageFormat reader = kReaders[(bytes[0] & 7) % std::size(kReaders)];
  const Writer& writer = kWriters[(bytes[0] >> 3 & 7) % std::size(kWriters)];
  const std::span<const std::uint8_t> data(bytes + 1, size - 1);
  if (reader == ImageFormat::Gif && GifPixelWork(data) > kMaxPixelWork) return -1;

  const CodecRegistry& registry = CodecRegistry::Instance();
  ImageList images;
  std::unique_ptr<ImageProperties> properties;
  const bool loaded = registry.CreateCodec(reader)->LoadMemory(data, images, properties);
  Require(loaded == !images.Empty(), "a load succeeds exactly when it gives an image");
  if (!loaded) return 0;
  for (std::size_t i = 0; i < images.Count(); ++i) {
    const PixelImage& image = images.At(i);
    Require(!image.IsEmpty() && image.Width() > 0 && image.Height() > 0 &&
                static_cast<std::uint64_t>(image.Width()) * static_cast<std::uint64_t>(image.Height()) <=
                    PixelImage::kMaxPixels,
            "a loaded image is within the pixel limit");
  }

  const PixelImage& first = images.At(0);
  if (static_cast<std::uint64_t>(first.Width()) * static_cast<std::uint64_t>(first.Height()) > kMaxSavedPixels)
    return 0;
  const std::string path = FreshFolder("save") + "image." + writer.extension;
  if (!first.Save(path, properties ? *properties : ImageProperties())) return 0;
  ImageList reloaded;
  std::unique_ptr<ImageProperties> ignored;
  Require(registry.CreateCodec(writer.format)->LoadFile(path, reloaded, ignored) && !reloaded.Empty(),
          "what saves loads back");
  Require(reloaded.At(0).Width() == first.Width() && reloaded.At(0).Height() == first.Height(),
          "what saves loads back at its size");
  return 0;
}
