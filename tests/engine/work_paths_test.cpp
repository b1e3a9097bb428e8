#include "engine/work_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/conversion_settings.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

TEST(WorkPaths, TemporaryFrameFilesKeepTheGifNameAndNumberTheStep) {
  EXPECT_EQ(TempFolderOf("/home/ann/out/"), "/home/ann/out/varnle_reelmill/Temp/");
  EXPECT_EQ(TempFramePath("/home/ann/out/", "/home/ann/gifs/cat.gif", 12),
            "/home/ann/out/varnle_reelmill/Temp/cat.gif00012.jpg");
  // A path without '/' is all file name.
  EXPECT_EQ(TempFramePath("/o/", "cat.gif", 0), "/o/varnle_reelmill/Temp/cat.gif00000.jpg");
  EXPECT_EQ(TempFramePath("/o/", "a.gif", 123456), "/o/varnle_reelmill/Temp/a.gif123456.jpg");
}

TEST(WorkPaths, OutputsReplaceTheLastThreeCharactersOfTheName) {
  EXPECT_EQ(OutputPathFor("/out/", "/gifs/dance.gif", kOutputAvi), "/out/dance.avi");
  EXPECT_EQ(OutputPathFor("/out/", "/gifs/dance.gif", kOutputSwf), "/out/dance.swf");
  EXPECT_EQ(OutputPathFor("/out/", "/gifs/DANCE.GIF", kOutputAvi), "/out/DANCE.avi");
  EXPECT_EQ(OutputPathFor("/out/", "/gifs/clip.jpeg", kOutputSwf), "/out/clip.jswf");
  EXPECT_EQ(OutputPathFor("/out/", "/gifs/ab", kOutputAvi), "/out/avi");
}

TEST(WorkPaths, SequencesLiveInAFolderPerExtension) {
  EXPECT_EQ(SequenceFolderOf("/out/", "png"), "/out/varnle_reelmill/png/");
  EXPECT_EQ(SequenceFramePath("/out/", "/gifs/dance.gif", "png", 3), "/out/varnle_reelmill/png/dance.gif00003.png");
  EXPECT_EQ(SequenceExtensionOf("TIFF"), "tiff");
  EXPECT_EQ(SequenceExtensionOf("JPG"), "jpg");
}

TEST(ResetTempFolder, CreatesTheFolderAndRemovesWhatPassesLeftButNothingElse) {
  testing::TempDir dir;
  ASSERT_TRUE(ResetTempFolder(dir.Path()));
  const std::string temp = TempFolderOf(dir.Path());
  EXPECT_TRUE(std::filesystem::is_directory(temp));
  testing::WriteAll(temp + "left.gif00000.jpg", {1});
  testing::WriteAll(temp + "left.gif.frames", {1});
  testing::WriteAll(temp + "users.gif", {2});  // somebody's file, maybe in the list
  ASSERT_TRUE(ResetTempFolder(dir.Path()));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp), {}), 1);
  EXPECT_TRUE(std::filesystem::exists(temp + "users.gif"));
}

TEST(ResetTempFolder, FailsWhenTheFolderCannotBeMade) {
  testing::TempDir dir;
  testing::WriteAll(dir / "file", {1});
  EXPECT_FALSE(ResetTempFolder(dir / "file/"));
}

}  // namespace
}  // namespace reelmill
