#pragma once
// LZW decoding of one GIF image straight from the file's bytes, for data that
// keeps to the format: every code defined when it comes, no end code before
// the last pixel, every sub-block whole up to the terminator. It stops at the
// first thing that is not, and the image is then left to giflib, whose way
// with damage decides what a damaged file shows. Where it does not stop, the
// rows are the ones giflib would give, at a fraction of the cost.
//
// The image is decoded whole before its first row goes out, so that each
// string is copied from where it appeared before instead of being walked
// back code by code. Images of more than kMaxPixels are left to giflib.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "imaging/byte_reader.h"

namespace reelmill {

class GifLzwDecoder {
 public:
  static constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 22;

  GifLzwDecoder();
  ~GifLzwDecoder();
  GifLzwDecoder(const GifLzwDecoder&) = delete;
  GifLzwDecoder& operator=(const GifLzwDecoder&) = delete;

  // Starts on an image: `data` is the whole file and must outlive the
  // decoding; `at` is the first sub-block, just after the minimum code size
  // byte. The buffers are kept from one image to the next.
  void Start(std::span<const std::uint8_t> data, std::size_t at, int minimumCodeSize, std::uint64_t pixels);
  // Whether the current image is still ours: false once it has stopped.
  bool Active() const { return !broken_; }

  // Fills `row` with the next pixels of the image. False when the data does
  // not keep to the format (found on the first row, before any row goes out),
  // or when more pixels are asked for than the image has; the decoder is then
  // of no further use.
  bool ReadRow(std::span<std::uint8_t> row);

 private:
  struct Table;

  bool DecodeImage();
  bool ReadCode(int& code);
  void Reset();
  bool Stop();

  ByteReader input_{{}};                 // at the sub-block after the current one
  std::span<const std::uint8_t> block_;  // the current sub-block
  std::size_t blockAt_ = 0;              // its next unread byte
  std::uint64_t bits_ = 0;
  int bitCount_ = 0;
  int minimumCodeSize_ = 0;
  int clear_ = 0;
  int end_ = 0;
  // These three follow giflib's own counters, so that code widths change
  // exactly where its do.
  int running_ = 0;
  int runningBits_ = 0;
  int maxCode1_ = 0;
  int nextFree_ = 0;  // first entry not yet defined
  int last_ = -1;     // previous code; -1 after a clear
  std::size_t pixels_ = 0;
  std::size_t delivered_ = 0;
  bool decoded_ = false;
  bool broken_ = true;
  std::unique_ptr<Table> table_;
  // The decoded indices, and room for a string to run past the last one.
  std::unique_ptr<std::uint8_t[]> image_;
  std::size_t imageCapacity_ = 0;
};

}  // namespace reelmill
