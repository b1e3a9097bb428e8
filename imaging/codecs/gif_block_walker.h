#pragma once
// Walks the block structure of GIF data without decoding pictures: classifies
// and measures blocks, counts graphic blocks, and cuts each frame out as a
// stand-alone GIF (the file's header, screen descriptor and global colour
// table, the frame's own blocks, a trailer). Every read is bounds-checked; a
// block that runs past the end of the data ends the walk.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace reelmill {

enum class GifBlockKind {
  ApplicationExtension,
  CommentExtension,
  GraphicControlExtension,
  PlainTextExtension,
  ImageDescriptor,
  Trailer,
  Unrecognised,
};

// One frame cut out of the data, with what its blocks say about it.
struct AssembledGifFrame {
  std::vector<std::uint8_t> image;  // a complete single-image GIF
  int width = 0;
  int height = 0;
  int left = 0;
  int top = 0;
  int delay = -1;         // hundredths of a second; -1 without a graphic control extension that holds one
  int disposal = 0;       // 0..7
  bool hasImage = false;  // false when the frame is a plain text extension
};

// Length of the chain of sub-blocks at `position` in `data`, terminator
// included; -1 when it runs past the end.
std::int64_t SubBlockChainLength(std::span<const std::uint8_t> data, std::size_t position);

// How many times browsers play the file, as formats that count plays (WebP)
// want it: 0 for ever (a loop count of 0), the loop count of its NETSCAPE2.0
// (or ANIMEXTS1.0) extension plus the first play (at most 65535), and 1
// without one.
int GifPlayCount(std::span<const std::uint8_t> data);

class GifBlockWalker {
 public:
  // `data` must start with "GIF" and hold at least the 13-byte header and
  // screen descriptor; otherwise Valid() is false and every walk fails.
  explicit GifBlockWalker(std::span<const std::uint8_t> data);

  bool Valid() const { return valid_; }
  int ScreenWidth() const { return screenWidth_; }
  int ScreenHeight() const { return screenHeight_; }
  std::size_t GlobalTableBytes() const { return globalTableBytes_; }
  std::size_t Offset() const { return offset_; }
  // Back to the first block after the header and global colour table.
  void Rewind() { offset_ = firstBlock_; }

  GifBlockKind KindAt(std::size_t offset) const;
  // Length of the block at `offset`, or -1 for an unrecognised block or one
  // whose sub-blocks run past the end of the data.
  std::int64_t BlockLength(std::size_t offset) const;
  // Moves past the current block; false (offset unchanged) when its length is
  // not positive or it would end past the data.
  bool Advance();
  // Moves past one image (with its optional graphic control extension) or one
  // plain text extension.
  bool SkipGraphicBlock();
  // Number of graphic blocks from the first block on (the walk position moves).
  int CountGraphicBlocks();
  // Cuts out the next frame; nullopt when no frame is left.
  std::optional<AssembledGifFrame> AssembleFrame();

 private:
  bool SkipApplicationAndComments();
  std::int64_t ChainLength(std::size_t position) const { return SubBlockChainLength(data_, position); }

  std::span<const std::uint8_t> data_;
  bool valid_ = false;
  int screenWidth_ = 0;
  int screenHeight_ = 0;
  std::size_t globalTableBytes_ = 0;
  std::size_t firstBlock_ = 0;
  std::size_t offset_ = 0;
};

}  // namespace reelmill
