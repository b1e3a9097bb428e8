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

}  // namespace

SwfJpegBitmap::SwfJpegBitmap(std::uint16_t id, const std::string& path) : SwfCharacter(kBitmap, id, 0) {
  // Read with the whole-file limit, well inside the tag's 32-bit length.
  const auto jpeg = ReadFileBytes(path);
  if (!jpeg) return;
  ByteWriter tag(jpeg->size() + 14);
  tag.U16le(LongTagHeader(kSwfTagDefineBitsJpeg2));
  tag.U32le(static_cast<std::uint32_t>(jpeg->size() + 8));
  tag.U16le(id);
  tag.Bytes(kEmptyTables, sizeof kEmptyTables);
  tag.Bytes(*jpeg);
  tag.Bytes(kEndOfImage, sizeof kEndOfImage);
  tagData_ = tag.Take();
}

}  // namespace reelmill
