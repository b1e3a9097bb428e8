#include "writers/swf/swf_movie_composition.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"
#include "tests/writers/swf_test_reader.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Le16;
using testing::ReadAll;
using testing::ReadSwfFile;
using testing::TempDir;
using testing::WriteAll;

constexpr int kDefineBitsJpeg2 = 21;
constexpr int kDefineShape3 = 32;
constexpr int kPlaceObject2 = 26;
constexpr int kShowFrame = 1;
constexpr int kSetBackgroundColor = 9;

Bytes JpegLike(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + seed);
  return bytes;
}

// The bitmap id that a DefineShape3 body's single bitmap fill refers to.
std::uint16_t FillBitmapId(const testing::SwfTagView& shape) {
  const auto bounds = testing::DecodeRect(shape.body, 2);
  const std::size_t fill = 2 + bounds.bytes + 1;
  EXPECT_EQ(shape.body.at(fill), 0x41);
  return Le16(shape.body, fill + 1);
}

struct Composed {
  TempDir dir;
  std::vector<std::string> frames;
  std::string output = dir / "movie.swf";

  // A frame file per size; size 0 means the file does not exist.
  explicit Composed(std::initializer_list<std::size_t> sizes) {
    std::uint8_t seed = 0;
    for (std::size_t size : sizes) {
      frames.push_back(dir / ("frame" + std::to_string(frames.size()) + ".jpg"));
      if (size) WriteAll(frames.back(), JpegLike(size, ++seed));
    }
  }
  bool Write(float w = 320, float h = 240, int fps = 10) { return WriteJpegFrameMovie(output, w, h, fps, frames); }
};

TEST(SwfMovieComposition, EachFrameIsBitmapShapePlacementAndShowFrame) {
  Composed c{1000, 1500};
  ASSERT_TRUE(c.Write());
  const Bytes file = ReadAll(c.output);
  // Background, then L + 84 bytes per frame of 320 x 240.
  EXPECT_EQ(file.size(), 20u + 5 + (1000 + 84) + (1500 + 84) + 2);
  const auto view = ReadSwfFile(file);
  EXPECT_EQ(view.declaredLength, file.size());
  EXPECT_EQ(view.frameRate, 10);
  EXPECT_EQ(view.frameCount, 2);
  EXPECT_EQ(view.frame.xMax, 6400);
  EXPECT_EQ(view.frame.yMax, 4800);

  const int codes[] = {kSetBackgroundColor, kDefineBitsJpeg2, kDefineShape3, kPlaceObject2, kShowFrame,
                       kDefineBitsJpeg2,    kDefineShape3,    kPlaceObject2, kShowFrame,   0};
  ASSERT_EQ(view.tags.size(), std::size(codes));
  for (std::size_t i = 0; i < view.tags.size(); ++i) EXPECT_EQ(view.tags[i].code, codes[i]) << "tag " << i;
  EXPECT_EQ(view.tags[0].body, (Bytes{0xFF, 0xFF, 0xFF}));

  // Frame 0: bitmap 2, the known 56-byte shape 1, placed at depth 1.
  EXPECT_EQ(Le16(view.tags[1].body, 0), 2u);
  EXPECT_EQ(Bytes(view.tags[1].body.begin() + 6, view.tags[1].body.end() - 2), JpegLike(1000, 1));
  EXPECT_EQ(view.tags[2].whole,
            (Bytes{0x3F, 0x08, 0x32, 0x00, 0x00, 0x00, 0x01, 0x00, 0x70, 0x00, 0x0C, 0x80, 0x00, 0x00,
                   0x96, 0x00, 0x01, 0x41, 0x02, 0x00, 0xD9, 0x40, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01,
                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0x3C, 0x25, 0xF2, 0xC8, 0x00, 0x00, 0x1E,
                   0x40, 0x00, 0x4B, 0x03, 0xCC, 0xE0, 0x00, 0x00, 0x79, 0x00, 0x02, 0xD4, 0x00, 0x00}));
  EXPECT_EQ(view.tags[3].whole, (Bytes{0xBF, 0x06, 0x06, 0x00, 0x00, 0x00, 0x06, 0x01, 0x00, 0x01, 0x00, 0x00}));

  // Frame 1: bitmap 4, shape 3 filled with it, placed one depth higher.
  EXPECT_EQ(Le16(view.tags[5].body, 0), 4u);
  EXPECT_EQ(Bytes(view.tags[5].body.begin() + 6, view.tags[5].body.end() - 2), JpegLike(1500, 2));
  EXPECT_EQ(Le16(view.tags[6].body, 0), 3u);
  EXPECT_EQ(FillBitmapId(view.tags[6]), 4u);
  EXPECT_EQ(view.tags[7].body, (Bytes{0x06, 0x02, 0x00, 0x03, 0x00, 0x00}));
}

TEST(SwfMovieComposition, AMissingFrameFileShowsThePreviousPicture) {
  Composed c{500, 0, 700};
  ASSERT_TRUE(c.Write());
  const auto view = ReadSwfFile(ReadAll(c.output));
  std::vector<int> codes;
  std::vector<std::uint16_t> shapeFills;
  for (const auto& tag : view.tags) {
    codes.push_back(tag.code);
    if (tag.code == kDefineShape3) shapeFills.push_back(FillBitmapId(tag));
  }
  EXPECT_EQ(codes, (std::vector<int>{kSetBackgroundColor, kDefineBitsJpeg2, kDefineShape3, kPlaceObject2, kShowFrame,
                                     kDefineShape3, kPlaceObject2, kShowFrame, kDefineBitsJpeg2, kDefineShape3,
                                     kPlaceObject2, kShowFrame, 0}));
  EXPECT_EQ(shapeFills, (std::vector<std::uint16_t>{2, 2, 6}));
  EXPECT_EQ(view.frameCount, 3);
}

TEST(SwfMovieComposition, WithoutFrameZeroTheFirstShapeRefersToBitmapTwo) {
  Composed c{0, 300};
  ASSERT_TRUE(c.Write());
  const auto view = ReadSwfFile(ReadAll(c.output));
  ASSERT_EQ(view.tags.size(), 9u);
  EXPECT_EQ(view.tags[1].code, kDefineShape3);
  EXPECT_EQ(FillBitmapId(view.tags[1]), 2u);  // no tag defines it
  EXPECT_EQ(view.tags[4].code, kDefineBitsJpeg2);
  EXPECT_EQ(Le16(view.tags[4].body, 0), 4u);
  EXPECT_EQ(FillBitmapId(view.tags[5]), 4u);
}

TEST(SwfMovieComposition, NoFramesGiveABackgroundOnlyMovie) {
  Composed c{};
  ASSERT_TRUE(c.Write());
  EXPECT_EQ(ReadAll(c.output).size(), 27u);
}

TEST(SwfMovieComposition, AFrameFileThatCannotBeReadFailsTheMovie) {
  Composed c{400, 400};
  WriteAll(c.output, {'o', 'l', 'd'});
  fs::remove(c.frames[1]);
  fs::create_directory(c.frames[1]);  // exists, but holds no picture
  EXPECT_FALSE(c.Write());
  EXPECT_EQ(ReadAll(c.output), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(fs::directory_iterator(c.dir.Path()), fs::directory_iterator()), 3);
}

TEST(SwfMovieComposition, MoreFramesThanBitmapIdsAreRefused) {
  Composed c{};
  c.frames.assign(kMaxJpegMovieFrames + 1, c.dir / "none.jpg");
  EXPECT_FALSE(c.Write());
  EXPECT_FALSE(fs::exists(c.output));
  c.frames.pop_back();
  ASSERT_TRUE(c.Write(2, 2));
  const auto view = ReadSwfFile(ReadAll(c.output));
  EXPECT_EQ(view.frameCount, static_cast<int>(kMaxJpegMovieFrames));
  const auto& lastPlace = view.tags[view.tags.size() - 3];
  ASSERT_EQ(lastPlace.code, kPlaceObject2);
  EXPECT_EQ(Le16(lastPlace.body, 1), kMaxJpegMovieFrames);          // depth
  EXPECT_EQ(Le16(lastPlace.body, 3), 2 * kMaxJpegMovieFrames - 1);  // shape id
}

TEST(SwfMovieComposition, AnOutputThatCannotBeCreatedIsAFailure) {
  Composed c{100};
  c.output = c.dir / "missing/movie.swf";
  EXPECT_FALSE(c.Write());
}

}  // namespace
}  // namespace reelmill
