#include "imaging/codecs/gif_lzw.h"

namespace reelmill {

namespace {
constexpr int kCodes = 4096;  // 12-bit codes
constexpr int kMaxBits = 12;
}  // namespace

struct GifLzwDecoder::Table {
  std::uint16_t prefix[kCodes];
  std::uint16_t length[kCodes];
  std::uint8_t suffix[kCodes];
  std::uint8_t first[kCodes];
  // What is left of a string that did not fit its row, in order.
  std::uint8_t pending[kCodes];
  int pendingAt = 0;
  int pendingEnd = 0;
};

GifLzwDecoder::GifLzwDecoder(std::span<const std::uint8_t> data, std::size_t at, int minimumCodeSize,
                             std::uint64_t pixels)
    : data_(data),
      next_(at),
      minimumCodeSize_(minimumCodeSize),
      clear_(1 << (minimumCodeSize & 15)),
      end_(clear_ + 1),
      pixelsLeft_(pixels),
      table_(new Table) {
  // giflib takes smaller sizes in its own way; they are left to it.
  broken_ = minimumCodeSize < 2 || minimumCodeSize > 8 || at > data.size();
  if (broken_) return;
  Table& t = *table_;
  for (int i = 0; i < clear_; ++i) {
    t.suffix[i] = static_cast<std::uint8_t>(i);
    t.first[i] = static_cast<std::uint8_t>(i);
    t.length[i] = 1;
  }
  Reset();
}

GifLzwDecoder::~GifLzwDecoder() = default;

void GifLzwDecoder::Reset() {
  running_ = end_ + 1;
  runningBits_ = minimumCodeSize_ + 1;
  maxCode1_ = 1 << runningBits_;
  nextFree_ = end_ + 1;
  last_ = -1;
}

// Bytes are taken one at a time, and a sub-block is opened only when a bit
// of it is needed, so that a damaged block after the last code needed is
// judged where giflib judges it.
bool GifLzwDecoder::ReadCode(int& code) {
  while (bitCount_ < runningBits_) {
    if (blockLeft_ == 0) {
      if (next_ >= data_.size()) return false;
      const std::size_t length = data_[next_];
      if (length == 0 || length > data_.size() - next_ - 1) return false;
      ++next_;
      blockLeft_ = length;
    }
    bits_ |= std::uint64_t{data_[next_++]} << bitCount_;
    --blockLeft_;
    bitCount_ += 8;
  }
  code = static_cast<int>(bits_ & ((std::uint64_t{1} << runningBits_) - 1));
  bits_ >>= runningBits_;
  bitCount_ -= runningBits_;
  if (running_ < kCodes + 1 && ++running_ > maxCode1_ && runningBits_ < kMaxBits) {
    maxCode1_ <<= 1;
    ++runningBits_;
  }
  return true;
}

bool GifLzwDecoder::ReadRow(std::span<std::uint8_t> row) {
  if (broken_ || row.size() > pixelsLeft_) return Stop();
  Table& t = *table_;
  const std::size_t width = row.size();
  std::size_t at = 0;
  while (at < width && t.pendingAt < t.pendingEnd) row[at++] = t.pending[t.pendingAt++];
  while (at < width) {
    int code = 0;
    if (!ReadCode(code)) return Stop();
    if (code == clear_) {
      Reset();
      continue;
    }
    int firstPixel = 0;
    if (code < clear_) {
      firstPixel = code;
    } else if (code > end_ && code < nextFree_) {
      firstPixel = t.first[code];
    } else if (code == nextFree_ && code == running_ - 2 && last_ >= 0) {
      firstPixel = t.first[last_];  // the entry this very code defines
    } else {
      return Stop();  // an end code before the last pixel, or a code not yet defined
    }
    // The entry is defined before the string is written, so that a code
    // naming the entry it defines is written like any other.
    if (last_ >= 0 && running_ - 2 == nextFree_ && nextFree_ < kCodes) {
      t.prefix[nextFree_] = static_cast<std::uint16_t>(last_);
      t.suffix[nextFree_] = static_cast<std::uint8_t>(firstPixel);
      t.first[nextFree_] = t.first[last_];
      t.length[nextFree_] = static_cast<std::uint16_t>(t.length[last_] + 1);
      ++nextFree_;
    }
    last_ = code;
    const std::size_t length = t.length[code];
    if (length <= width - at) {
      std::uint8_t* out = row.data() + at + length;
      for (int c = code; out != row.data() + at; c = t.prefix[c]) *--out = t.suffix[c];
      at += length;
    } else {
      int c = code;
      for (std::size_t i = length; i-- > 0; c = t.prefix[c]) t.pending[i] = t.suffix[c];
      t.pendingAt = 0;
      t.pendingEnd = static_cast<int>(length);
      while (at < width) row[at++] = t.pending[t.pendingAt++];
    }
  }
  pixelsLeft_ -= width;
  if (pixelsLeft_ == 0 && !RestOfDataIsWhole()) return Stop();
  return true;
}

// After the last pixel giflib passes the rest of the current sub-block and
// reads every later one up to the terminator; one cut short is an error.
bool GifLzwDecoder::Stop() {
  broken_ = true;
  return false;
}

bool GifLzwDecoder::RestOfDataIsWhole() const {
  std::size_t at = next_ + blockLeft_;
  for (;;) {
    if (at >= data_.size()) return false;
    const std::size_t length = data_[at];
    if (length == 0) return true;
    if (length > data_.size() - at - 1) return false;
    at += 1 + length;
  }
}

}  // namespace reelmill
