#include "imaging/codecs/gif_lzw.h"

#include <cstring>

#include "imaging/codecs/gif_block_walker.h"

namespace reelmill {

namespace {

constexpr int kCodes = 4096;  // 12-bit codes
constexpr int kMaxBits = 12;
// A string may be copied 8 bytes at a time past its end.
constexpr std::size_t kCopySlack = kCodes + 16;

// Copies a string from where it appeared before. Eight bytes at a time when
// the two are at least that far apart (the bytes past its end are written
// over by the strings after it); byte by byte when a string repeats itself
// at a shorter distance.
inline void CopyString(std::uint8_t* to, const std::uint8_t* from, std::size_t length) {
  if (to - from >= 8) {
    for (std::size_t i = 0; i < length; i += 8) std::memcpy(to + i, from + i, 8);
  } else {
    for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
  }
}

}  // namespace

struct GifLzwDecoder::Table {
  std::uint32_t start[kCodes];  // where the entry's string first appeared in the image
  std::uint16_t length[kCodes];
  std::uint8_t first[kCodes];
};

GifLzwDecoder::GifLzwDecoder() : table_(new Table) {}

GifLzwDecoder::~GifLzwDecoder() = default;

void GifLzwDecoder::Start(std::span<const std::uint8_t> data, std::size_t at, int minimumCodeSize,
                          std::uint64_t pixels) {
  input_ = ByteReader(data, at);
  block_ = {};
  blockAt_ = 0;
  bits_ = 0;
  bitCount_ = 0;
  delivered_ = 0;
  decoded_ = false;
  // giflib takes smaller code sizes in its own way; they, and images too
  // large for the buffer, are left to it.
  broken_ = minimumCodeSize < 2 || minimumCodeSize > 8 || at > data.size() || pixels == 0 || pixels > kMaxPixels;
  if (broken_) return;
  minimumCodeSize_ = minimumCodeSize;
  clear_ = 1 << minimumCodeSize;
  end_ = clear_ + 1;
  pixels_ = static_cast<std::size_t>(pixels);
  // The single pixels; an earlier image of a smaller code size may have used
  // these entries for strings.
  for (int i = 0; i < clear_; ++i) {
    table_->length[i] = 1;
    table_->first[i] = static_cast<std::uint8_t>(i);
  }
  if (pixels_ + kCopySlack > imageCapacity_) {
    image_.reset(new std::uint8_t[pixels_ + kCopySlack]);
    imageCapacity_ = pixels_ + kCopySlack;
  }
  Reset();
}

void GifLzwDecoder::Reset() {
  running_ = end_ + 1;
  runningBits_ = minimumCodeSize_ + 1;
  maxCode1_ = 1 << runningBits_;
  nextFree_ = end_ + 1;
  last_ = -1;
}

bool GifLzwDecoder::Stop() {
  broken_ = true;
  return false;
}

// Bytes are taken one at a time, and a sub-block is opened only when a bit
// of it is needed, so that a damaged block after the last code needed is
// judged where giflib judges it.
inline bool GifLzwDecoder::ReadCode(int& code) {
  while (bitCount_ < runningBits_) {
    if (blockAt_ == block_.size()) {
      const auto length = input_.U8();
      if (!length || *length == 0) return false;
      const auto block = input_.Bytes(*length);
      if (!block) return false;
      block_ = *block;
      blockAt_ = 0;
    }
    bits_ |= std::uint64_t{block_[blockAt_++]} << bitCount_;
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

bool GifLzwDecoder::DecodeImage() {
  Table& t = *table_;
  std::uint8_t* const out = image_.get();
  std::size_t at = 0;
  std::size_t lastAt = 0;  // where the previous code's string begins
  while (at < pixels_) {
    int code = 0;
    if (!ReadCode(code)) return false;
    if (code == clear_) {
      Reset();
      continue;
    }
    const bool defined = code < clear_ || (code > end_ && code < nextFree_);
    // A code may name the entry it defines itself: the previous string and
    // its own first pixel.
    const bool namesItsOwnEntry = code == nextFree_ && code == running_ - 2 && last_ >= 0;
    if (!defined && !namesItsOwnEntry) return false;  // an end code before the last pixel, or one not yet defined
    if (last_ >= 0 && running_ - 2 == nextFree_ && nextFree_ < kCodes) {
      t.start[nextFree_] = static_cast<std::uint32_t>(lastAt);
      t.length[nextFree_] = static_cast<std::uint16_t>(t.length[last_] + 1);
      t.first[nextFree_] = t.first[last_];
      ++nextFree_;
    }
    if (code < clear_) {
      out[at] = static_cast<std::uint8_t>(code);
    } else {
      CopyString(out + at, out + t.start[code], t.length[code]);
    }
    last_ = code;
    lastAt = at;
    at += t.length[code];
  }
  // After the last pixel giflib passes the rest of the current sub-block and
  // reads every later one up to the terminator; one cut short is an error.
  return SubBlockChainLength(input_.Data(), input_.Offset()) >= 0;
}

bool GifLzwDecoder::ReadRow(std::span<std::uint8_t> row) {
  if (broken_ || row.size() > pixels_ - delivered_) return Stop();
  if (!decoded_) {
    if (!DecodeImage()) return Stop();
    decoded_ = true;
  }
  std::memcpy(row.data(), image_.get() + delivered_, row.size());
  delivered_ += row.size();
  return true;
}

}  // namespace reelmill
