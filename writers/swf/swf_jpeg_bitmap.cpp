#include "writers/swf/swf_jpeg_bitmap.h"

#include "imaging/byte_writer.h"
#include "imaging/file_io.h"
#include "writers/swf/swf_tags.h"

namespace reelmill {
namespace {

// Players of the early movie versions expect this tag's data to begin with
// an end-of-image and a start-of-image marker before the picture.
constexpr std::uint8_t kEmptyTables[] = {0xFF, 0xD9, 0xFF, 0xD8};
constexpr std::uint8_t kEndOfImage[] = {0xFF, 0xD9};

// The tag of a JPEG of at most kMaxWholeFileBytes, well inside its 32-bit
// length; empty for no JPEG.
std::vector<std::uint8_t> BitsJpeg2Tag(std::uint16_t id, std::span<const std::uint8_t> jpeg) {
  if (jpeg.empty() || jpeg.size() > kMaxWholeFileBytes) return {};
  ByteWriter tag(jpeg.size() + 14);
  tag.U16le(LongTagHeader(kSwfTagDefineBitsJpeg2));
  tag.U32le(static_cast<std::uint32_t>(jpeg.size() + 8));
  tag.U16le(id);
  tag.Bytes(kEmptyTables, sizeof kEmptyTables);
  tag.Bytes(jpeg.data(), jpeg.size());
  tag.Bytes(kEndOfImage, sizeof kEndOfImage);
  return tag.Take();
}

}  // namespace

SwfJpegBitmap::SwfJpegBitmap(std::uint16_t id, const std::string& path) : SwfCharacter(kBitmap, id, 0) {
  if (const auto jpeg = ReadFileBytes(path)) tagData_ = BitsJpeg2Tag(id, *jpeg);
}

SwfJpegBitmap::SwfJpegBitmap(std::uint16_t id, std::span<const std::uint8_t> jpeg) : SwfCharacter(kBitmap, id, 0) {
  tagData_ = BitsJpeg2Tag(id, jpeg);
}

}  // namespace reelmill
