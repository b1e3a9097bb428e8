// Our LZW loop against giflib: on data that keeps to the format it gives
// giflib's rows; on anything else it stops, and the reader then gives
// exactly what giflib alone gives, rows and errors alike.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/codecs/gif_lzw.h"
#include "imaging/codecs/gif_reader.h"
#include "tests/gif/gif_test_util.h"

namespace reelmill {
namespace {

using testing::Pattern;
using testing::Ramp;

// Every image's rows and the error at the end, as the reader delivers them.
std::string ReadAll(const std::vector<std::uint8_t>& bytes, GifPixelDecoding decoding) {
  GifReader reader(bytes, decoding);
  std::string out;
  if (!reader.Open()) return GifErrorName(reader.Error());
  GifImageHeader image;
  while (reader.NextImage(image)) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.rect.width));
    for (int y = 0; y < (image.rect.Empty() ? 0 : image.rect.height); ++y) {
      if (!reader.ReadRow(row)) break;
      out.append(row.begin(), row.end());
    }
    out += '|';
  }
  return out + GifErrorName(reader.Error());
}

void ExpectSameAsGiflib(const std::vector<std::uint8_t>& bytes, const std::string& what) {
  EXPECT_EQ(ReadAll(bytes, GifPixelDecoding::Fast), ReadAll(bytes, GifPixelDecoding::LibraryOnly)) << what;
}

// A one-image GIF of `width` x `height` whose data is `codes`, packed at the
// widths a decoder reads them, in sub-blocks of `blockSize`, then `tail`
// (normally the terminator) and the trailer.
struct HandMade {
  std::vector<std::uint8_t> bytes;
  std::size_t dataAt = 0;
};

HandMade Build(int minimumCodeSize, const std::vector<int>& codes, int width, int height, int blockSize = 255,
               std::vector<std::uint8_t> tail = {0x00, 0x3B}) {
  const int colors = 1 << minimumCodeSize;
  std::vector<std::uint8_t> out{'G',
                                'I',
                                'F',
                                '8',
                                '9',
                                'a',
                                std::uint8_t(width),
                                std::uint8_t(width >> 8),
                                std::uint8_t(height),
                                std::uint8_t(height >> 8),
                                std::uint8_t(0x80 | (minimumCodeSize - 1)),
                                0,
                                0};
  for (int i = 0; i < colors; ++i) out.insert(out.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
  out.insert(out.end(), {0x2C, 0, 0, 0, 0, std::uint8_t(width), std::uint8_t(width >> 8), std::uint8_t(height),
                         std::uint8_t(height >> 8), 0, std::uint8_t(minimumCodeSize)});
  std::vector<std::uint8_t> packed;
  const int clear = colors;
  int running = clear + 2, bits = minimumCodeSize + 1, max1 = 1 << bits, count = 0;
  std::uint64_t acc = 0;
  for (int code : codes) {
    acc |= std::uint64_t(code) << count;
    for (count += bits; count >= 8; count -= 8, acc >>= 8) packed.push_back(std::uint8_t(acc));
    if (code == clear) {
      running = clear + 2, bits = minimumCodeSize + 1, max1 = 1 << bits;
    } else if (running < 4097 && ++running > max1 && bits < 12) {
      max1 <<= 1, ++bits;
    }
  }
  if (count > 0) packed.push_back(std::uint8_t(acc));
  HandMade made{out, out.size()};
  for (std::size_t at = 0; at < packed.size(); at += std::size_t(blockSize)) {
    const std::size_t n = std::min(packed.size() - at, std::size_t(blockSize));
    made.bytes.push_back(std::uint8_t(n));
    made.bytes.insert(made.bytes.end(), packed.begin() + long(at), packed.begin() + long(at + n));
  }
  made.bytes.insert(made.bytes.end(), tail.begin(), tail.end());
  return made;
}

// Rows of the hand-made GIF by our loop alone: how many it gave before it
// stopped, and what they held.
std::pair<int, std::string> OwnRows(const HandMade& made, int minimumCodeSize, int width, int height) {
  GifLzwDecoder decoder;
  decoder.Start(made.bytes, made.dataAt, minimumCodeSize, std::uint64_t(width) * std::uint64_t(height));
  std::string rows;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width));
  for (int y = 0; y < height; ++y) {
    if (!decoder.ReadRow(row)) return {y, rows};
    rows.append(row.begin(), row.end());
  }
  return {height, rows};
}

std::vector<int> Literals(int count, int colors) {
  std::vector<int> codes;
  for (int i = 0; i < count; ++i) codes.push_back((i * 7 + i / 5) % colors);
  return codes;
}

struct Case {
  std::string name;
  int minimumCodeSize;
  std::vector<int> codes;
  int width, height;
  bool keepsToTheFormat;  // our loop decodes every row
  int blockSize = 255;
  std::vector<std::uint8_t> tail = {0x00, 0x3B};
  bool emptyBlockAfterTheFirst = false;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  // 4090 literals fill the table without a clear; later codes stay 12 bits
  // wide and define nothing (a deferred clear), then a clear starts over.
  std::vector<int> full = Literals(4100, 4);
  full.insert(full.end(), {4095, 4094, 4, 1, 2, 6, 5});
  cases.push_back({"full table, deferred clear", 2, full, 4100 + 2 + 2 + 1 + 1 + 2, 1, true});
  // A run: each code names the entry it defines.
  cases.push_back({"run of one colour", 3, {8, 5, 10, 11, 12, 13, 9}, 1 + 2 + 3 + 4 + 5, 1, true});
  cases.push_back({"strings across rows", 3, {8, 1, 2, 10, 11, 12, 13, 14, 9}, 4, 4, true});
  cases.push_back({"no end code after the pixels", 2, {4, 1, 2, 3, 0}, 4, 1, true});
  cases.push_back({"codes after the last pixel", 2, {4, 1, 2, 3, 0, 7, 7, 5}, 4, 1, true});
  cases.push_back({"extra sub-blocks after the pixels",
                   2,
                   {4, 1, 2, 3, 0, 5},
                   4,
                   1,
                   true,
                   255,
                   {0x02, 0xAB, 0xCD, 0x01, 0xFF, 0x00, 0x3B}});
  cases.push_back({"one-byte sub-blocks", 3, Literals(40, 8), 40, 1, true, 1});
  cases.push_back({"end code before the last pixel", 2, {4, 1, 2, 5, 3}, 5, 1, false});
  cases.push_back({"a code not yet defined", 2, {4, 1, 2, 3, 0, 1, 15, 0}, 7, 1, false});
  cases.push_back({"the next entry right after a clear", 2, {4, 6, 1, 1}, 3, 1, false});
  cases.push_back({"an entry right after a clear", 2, {4, 1, 2, 4, 6, 0}, 5, 1, false});
  cases.push_back({"data ends before the pixels", 2, {4, 1, 2}, 5, 1, false});
  cases.push_back({"no terminator after the pixels", 2, {4, 1, 2, 3, 0, 5}, 4, 1, false, 255, {}});
  cases.push_back({"a sub-block cut short", 2, {4, 1, 2, 3, 0, 5}, 4, 1, false, 255, {0x09, 0x01}});
  cases.push_back(
      {"an empty sub-block before the last pixel", 2, {4, 1, 2, 3, 0, 5}, 4, 1, false, 1, {0x00, 0x3B}, true});
  cases.push_back({"minimum code size 1", 1, {2, 1, 0, 1, 3}, 3, 1, false});
  return cases;
}

TEST(GifLzw, OwnLoopGivesGiflibsRowsAndStopsWhereTheDataLeavesTheFormat) {
  for (const Case& c : Cases()) {
    HandMade made = Build(c.minimumCodeSize, c.codes, c.width, c.height, c.blockSize, c.tail);
    if (c.emptyBlockAfterTheFirst)
      made.bytes.insert(made.bytes.begin() + long(made.dataAt + 1 + made.bytes[made.dataAt]), 0);
    const auto [rows, pixels] = OwnRows(made, c.minimumCodeSize, c.width, c.height);
    EXPECT_EQ(rows == c.height, c.keepsToTheFormat) << c.name << ": stopped at row " << rows;
    ExpectSameAsGiflib(made.bytes, c.name);
    if (c.keepsToTheFormat) {
      const std::string library = ReadAll(made.bytes, GifPixelDecoding::LibraryOnly);
      EXPECT_EQ(library.substr(0, pixels.size()), pixels) << c.name;
    }
  }
}

// Real encoder output: noise fills the table and clears it; runs make long
// strings; interlacing, a local table and code sizes that change from image
// to image.
std::vector<std::uint8_t> EncodedSample() {
  testing::TestGif gif{160, 90, Ramp(256, 3), 0, {}};
  gif.images.push_back({{0, 0, 160, 90}, Pattern(160, 90, 256, 1), {}, false, true, 0, 5, -1});
  std::vector<std::uint8_t> runs(80 * 60);
  for (std::size_t i = 0; i < runs.size(); ++i) runs[i] = std::uint8_t(i / 700);
  gif.images.push_back({{10, 5, 80, 60}, runs, {}, true, true, 1, 5, 2});
  gif.images.push_back({{3, 3, 33, 21}, Pattern(33, 21, 4, 7), Ramp(4, 9), false, true, 2, 5, -1});
  // A wide code size after a narrow one: the narrow one's strings sit where
  // the wide one's single pixels go.
  gif.images.push_back({{0, 0, 60, 40}, Pattern(60, 40, 256, 8), {}, false, true, 1, 5, -1});
  return testing::EncodeGif(gif);
}

TEST(GifLzw, ReaderMatchesGiflibOnEveryCutAndFlipOfAnEncodedFile) {
  const std::vector<std::uint8_t> gif = EncodedSample();
  ExpectSameAsGiflib(gif, "whole");
  ASSERT_NE(ReadAll(gif, GifPixelDecoding::Fast).find("|no error"), std::string::npos);
  for (std::size_t cut = 0; cut < gif.size(); cut += 7) {
    ExpectSameAsGiflib({gif.begin(), gif.begin() + long(cut)}, "cut at " + std::to_string(cut));
  }
  std::uint32_t state = 12345;
  for (int flip = 0; flip < 600; ++flip) {
    state = state * 1664525u + 1013904223u;
    std::vector<std::uint8_t> damaged = gif;
    damaged[state % damaged.size()] ^= std::uint8_t(1u << ((state >> 24) % 8));
    ExpectSameAsGiflib(damaged, "flip " + std::to_string(flip));
  }
}

}  // namespace
}  // namespace reelmill
