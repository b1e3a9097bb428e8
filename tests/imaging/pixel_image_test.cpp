#include "imaging/pixel_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/image_properties.h"
#include "tests/imaging/image_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::PatternImage;
using testing::SamePixels;

ImageDescriptor Descriptor(int width, int height, int bitCount, std::uint32_t compression = kCompressionRgb) {
  ImageDescriptor d;
  d.header.width = width;
  d.header.height = height;
  d.header.bitCount = static_cast<std::uint16_t>(bitCount);
  d.header.compression = compression;
  return d;
}

TEST(PixelImageLayout, StrideRowsAndPadding) {
  PixelImage image;
  ASSERT_TRUE(image.Create(3, 2, 24));
  EXPECT_EQ(image.Stride(), 12u);
  EXPECT_EQ(image.BufferSize(), 24u);
  // Rows are bottom-up: the top row is the last one in memory.
  EXPECT_EQ(image.Row(0), image.Bits() + 12);
  EXPECT_EQ(image.Row(1), image.Bits());
  EXPECT_EQ(PixelImage::StrideFor(33, 1), 8u);
  EXPECT_EQ(PixelImage::StrideFor(1, 1), 4u);
  EXPECT_EQ(PixelImage::StrideFor(9, 4), 8u);
  EXPECT_EQ(PixelImage::StrideFor(5, 8), 8u);
  EXPECT_EQ(PixelImage::StrideFor(3, 16), 8u);
  EXPECT_EQ(PixelImage::StrideFor(5, 32), 20u);
}

TEST(PixelImageLayout, HeaderFieldsOfANewImage) {
  PixelImage image;
  ImageDescriptor d = Descriptor(5, 4, 8);
  d.header.xPelsPerMeter = 2835;
  d.header.yPelsPerMeter = 2836;
  d.header.sizeImage = 99;
  d.header.clrUsed = 7;
  ASSERT_TRUE(image.Create(d));
  const BitmapInfoHeader& h = image.Header();
  EXPECT_EQ(h.size, 40u);
  EXPECT_EQ(h.planes, 1);
  EXPECT_EQ(h.compression, 0u);
  EXPECT_EQ(h.sizeImage, 0u);
  EXPECT_EQ(h.clrUsed, 0u);
  EXPECT_EQ(h.xPelsPerMeter, 2835);
  EXPECT_EQ(h.yPelsPerMeter, 2836);
  // The pixels start zero.
  for (std::size_t i = 0; i < image.BufferSize(); ++i) ASSERT_EQ(image.Bits()[i], 0) << i;
}

TEST(PixelImageLayout, SixteenBitMasks) {
  PixelImage plain;
  ASSERT_TRUE(plain.Create(2, 2, 16));
  EXPECT_EQ(plain.RedMask(), 0x7C00u);
  EXPECT_EQ(plain.GreenMask(), 0x03E0u);
  EXPECT_EQ(plain.BlueMask(), 0x001Fu);
  EXPECT_EQ(plain.Header().compression, 0u);

  ImageDescriptor d = Descriptor(2, 2, 16, kCompressionBitFields);
  d.redMask = 0xF800;
  d.greenMask = 0x07E0;
  d.blueMask = 0x001F;
  PixelImage fields;
  ASSERT_TRUE(fields.Create(d));
  EXPECT_EQ(fields.Header().compression, 3u);
  EXPECT_EQ(fields.RedMask(), 0xF800u);
  EXPECT_EQ(fields.GreenMask(), 0x07E0u);

  // Masks mean nothing for other depths.
  PixelImage rgb;
  ASSERT_TRUE(rgb.Create(Descriptor(2, 2, 24, kCompressionBitFields)));
  EXPECT_EQ(rgb.Header().compression, 0u);
  EXPECT_EQ(rgb.RedMask(), 0u);
}

TEST(PixelImageCreate, RefusesBadDescriptorsAndKeepsTheImage) {
  PixelImage image = PatternImage(4, 4, 24);
  const auto before = testing::PixelBytes(image);
  EXPECT_FALSE(image.Create(Descriptor(10, -10, 24)));  // top-down
  EXPECT_FALSE(image.Create(Descriptor(0, 10, 24)));
  EXPECT_FALSE(image.Create(Descriptor(-1, 10, 24)));
  EXPECT_FALSE(image.Create(Descriptor(10, 10, 2)));
  EXPECT_FALSE(image.Create(Descriptor(10, 10, 0)));
  EXPECT_FALSE(image.Create(Descriptor(10, 10, 24, 1)));  // run-length
  EXPECT_FALSE(image.Create(Descriptor(10, 10, 24, 2)));
  EXPECT_EQ(image.Width(), 4);
  EXPECT_EQ(testing::PixelBytes(image), before);
}

TEST(PixelImageCreate, RefusesMoreThanTheLimitOfPixels) {
  PixelImage image;
  EXPECT_FALSE(image.Create(1 << 15, (1 << 13) + 1, 8));   // 2^28 + 2^15 pixels
  EXPECT_FALSE(image.Create(0x7FFFFFFF, 0x7FFFFFFF, 32));  // the product overflows 32 bits
  EXPECT_FALSE(image.Create(0x7FFFFFFF, 1, 32));
  EXPECT_TRUE(image.IsEmpty());
  EXPECT_TRUE(image.Create(1 << 14, 1 << 14, 1));  // exactly 2^28 pixels is allowed
  EXPECT_EQ(image.BufferSize(), (std::size_t{1} << 28) / 8);
}

TEST(PixelImagePalette, GreyRampOfNewImages) {
  PixelImage eight;
  ASSERT_TRUE(eight.Create(2, 2, 8));
  ASSERT_EQ(eight.Palette().size(), 256u);
  EXPECT_EQ(eight.Palette()[0], (PaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(eight.Palette()[255], (PaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(eight.Palette()[128], (PaletteEntry{128, 128, 128, 0}));

  PixelImage four;
  ASSERT_TRUE(four.Create(2, 2, 4));
  ASSERT_EQ(four.Palette().size(), 16u);
  EXPECT_EQ(four.Palette()[15], (PaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(four.Palette()[1], (PaletteEntry{17, 17, 17, 0}));

  PixelImage one;
  ASSERT_TRUE(one.Create(2, 2, 1));
  ASSERT_EQ(one.Palette().size(), 2u);
  EXPECT_EQ(one.Palette()[1], (PaletteEntry{255, 255, 255, 0}));

  PixelImage rgb;
  ASSERT_TRUE(rgb.Create(2, 2, 24));
  EXPECT_TRUE(rgb.Palette().empty());
}

TEST(PixelImagePalette, GetAndSetCopyInRangeEntriesOnly) {
  PixelImage image;
  ASSERT_TRUE(image.Create(2, 2, 1));
  const PaletteEntry in[3] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 9, 9, 9}};
  ASSERT_TRUE(image.SetPalette(0, 3, in));  // the third entry is past 2^1 and skipped
  EXPECT_EQ(image.Palette()[0], in[0]);
  EXPECT_EQ(image.Palette()[1], in[1]);

  PaletteEntry out[2] = {{42, 42, 42, 42}, {42, 42, 42, 42}};
  ASSERT_TRUE(image.GetPalette(1, 2, out));
  EXPECT_EQ(out[0], in[1]);
  EXPECT_EQ(out[1], (PaletteEntry{42, 42, 42, 42}));  // index 2 does not exist: untouched
}

TEST(PixelImagePalette, RefusalsCopyNothing) {
  PixelImage empty;
  PaletteEntry entry{1, 1, 1, 1};
  EXPECT_FALSE(empty.GetPalette(0, 1, &entry));
  EXPECT_FALSE(empty.SetPalette(0, 1, &entry));

  PixelImage rgb;
  ASSERT_TRUE(rgb.Create(2, 2, 24));
  EXPECT_FALSE(rgb.SetPalette(0, 1, &entry));
  EXPECT_FALSE(rgb.GetPalette(0, 1, &entry));

  PixelImage mapped;
  ASSERT_TRUE(mapped.Create(2, 2, 8));
  EXPECT_FALSE(mapped.SetPalette(-1, 1, &entry));
  EXPECT_FALSE(mapped.GetPalette(0, 1, nullptr));
  EXPECT_FALSE(mapped.SetPalette(0, 1, nullptr));
  EXPECT_EQ(mapped.Palette()[0], (PaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(entry, (PaletteEntry{1, 1, 1, 1}));
}

TEST(PixelImageAlpha, SetsTheFourthByteOf32BitPixelsOnly) {
  PixelImage rgba = PatternImage(3, 2, 32);
  rgba.SetAlpha(0x7F);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(rgba.PixelAddress(x, y)[3], 0x7F);
  }
  PixelImage rgb = PatternImage(3, 2, 24);
  const auto before = testing::PixelBytes(rgb);
  rgb.SetAlpha(255);
  EXPECT_EQ(testing::PixelBytes(rgb), before);
}

TEST(PixelImageCopy, AssignCopiesEverything) {
  PixelImage source = PatternImage(7, 5, 4);
  source.SetPosition(-3, 9);
  PixelImage copy;
  copy.Assign(source);
  EXPECT_TRUE(SamePixels(copy, source));
  EXPECT_TRUE(testing::SamePalette(copy, source, true));
  EXPECT_EQ(copy.PosX(), -3);
  EXPECT_EQ(copy.PosY(), 9);
  EXPECT_NE(copy.Bits(), source.Bits());

  ImageDescriptor d = Descriptor(3, 3, 16, kCompressionBitFields);
  d.redMask = 0xF800;
  d.greenMask = 0x07E0;
  d.blueMask = 0x001F;
  PixelImage fields;
  ASSERT_TRUE(fields.Create(d));
  PixelImage fieldsCopy(fields);
  EXPECT_EQ(fieldsCopy.Header().compression, 3u);
  EXPECT_EQ(fieldsCopy.GreenMask(), 0x07E0u);
}

TEST(PixelImageCopy, AssignFromEmptyOrSelfChangesNothing) {
  PixelImage target = PatternImage(4, 4, 24);
  const auto before = testing::PixelBytes(target);
  target.Assign(PixelImage());
  EXPECT_EQ(target.Width(), 4);
  EXPECT_EQ(testing::PixelBytes(target), before);
  target.Assign(target);
  EXPECT_EQ(testing::PixelBytes(target), before);
}

TEST(PixelImageCopy, MoveAndReleaseLeaveAnEmptyImage) {
  PixelImage source = PatternImage(4, 3, 8);
  const auto pixels = testing::PixelBytes(source);
  PixelImage moved(std::move(source));
  EXPECT_TRUE(source.IsEmpty());
  EXPECT_EQ(source.Header().size, 0u);
  EXPECT_TRUE(source.Palette().empty());
  EXPECT_EQ(testing::PixelBytes(moved), pixels);
  moved.Release();
  EXPECT_TRUE(moved.IsEmpty());
  EXPECT_EQ(moved.Width(), 0);
  EXPECT_TRUE(moved.Palette().empty());
}

// Pixel (x, y) of a 24-bit image as one number.
std::uint32_t Bgr(const PixelImage& image, int x, int y) {
  const std::uint8_t* p = image.PixelAddress(x, y);
  return p[0] | p[1] << 8 | p[2] << 16;
}

TEST(PixelImageExpand, ReplicatesEdgesOfA2x2Image) {
  PixelImage image;
  ASSERT_TRUE(image.Create(2, 2, 24));
  const std::uint32_t colours[2][2] = {{0x010203, 0x040506}, {0x070809, 0x0A0B0C}};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) {
      std::uint8_t* p = image.PixelAddress(x, y);
      p[0] = static_cast<std::uint8_t>(colours[y][x]);
      p[1] = static_cast<std::uint8_t>(colours[y][x] >> 8);
      p[2] = static_cast<std::uint8_t>(colours[y][x] >> 16);
    }
  }
  image.Expand(true, 10, 10, 10, 10);
  ASSERT_EQ(image.Width(), 22);
  ASSERT_EQ(image.Height(), 22);
  EXPECT_EQ(Bgr(image, 0, 0), colours[0][0]);
  EXPECT_EQ(Bgr(image, 21, 21), colours[1][1]);
  EXPECT_EQ(Bgr(image, 5, 10), colours[0][0]);
  EXPECT_EQ(Bgr(image, 15, 11), colours[1][1]);
  EXPECT_EQ(Bgr(image, 21, 0), colours[0][1]);   // top right corner
  EXPECT_EQ(Bgr(image, 0, 21), colours[1][0]);   // bottom left corner
  EXPECT_EQ(Bgr(image, 11, 3), colours[0][1]);   // above the image: its first row
  EXPECT_EQ(Bgr(image, 10, 18), colours[1][0]);  // below it: its last row
  EXPECT_EQ(Bgr(image, 10, 10), colours[0][0]);
  EXPECT_EQ(Bgr(image, 11, 11), colours[1][1]);
  EXPECT_EQ(image.PosX(), -10);
  EXPECT_EQ(image.PosY(), -10);
}

TEST(PixelImageExpand, WithoutReplicationTheMarginsAreZero) {
  PixelImage image = PatternImage(3, 2, 32);
  const PixelImage original(image);
  image.Expand(false, 1, 2, 3, 4);
  ASSERT_EQ(image.Width(), 7);
  ASSERT_EQ(image.Height(), 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 7; ++x) {
      const bool inside = x >= 1 && x < 4 && y >= 2 && y < 4;
      const std::uint8_t* p = image.PixelAddress(x, y);
      if (inside) {
        EXPECT_EQ(std::memcmp(p, original.PixelAddress(x - 1, y - 2), 4), 0) << x << "," << y;
      } else {
        EXPECT_EQ(p[0] | p[1] | p[2] | p[3], 0) << x << "," << y;
      }
    }
  }
}

TEST(PixelImageExpand, IgnoredForSmallDepthsNegativeOrZeroMargins) {
  PixelImage packed = PatternImage(5, 5, 4);
  packed.Expand(true, 1, 1, 1, 1);
  EXPECT_EQ(packed.Width(), 5);
  PixelImage rgb = PatternImage(5, 5, 24);
  rgb.Expand(true, -1, 1, 1, 1);
  EXPECT_EQ(rgb.Width(), 5);
  rgb.Expand(true, 0, 0, 0, 0);
  EXPECT_EQ(rgb.Width(), 5);
  EXPECT_EQ(rgb.PosX(), 0);
  PixelImage empty;
  empty.Expand(true, 1, 1, 1, 1);
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(PixelImageExpand, KeepsPaletteAndSixteenBitMasks) {
  PixelImage mapped = PatternImage(3, 3, 8);
  const PixelImage original(mapped);
  mapped.Expand(true, 2, 0, 0, 0);
  EXPECT_TRUE(testing::SamePalette(mapped, original, true));
  EXPECT_EQ(*mapped.PixelAddress(0, 0), *original.PixelAddress(0, 0));

  ImageDescriptor d = Descriptor(2, 2, 16, kCompressionBitFields);
  d.redMask = 0xF800;
  d.greenMask = 0x07E0;
  d.blueMask = 0x001F;
  PixelImage fields;
  ASSERT_TRUE(fields.Create(d));
  fields.Expand(true, 1, 1, 1, 1);
  EXPECT_EQ(fields.Header().compression, 3u);
  EXPECT_EQ(fields.RedMask(), 0xF800u);
  EXPECT_EQ(fields.GreenMask(), 0x07E0u);
}

TEST(PixelImageExpand, RefusedSizeLeavesTheImageAsItWas) {
  PixelImage image = PatternImage(2, 2, 8);
  image.Expand(true, 1 << 20, 0, 1 << 20, 1 << 10);  // past the pixel limit
  EXPECT_EQ(image.Width(), 2);
  EXPECT_EQ(image.PosX(), 0);
}

TEST(PixelImageSerialize, FlatFormLayoutAndRoundTrip) {
  PixelImage image = PatternImage(3, 2, 24);
  image.SetPosition(-5, 7);
  const std::size_t size = image.Serialize(true, {});
  ASSERT_EQ(size, 24u + 60u);
  std::vector<std::uint8_t> flat(size);
  ASSERT_EQ(image.Serialize(true, flat), size);
  EXPECT_EQ(testing::Le32(flat, 0), 40u);  // header size
  EXPECT_EQ(testing::Le32(flat, 4), 3u);   // width
  EXPECT_EQ(testing::Le32(flat, 8), 2u);   // height
  EXPECT_EQ(testing::Le16(flat, 14), 24);  // bit count
  EXPECT_EQ(std::memcmp(flat.data() + 52, image.Bits(), 24), 0);
  EXPECT_EQ(static_cast<std::int32_t>(testing::Le32(flat, 76)), -5);
  EXPECT_EQ(testing::Le32(flat, 80), 7u);

  PixelImage back;
  ASSERT_EQ(back.Serialize(false, flat), size);
  EXPECT_TRUE(SamePixels(back, image));
  EXPECT_EQ(back.PosX(), -5);
  EXPECT_EQ(back.PosY(), 7);
}

TEST(PixelImageSerialize, SixteenBitMasksComeBackAndPaletteIsGrey) {
  ImageDescriptor d = Descriptor(2, 2, 16, kCompressionBitFields);
  d.redMask = 0xF800;
  d.greenMask = 0x07E0;
  d.blueMask = 0x001F;
  PixelImage fields;
  ASSERT_TRUE(fields.Create(d));
  std::vector<std::uint8_t> flat(fields.Serialize(true, {}));
  fields.Serialize(true, flat);
  PixelImage back;
  ASSERT_GT(back.Serialize(false, flat), 0u);
  EXPECT_EQ(back.RedMask(), 0xF800u);

  PixelImage mapped = PatternImage(2, 2, 8);
  flat.assign(mapped.Serialize(true, {}), 0);
  mapped.Serialize(true, flat);
  ASSERT_GT(back.Serialize(false, flat), 0u);
  EXPECT_EQ(back.Palette()[200], (PaletteEntry{200, 200, 200, 0}));
}

TEST(PixelImageSerialize, RefusesShortOrBadFlatFormsAndKeepsTheImage) {
  PixelImage image = PatternImage(3, 2, 24);
  std::vector<std::uint8_t> flat(image.Serialize(true, {}));
  image.Serialize(true, flat);

  PixelImage target = PatternImage(1, 1, 8);
  for (std::size_t cut = 0; cut < flat.size(); ++cut) {
    ASSERT_EQ(target.Serialize(false, std::span(flat.data(), cut)), 0u) << cut;
  }
  auto negative = flat;
  negative[11] = 0xFF;  // height -> negative
  EXPECT_EQ(target.Serialize(false, negative), 0u);
  auto huge = flat;
  huge[4] = huge[5] = huge[6] = 0xFF;
  huge[7] = 0x3F;  // width about 2^30: refused before any allocation
  EXPECT_EQ(target.Serialize(false, huge), 0u);
  EXPECT_EQ(target.Width(), 1);

  PixelImage empty;
  EXPECT_EQ(empty.Serialize(true, flat), 0u);
  // A buffer that is too small only reports the size.
  std::vector<std::uint8_t> small(10, 0xAB);
  EXPECT_EQ(image.Serialize(true, small), flat.size());
  EXPECT_EQ(small[0], 0xAB);
}

TEST(PixelImageSave, RefusesEmptyImagesAndFormatsWithoutEncoder) {
  testing::TempDir dir;
  ImageProperties none;
  PixelImage empty;
  EXPECT_FALSE(empty.Save(dir / "empty.bmp", none));
  PixelImage image = PatternImage(4, 4, 24);
  for (const char* name : {"x.ico", "x.pcx", "x.psd", "x.xpm", "x", "x.txt"}) {
    EXPECT_FALSE(image.Save(dir / name, none)) << name;
    EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
  }
  EXPECT_FALSE(image.Save("", none));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(PixelImageSave, DispatchesByExtension) {
  testing::TempDir dir;
  PixelImage image = PatternImage(6, 5, 24);
  const ImageProperties none;
  const std::pair<const char*, std::vector<std::uint8_t>> signatures[] = {
      {"a.BMP", {'B', 'M'}},        {"a.tga", {12}}, {"a.jpeg", {0xFF, 0xD8, 0xFF}}, {"a.png", {0x89, 'P', 'N', 'G'}},
      {"a.tif", {'I', 'I', 42, 0}},
  };
  for (const auto& [name, signature] : signatures) {
    ASSERT_TRUE(image.Save(dir / name, none)) << name;
    const auto bytes = testing::ReadAll(dir / name);
    ASSERT_GE(bytes.size(), signature.size()) << name;
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), bytes.begin())) << name;
  }
}

TEST(PixelImageSave, FailedSaveKeepsTheExistingFile) {
  testing::TempDir dir;
  const std::string path = dir / "frame.tga";
  testing::WriteAll(path, {1, 2, 3});
  PixelImage packed = PatternImage(4, 4, 4);  // TGA cannot hold 4 bits
  EXPECT_FALSE(packed.Save(path, ImageProperties()));
  EXPECT_EQ(testing::ReadAll(path), (std::vector<std::uint8_t>{1, 2, 3}));
  // And no temporary file stays behind.
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace reelmill
