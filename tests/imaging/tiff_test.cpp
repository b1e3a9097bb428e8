#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <functional>

#include "imaging/codecs/tiff_codec.h"
#include "imaging/codecs/tiff_lzw.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"
#include "tests/imaging/image_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::PatternImage;
using testing::SamePalette;
using testing::SamePixels;

bool Decode(const Bytes& bytes, ImageList& out) {
  TiffCodec codec;
  std::unique_ptr<ImageProperties> properties;
  return codec.LoadMemory(bytes, out, properties);
}

bool DecodeOne(const Bytes& bytes, PixelImage& image) {
  ImageList out;
  if (!Decode(bytes, out) || out.Count() != 1) return false;
  image = std::move(out.At(0));
  return true;
}

Bytes Saved(const PixelImage& image) {
  testing::TempDir dir;
  if (!image.Save(dir / "a.tif", ImageProperties())) return {};
  return testing::ReadAll(dir / "a.tif");
}

// Writes a TIFF file page by page with libtiff; each page's fields and
// pixels come from a callback.
Bytes WriteTiff(const std::vector<std::function<bool(TIFF*)>>& pages) {
  testing::TempDir dir;
  const std::string path = dir / "x.tif";
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (!tiff) return {};
  for (const auto& page : pages) {
    if (!page(tiff) || !TIFFWriteDirectory(tiff)) {
      TIFFClose(tiff);
      return {};
    }
  }
  TIFFClose(tiff);
  return testing::ReadAll(path);
}

void Fields(TIFF* t, int width, int height, int bits, int samples, int photometric) {
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
}

bool WriteRows(TIFF* t, const std::vector<Bytes>& rows) {
  for (std::size_t y = 0; y < rows.size(); ++y) {
    Bytes row = rows[y];
    if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0) return false;
  }
  return true;
}

class TiffRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(TiffRoundTrip, IsLossless) {
  const PixelImage image = PatternImage(19, 23, GetParam(), 8);
  PixelImage back;
  ASSERT_TRUE(DecodeOne(Saved(image), back));
  EXPECT_TRUE(SamePixels(back, image));
  if (GetParam() <= 8) {
    EXPECT_TRUE(SamePalette(back, image, false));
    EXPECT_EQ(back.Palette()[0].reserved, 255);  // the palette is written opaque
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, TiffRoundTrip, ::testing::Values(1, 4, 8, 24, 32));

TEST(TiffEncode, LzwWithTheLayoutOfEachDepth) {
  testing::TempDir dir;
  struct Case {
    int depth;
    int bits;
    int samples;
    int photometric;
  };
  for (const Case c :
       {Case{8, 8, 1, PHOTOMETRIC_PALETTE}, Case{4, 4, 1, PHOTOMETRIC_PALETTE}, Case{16, 8, 3, PHOTOMETRIC_RGB},
        Case{24, 8, 3, PHOTOMETRIC_RGB}, Case{32, 8, 4, PHOTOMETRIC_RGB}}) {
    const std::string path = dir / ("d" + std::to_string(c.depth) + ".tiff");
    ASSERT_TRUE(PatternImage(8, 8, c.depth).Save(path, ImageProperties()));
    TIFF* t = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(t, nullptr);
    std::uint16_t compression = 0, bits = 0, samples = 0, photometric = 0;
    TIFFGetField(t, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    EXPECT_EQ(compression, COMPRESSION_LZW) << c.depth;
    EXPECT_EQ(bits, c.bits) << c.depth;
    EXPECT_EQ(samples, c.samples) << c.depth;
    EXPECT_EQ(photometric, c.photometric) << c.depth;
    if (c.depth == 32) {
      std::uint16_t count = 0;
      std::uint16_t* extra = nullptr;
      ASSERT_EQ(TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &count, &extra), 1);
      EXPECT_EQ(extra[0], EXTRASAMPLE_UNASSALPHA);
    }
    EXPECT_EQ(TIFFNumberOfDirectories(t), 1);
    TIFFClose(t);
  }
}

// The whole file is what libtiff writes itself, row by row with its own
// predictor and LZW, from the same fields: several strips, odd widths.
TEST(TiffEncode, FilesAreTheBytesLibtiffWritesItself) {
  struct Case {
    int width, height, depth;
  };
  for (const Case c :
       {Case{13, 7, 1}, Case{13, 7, 4}, Case{301, 999, 8}, Case{301, 400, 24}, Case{255, 300, 32}, Case{6, 5, 32}}) {
    const int width = c.width, height = c.height, depth = c.depth;
    const PixelImage image = PatternImage(width, height, depth, 5);
    const bool palette = depth <= 8;
    const int channels = depth == 32 ? 4 : 3;
    const std::size_t rowBytes = palette ? (std::size_t(width) * depth + 7) / 8 : std::size_t(width) * channels;
    const Bytes expected = WriteTiff({[&](TIFF* t) {
      Fields(t, width, height, palette ? depth : 8, palette ? 1 : channels,
             palette ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
      TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
      TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
      std::vector<std::uint16_t> red, green, blue;
      if (palette) {
        for (const PaletteEntry& e : image.Palette()) {
          red.push_back(std::uint16_t(e.red * 257));
          green.push_back(std::uint16_t(e.green * 257));
          blue.push_back(std::uint16_t(e.blue * 257));
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
      } else {
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        const std::uint16_t alpha[] = {EXTRASAMPLE_UNASSALPHA};
        if (channels == 4) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, alpha);
      }
      TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::uint32_t(std::clamp<std::size_t>(256 * 1024 / rowBytes, 1, height)));
      std::vector<Bytes> rows;
      for (int y = 0; y < height; ++y) {
        Bytes row(image.Row(y), image.Row(y) + rowBytes);
        for (std::size_t x = 0; !palette && x < rowBytes; x += std::size_t(channels)) std::swap(row[x], row[x + 2]);
        rows.push_back(row);
      }
      return WriteRows(t, rows);
    }});
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Saved(image), expected) << width << " x " << height << " at " << depth << " bits";
  }
}

TEST(TiffEncode, SixteenBitImagesBecomeRgb) {
  PixelImage image;
  ASSERT_TRUE(image.Create(1, 1, 16));
  image.Row(0)[0] = 0xE0;  // green 0x03E0
  image.Row(0)[1] = 0x03;
  PixelImage back;
  ASSERT_TRUE(DecodeOne(Saved(image), back));
  ASSERT_EQ(back.BitCount(), 24);
  EXPECT_EQ(Bytes(back.Row(0), back.Row(0) + 3), (Bytes{0, 255, 0}));
}

TEST(TiffDecode, EveryPageIsAFrameInOrder) {
  const Bytes file = WriteTiff({
      [](TIFF* t) {  // 2-bit palette
        Fields(t, 3, 1, 2, 1, PHOTOMETRIC_PALETTE);
        std::uint16_t r[4] = {0, 0xFFFF, 0, 0x8080}, g[4] = {0, 0, 0xFFFF, 0x8080}, b[4] = {0, 0, 0, 0x8080};
        TIFFSetField(t, TIFFTAG_COLORMAP, r, g, b);
        return WriteRows(t, {{0b01101100}});  // indices 1 2 3
      },
      [](TIFF* t) {  // 8-bit grey
        Fields(t, 2, 2, 8, 1, PHOTOMETRIC_MINISBLACK);
        return WriteRows(t, {{10, 20}, {30, 40}});
      },
      [](TIFF* t) {  // RGB
        Fields(t, 1, 1, 8, 3, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        return WriteRows(t, {{1, 2, 3}});
      },
  });
  ASSERT_FALSE(file.empty());
  ImageList frames;
  ASSERT_TRUE(Decode(file, frames));
  ASSERT_EQ(frames.Count(), 3u);

  const PixelImage& mapped = frames.At(0);
  ASSERT_EQ(mapped.BitCount(), 4);
  EXPECT_EQ(Bytes(mapped.Row(0), mapped.Row(0) + 2), (Bytes{0x12, 0x30}));
  EXPECT_EQ(mapped.Palette()[1], (PaletteEntry{0, 0, 255, 255}));
  EXPECT_EQ(mapped.Palette()[3], (PaletteEntry{0x80, 0x80, 0x80, 255}));

  const PixelImage& grey = frames.At(1);
  ASSERT_EQ(grey.BitCount(), 24);
  EXPECT_EQ(Bytes(grey.Row(1), grey.Row(1) + 6), (Bytes{30, 30, 30, 40, 40, 40}));

  const PixelImage& rgb = frames.At(2);
  ASSERT_EQ(rgb.BitCount(), 24);
  EXPECT_EQ(Bytes(rgb.Row(0), rgb.Row(0) + 3), (Bytes{3, 2, 1}));
}

TEST(TiffDecode, FrameSetAppendsEveryPage) {
  testing::TempDir dir;
  testing::WriteAll(dir / "two.tif", WriteTiff({
                                         [](TIFF* t) {
                                           Fields(t, 1, 1, 8, 1, PHOTOMETRIC_MINISBLACK);
                                           return WriteRows(t, {{1}});
                                         },
                                         [](TIFF* t) {
                                           Fields(t, 2, 1, 8, 1, PHOTOMETRIC_MINISBLACK);
                                           return WriteRows(t, {{1, 2}});
                                         },
                                     }));
  FrameSet frames;
  ASSERT_TRUE(frames.Load(dir / "two.tif"));
  ASSERT_TRUE(frames.Load(dir / "two.tif"));
  ASSERT_EQ(frames.Count(), 4u);
  EXPECT_EQ(frames.Frame(0)->Width(), 1);
  EXPECT_EQ(frames.Frame(3)->Width(), 2);
}

TEST(TiffDecode, TiledAndBottomUpPagesThroughTheRgbaPath) {
  const Bytes file = WriteTiff({
      [](TIFF* t) {
        Fields(t, 20, 20, 8, 3, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        for (std::uint32_t ty = 0; ty < 20; ty += 16) {
          for (std::uint32_t tx = 0; tx < 20; tx += 16) {
            Bytes tile(16 * 16 * 3);
            for (std::uint32_t y = 0; y < 16; ++y) {
              for (std::uint32_t x = 0; x < 16; ++x) {
                tile[(y * 16 + x) * 3] = static_cast<std::uint8_t>(tx + x);      // red = column
                tile[(y * 16 + x) * 3 + 1] = static_cast<std::uint8_t>(ty + y);  // green = row
              }
            }
            if (TIFFWriteTile(t, tile.data(), tx, ty, 0, 0) < 0) return false;
          }
        }
        return true;
      },
      [](TIFF* t) {
        Fields(t, 1, 2, 8, 3, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_BOTLEFT);
        return WriteRows(t, {{1, 1, 1}, {2, 2, 2}});  // the first row stored is the bottom one
      },
  });
  ImageList frames;
  ASSERT_TRUE(Decode(file, frames));
  ASSERT_EQ(frames.Count(), 2u);
  const PixelImage& tiled = frames.At(0);
  ASSERT_EQ(tiled.BitCount(), 24);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      ASSERT_EQ(tiled.PixelAddress(x, y)[2], x) << x << "," << y;
      ASSERT_EQ(tiled.PixelAddress(x, y)[1], y) << x << "," << y;
    }
  }
  EXPECT_EQ(frames.At(1).Row(0)[0], 2);
  EXPECT_EQ(frames.At(1).Row(1)[0], 1);
}

TEST(TiffDecode, PremultipliedAlphaComesOutStraight) {
  const Bytes file = WriteTiff({[](TIFF* t) {
    Fields(t, 2, 1, 8, 4, PHOTOMETRIC_RGB);
    const std::uint16_t associated[] = {EXTRASAMPLE_ASSOCALPHA};
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, associated);
    return WriteRows(t, {{100, 50, 0, 128, 0, 0, 0, 0}});
  }});
  PixelImage image;
  ASSERT_TRUE(DecodeOne(file, image));
  ASSERT_EQ(image.BitCount(), 32);
  const std::uint8_t* p = image.Row(0);
  EXPECT_NEAR(p[2], 199, 1);  // 100 * 255 / 128
  EXPECT_NEAR(p[1], 100, 1);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[3], 128);
  EXPECT_EQ(p[7], 0);
}

TEST(TiffDecode, SixteenBitSamplesAreReducedAndNotRefused) {
  const Bytes file = WriteTiff({[](TIFF* t) {
    Fields(t, 1, 1, 16, 3, PHOTOMETRIC_RGB);
    const std::uint16_t pixel[3] = {0xFFFF, 0x8000, 0x0000};
    Bytes row(6);
    std::memcpy(row.data(), pixel, 6);
    return WriteRows(t, {row});
  }});
  PixelImage image;
  ASSERT_TRUE(DecodeOne(file, image));
  ASSERT_EQ(image.BitCount(), 24);
  EXPECT_EQ(image.Row(0)[2], 255);
  EXPECT_NEAR(image.Row(0)[1], 128, 1);
  EXPECT_EQ(image.Row(0)[0], 0);
}

TEST(TiffDecode, TruncatedOrDamagedFilesAreRefused) {
  const Bytes file = Saved(PatternImage(40, 40, 24));
  PixelImage image;
  ASSERT_TRUE(DecodeOne(file, image));
  EXPECT_FALSE(DecodeOne(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2)), image));
  EXPECT_FALSE(DecodeOne(Bytes(file.begin(), file.begin() + 8), image));
  EXPECT_FALSE(DecodeOne({'I', 'I', 42, 0}, image));
  EXPECT_FALSE(DecodeOne({}, image));

  // A second page whose directory lies past the end fails the whole file.
  Bytes twoPages = WriteTiff({
      [](TIFF* t) {
        Fields(t, 1, 1, 8, 1, PHOTOMETRIC_MINISBLACK);
        return WriteRows(t, {{1}});
      },
      [](TIFF* t) {
        Fields(t, 1, 1, 8, 1, PHOTOMETRIC_MINISBLACK);
        return WriteRows(t, {{2}});
      },
  });
  ImageList frames;
  ASSERT_TRUE(Decode(twoPages, frames));
  ASSERT_EQ(frames.Count(), 2u);
  // Find the first directory's link to the second and point it past the end.
  const std::uint32_t first = testing::Le32(twoPages, 4);
  const std::uint16_t entries = testing::Le16(twoPages, first);
  const std::size_t link = first + 2 + 12u * entries;
  const std::uint32_t past = static_cast<std::uint32_t>(twoPages.size() + 1000);
  std::memcpy(twoPages.data() + link, &past, 4);
  ImageList none;
  EXPECT_FALSE(Decode(twoPages, none));
  EXPECT_EQ(none.Count(), 0u);
}

// Grey rows through the RGBA path: a row's value is its number.
Bytes GreyStrips(int height, int rowsPerStrip, int damagedStrip = -1) {
  return WriteTiff({[=](TIFF* t) {
    Fields(t, 3, height, 8, 1, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    for (int strip = 0; strip * rowsPerStrip < height; ++strip) {
      const int rows = std::min(rowsPerStrip, height - strip * rowsPerStrip);
      Bytes data(static_cast<std::size_t>(3 * rows));
      for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(strip * rowsPerStrip + i / 3);
      const bool ok = strip == damagedStrip
                          ? TIFFWriteRawStrip(t, static_cast<std::uint32_t>(strip), Bytes(6, 0xFF).data(), 6) >= 0
                          : TIFFWriteEncodedStrip(t, static_cast<std::uint32_t>(strip), data.data(),
                                                  static_cast<tmsize_t>(data.size())) >= 0;
      if (!ok) return false;
    }
    return true;
  }});
}

TEST(TiffDecode, TallStripsDecodeWholeAndADamagedStripFailsThePage) {
  for (const int rowsPerStrip : {200, 48, 100}) {
    PixelImage image;
    ASSERT_TRUE(DecodeOne(GreyStrips(200, rowsPerStrip), image)) << rowsPerStrip;
    ASSERT_EQ(image.Height(), 200);
    for (int y = 0; y < 200; ++y) ASSERT_EQ(image.PixelAddress(2, y)[0], y) << rowsPerStrip << " row " << y;
    EXPECT_FALSE(DecodeOne(GreyStrips(200, rowsPerStrip, 199 / rowsPerStrip), image)) << rowsPerStrip;
  }
  // Found by the fuzzer: 1792 x 63237 pixels in one strip of an unknown
  // compression took minutes, decoding the strip again for every band.
  PixelImage image;
  EXPECT_FALSE(DecodeOne(testing::ReadAll(REELMILL_TEST_DATA_DIR "/tiff-unknown-compression-tall-strip.tif"), image));
}

TEST(TiffDecode, OversizedPagesAreRefused) {
  // The header claims 70000 x 70000 pixels; the strip is tiny.
  const Bytes file = WriteTiff({[](TIFF* t) {
    Fields(t, 70000, 70000, 1, 1, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 70000);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    Bytes row(8750, 0);
    return TIFFWriteScanline(t, row.data(), 0, 0) >= 0;
  }});
  ASSERT_FALSE(file.empty());
  PixelImage image;
  EXPECT_FALSE(DecodeOne(file, image));
}

}  // namespace
}  // namespace reelmill

namespace reelmill {
namespace {

// libtiff's LZW bytes for each strip, as strips of one 8-bit grey page
// without a predictor.
std::vector<Bytes> LibtiffLzwStrips(const std::vector<Bytes>& strips) {
  testing::TempDir dir;
  const std::string path = dir / "strips.tif";
  std::size_t width = 1;
  for (const Bytes& strip : strips) width = std::max(width, strip.size());
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return {};
  Fields(t, static_cast<int>(width), static_cast<int>(strips.size()), 8, 1, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
  for (std::size_t i = 0; i < strips.size(); ++i) {
    Bytes copy = strips[i];
    TIFFWriteEncodedStrip(t, static_cast<std::uint32_t>(i), copy.data(), static_cast<tmsize_t>(copy.size()));
  }
  TIFFClose(t);
  std::vector<Bytes> raws;
  t = TIFFOpen(path.c_str(), "r");
  if (!t) return {};
  for (std::size_t i = 0; i < strips.size(); ++i) {
    Bytes raw(strips[i].size() * 2 + 64);
    const tmsize_t size =
        TIFFReadRawStrip(t, static_cast<std::uint32_t>(i), raw.data(), static_cast<tmsize_t>(raw.size()));
    raw.resize(size < 0 ? 0 : static_cast<std::size_t>(size));
    raws.push_back(raw);
  }
  TIFFClose(t);
  return raws;
}

// Noise fills the table again and again; runs and repeats make the ratio
// checks start over or carry on. Every prefix of a noise strip up to a full
// table ends it at each code width and at the full table itself.
TEST(TiffLzw, StripsComeOutAsLibtiffWritesThem) {
  std::uint32_t state = 7;
  const auto next = [&] { return state = state * 1664525u + 1013904223u; };
  std::vector<Bytes> strips;
  for (std::size_t size : {300u, 5000u, 9000u, 70000u, 262144u}) {
    Bytes noise(size), runs(size), mixed(size);
    for (std::size_t i = 0; i < size; ++i) {
      noise[i] = std::uint8_t(next() >> 24);
      runs[i] = std::uint8_t((i / 997) * 31);
      mixed[i] = (i / 20000) % 2 ? std::uint8_t(next() >> 24) : std::uint8_t(i % 7);
    }
    strips.insert(strips.end(), {noise, runs, mixed});
  }
  const Bytes noise = strips[3];
  for (std::size_t size = 1; size <= 4400; ++size) strips.emplace_back(noise.begin(), noise.begin() + long(size));
  const std::vector<Bytes> expected = LibtiffLzwStrips(strips);
  ASSERT_EQ(expected.size(), strips.size());
  TiffLzwEncoder encoder;
  for (std::size_t i = 0; i < strips.size(); ++i) {
    const auto ours = encoder.EncodeStrip(strips[i]);
    EXPECT_EQ(Bytes(ours.begin(), ours.end()), expected[i]) << "strip " << i << " of " << strips[i].size() << " bytes";
  }
  // Two at a time, of unequal lengths either way round.
  for (std::size_t i = 0; i + 1 < strips.size(); i += 7) {
    std::span<const std::uint8_t> first, second;
    encoder.EncodeStrips(strips[i], strips[i + 1], first, second);
    EXPECT_EQ(Bytes(first.begin(), first.end()), expected[i]) << "first of pair " << i;
    EXPECT_EQ(Bytes(second.begin(), second.end()), expected[i + 1]) << "second of pair " << i;
  }
}

}  // namespace
}  // namespace reelmill
