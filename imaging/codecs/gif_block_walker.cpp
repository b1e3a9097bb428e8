#include "imaging/codecs/gif_block_walker.h"

#include <algorithm>

#include <string_view>

#include "imaging/byte_reader.h"

namespace reelmill {

namespace {
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kApplicationLabel = 0xFF;
constexpr std::uint8_t kCommentLabel = 0xFE;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kPlainTextLabel = 0x01;
constexpr std::size_t kHeaderAndScreenBytes = 13;
constexpr std::size_t kGraphicControlFieldBytes = 4;  // packed fields, delay, transparent index

std::size_t ColourTableBytes(std::uint8_t flags) {
  return (flags & 0x80) ? 3u * (std::size_t{1} << ((flags & 7) + 1)) : 0;
}
}  // namespace

GifBlockWalker::GifBlockWalker(std::span<const std::uint8_t> data) : data_(data) {
  const ByteReader in(data_);
  if (data_.size() < kHeaderAndScreenBytes || data_[0] != 'G' || data_[1] != 'I' || data_[2] != 'F') return;
  screenWidth_ = *in.U16leAt(6);
  screenHeight_ = *in.U16leAt(8);
  globalTableBytes_ = ColourTableBytes(data_[10]);
  firstBlock_ = offset_ = kHeaderAndScreenBytes + globalTableBytes_;
  valid_ = true;
}

GifBlockKind GifBlockWalker::KindAt(std::size_t offset) const {
  const ByteReader in(data_);
  const auto first = in.U8At(offset);
  if (!first) return GifBlockKind::Unrecognised;
  if (*first == kImageSeparator) return GifBlockKind::ImageDescriptor;
  if (*first == kTrailer) return GifBlockKind::Trailer;
  if (*first != kExtensionIntroducer) return GifBlockKind::Unrecognised;
  switch (in.U8At(offset + 1).value_or(0)) {
    case kApplicationLabel: return GifBlockKind::ApplicationExtension;
    case kCommentLabel: return GifBlockKind::CommentExtension;
    case kGraphicControlLabel: return GifBlockKind::GraphicControlExtension;
    case kPlainTextLabel: return GifBlockKind::PlainTextExtension;
    default: return GifBlockKind::Unrecognised;
  }
}

std::int64_t SubBlockChainLength(std::span<const std::uint8_t> data, std::size_t position) {
  const ByteReader in(data);
  std::int64_t total = 0;
  for (;;) {
    const auto size = in.U8At(position);
    if (!size) return -1;
    if (*size == 0) return total + 1;
    total += *size + 1;
    position += *size + 1u;
  }
}

std::int64_t GifBlockWalker::BlockLength(std::size_t offset) const {
  auto withChain = [&](std::int64_t fixed) -> std::int64_t {
    const std::int64_t chain = ChainLength(offset + static_cast<std::size_t>(fixed));
    return chain < 0 ? -1 : fixed + chain;
  };
  switch (KindAt(offset)) {
    // An extension is its label and a chain of sub-blocks, whatever size its
    // first sub-block claims: giflib reads it so, and the walk must find the
    // blocks the decoder finds.
    case GifBlockKind::ApplicationExtension:
    case GifBlockKind::CommentExtension:
    case GifBlockKind::GraphicControlExtension:
    case GifBlockKind::PlainTextExtension: return withChain(2);
    case GifBlockKind::ImageDescriptor: {
      const auto flags = ByteReader(data_).U8At(offset + 9);
      if (!flags) return -1;
      return withChain(11 + static_cast<std::int64_t>(ColourTableBytes(*flags)));
    }
    case GifBlockKind::Trailer: return 1;
    case GifBlockKind::Unrecognised: return -1;
  }
  return -1;
}

bool GifBlockWalker::Advance() {
  if (!valid_) return false;
  const std::int64_t length = BlockLength(offset_);
  if (length <= 0 || static_cast<std::uint64_t>(length) > data_.size() - offset_) return false;
  offset_ += static_cast<std::size_t>(length);
  return true;
}

bool GifBlockWalker::SkipApplicationAndComments() {
  for (;;) {
    const GifBlockKind kind = KindAt(offset_);
    if (kind != GifBlockKind::ApplicationExtension && kind != GifBlockKind::CommentExtension) return true;
    if (!Advance()) return false;
  }
}

bool GifBlockWalker::SkipGraphicBlock() {
  if (!valid_ || !SkipApplicationAndComments()) return false;
  switch (KindAt(offset_)) {
    case GifBlockKind::GraphicControlExtension:
      if (!Advance()) return false;
      for (;;) {
        const GifBlockKind kind = KindAt(offset_);
        if (kind == GifBlockKind::ImageDescriptor || kind == GifBlockKind::PlainTextExtension) break;
        if (kind == GifBlockKind::Unrecognised || kind == GifBlockKind::Trailer) return false;
        if (!Advance()) return false;
      }
      return Advance();
    case GifBlockKind::ImageDescriptor:
    case GifBlockKind::PlainTextExtension: return Advance();
    default: return false;
  }
}

int GifBlockWalker::CountGraphicBlocks() {
  Rewind();
  int count = 0;
  while (SkipGraphicBlock()) ++count;
  return count;
}

std::optional<AssembledGifFrame> GifBlockWalker::AssembleFrame() {
  if (!valid_ || !SkipApplicationAndComments()) return std::nullopt;
  GifBlockKind kind = KindAt(offset_);
  if (kind == GifBlockKind::Unrecognised || kind == GifBlockKind::Trailer) return std::nullopt;

  AssembledGifFrame frame;
  const std::size_t start = offset_;
  if (BlockLength(start) <= 0) return std::nullopt;
  const ByteReader in(data_);

  if (kind == GifBlockKind::GraphicControlExtension) {
    // The decoder ignores a control whose first sub-block cannot hold its
    // fields; so does the frame table. The chain is within the data.
    if (in.U8At(start + 2).value_or(0) >= kGraphicControlFieldBytes) {
      frame.delay = in.U16leAt(start + 4).value_or(0);
      frame.disposal = (in.U8At(start + 3).value_or(0) >> 2) & 7;
    }
    if (!Advance()) return std::nullopt;
    // Everything between the control block and its image belongs to the frame.
    for (kind = KindAt(offset_); kind != GifBlockKind::ImageDescriptor; kind = KindAt(offset_)) {
      if (kind == GifBlockKind::Unrecognised || kind == GifBlockKind::Trailer) return std::nullopt;
      if (kind == GifBlockKind::PlainTextExtension) break;
      if (!Advance()) return std::nullopt;
    }
  }
  if (kind == GifBlockKind::ImageDescriptor) {
    const auto left = in.U16leAt(offset_ + 1), top = in.U16leAt(offset_ + 3);
    const auto width = in.U16leAt(offset_ + 5), height = in.U16leAt(offset_ + 7);
    if (!left || !top || !width || !height) return std::nullopt;
    frame.left = *left;
    frame.top = *top;
    frame.width = *width;
    frame.height = *height;
    frame.hasImage = true;
  }
  if (!Advance()) return std::nullopt;
  // The frame's blocks are contiguous: they run from `start` to where the walk stands.
  const auto begin = data_.begin();
  frame.image.reserve(firstBlock_ + (offset_ - start) + 1);
  frame.image.assign(begin, begin + static_cast<std::ptrdiff_t>(firstBlock_));
  frame.image.insert(frame.image.end(), begin + static_cast<std::ptrdiff_t>(start),
                     begin + static_cast<std::ptrdiff_t>(offset_));
  frame.image.push_back(kTrailer);
  return frame;
}

int GifPlayCount(std::span<const std::uint8_t> data) {
  GifBlockWalker walker(data);
  if (!walker.Valid()) return 1;
  do {
    const std::size_t at = walker.Offset();
    const GifBlockKind kind = walker.KindAt(at);
    if (kind == GifBlockKind::ImageDescriptor || kind == GifBlockKind::Trailer) break;
    if (kind != GifBlockKind::ApplicationExtension) continue;
    // 21 FF 0B, the 11-byte name, then the sub-block 03 01 <count, 16 bits>.
    ByteReader reader(data.subspan(at));
    const auto head = reader.Bytes(3);
    const auto name = reader.Bytes(11);
    const auto size = reader.U8();
    const auto id = reader.U8();
    const auto count = reader.U16le();
    if (!head || !name || !size || !id || !count || *size < 3 || *id != 1) continue;
    const std::string_view text(reinterpret_cast<const char*>(name->data()), name->size());
    if (text == "NETSCAPE2.0" || text == "ANIMEXTS1.0") return *count == 0 ? 0 : std::min(*count + 1, 65535);
  } while (walker.Advance());
  return 1;
}

}  // namespace reelmill
