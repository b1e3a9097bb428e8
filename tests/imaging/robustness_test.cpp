// Every reader meets every truncated prefix of valid files and a few hundred
// deterministic corruptions of them. Each must answer true or false: no
// crash, no endless loop, no read outside the buffer (the sanitizer build
// checks the last).

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "imaging/byte_writer.h"
#include "imaging/codecs/bmp_codec.h"
#include "imaging/codecs/ico_codec.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/codecs/png_codec.h"
#include "imaging/codecs/tga_codec.h"
#include "imaging/codecs/tiff_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"
#include "tests/imaging/image_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::PatternImage;

constexpr int kCorruptions = 300;

template <typename Codec>
bool Load(const Bytes& bytes) {
  Codec codec;
  ImageList out;
  std::unique_ptr<ImageProperties> properties;
  const bool ok = codec.LoadMemory(bytes, out, properties);
  // A success always yields frames; a failure appends nothing.
  EXPECT_EQ(ok, out.Count() > 0);
  return ok;
}

Bytes SavedAs(const PixelImage& image, const std::string& name, const ImageProperties& properties = {}) {
  testing::TempDir dir;
  EXPECT_TRUE(image.Save(dir / name, properties)) << name;
  return testing::ReadAll(dir / name);
}

// Every prefix of small files; for larger ones every prefix of the first
// 2 KiB and a dense sample of the rest.
std::vector<std::size_t> PrefixLengths(std::size_t size) {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n < size; ++n) {
    if (size <= 4096 || n < 2048 || n % 97 == 0 || n + 64 > size) lengths.push_back(n);
  }
  return lengths;
}

// Flips one to four bits, or overwrites a byte with 0x00 / 0xFF, mostly in the
// first bytes where sizes and counts live.
Bytes Corrupt(const Bytes& file, std::mt19937& random) {
  Bytes copy = file;
  std::uniform_int_distribution<int> how(0, 9);
  const int changes = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < changes; ++i) {
    const std::size_t limit = how(random) < 7 ? std::min<std::size_t>(copy.size(), 128) : copy.size();
    const std::size_t at = random() % limit;
    switch (how(random)) {
      case 0: copy[at] = 0xFF; break;
      case 1: copy[at] = 0x00; break;
      default: copy[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    }
  }
  return copy;
}

template <typename Codec>
void Hammer(const std::string& what, const Bytes& file, bool prefixesMustFail) {
  SCOPED_TRACE(what);
  ASSERT_TRUE(Load<Codec>(file)) << "the intact file must load";
  for (const std::size_t n : PrefixLengths(file.size())) {
    const bool ok = Load<Codec>(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
    if (prefixesMustFail) {
      ASSERT_FALSE(ok) << "a prefix of " << n << " of " << file.size() << " bytes was taken";
    }
  }
  std::mt19937 random(0xC0FFEE);
  for (int i = 0; i < kCorruptions; ++i) Load<Codec>(Corrupt(file, random));
}

TEST(ReaderRobustness, Bmp) {
  for (const int depth : {1, 4, 8, 16, 24, 32}) {
    Hammer<BmpCodec>("depth " + std::to_string(depth), SavedAs(PatternImage(9, 7, depth), "a.bmp"), true);
  }
}

// A run-length TGA with runs, literals and a colour map.
Bytes RleTga() {
  ByteWriter w;
  w.U8(3);  // ID length
  w.U8(1);  // colour map
  w.U8(9);  // RLE colour-mapped
  w.U16le(0);
  w.U16le(4);
  w.U8(24);
  w.U32le(0);
  w.U16le(6);
  w.U16le(3);
  w.U8(8);
  w.U8(0);
  w.Bytes(Bytes{'i', 'd', '!'});
  w.Zeros(12);
  for (int row = 0; row < 3; ++row) w.Bytes(Bytes{0x83, 1, 0x01, 2, 3});
  return w.Take();
}

TEST(ReaderRobustness, Tga) {
  for (const int depth : {8, 16, 24, 32}) {
    Hammer<TgaCodec>("depth " + std::to_string(depth), SavedAs(PatternImage(9, 7, depth), "a.tga"), true);
  }
  Hammer<TgaCodec>("run-length", RleTga(), true);
}

Bytes IconFile() {
  ByteWriter png;
  EXPECT_TRUE(EncodePng(PatternImage(8, 8, 32), png));
  const Bytes pngBytes = png.Take();
  ByteWriter dib;
  dib.U32le(40);
  dib.U32le(4);
  dib.U32le(8);
  dib.U16le(1);
  dib.U16le(8);
  dib.Zeros(24);
  dib.Zeros(256 * 4);
  dib.Zeros(4 * 4 + 4 * 4);
  const Bytes dibBytes = dib.Take();
  ByteWriter w;
  w.U16le(0);
  w.U16le(1);
  w.U16le(2);
  for (const auto& [side, bytes, offset] :
       {std::tuple{4, &dibBytes, 38u}, std::tuple{8, &pngBytes, 38u + static_cast<std::uint32_t>(dibBytes.size())}}) {
    w.U8(static_cast<std::uint8_t>(side));
    w.U8(static_cast<std::uint8_t>(side));
    w.U16le(0);
    w.U16le(1);
    w.U16le(32);
    w.U32le(static_cast<std::uint32_t>(bytes->size()));
    w.U32le(offset);
  }
  w.Bytes(dibBytes);
  w.Bytes(pngBytes);
  return w.Take();
}

TEST(ReaderRobustness, Ico) { Hammer<IcoCodec>("dib and png pictures", IconFile(), true); }

TEST(ReaderRobustness, Jpeg) {
  ImageProperties quality;
  quality.Set(QualityKey, "75");
  Hammer<JpegCodec>("colour", SavedAs(PatternImage(40, 24, 24), "a.jpg", quality), true);
}

TEST(ReaderRobustness, Png) {
  Hammer<PngCodec>("palette", SavedAs(PatternImage(20, 10, 4), "a.png"), true);
  Hammer<PngCodec>("rgba", SavedAs(PatternImage(20, 10, 32), "a.png"), true);
}

TEST(ReaderRobustness, Tiff) {
  // libtiff needs the directory, which it writes last, so no prefix is whole.
  Hammer<TiffCodec>("palette", SavedAs(PatternImage(20, 10, 8), "a.tif"), true);
  Hammer<TiffCodec>("rgba", SavedAs(PatternImage(20, 10, 32), "a.tif"), true);
}

}  // namespace
}  // namespace reelmill
