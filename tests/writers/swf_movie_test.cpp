#include "writers/swf/swf_movie.h"

#include <gtest/gtest.h>

#include <filesystem>

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

std::vector<std::string> FolderContent(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SwfMovie, EmptyMovieAndBackgroundColourBytes) {
  TempDir dir;
  SwfMovie empty;
  ASSERT_EQ(empty.Open(dir / "empty.swf", 320, 240, 15), 1);
  ASSERT_TRUE(empty.Close());
  EXPECT_EQ(ReadAll(dir / "empty.swf"), kEmpty320By240At15);

  SwfMovie white;
  ASSERT_EQ(white.Open(dir / "white.swf", 320, 240, 15), 1);
  white.SetBackgroundColor(255, 255, 255);
  ASSERT_TRUE(white.Close());
  const Bytes file = ReadAll(dir / "white.swf");
  ASSERT_EQ(file.size(), 27u);
  EXPECT_EQ(Le32(file, 4), 27u);
  EXPECT_EQ(Bytes(file.begin() + 20, file.end()), (Bytes{0x43, 0x02, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
}

TEST(SwfMovie, FrameRateIsWholeFramesModulo256) {
  TempDir dir;
  for (const auto& [fps, stored] : {std::pair{15, 15}, {300, 44}, {255, 255}, {256, 0}, {0, 1}, {-3, 1}}) {
    SwfMovie movie;
    ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, fps), 1);
    ASSERT_TRUE(movie.Close());
    EXPECT_EQ(Le16(ReadAll(dir / "m.swf"), 16), stored << 8) << fps << " fps";
  }
}

TEST(SwfMovie, EveryShowFrameCountsAndTheCountWrapsAt65536) {
  TempDir dir;
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, 15), 1);
  movie.ShowFrame();
  EXPECT_EQ(movie.FrameCount(), 1);
  for (int i = 1; i < 65536; ++i) movie.ShowFrame();
  EXPECT_EQ(movie.FrameCount(), 0);
  ASSERT_TRUE(movie.Close());
  const Bytes file = ReadAll(dir / "m.swf");
  ASSERT_EQ(file.size(), 22u + 2 * 65536);
  EXPECT_EQ(Le32(file, 4), file.size());
  EXPECT_EQ(Le16(file, 18), 0u);
  EXPECT_EQ(Le16(file, file.size() - 4), 0x0040u);
}

TEST(SwfMovie, TheFileReplacesTheTargetOnlyWhenClosed) {
  TempDir dir;
  const std::string path = dir / "m.swf";
  WriteAll(path, {'o', 'l', 'd'});
  {
    SwfMovie abandoned;
    ASSERT_EQ(abandoned.Open(path, 320, 240, 15), 1);
  }
  EXPECT_EQ(FolderContent(dir.Path()), std::vector<std::string>{"m.swf"});

  SwfMovie movie;
  ASSERT_EQ(movie.Open(path, 320, 240, 15), 1);
  EXPECT_EQ(movie.Open(dir / "second.swf", 640, 480, 30), 0);  // refused while open
  movie.SetBackgroundColor(1, 2, 3);
  // Tags go to a hidden sibling as they come, so a long movie is not held in
  // memory; the old file stays untouched until Close.
  WriteAll(dir / "f.jpg", Bytes(1 << 20, 0xAB));
  SwfJpegBitmap bitmap(2, dir / "f.jpg");
  movie.AddCharacter(&bitmap, -1, false);
  const auto names = FolderContent(dir.Path());
  ASSERT_EQ(names.size(), 3u);
  const std::string& temporary = names[0];
  EXPECT_TRUE(temporary.starts_with(".m.swf.")) << temporary;
  EXPECT_GE(fs::file_size(dir / temporary), 1u << 19);
  EXPECT_EQ(ReadAll(path), (Bytes{'o', 'l', 'd'}));
  fs::remove(dir / "f.jpg");
  ASSERT_TRUE(movie.Close());
  EXPECT_EQ(ReadAll(path).size(), 27u + bitmap.TagBytes().size());  // 320 x 240 at 15 fps, as first opened
  EXPECT_EQ(ReadAll(path)[17], 15);
  EXPECT_EQ(FolderContent(dir.Path()), std::vector<std::string>{"m.swf"});
  EXPECT_FALSE(movie.Close());  // already closed
}

TEST(SwfMovie, WithoutAFileTagsAreCollectedButCloseWritesNothing) {
  TempDir dir;
  SwfMovie movie;
  EXPECT_FALSE(movie.Close());
  EXPECT_EQ(movie.Open(dir / "missing/m.swf", 320, 240, 15), 0);
  movie.ShowFrame();
  EXPECT_EQ(movie.FrameCount(), 1);
  EXPECT_FALSE(movie.Close());
  EXPECT_TRUE(FolderContent(dir.Path()).empty());
}

TEST(SwfMovie, ShapesArePlacedBitmapsNeverAndNullIsIgnored) {
  TempDir dir;
  WriteAll(dir / "f.jpg", Bytes(100, 0xAB));
  SwfJpegBitmap bitmap(2, dir / "f.jpg");
  SwfShape shape(0x1234, 0, 0, 10, 10, 7);
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 10, 10, 15), 1);
  movie.AddCharacter(&bitmap, 1, true);
  movie.AddCharacter(nullptr, 1, true);
  movie.AddCharacter(&shape, 0x0105, true);
  ASSERT_TRUE(movie.Close());
  const auto view = testing::ReadSwfFile(ReadAll(dir / "m.swf"));
  ASSERT_EQ(view.tags.size(), 4u);
  EXPECT_EQ(view.tags[0].whole, bitmap.TagBytes());
  EXPECT_EQ(view.tags[1].whole, shape.TagBytes());
  EXPECT_EQ(view.tags[2].whole, (Bytes{0xBF, 0x06, 0x06, 0x00, 0x00, 0x00, 0x06, 0x05, 0x01, 0x34, 0x12, 0x00}));
  EXPECT_EQ(view.tags[3].code, 0);
}

TEST(SwfJpegBitmap, CarriesTheFileUnchangedBetweenMarkers) {
  TempDir dir;
  Bytes jpeg(1000);
  for (std::size_t i = 0; i < jpeg.size(); ++i) jpeg[i] = static_cast<std::uint8_t>(i * 31 + 5);
  WriteAll(dir / "f.jpg", jpeg);
  SwfJpegBitmap bitmap(0x0102, dir / "f.jpg");
  const Bytes& tag = bitmap.TagBytes();
  ASSERT_EQ(bitmap.TagLength(), 1014u);
  EXPECT_EQ(Bytes(tag.begin(), tag.begin() + 12),
            (Bytes{0x7F, 0x05, 0xF0, 0x03, 0x00, 0x00, 0x02, 0x01, 0xFF, 0xD9, 0xFF, 0xD8}));
  EXPECT_EQ(Bytes(tag.begin() + 12, tag.end() - 2), jpeg);
  EXPECT_EQ(Bytes(tag.end() - 2, tag.end()), (Bytes{0xFF, 0xD9}));

  // Unreadable: an empty tag, which a movie does not append.
  SwfJpegBitmap missing(2, dir / "missing.jpg");
  SwfJpegBitmap folder(2, dir.Path());
  EXPECT_EQ(missing.TagLength(), 0u);
  EXPECT_FALSE(folder.Loaded());
  SwfMovie movie;
  ASSERT_EQ(movie.Open(dir / "m.swf", 320, 240, 15), 1);
  movie.AddCharacter(&missing, -1, false);
  ASSERT_TRUE(movie.Close());
  EXPECT_EQ(ReadAll(dir / "m.swf"), kEmpty320By240At15);
}

}  // namespace
}  // namespace reelmill
