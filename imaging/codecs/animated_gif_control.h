#pragma once
// Splits GIF data into its frames with the block walker and decodes each
// frame, cut out as a stand-alone GIF, with our GIF codec. Yields the frame
// table (picture, size, position, delay, disposal) from which the frame
// recorder takes the delays. Data that is not a GIF, and a GIF with one
// image, is held as one still picture. The animation part (drawing surface,
// thread, painting) does not exist here.

#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/pixel_image.h"

namespace reelmill {

struct GifFrameRecord {
  std::unique_ptr<PixelImage> picture;  // the frame decoded on its own
  int width = 0;
  int height = 0;
  int left = 0;
  int top = 0;
  int delay = -1;  // hundredths of a second; -1 without a graphic control extension
  int disposal = 0;
};

// Whether a load decodes every frame's picture or only describes the frames.
enum class FramePictures {
  Decode,
  // The frame table comes from the block walk alone: frames whose stand-alone
  // image our decoder would refuse for its shape (no image, an empty or
  // oversized screen) are left out as Decode leaves them out, but damaged
  // pixel data goes unnoticed. Pictures stay null; a still is not decoded.
  Describe,
  // The table Decode gives, every frame decoded on its own to see that it
  // decodes, but no picture kept: memory stays at one frame.
  Check,
};

// The frames a file's blocks announce: the entries of its described table, at
// least 1 (a still, or no GIF). Counted as the walk goes, so a file of
// millions of frames costs no table.
int AnnouncedFrameCount(std::span<const std::uint8_t> data);

class AnimatedGifControl {
 public:
  // Loads a file; true when a frame table or a still picture is ready.
  bool LoadPictureFile(const std::string& path, FramePictures pictures = FramePictures::Decode);
  // Parses a block of data (copied where kept). The table stops after
  // `maxEntries` entries (frames left out before that are still counted).
  bool LoadPictureData(std::span<const std::uint8_t> data, FramePictures pictures = FramePictures::Decode,
                       int maxEntries = std::numeric_limits<int>::max());
  void Unload();

  // Graphic blocks the walk found in the last GIF loaded.
  int GraphicBlocks() const { return graphicBlocks_; }
  // Frames of the last load left out of the table.
  int FramesLeftOut() const { return framesLeftOut_; }
  // Entries of the frame table (FrameCount() is 0 below two).
  int TableSize() const { return static_cast<int>(frames_.size()); }

  // Frames when the data is a GIF with two or more decodable frames, else 0.
  int FrameCount() const;
  const GifFrameRecord& Frame(int i) const { return frames_[static_cast<std::size_t>(i)]; }
  const PixelImage* StillPicture() const { return stillPicture_.get(); }
  bool IsGif() const { return isGif_; }
  // Logical screen size (GIF) or picture size in pixels (other data).
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  bool LoadStill(std::span<const std::uint8_t> data);

  std::vector<GifFrameRecord> frames_;
  std::unique_ptr<PixelImage> stillPicture_;
  int width_ = 0;
  int height_ = 0;
  int graphicBlocks_ = 0;
  int framesLeftOut_ = 0;
  bool isGif_ = false;
};

}  // namespace reelmill
