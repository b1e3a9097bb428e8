#include "writers/swf/swf_movie_composition.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/writers/swf_test_reader.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Le16;
using testing::ReadAll;
using testing::ReadSwfFile;

enum Tag { kEnd = 0, kShow = 1, kBackground = 9, kBitmap = 21, kPlace = 26, kShape = 32 };

Bytes JpegLike(std::size_t size, int seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + seed);
  return bytes;
}

// The bitmap id that a DefineShape3 body's single bitmap fill refers to.
std::uint16_t FillBitmapId(const testing::SwfTagView& shape) {
  const std::size_t fill = 2 + testing::DecodeRect(shape.body, 2).bytes + 1;
  EXPECT_EQ(shape.body.at(fill), 0x41);
  return Le16(shape.body, fill + 1);
}

struct Composed {
  testing::TempDir dir;
  std::vector<std::string> frames;
  std::string output = dir / "movie.swf";

  // A frame file per size; size 0 leaves that frame's file missing.
  explicit Composed(std::initializer_list<std::size_t> sizes) {
    for (std::size_t size : sizes) {
      frames.push_back(dir / ("frame" + std::to_string(frames.size()) + ".jpg"));
      if (size) testing::WriteAll(frames.back(), JpegLike(size, static_cast<int>(frames.size())));
    }
  }
  bool Write(float w = 320, float h = 240) { return WriteJpegFrameMovie(output, w, h, 10, frames); }
  testing::SwfFileView Read() const { return ReadSwfFile(ReadAll(output)); }
};

TEST(SwfMovieComposition, EachFrameIsBitmapShapePlacementAndShowFrame) {
  Composed c{1000, 1500};
  ASSERT_TRUE(c.Write());
  const Bytes file = ReadAll(c.output);
  EXPECT_EQ(file.size(), 20u + 5 + (1000 + 84) + (1500 + 84) + 2);  // L + 84 per frame of 320 x 240
  const auto view = c.Read();
  EXPECT_EQ(view.declaredLength, file.size());
  EXPECT_EQ(view.frameRate, 10);
  EXPECT_EQ(view.frameCount, 2);
  std::vector<int> codes;
  for (const auto& tag : view.tags) codes.push_back(tag.code);
  EXPECT_EQ(codes,
            (std::vector<int>{kBackground, kBitmap, kShape, kPlace, kShow, kBitmap, kShape, kPlace, kShow, kEnd}));
  EXPECT_EQ(view.tags[0].body, (Bytes{0xFF, 0xFF, 0xFF}));

  // Frame 0: bitmap 2, the 56-byte shape 1 filled with it, placed at depth 1.
  EXPECT_EQ(Le16(view.tags[1].body, 0), 2u);
  EXPECT_EQ(Bytes(view.tags[1].body.begin() + 6, view.tags[1].body.end() - 2), JpegLike(1000, 1));
  EXPECT_EQ(view.tags[2].whole.size(), 56u);
  EXPECT_EQ(FillBitmapId(view.tags[2]), 2u);
  EXPECT_EQ(view.tags[3].whole, (Bytes{0xBF, 0x06, 0x06, 0x00, 0x00, 0x00, 0x06, 0x01, 0x00, 0x01, 0x00, 0x00}));
  // Frame 1: bitmap 4, shape 3 filled with it, one depth higher.
  EXPECT_EQ(Le16(view.tags[5].body, 0), 4u);
  EXPECT_EQ(Bytes(view.tags[5].body.begin() + 6, view.tags[5].body.end() - 2), JpegLike(1500, 2));
  EXPECT_EQ(Le16(view.tags[6].body, 0), 3u);
  EXPECT_EQ(FillBitmapId(view.tags[6]), 4u);
  EXPECT_EQ(view.tags[7].body, (Bytes{0x06, 0x02, 0x00, 0x03, 0x00, 0x00}));
}

TEST(SwfMovieComposition, AMissingFrameFileShowsThePreviousPicture) {
  Composed c{0, 300, 0, 500};
  ASSERT_TRUE(c.Write());
  std::vector<std::uint16_t> bitmaps, fills;
  for (const auto& tag : c.Read().tags) {
    if (tag.code == kBitmap) bitmaps.push_back(Le16(tag.body, 0));
    if (tag.code == kShape) fills.push_back(FillBitmapId(tag));
  }
  EXPECT_EQ(bitmaps, (std::vector<std::uint16_t>{4, 8}));
  EXPECT_EQ(fills, (std::vector<std::uint16_t>{2, 4, 4, 8}));  // frame 0 refers to 2, which nothing defines
}

TEST(SwfMovieComposition, FailuresLeaveTheExistingOutput) {
  Composed c{400, 400};
  testing::WriteAll(c.output, {'o', 'l', 'd'});
  fs::remove(c.frames[1]);
  fs::create_directory(c.frames[1]);  // exists, but holds no picture
  EXPECT_FALSE(c.Write());

  c.frames.assign(kMaxJpegMovieFrames + 1, c.dir / "none.jpg");  // bitmap ids would pass 16 bits
  EXPECT_FALSE(c.Write());
  EXPECT_EQ(ReadAll(c.output), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(fs::directory_iterator(c.dir.Path()), fs::directory_iterator()), 3);

  c.frames.pop_back();
  ASSERT_TRUE(c.Write(2, 2));
  const auto view = c.Read();
  EXPECT_EQ(view.frameCount, static_cast<int>(kMaxJpegMovieFrames));
  const auto& lastPlace = view.tags[view.tags.size() - 3];
  EXPECT_EQ(Le16(lastPlace.body, 1), kMaxJpegMovieFrames);          // depth
  EXPECT_EQ(Le16(lastPlace.body, 3), 2 * kMaxJpegMovieFrames - 1);  // shape id

  c.frames.clear();
  c.output = c.dir / "missing/movie.swf";
  EXPECT_FALSE(c.Write());
}

}  // namespace
}  // namespace reelmill
