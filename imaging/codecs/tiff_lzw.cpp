#include "imaging/codecs/tiff_lzw.h"

#include <algorithm>

namespace reelmill {

namespace {

constexpr int kClear = 256;
constexpr int kEnd = 257;
constexpr int kFirstFree = 258;
constexpr int kMinBits = 9;
constexpr int kMaxBits = 12;
constexpr int kCodeMax = (1 << kMaxBits) - 1;
// libtiff looks at the ratio of input to output every 10000 input bytes and
// starts over when it did not improve.
constexpr long kCheckGap = 10000;
constexpr std::size_t kSlots = std::size_t{1} << 13;
// No slot holds it: it would be code 4095 after string 4095, and neither is
// ever given out.
constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

constexpr int MaxCode(int bits) { return (1 << bits) - 1; }

// Codes go out most significant bit first, as TIFF wants them.
class CodeWriter {
 public:
  explicit CodeWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void Put(int code, int width) {
    data_ = (data_ << width) | static_cast<std::uint64_t>(code);
    bits_ += width;
    while (bits_ >= 8) {
      bits_ -= 8;
      out_.push_back(static_cast<std::uint8_t>(data_ >> bits_));
    }
  }
  void Finish() {
    if (bits_ > 0) out_.push_back(static_cast<std::uint8_t>(data_ << (8 - bits_)));
    bits_ = 0;
  }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t data_ = 0;
  int bits_ = 0;
};

}  // namespace

TiffLzwEncoder::TiffLzwEncoder() : table_(kSlots, kEmpty) {}

void TiffLzwEncoder::ClearTable() { std::fill(table_.begin(), table_.end(), kEmpty); }

void TiffLzwEncoder::EncodeStrip(std::span<const std::uint8_t> strip, std::vector<std::uint8_t>& out) {
  out.reserve(out.size() + strip.size() / 2 + 16);
  CodeWriter writer(out);
  std::uint32_t* const table = table_.data();
  int bits = kMinBits;
  int maxCode = MaxCode(kMinBits);
  int freeCode = kFirstFree;
  long inCount = 0;
  long outCount = 0;  // in bits
  long checkpoint = kCheckGap;
  long ratio = 0;
  const auto put = [&](int code) {
    writer.Put(code, bits);
    outCount += bits;
  };
  // The clear code goes out at the width in force, then the width drops.
  const auto startOver = [&] {
    ClearTable();
    ratio = 0;
    inCount = 0;
    outCount = 0;
    freeCode = kFirstFree;
    put(kClear);
    bits = kMinBits;
    maxCode = MaxCode(kMinBits);
  };

  ClearTable();
  int prefix = -1;
  std::size_t i = 0;
  if (!strip.empty()) {
    put(kClear);
    prefix = strip[0];
    i = 1;
    inCount = 1;
  }
  for (const std::size_t n = strip.size(); i < n; ++i) {
    const std::uint32_t c = strip[i];
    ++inCount;
    const std::uint32_t key = (c << 12) | static_cast<std::uint32_t>(prefix);
    std::size_t slot = ((c << 5) ^ static_cast<std::uint32_t>(prefix)) & (kSlots - 1);
    std::uint32_t entry = table[slot];
    while (entry != kEmpty && (entry >> 12) != key) {
      slot = (slot + 1) & (kSlots - 1);
      entry = table[slot];
    }
    if (entry != kEmpty) {
      prefix = static_cast<int>(entry & 0xFFF);
      continue;
    }
    put(prefix);
    prefix = static_cast<int>(c);
    table[slot] = (key << 12) | static_cast<std::uint32_t>(freeCode);
    ++freeCode;
    if (freeCode == kCodeMax - 1) {
      startOver();
    } else if (freeCode > maxCode) {
      ++bits;
      maxCode = MaxCode(bits);
    } else if (inCount >= checkpoint) {
      checkpoint = inCount + kCheckGap;
      long now = 0;
      if (inCount > 0x007FFFFF) {
        now = outCount >> 8;
        now = now == 0 ? 0x7FFFFFFF : inCount / now;
      } else {
        now = (inCount << 8) / outCount;
      }
      if (now <= ratio) {
        startOver();
      } else {
        ratio = now;
      }
    }
  }
  // The last string, counted as an entry for the width of the end code.
  if (prefix >= 0) {
    put(prefix);
    ++freeCode;
    if (freeCode == kCodeMax - 1) {
      put(kClear);
      bits = kMinBits;
    } else if (freeCode > maxCode) {
      ++bits;
    }
  }
  put(kEnd);
  writer.Finish();
}

}  // namespace reelmill
