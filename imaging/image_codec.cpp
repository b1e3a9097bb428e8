#include "imaging/image_codec.h"

#include "imaging/file_io.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"

namespace reelmill {

bool ImageCodec::LoadFile(const std::string& path, ImageList& out, std::unique_ptr<ImageProperties>& outProperties) {
  loadProblem_ = {};
  const auto bytes = ReadFileBytes(path, kMaxWholeFileBytes, &loadProblem_);
  if (!bytes) return false;
  if (LoadMemory(*bytes, out, outProperties)) return true;
  // Codecs that cannot tell why leave it at damaged data.
  if (!loadProblem_) loadProblem_ = ProblemOf(ProblemCode::BadData);
  return false;
}

bool ImageCodec::LoadMemory(std::span<const std::uint8_t>, ImageList&, std::unique_ptr<ImageProperties>&) {
  return false;
}

bool ImageCodec::SaveFile(const std::string&, std::span<const PixelImage* const>, const ImageProperties&) {
  return false;
}

}  // namespace reelmill
