#pragma once
// The one place that talks to giflib's decoder. It walks the records of a GIF
// held in memory and hands out plain records (screen, image headers with their
// graphic control, rows of indices) and our own error codes; no giflib type
// or error number gets past it.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "imaging/byte_reader.h"
#include "imaging/codecs/gif_compositor.h"
#include "imaging/codecs/gif_lzw.h"
#include "imaging/problem.h"

namespace reelmill {

enum class GifError {
  None,
  NotGif,     // no "GIF" signature
  Truncated,  // the data ends inside a record
  Corrupt,    // a record or the compressed data is malformed
  NoMemory,
  NoTrailer,  // the data ends after a whole record, without the trailer
};

const char* GifErrorName(GifError error);

// The problem `error` is for the image (from 0) being read, -1 for the
// file's header; no problem for None and NoTrailer, which end the images
// the way the trailer does.
Problem GifProblem(GifError error, long long image);

// The logical screen descriptor and global colour table.
struct GifScreen {
  int width = 0;
  int height = 0;
  int backgroundIndex = 0;
  std::vector<GifColor> colors;  // empty: no global table
};

// One image descriptor with the graphic control extension that preceded it.
struct GifImageHeader {
  GifRect rect;
  bool interlaced = false;
  std::vector<GifColor> localColors;  // empty: the image uses the global table
  bool hasControl = false;
  int disposalCode = 0;
  int delayCentiseconds = 0;
  int transparentIndex = -1;  // -1: none
};

// Who decodes the pixel data: our own LZW loop with giflib taking over any
// image whose data does not keep to the format, or giflib alone (the
// reference the loop is tested against).
enum class GifPixelDecoding { Fast, LibraryOnly };

class GifReader final {
 public:
  // `data` must outlive the reader.
  explicit GifReader(std::span<const std::uint8_t> data, GifPixelDecoding decoding = GifPixelDecoding::Fast);
  ~GifReader();
  GifReader(const GifReader&) = delete;
  GifReader& operator=(const GifReader&) = delete;

  // Reads the signature, the screen descriptor and the global colour table.
  bool Open();
  const GifScreen& Screen() const { return screen_; }

  // Moves to the next image, reading the extensions before it. False at the
  // trailer (Error() is None), where the data ends between records
  // (NoTrailer), or on damaged data (Error() says why). Data of
  // the previous image that was not read is passed over.
  bool NextImage(GifImageHeader& image);
  // The next row of the current image, in stream order (an interlaced image
  // delivers its passes one after the other). `row` holds the image's width.
  bool ReadRow(std::span<std::uint8_t> row);
  // Passes over the compressed data of the current image without decoding it.
  bool SkipImageData();

  GifError Error() const { return error_; }

 private:
  struct Handle;

  bool Fail(GifError error);
  bool FailFromLibrary();
  bool ReadExtension(GifImageHeader& pending);

  bool ReadRowFast(std::span<std::uint8_t> row);

  std::span<const std::uint8_t> data_;
  GifPixelDecoding decoding_;
  ByteReader input_;
  std::unique_ptr<Handle> handle_;
  std::unique_ptr<GifLzwDecoder> fast_;  // kept from image to image
  bool fastActive_ = false;              // the current image is being read by it
  GifScreen screen_;
  GifError error_ = GifError::None;
  int rowsLeft_ = 0;
  int rowWidth_ = 0;
  bool dataPending_ = false;  // compressed data of the current image not yet passed
};

}  // namespace reelmill
