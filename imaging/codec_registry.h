#pragma once
// Maps file paths to format codes by extension and creates codecs.

#include <memory>
#include <string>
#include <string_view>

#include "imaging/image_codec.h"

namespace reelmill {

enum class ImageFormat : int {
  Unknown = 0,
  Bmp = 1,
  Pcx = 2,
  Jpeg = 3,
  Gif = 4,
  Tga = 5,
  Tiff = 6,
  Png = 7,
  Psd = 8,
  Ico = 9,
  Xpm = 10,
  Native = 11,
};

class CodecRegistry {
 public:
  // The process-wide registry (thread-safe first use).
  static CodecRegistry& Instance();

  // The text after the last '.' anywhere in the path, lower-cased, looked up
  // in the format table; no '.' or no match gives Unknown. A '.' in a folder
  // name counts when the file name has none ("dir.b/file" gives Unknown).
  ImageFormat FormatFromPath(std::string_view path) const;
  // A new codec for the format, or nullptr when the format has none.
  std::unique_ptr<ImageCodec> CreateCodec(ImageFormat format) const;

 private:
  CodecRegistry() = default;
};

}  // namespace reelmill
