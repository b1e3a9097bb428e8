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
constexpr int kSlotBits = 13;
constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
// No slot holds it: it would be code 4095 after string 4095, and neither is
// ever given out.
constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

constexpr int MaxCode(int bits) { return (1 << bits) - 1; }

// Every input byte emits at most one code of 12 bits; add the clears and the
// codes at the end.
constexpr std::size_t OutputBound(std::size_t input) { return input + input / 2 + input / 1024 + 16; }

}  // namespace

// One strip being coded: where it is in its input and output, libtiff's
// counters, and its table.
struct TiffLzwEncoder::Stream {
  const std::uint8_t* in;
  const std::uint8_t* end;
  std::uint8_t* out;
  std::uint32_t* table;
  std::uint64_t pending = 0;  // bits not yet written, most significant first
  int pendingBits = 0;
  int bits = kMinBits;
  int maxCode = MaxCode(kMinBits);
  int freeCode = kFirstFree;
  int prefix = -1;
  long inCount = 0;
  long outCount = 0;  // in bits
  long checkpoint = kCheckGap;
  long ratio = 0;

  Stream(std::span<const std::uint8_t> strip, std::uint8_t* output, std::uint32_t* strings)
      : in(strip.data()), end(strip.data() + strip.size()), out(output), table(strings) {
    std::fill(table, table + kSlots, kEmpty);
    if (in < end) {
      Put(kClear);
      prefix = *in++;
      inCount = 1;
    }
  }

  bool More() const { return in < end; }

  void Put(int code) {
    pending = (pending << bits) | static_cast<std::uint64_t>(code);
    pendingBits += bits;
    outCount += bits;
    while (pendingBits >= 8) {
      pendingBits -= 8;
      *out++ = static_cast<std::uint8_t>(pending >> pendingBits);
    }
  }

  // The clear code goes out at the width in force, then the width drops.
  void StartOver() {
    std::fill(table, table + kSlots, kEmpty);
    ratio = 0;
    inCount = 0;
    outCount = 0;
    freeCode = kFirstFree;
    Put(kClear);
    bits = kMinBits;
    maxCode = MaxCode(kMinBits);
  }

  // One input byte. Most extend the current string; the rest go to NewString.
  [[gnu::always_inline]] inline void Step() {
    const std::uint32_t c = *in++;
    ++inCount;
    const std::uint32_t key = (c << 12) | static_cast<std::uint32_t>(prefix);
    // The byte is hashed apart from the prefix, off the chain of look-ups,
    // so that bytes differing little (as predicted samples do) still spread
    // over the whole table; the prefix, known only now, costs one shift.
    const std::uint32_t spread = (c * 0x9E3779B1u) >> (32 - kSlotBits);
    std::size_t slot = (static_cast<std::uint32_t>(prefix) << 1) ^ spread;
    std::uint32_t entry = table[slot];
    while (entry != kEmpty && (entry >> 12) != key) {
      slot = (slot + 1) & (kSlots - 1);
      entry = table[slot];
    }
    if (entry != kEmpty) {
      prefix = static_cast<int>(entry & 0xFFF);
      return;
    }
    NewString(c, key, slot);
  }

  [[gnu::noinline]] void NewString(std::uint32_t c, std::uint32_t key, std::size_t slot) {
    Put(prefix);
    prefix = static_cast<int>(c);
    table[slot] = (key << 12) | static_cast<std::uint32_t>(freeCode);
    ++freeCode;
    if (freeCode == kCodeMax - 1) {
      StartOver();
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
        StartOver();
      } else {
        ratio = now;
      }
    }
  }

  // The last string, counted as an entry for the width of the end code.
  void Finish() {
    if (prefix >= 0) {
      Put(prefix);
      ++freeCode;
      if (freeCode == kCodeMax - 1) {
        Put(kClear);
        bits = kMinBits;
      } else if (freeCode > maxCode) {
        ++bits;
      }
    }
    Put(kEnd);
    if (pendingBits > 0) *out++ = static_cast<std::uint8_t>(pending << (8 - pendingBits));
  }
};

std::uint8_t* TiffLzwEncoder::Buffer::Reserve(std::size_t size) {
  if (size > capacity) {
    bytes.reset(new std::uint8_t[size]);
    capacity = size;
  }
  return bytes.get();
}

TiffLzwEncoder::TiffLzwEncoder() : tables_(new std::uint32_t[2 * kSlots]) {}

TiffLzwEncoder::~TiffLzwEncoder() = default;

std::span<const std::uint8_t> TiffLzwEncoder::EncodeStrip(std::span<const std::uint8_t> strip) {
  std::uint8_t* const start = out_[0].Reserve(OutputBound(strip.size()));
  Stream stream(strip, start, tables_.get());
  while (stream.More()) stream.Step();
  stream.Finish();
  return {start, static_cast<std::size_t>(stream.out - start)};
}

void TiffLzwEncoder::EncodeStrips(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second,
                                  std::span<const std::uint8_t>& firstOut, std::span<const std::uint8_t>& secondOut) {
  std::uint8_t* const firstStart = out_[0].Reserve(OutputBound(first.size()));
  std::uint8_t* const secondStart = out_[1].Reserve(OutputBound(second.size()));
  Stream a(first, firstStart, tables_.get());
  Stream b(second, secondStart, tables_.get() + kSlots);
  while (a.More() && b.More()) {
    a.Step();
    b.Step();
  }
  while (a.More()) a.Step();
  while (b.More()) b.Step();
  a.Finish();
  b.Finish();
  firstOut = {firstStart, static_cast<std::size_t>(a.out - firstStart)};
  secondOut = {secondStart, static_cast<std::size_t>(b.out - secondStart)};
}

}  // namespace reelmill
