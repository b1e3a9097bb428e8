#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/codec_registry.h"
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

using testing::PatternImage;

ImageFormat Format(std::string_view path) { return CodecRegistry::Instance().FormatFromPath(path); }

TEST(FormatFromPath, ExtensionsOfTheTable) {
  EXPECT_EQ(Format("a.bmp"), ImageFormat::Bmp);
  EXPECT_EQ(Format("a.pcx"), ImageFormat::Pcx);
  EXPECT_EQ(Format("a.jpg"), ImageFormat::Jpeg);
  EXPECT_EQ(Format("/x/a.JPG"), ImageFormat::Jpeg);
  EXPECT_EQ(Format("a.jpeg"), ImageFormat::Jpeg);
  EXPECT_EQ(Format("a.JpEg"), ImageFormat::Jpeg);
  EXPECT_EQ(Format("a.gif"), ImageFormat::Gif);
  EXPECT_EQ(Format("a.tga"), ImageFormat::Tga);
  EXPECT_EQ(Format("a.tif"), ImageFormat::Tiff);
  EXPECT_EQ(Format("a.tiff"), ImageFormat::Tiff);
  EXPECT_EQ(Format("a.png"), ImageFormat::Png);
  EXPECT_EQ(Format("a.psd"), ImageFormat::Psd);
  EXPECT_EQ(Format("a.ico"), ImageFormat::Ico);
  EXPECT_EQ(Format("a.xpm"), ImageFormat::Xpm);
}

TEST(FormatFromPath, OnlyTheTextAfterTheLastDotCounts) {
  EXPECT_EQ(Format("archive.tar.gz"), ImageFormat::Unknown);
  EXPECT_EQ(Format("clip.gif.bmp"), ImageFormat::Bmp);
  EXPECT_EQ(Format("noextension"), ImageFormat::Unknown);
  EXPECT_EQ(Format(""), ImageFormat::Unknown);
  EXPECT_EQ(Format("c:/dir.b/file"), ImageFormat::Unknown);  // the extension is "b/file"
  EXPECT_EQ(Format("/home/ann/dir.png/file"), ImageFormat::Unknown);
  EXPECT_EQ(Format("a."), ImageFormat::Unknown);
  EXPECT_EQ(Format(".png"), ImageFormat::Png);
  EXPECT_EQ(Format("a.pngx"), ImageFormat::Unknown);
  EXPECT_EQ(Format("a. png"), ImageFormat::Unknown);
}

TEST(CreateCodec, OneCodecPerFormatWithACodec) {
  const CodecRegistry& registry = CodecRegistry::Instance();
  EXPECT_TRUE(dynamic_cast<BmpCodec*>(registry.CreateCodec(ImageFormat::Bmp).get()));
  EXPECT_TRUE(dynamic_cast<TgaCodec*>(registry.CreateCodec(ImageFormat::Tga).get()));
  EXPECT_TRUE(dynamic_cast<JpegCodec*>(registry.CreateCodec(ImageFormat::Jpeg).get()));
  EXPECT_TRUE(dynamic_cast<PngCodec*>(registry.CreateCodec(ImageFormat::Png).get()));
  EXPECT_TRUE(dynamic_cast<TiffCodec*>(registry.CreateCodec(ImageFormat::Tiff).get()));
  EXPECT_TRUE(dynamic_cast<IcoCodec*>(registry.CreateCodec(ImageFormat::Ico).get()));
  EXPECT_TRUE(registry.CreateCodec(ImageFormat::Gif));
  for (const ImageFormat none :
       {ImageFormat::Unknown, ImageFormat::Pcx, ImageFormat::Psd, ImageFormat::Xpm, ImageFormat::Native}) {
    EXPECT_EQ(registry.CreateCodec(none), nullptr) << static_cast<int>(none);
  }
  EXPECT_EQ(&CodecRegistry::Instance(), &registry);
}

TEST(ImagePropertiesBag, SetReplacesTheFirstMatchOrAppends) {
  ImageProperties p;
  EXPECT_EQ(p.IndexOf(500), -1);
  EXPECT_EQ(p.Get(500), "");
  p.Set(500, "75");
  p.Set(2000, "0000000000000100");
  p.Set(500, "90");
  ASSERT_EQ(p.Count(), 2u);
  EXPECT_EQ(p.Keys()[0], 500);
  EXPECT_EQ(p.Values()[0], "90");
  EXPECT_EQ(p.IndexOf(2000), 1);
  EXPECT_EQ(p.Get(2000), "0000000000000100");

  ImageProperties copy;
  copy.Set(1, "x");
  copy = p;
  EXPECT_EQ(copy.Keys(), p.Keys());
  EXPECT_EQ(copy.Values(), p.Values());
  p.Clear();
  EXPECT_EQ(p.Count(), 0u);
  EXPECT_EQ(copy.Get(500), "90");
}

int Quality(std::initializer_list<std::pair<std::int32_t, const char*>> entries) {
  ImageProperties p;
  for (const auto& [key, text] : entries) p.Set(key, text);
  return JpegQualityFrom(p);
}

TEST(JpegQuality, FromKey500ThenTheFileTag) {
  EXPECT_EQ(Quality({}), 80);
  EXPECT_EQ(Quality({{QualityKey, "-1"}}), 80);
  EXPECT_EQ(Quality({{QualityKey, ""}}), 80);
  EXPECT_EQ(Quality({{QualityKey, "150"}}), 100);
  EXPECT_EQ(Quality({{QualityKey, "0"}}), 1);
  EXPECT_EQ(Quality({{QualityKey, "abc"}}), 1);
  EXPECT_EQ(Quality({{QualityKey, "75"}}), 75);
  EXPECT_EQ(Quality({{QualityKey, "42xyz"}}), 42);
  EXPECT_EQ(Quality({{QualityKey, "-7"}}), 1);
  EXPECT_EQ(Quality({{QualityKey, "99999999999999999999"}}), 100);
  EXPECT_EQ(Quality({{JpegQualityTagKey, "33"}}), 33);
  EXPECT_EQ(Quality({{QualityKey, "60"}, {JpegQualityTagKey, "33"}}), 60);
  EXPECT_EQ(Quality({{QualityKey, ""}, {JpegQualityTagKey, "33"}}), 33);
  EXPECT_EQ(Quality({{QualityKey, "-1"}, {JpegQualityTagKey, "33"}}), 80);
}

TEST(FrameSetLoad, AppendsAfterExistingFramesInFileOrder) {
  testing::TempDir dir;
  const ImageProperties none;
  ASSERT_TRUE(PatternImage(3, 3, 24, 1).Save(dir / "a.bmp", none));
  ASSERT_TRUE(PatternImage(5, 2, 8, 2).Save(dir / "b.tga", none));

  FrameSet frames;
  ASSERT_TRUE(frames.Load(dir / "a.bmp"));
  ASSERT_TRUE(frames.Load(dir / "b.tga"));
  ASSERT_EQ(frames.Count(), 2u);
  EXPECT_EQ(frames.Frame(0)->Width(), 3);
  EXPECT_EQ(frames.Frame(1)->Width(), 5);
  EXPECT_EQ(frames.Frame(2), nullptr);
  EXPECT_EQ(frames.Frame(-1), nullptr);
  frames.Clear();
  EXPECT_EQ(frames.Count(), 0u);
}

TEST(FrameSetLoad, FailuresLeaveTheSetUnchanged) {
  testing::TempDir dir;
  const ImageProperties none;
  ASSERT_TRUE(PatternImage(3, 3, 24).Save(dir / "a.bmp", none));
  testing::WriteAll(dir / "broken.bmp", {'B', 'M', 1, 2, 3});
  testing::WriteAll(dir / "empty.png", {});
  testing::WriteAll(dir / "a.pcx", {1, 2, 3});

  FrameSet frames;
  ASSERT_TRUE(frames.Load(dir / "a.bmp"));
  EXPECT_FALSE(frames.Load(dir / "missing.bmp"));
  EXPECT_FALSE(frames.Load(dir / "broken.bmp"));
  EXPECT_FALSE(frames.Load(dir / "empty.png"));
  EXPECT_FALSE(frames.Load(dir / "a.pcx"));
  EXPECT_FALSE(frames.Load(dir.Path()));  // a folder is not a file
  EXPECT_EQ(frames.Count(), 1u);
}

TEST(FrameSetLoad, PropertiesAreCopiedOnlyWhenAsked) {
  testing::TempDir dir;
  ASSERT_TRUE(PatternImage(2, 2, 24).Save(dir / "a.tga", ImageProperties()));
  FrameSet frames;
  ImageProperties properties;
  properties.Set(7, "stale");
  ASSERT_TRUE(frames.Load(dir / "a.tga", &properties));
  EXPECT_EQ(properties.Get(TgaCompressionKey), "-1");
  EXPECT_EQ(properties.IndexOf(7), -1);  // replaced, not merged
  ASSERT_TRUE(frames.Load(dir / "a.tga"));
  EXPECT_EQ(frames.Count(), 2u);
}

TEST(CodecSave, EverySaverRefusesAnEmptySequenceOrImage) {
  testing::TempDir dir;
  const PixelImage empty;
  const PixelImage* const emptyImage[] = {&empty};
  const ImageProperties none;
  BmpCodec bmp;
  TgaCodec tga;
  JpegCodec jpeg;
  PngCodec png;
  TiffCodec tiff;
  for (ImageCodec* codec : std::initializer_list<ImageCodec*>{&bmp, &tga, &jpeg, &png, &tiff}) {
    EXPECT_FALSE(codec->SaveFile(dir / "x", {}, none));
    EXPECT_FALSE(codec->SaveFile(dir / "x", emptyImage, none));
  }
  // Icons are read only.
  const PixelImage image = PatternImage(16, 16, 32);
  const PixelImage* const images[] = {&image};
  EXPECT_FALSE(IcoCodec().SaveFile(dir / "a.ico", images, none));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
}  // namespace reelmill
