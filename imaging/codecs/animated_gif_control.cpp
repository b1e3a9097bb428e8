#include "imaging/codecs/animated_gif_control.h"

#include <algorithm>

#include "imaging/codec_registry.h"
#include "imaging/codecs/gif_block_walker.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/file_io.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"

namespace reelmill {

namespace {

// Picks a decoder for still data by its leading bytes.
ImageFormat SniffFormat(std::span<const std::uint8_t> data) {
  auto startsWith = [&](std::initializer_list<std::uint8_t> magic) {
    if (data.size() < magic.size()) return false;
    std::size_t i = 0;
    for (std::uint8_t b : magic)
      if (data[i++] != b) return false;
    return true;
  };
  if (startsWith({'G', 'I', 'F'})) return ImageFormat::Gif;
  if (startsWith({0xFF, 0xD8, 0xFF})) return ImageFormat::Jpeg;
  if (startsWith({0x89, 'P', 'N', 'G'})) return ImageFormat::Png;
  if (startsWith({'B', 'M'})) return ImageFormat::Bmp;
  if (startsWith({'I', 'I', 42, 0}) || startsWith({'M', 'M', 0, 42})) return ImageFormat::Tiff;
  if (startsWith({0, 0, 1, 0})) return ImageFormat::Ico;
  return ImageFormat::Unknown;
}

std::unique_ptr<PixelImage> DecodeFirst(ImageFormat format, std::span<const std::uint8_t> data) {
  auto codec = CodecRegistry::Instance().CreateCodec(format);
  if (!codec) return nullptr;
  ImageList images;
  std::unique_ptr<ImageProperties> properties;
  if (!codec->LoadMemory(data, images, properties) || images.Empty()) return nullptr;
  auto all = images.TakeAll();
  return std::move(all.front());
}

// Whether our decoder accepts the shape of a frame's stand-alone image: it
// needs an image, and the screen, grown to hold that image, must be neither
// empty nor above the pixel limit.
bool StandAloneShapeDecodes(const AssembledGifFrame& frame, int screenWidth, int screenHeight) {
  if (!frame.hasImage) return false;
  const auto withinLimit = [](std::int64_t w, std::int64_t h) {
    return static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) <= PixelImage::kMaxPixels;
  };
  const std::int64_t width = std::max<std::int64_t>(screenWidth, frame.left + frame.width);
  const std::int64_t height = std::max<std::int64_t>(screenHeight, frame.top + frame.height);
  return width > 0 && height > 0 && withinLimit(width, height) && withinLimit(frame.width, frame.height);
}

// Whether a stand-alone frame decodes, as DecodeFirst would decode it, with
// nothing kept but the decoder's own canvas.
bool DecodesAlone(std::span<const std::uint8_t> image) {
  return !image.empty() &&
         GifDecoder(GifCodec::kMaxDecodedBytes).DecodeEach(image, [](const PixelImage&, int) { return true; });
}

}  // namespace

bool AnimatedGifControl::LoadPictureFile(const std::string& path, FramePictures pictures) {
  Unload();
  const auto data = ReadFileBytes(path);
  return data && LoadPictureData(*data, pictures);
}

int AnnouncedFrameCount(std::span<const std::uint8_t> data) {
  GifBlockWalker walker(data);  // not valid for data that is no GIF
  if (!walker.Valid() || walker.CountGraphicBlocks() <= 1) return 1;
  walker.Rewind();
  int frames = 0;
  while (auto assembled = walker.AssembleFrame())
    if (StandAloneShapeDecodes(*assembled, walker.ScreenWidth(), walker.ScreenHeight())) ++frames;
  return std::max(frames, 1);
}

bool AnimatedGifControl::LoadPictureData(std::span<const std::uint8_t> data, FramePictures pictures, int maxEntries) {
  Unload();
  GifBlockWalker walker(data);
  if (data.size() < 3 || data[0] != 'G' || data[1] != 'I' || data[2] != 'F') return LoadStill(data);
  isGif_ = true;
  if (!walker.Valid()) return false;
  width_ = walker.ScreenWidth();
  height_ = walker.ScreenHeight();

  graphicBlocks_ = walker.CountGraphicBlocks();
  if (graphicBlocks_ == 0) return false;
  if (graphicBlocks_ == 1) {
    if (pictures != FramePictures::Decode) return true;
    stillPicture_ = DecodeFirst(ImageFormat::Gif, data);
    return stillPicture_ != nullptr;
  }

  walker.Rewind();
  while (static_cast<int>(frames_.size()) < maxEntries) {
    auto assembled = walker.AssembleFrame();
    if (!assembled) break;
    // A frame that does not decode on its own is left out of the table.
    std::unique_ptr<PixelImage> picture;
    bool usable = false;
    switch (pictures) {
      case FramePictures::Decode:
        picture = DecodeFirst(ImageFormat::Gif, assembled->image);
        usable = picture != nullptr;
        break;
      case FramePictures::Describe: usable = StandAloneShapeDecodes(*assembled, width_, height_); break;
      case FramePictures::Check: usable = DecodesAlone(assembled->image); break;
    }
    if (!usable) {
      ++framesLeftOut_;
      continue;
    }
    frames_.push_back(GifFrameRecord{std::move(picture), assembled->width, assembled->height, assembled->left,
                                     assembled->top, assembled->delay, assembled->disposal});
  }
  return !frames_.empty();
}

bool AnimatedGifControl::LoadStill(std::span<const std::uint8_t> data) {
  stillPicture_ = DecodeFirst(SniffFormat(data), data);
  if (!stillPicture_) return false;
  width_ = stillPicture_->Width();
  height_ = stillPicture_->Height();
  return true;
}

void AnimatedGifControl::Unload() {
  frames_.clear();
  stillPicture_.reset();
  width_ = height_ = 0;
  graphicBlocks_ = framesLeftOut_ = 0;
  isGif_ = false;
}

int AnimatedGifControl::FrameCount() const {
  return isGif_ && frames_.size() > 1 ? static_cast<int>(frames_.size()) : 0;
}

}  // namespace reelmill
