#include "writers/swf/swf_movie.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"
#include "tests/writers/swf_test_reader.h"
#include "writers/swf/swf_jpeg_bitmap.h"
#include "writers/swf/swf_shape.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Le16;
using testing::Le32;
using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

const Bytes kEmpty320By240At15 = {0x46, 0x57, 0x53, 0x03, 0x16, 0x00, 0x00, 0x00, 0x70, 0x00, 0x0C,
                                  0x80, 0x00, 0x00, 0x96, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x00};

std::size_t EntriesIn(const std::string& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(SwfMovie, AnEmptyMovieIsTwentyTwoBytes) {
  TempDir dir;
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, 15), 1);
  ASSERT_TRUE(movie.Close());
  EXPECT_EQ(ReadAll(dir / "m.swf"), kEmpty320By240At15);
}

TEST(SwfMovie, BackgroundColourIsAShortTagAfterTheHeader) {
  TempDir dir;
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, 15), 1);
  movie.SetBackgroundColor(255, 255, 255);
  ASSERT_TRUE(movie.Close());
  const Bytes file = ReadAll(dir / "m.swf");
  ASSERT_EQ(file.size(), 27u);
  EXPECT_EQ(Le32(file, 4), 27u);
  EXPECT_EQ(Bytes(file.begin() + 20, file.end()), (Bytes{0x43, 0x02, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
}

TEST(SwfMovie, FrameRateIsWholeFramesModulo256) {
  const std::pair<int, int> cases[] = {{15, 15}, {300, 44}, {255, 255}, {256, 0}, {0, 1}, {-3, 1}};
  for (const auto& [fps, stored] : cases) {
    TempDir dir;
    SwfMovie movie;
    ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, fps), 1);
    ASSERT_TRUE(movie.Close());
    const Bytes file = ReadAll(dir / "m.swf");
    EXPECT_EQ(file.at(16), 0) << fps << " fps";
    EXPECT_EQ(file.at(17), stored) << fps << " fps";
  }
}

TEST(SwfMovie, EveryShowFrameCountsAndTheCountWrapsAt65536) {
  TempDir dir;
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, 15), 1);
  movie.ShowFrame();
  movie.ShowFrame();
  EXPECT_EQ(movie.FrameCount(), 2);
  for (int i = 2; i < 65536; ++i) movie.ShowFrame();
  EXPECT_EQ(movie.FrameCount(), 0);
  ASSERT_TRUE(movie.Close());
  const Bytes file = ReadAll(dir / "m.swf");
  ASSERT_EQ(file.size(), 22u + 2 * 65536);
  EXPECT_EQ(Le32(file, 4), file.size());
  EXPECT_EQ(Le16(file, 18), 0u);
  EXPECT_EQ(Le16(file, 20), 0x0040u);
  EXPECT_EQ(Le16(file, file.size() - 4), 0x0040u);
}

TEST(SwfMovie, LargeFramesKeepTheirSizeInTheHeader) {
  TempDir dir;
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 3840, 2160, 24), 1);
  ASSERT_TRUE(movie.Close());
  const auto view = testing::ReadSwfFile(ReadAll(dir / "m.swf"));
  EXPECT_EQ(view.frame.xMax, 76800);
  EXPECT_EQ(view.frame.yMax, 43200);
  EXPECT_EQ(view.frameRate, 24);
}

TEST(SwfMovie, TheFileAppearsOnlyWhenClosed) {
  TempDir dir;
  const std::string path = dir / "m.swf";
  WriteAll(path, {'o', 'l', 'd'});
  SwfMovie movie;
  ASSERT_EQ(movie.Open(path, 320, 240, 15), 1);
  movie.SetBackgroundColor(1, 2, 3);
  // The new file exists beside the old one, still empty; the old one is untouched.
  EXPECT_EQ(ReadAll(path), (Bytes{'o', 'l', 'd'}));
  ASSERT_EQ(EntriesIn(dir.Path()), 2u);
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    if (entry.path() != path) {
      EXPECT_EQ(fs::file_size(entry.path()), 0u);
    }
  }
  ASSERT_TRUE(movie.Close());
  EXPECT_EQ(ReadAll(path).size(), 27u);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(SwfMovie, AMovieNeverClosedLeavesNothing) {
  TempDir dir;
  WriteAll(dir / "m.swf", {'o', 'l', 'd'});
  {
    SwfMovie movie;
    ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, 15), 1);
    movie.ShowFrame();
  }
  EXPECT_EQ(ReadAll(dir / "m.swf"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(SwfMovie, ASecondOpenIsRefusedAndChangesNothing) {
  TempDir dir;
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "first.swf", 320, 240, 15), 1);
  EXPECT_EQ(movie.Open(dir / "second.swf", 640, 480, 30), 0);
  ASSERT_TRUE(movie.Close());
  EXPECT_EQ(ReadAll(dir / "first.swf"), kEmpty320By240At15);
  EXPECT_FALSE(fs::exists(dir / "second.swf"));
  EXPECT_FALSE(movie.Close());  // already closed
}

TEST(SwfMovie, WithoutAFileCloseWritesNothingAndSaysSo) {
  TempDir dir;
  SwfMovie movie;
  EXPECT_FALSE(movie.Close());
  EXPECT_EQ(movie.Open(dir / "missing/m.swf", 320, 240, 15), 0);
  movie.SetBackgroundColor(0, 0, 0);
  movie.ShowFrame();
  EXPECT_EQ(movie.FrameCount(), 1);
  EXPECT_FALSE(movie.Close());
  EXPECT_EQ(EntriesIn(dir.Path()), 0u);
}

TEST(SwfMovie, BitmapsAreNeverPlacedAndNullIsIgnored) {
  TempDir dir;
  WriteAll(dir / "f.jpg", Bytes(100, 0xAB));
  SwfJpegBitmap bitmap(2, dir / "f.jpg");
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, 15), 1);
  movie.AddCharacter(&bitmap, 1, true);
  movie.AddCharacter(nullptr, 1, true);
  ASSERT_TRUE(movie.Close());
  const Bytes file = ReadAll(dir / "m.swf");
  ASSERT_EQ(file.size(), 22u + 114);
  EXPECT_EQ(Bytes(file.begin() + 20, file.end() - 2), bitmap.TagBytes());
}

TEST(SwfMovie, PlacingAShapeAddsPlaceObject2WithItsIdDepthAndIdentityMatrix) {
  TempDir dir;
  SwfShape shape(0x1234, 0, 0, 10, 10, 7);
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 10, 10, 15), 1);
  movie.AddCharacter(&shape, 0x0105, true);
  ASSERT_TRUE(movie.Close());
  const auto view = testing::ReadSwfFile(ReadAll(dir / "m.swf"));
  ASSERT_EQ(view.tags.size(), 3u);
  EXPECT_EQ(view.tags[0].whole, shape.TagBytes());
  EXPECT_EQ(view.tags[1].whole,
            (Bytes{0xBF, 0x06, 0x06, 0x00, 0x00, 0x00, 0x06, 0x05, 0x01, 0x34, 0x12, 0x00}));
  EXPECT_EQ(view.tags[2].code, 0);
}

TEST(SwfJpegBitmap, CarriesTheFileBetweenMarkersInALongTag) {
  TempDir dir;
  Bytes jpeg(1000);
  for (std::size_t i = 0; i < jpeg.size(); ++i) jpeg[i] = static_cast<std::uint8_t>(i * 31 + 5);
  WriteAll(dir / "f.jpg", jpeg);
  SwfJpegBitmap bitmap(0x0102, dir / "f.jpg");
  ASSERT_TRUE(bitmap.Loaded());
  const Bytes& tag = bitmap.TagBytes();
  ASSERT_EQ(tag.size(), 1014u);
  EXPECT_EQ(bitmap.TagLength(), 1014u);
  EXPECT_EQ(Bytes(tag.begin(), tag.begin() + 12),
            (Bytes{0x7F, 0x05, 0xF0, 0x03, 0x00, 0x00, 0x02, 0x01, 0xFF, 0xD9, 0xFF, 0xD8}));
  EXPECT_EQ(Bytes(tag.begin() + 12, tag.end() - 2), jpeg);
  EXPECT_EQ(Bytes(tag.end() - 2, tag.end()), (Bytes{0xFF, 0xD9}));
  EXPECT_EQ(bitmap.CharacterKind(), SwfCharacter::kBitmap);
}

TEST(SwfJpegBitmap, AFileThatCannotBeReadGivesAnEmptyTag) {
  TempDir dir;
  SwfJpegBitmap missing(2, dir / "missing.jpg");
  EXPECT_FALSE(missing.Loaded());
  EXPECT_EQ(missing.TagLength(), 0u);
  SwfJpegBitmap folder(2, dir.Path());
  EXPECT_FALSE(folder.Loaded());

  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, 15), 1);
  movie.AddCharacter(&missing, -1, false);
  ASSERT_TRUE(movie.Close());
  EXPECT_EQ(ReadAll(dir / "m.swf"), kEmpty320By240At15);
}

}  // namespace
}  // namespace reelmill
