#pragma once
// LZW decoding of one GIF image straight from the file's bytes, for data that
// keeps to the format: every code defined when it comes, no end code before
// the last pixel, every sub-block whole up to the terminator. It stops at the
// first thing that is not, and the image is then left to giflib, whose way
// with damage decides what a damaged file shows. Where it does not stop, the
// rows are the ones giflib would give, at about a third of the cost.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace reelmill {

class GifLzwDecoder {
 public:
  // `data` is the whole file and must outlive the decoder; `at` is the first
  // sub-block, just after the minimum code size byte.
  GifLzwDecoder(std::span<const std::uint8_t> data, std::size_t at, int minimumCodeSize, std::uint64_t pixels);
  ~GifLzwDecoder();
  GifLzwDecoder(const GifLzwDecoder&) = delete;
  GifLzwDecoder& operator=(const GifLzwDecoder&) = delete;

  // Fills `row` with the next pixels of the image. False when the data stops
  // keeping to the format, here or (on the last row) in the sub-blocks after
  // the pixels; the row is then undefined and the decoder of no further use.
  bool ReadRow(std::span<std::uint8_t> row);

 private:
  struct Table;

  bool ReadCode(int& code);
  void Reset();
  bool RestOfDataIsWhole() const;
  bool Stop();

  std::span<const std::uint8_t> data_;
  std::size_t next_;            // next unread byte of the file
  std::size_t blockLeft_ = 0;   // bytes of the current sub-block not yet read
  std::uint64_t bits_ = 0;
  int bitCount_ = 0;
  int minimumCodeSize_;
  int clear_;
  int end_;
  // These three follow giflib's own counters, so that code widths change
  // exactly where its do.
  int running_ = 0;
  int runningBits_ = 0;
  int maxCode1_ = 0;
  int nextFree_ = 0;  // first entry not yet defined
  int last_ = -1;     // previous code; -1 after a clear
  std::uint64_t pixelsLeft_;
  bool broken_ = false;
  std::unique_ptr<Table> table_;
};

}  // namespace reelmill
