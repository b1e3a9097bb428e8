#include "writers/swf/swf_movie.h"

#include <algorithm>

#include "imaging/file_io.h"
#include "writers/swf/swf_tags.h"

namespace reelmill {
namespace {

constexpr std::uint8_t kPlaceHasCharacter = 0x02;
constexpr std::uint8_t kPlaceHasMatrix = 0x04;

}  // namespace

SwfMovie::SwfMovie() = default;
SwfMovie::~SwfMovie() = default;  // an unclosed movie's temporary file is removed

int SwfMovie::Open(const std::string& path, float width, float height, int fps) {
  if (file_) return 0;
  auto file = std::make_unique<AtomicFileWriter>(path);
  if (!file->Open()) return 0;
  frame_.Set(0, 0, width, height);
  frameRate_ = static_cast<std::uint16_t>(std::max(fps, 1) % 256 * 256);
  // The length and the frame count are filled in by Close.
  const std::vector<std::uint8_t> rect = frame_.Encode();
  ByteWriter header(12 + rect.size());
  header.Bytes("FWS", 3);
  header.U8(kVersion);
  header.U32le(0);
  header.Bytes(rect);
  header.U16le(frameRate_);
  header.U16le(0);
  if (!file->Write(header.Buffer())) return 0;
  file_ = std::move(file);
  headerBytes_ = header.Size();
  tagBytes_ = 0;
  frameCount_ = 0;
  tooLarge_ = failed_ = false;
  return 1;
}

void SwfMovie::Append(const std::uint8_t* data, std::size_t size) {
  // Past the 32-bit file length the movie cannot be written; stop writing
  // rather than fill the disk with what Close will refuse anyway.
  if (!file_ || tooLarge_ || failed_) return;
  if (size > kMaxSwfTagBody - tagBytes_) {
    tooLarge_ = true;
    return;
  }
  failed_ = !file_->Write(data, size);
  tagBytes_ += size;
}

void SwfMovie::SetBackgroundColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const std::uint16_t header = ShortTagHeader(kSwfTagSetBackgroundColor, 3);
  const std::uint8_t tag[] = {static_cast<std::uint8_t>(header), static_cast<std::uint8_t>(header >> 8), red, green,
                              blue};
  Append(tag, sizeof tag);
}

void SwfMovie::ShowFrame() {
  const std::uint16_t header = ShortTagHeader(kSwfTagShowFrame, 0);
  const std::uint8_t tag[] = {static_cast<std::uint8_t>(header), static_cast<std::uint8_t>(header >> 8)};
  Append(tag, sizeof tag);
  ++frameCount_;
}

void SwfMovie::AddCharacter(SwfCharacter* character, int depth, bool place) {
  if (!character) return;
  Append(character->TagBytes());
  if (!place || character->CharacterKind() == SwfCharacter::kBitmap) return;

  const std::vector<std::uint8_t> matrix = character->PlacementMatrix().Encode();
  ByteWriter tag(matrix.size() + 11);
  tag.U16le(LongTagHeader(kSwfTagPlaceObject2));
  tag.U32le(static_cast<std::uint32_t>(matrix.size() + 5));
  tag.U8(kPlaceHasCharacter | kPlaceHasMatrix);
  tag.U16le(static_cast<std::uint16_t>(depth));
  tag.U16le(character->CharacterId());
  tag.Bytes(matrix);
  Append(tag.Buffer());
}

bool SwfMovie::Close() {
  if (!file_) return false;
  std::unique_ptr<AtomicFileWriter> file = std::move(file_);
  if (tooLarge_ || failed_) return false;  // the temporary file goes with `file`

  ByteWriter endTag(2);
  endTag.U16le(ShortTagHeader(kSwfTagEnd, 0));
  // The header, the tags and the End tag.
  ByteWriter length(4), count(2);
  length.U32le(static_cast<std::uint32_t>(headerBytes_ + tagBytes_ + endTag.Size()));
  count.U16le(frameCount_);
  return file->Write(endTag.Buffer()) && file->Overwrite(4, length.Buffer()) &&
         file->Overwrite(headerBytes_ - 2, count.Buffer()) && file->Commit();
}

}  // namespace reelmill
