#include "imaging/image_codec.h"

#include "imaging/file_io.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"

namespace reelmill {

bool ImageCodec::LoadFile(const std::string& path, ImageList& out, std::unique_ptr<ImageProperties>& outProperties) {
  const auto bytes = ReadFileBytes(path, kMaxWholeFileBytes);
  if (!bytes || bytes->empty()) return false;
  return LoadMemory(*bytes, out, outProperties);
}

bool ImageCodec::LoadMemory(std::span<const std::uint8_t>, ImageList&, std::unique_ptr<ImageProperties>&) {
  return false;
}

bool ImageCodec::SaveFile(const std::string&, std::span<const PixelImage* const>, const ImageProperties&) {
  return false;
}

}  // namespace reelmill
