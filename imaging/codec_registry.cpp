#include "imaging/codec_registry.h"

#include <array>
#include <string>

#include "imaging/codecs/bmp_codec.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/ico_codec.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/codecs/png_codec.h"
#include "imaging/codecs/tga_codec.h"
#include "imaging/codecs/tiff_codec.h"

namespace reelmill {

namespace {

struct ExtensionEntry {
  std::string_view extension;
  ImageFormat format;
};

constexpr std::array<ExtensionEntry, 12> kExtensions{{
    {"bmp", ImageFormat::Bmp},
    {"pcx", ImageFormat::Pcx},
    {"jpg", ImageFormat::Jpeg},
    {"jpeg", ImageFormat::Jpeg},
    {"gif", ImageFormat::Gif},
    {"tga", ImageFormat::Tga},
    {"tif", ImageFormat::Tiff},
    {"tiff", ImageFormat::Tiff},
    {"png", ImageFormat::Png},
    {"psd", ImageFormat::Psd},
    {"ico", ImageFormat::Ico},
    {"xpm", ImageFormat::Xpm},
}};

}  // namespace

CodecRegistry& CodecRegistry::Instance() {
  static CodecRegistry registry;
  return registry;
}

ImageFormat CodecRegistry::FormatFromPath(std::string_view path) const {
  const auto dot = path.rfind('.');
  if (dot == std::string_view::npos) return ImageFormat::Unknown;
  std::string extension(path.substr(dot + 1));
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (const auto& entry : kExtensions) {
    if (entry.extension == extension) return entry.format;
  }
  return ImageFormat::Unknown;
}

std::unique_ptr<ImageCodec> CodecRegistry::CreateCodec(ImageFormat format) const {
  switch (format) {
    case ImageFormat::Bmp: return std::make_unique<BmpCodec>();
    case ImageFormat::Jpeg: return std::make_unique<JpegCodec>();
    case ImageFormat::Gif: return std::make_unique<GifCodec>();
    case ImageFormat::Tga: return std::make_unique<TgaCodec>();
    case ImageFormat::Tiff: return std::make_unique<TiffCodec>();
    case ImageFormat::Png: return std::make_unique<PngCodec>();
    case ImageFormat::Ico: return std::make_unique<IcoCodec>();
    default: return nullptr;
  }
}

}  // namespace reelmill
