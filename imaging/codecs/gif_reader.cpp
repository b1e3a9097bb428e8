#include "imaging/codecs/gif_reader.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

namespace reelmill {

namespace {

constexpr int kGraphicControlLabel = GRAPHICS_EXT_FUNC_CODE;  // 0xF9

// giflib pulls its input through this; it never gets more than the span holds.
int ReadInput(GifFileType* gif, GifByteType* buffer, int length) {
  auto* input = static_cast<ByteReader*>(gif->UserData);
  if (input == nullptr || buffer == nullptr || length <= 0) return 0;
  const std::size_t count = std::min(static_cast<std::size_t>(length), input->Remaining());
  const auto bytes = input->Bytes(count);
  if (!bytes || count == 0) return 0;
  std::memcpy(buffer, bytes->data(), count);
  return static_cast<int>(count);
}

std::vector<GifColor> ColorsOf(const ColorMapObject* map) {
  std::vector<GifColor> colors;
  if (map == nullptr || map->Colors == nullptr || map->ColorCount <= 0) return colors;
  colors.reserve(static_cast<std::size_t>(map->ColorCount));
  for (int i = 0; i < map->ColorCount; ++i) {
    colors.push_back(GifColor{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
  }
  return colors;
}

// The graphic control extension's one sub-block: packed fields, delay,
// transparent index. A block too short to hold them is ignored, as if absent.
void ParseGraphicControl(std::span<const std::uint8_t> block, GifImageHeader& pending) {
  ByteReader reader(block);
  const auto packed = reader.U8();
  const auto delay = reader.U16le();
  const auto transparent = reader.U8();
  if (!packed || !delay || !transparent) return;
  pending.hasControl = true;
  pending.disposalCode = (*packed >> 2) & 0x07;
  pending.delayCentiseconds = *delay;
  pending.transparentIndex = (*packed & 0x01) != 0 ? *transparent : -1;
}

}  // namespace

const char* GifErrorName(GifError error) {
  switch (error) {
    case GifError::None: return "no error";
    case GifError::NotGif: return "not a GIF file";
    case GifError::Truncated: return "truncated GIF data";
    case GifError::Corrupt: return "corrupt GIF data";
    case GifError::NoMemory: return "out of memory";
    case GifError::NoTrailer: return "no trailer";
  }
  return "unknown error";
}

Problem GifProblem(GifError error, long long image) {
  Problem problem;
  problem.frame = image;
  switch (error) {
    case GifError::None:
    case GifError::NoTrailer: return Problem{};
    case GifError::NotGif: problem.code = ProblemCode::NotGif; break;
    case GifError::Truncated: problem.code = ProblemCode::Truncated; break;
    case GifError::Corrupt: problem.code = ProblemCode::BadData; break;
    case GifError::NoMemory: problem.code = ProblemCode::OverMemory; break;
  }
  return problem;
}

struct GifReader::Handle {
  GifFileType* gif = nullptr;
  ~Handle() {
    int ignored = 0;
    if (gif != nullptr) DGifCloseFile(gif, &ignored);
  }
};

GifReader::GifReader(std::span<const std::uint8_t> data, GifPixelDecoding decoding)
    : data_(data), decoding_(decoding), input_(data) {}

GifReader::~GifReader() = default;

bool GifReader::Fail(GifError error) {
  error_ = error;
  rowsLeft_ = 0;
  fastActive_ = false;
  handle_.reset();  // nothing more is read after an error
  return false;
}

bool GifReader::FailFromLibrary() {
  const int code = handle_ ? handle_->gif->Error : 0;
  switch (code) {
    case D_GIF_ERR_NOT_GIF_FILE: return Fail(GifError::NotGif);
    case D_GIF_ERR_NOT_ENOUGH_MEM: return Fail(GifError::NoMemory);
    default:
      // Some giflib paths fail without a code; a read that found the data
      // exhausted is truncation, anything else is damage.
      return Fail(input_.AtEnd() ? GifError::Truncated : GifError::Corrupt);
  }
}

bool GifReader::Open() {
  if (handle_ || error_ != GifError::None) return false;
  // Data that does not begin as a GIF begins is no GIF, however short.
  static constexpr char kSignature[] = "GIF8";
  const std::size_t checked = std::min<std::size_t>(data_.size(), 4);
  if (data_.empty() || std::memcmp(data_.data(), kSignature, checked) != 0) return Fail(GifError::NotGif);
  int code = 0;
  GifFileType* gif = DGifOpen(&input_, ReadInput, &code);
  if (gif == nullptr) {
    if (code == D_GIF_ERR_NOT_GIF_FILE) return Fail(GifError::NotGif);
    if (code == D_GIF_ERR_NOT_ENOUGH_MEM) return Fail(GifError::NoMemory);
    return Fail(input_.AtEnd() ? GifError::Truncated : GifError::Corrupt);
  }
  handle_ = std::make_unique<Handle>();
  handle_->gif = gif;
  screen_.width = gif->SWidth;
  screen_.height = gif->SHeight;
  screen_.backgroundIndex = gif->SBackGroundColor;
  screen_.colors = ColorsOf(gif->SColorMap);
  return true;
}

bool GifReader::NextImage(GifImageHeader& image) {
  if (!handle_) return false;
  if (dataPending_ && !SkipImageData()) return false;
  GifFileType* gif = handle_->gif;
  GifImageHeader pending;
  for (;;) {
    // Many files end after their last image without the trailer; nothing
    // of them is lost.
    if (input_.AtEnd()) return Fail(GifError::NoTrailer);
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return FailFromLibrary();
    switch (type) {
      case IMAGE_DESC_RECORD_TYPE:
        if (DGifGetImageDesc(gif) == GIF_ERROR) return FailFromLibrary();
        // giflib records every descriptor it reads, with a copy of its colour
        // table, for its whole-file reader. Read image by image, that record
        // only grows: a file of millions of tiny images would cost several
        // times its size.
        GifFreeSavedImages(gif);
        gif->ImageCount = 0;
        pending.rect = GifRect{gif->Image.Left, gif->Image.Top, gif->Image.Width, gif->Image.Height};
        pending.interlaced = gif->Image.Interlace;
        pending.localColors = ColorsOf(gif->Image.ColorMap);
        rowsLeft_ = pending.rect.Empty() ? 0 : pending.rect.height;
        rowWidth_ = pending.rect.width;
        dataPending_ = true;
        // giflib has read up to the minimum code size byte and no further.
        fastActive_ = false;
        if (decoding_ == GifPixelDecoding::Fast && rowsLeft_ > 0 && input_.Offset() > 0) {
          const std::size_t at = input_.Offset();
          if (!fast_) fast_ = std::make_unique<GifLzwDecoder>();
          fast_->Start(data_, at, data_[at - 1],
                       static_cast<std::uint64_t>(rowWidth_) * static_cast<std::uint64_t>(rowsLeft_));
          fastActive_ = fast_->Active();
        }
        image = std::move(pending);
        return true;
      case EXTENSION_RECORD_TYPE:
        if (!ReadExtension(pending)) return false;
        break;
      case TERMINATE_RECORD_TYPE: handle_.reset(); return false;
      default: return Fail(GifError::Corrupt);
    }
  }
}

bool GifReader::ReadExtension(GifImageHeader& pending) {
  GifFileType* gif = handle_->gif;
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return FailFromLibrary();
  bool first = true;
  while (block != nullptr) {
    // giflib hands out each sub-block with its length byte in front.
    if (first && code == kGraphicControlLabel) ParseGraphicControl({block + 1, block[0]}, pending);
    first = false;
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return FailFromLibrary();
  }
  return true;
}

bool GifReader::ReadRow(std::span<std::uint8_t> row) {
  if (!handle_ || rowsLeft_ <= 0 || row.size() < static_cast<std::size_t>(rowWidth_)) return Fail(GifError::Corrupt);
  if (fastActive_) return ReadRowFast(row.first(static_cast<std::size_t>(rowWidth_)));
  if (DGifGetLine(handle_->gif, row.data(), rowWidth_) == GIF_ERROR) return FailFromLibrary();
  // After the last row giflib has already passed the rest of the image data.
  if (--rowsLeft_ == 0) dataPending_ = false;
  return true;
}

bool GifReader::ReadRowFast(std::span<std::uint8_t> row) {
  if (fast_->ReadRow(row)) {
    if (--rowsLeft_ > 0) return true;
    // giflib has not read the data; it passes it now, as it would have.
    fastActive_ = false;
    return SkipImageData();
  }
  // The data does not keep to the format, which is found before any row
  // goes out: giflib decodes the image.
  fastActive_ = false;
  if (DGifGetLine(handle_->gif, row.data(), rowWidth_) == GIF_ERROR) return FailFromLibrary();
  if (--rowsLeft_ == 0) dataPending_ = false;
  return true;
}

bool GifReader::SkipImageData() {
  if (!handle_) return false;
  if (!dataPending_) return true;
  GifByteType* block = nullptr;
  // The code size byte went with the image descriptor; what follows are
  // sub-blocks up to the empty one.
  do {
    if (DGifGetCodeNext(handle_->gif, &block) == GIF_ERROR) return FailFromLibrary();
  } while (block != nullptr);
  rowsLeft_ = 0;
  dataPending_ = false;
  fastActive_ = false;
  return true;
}

}  // namespace reelmill
