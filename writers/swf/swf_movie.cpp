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
  file_ = std::move(file);
  frame_.Set(0, 0, width, height);
  frameRate_ = static_cast<std::uint16_t>(std::max(fps, 1) % 256 * 256);
  return 1;
}

void SwfMovie::Append(const std::uint8_t* data, std::size_t size) {
  // Past the 32-bit file length the movie cannot be written; stop collecting
  // rather than hold gigabytes that Close will refuse anyway.
  if (tooLarge_ || size > kMaxSwfTagBody - tags_.Size()) {
    tooLarge_ = true;
    return;
  }
  tags_.Bytes(data, size);
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
  if (tooLarge_) return false;  // the temporary file goes with `file`

  const std::vector<std::uint8_t> rect = frame_.Encode();
  const std::uint16_t end = ShortTagHeader(kSwfTagEnd, 0);
  ByteWriter header(12 + rect.size());
  header.Bytes("FWS", 3);
  header.U8(kVersion);
  // Signature and version, length, rectangle, rate and count, tags, End tag.
  header.U32le(static_cast<std::uint32_t>(4 + 4 + rect.size() + 4 + tags_.Size() + 2));
  header.Bytes(rect);
  header.U16le(frameRate_);
  header.U16le(frameCount_);

  ByteWriter endTag(2);
  endTag.U16le(end);
  return file->Write(header.Buffer()) && file->Write(tags_.Buffer()) && file->Write(endTag.Buffer()) &&
         file->Commit();
}

}  // namespace reelmill
