#include "imaging/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace reelmill {
namespace {

TEST(ModuleFolder, IsTheExecutablesFolderEndingInASlashOnEveryCall) {
  const std::string& first = ModuleFolder();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.back(), '/');
  EXPECT_TRUE(IsDirectory(first));
  const auto exe = std::filesystem::canonical("/proc/self/exe");
  EXPECT_EQ(first, exe.parent_path().string() + "/");
  EXPECT_EQ(&ModuleFolder(), &first);
  EXPECT_EQ(ModuleFolder(), first);
}

TEST(IsDirectory, TellsFoldersFromFilesAndMissingPaths) {
  testing::TempDir dir;
  testing::WriteAll(dir / "file", {1});
  EXPECT_TRUE(IsDirectory(dir.Path()));
  EXPECT_FALSE(IsDirectory(dir / "file"));
  EXPECT_FALSE(IsDirectory(dir / "missing"));
  EXPECT_FALSE(IsDirectory(""));
}

TEST(CreateFolderPath, CreatesMissingParentsAndReportsOnlyTheLastCreation) {
  testing::TempDir dir;
  const std::string out = dir / "out";
  ASSERT_NE(CreateFolderPath(out), 0);
  // A trailing '/' names the folder before it as the parent: it is made, and
  // the final call finds it existing.
  EXPECT_EQ(CreateFolderPath(out + "/x/y/"), 0);
  EXPECT_TRUE(IsDirectory(out + "/x"));
  EXPECT_TRUE(IsDirectory(out + "/x/y"));
  EXPECT_NE(CreateFolderPath(out + "/x/y/z"), 0);
  EXPECT_EQ(CreateFolderPath(out + "/x/y/z"), 0);  // already there
}

TEST(CreateFolderPath, RefusesPathsWithoutASlashAndPathsUnderAFile) {
  testing::TempDir dir;
  EXPECT_EQ(CreateFolderPath(""), 0);
  EXPECT_EQ(CreateFolderPath("C:\\a\\b"), 0);
  EXPECT_FALSE(std::filesystem::exists("C:\\a\\b"));
  testing::WriteAll(dir / "file", {1});
  EXPECT_EQ(CreateFolderPath(dir / "file/sub/deeper"), 0);
  EXPECT_FALSE(IsDirectory(dir / "file/sub"));
}

TEST(FileNameOf, IsTheTextAfterTheLastSlash) {
  EXPECT_EQ(FileNameOf("/home/ann/gifs/cat.gif"), "cat.gif");
  EXPECT_EQ(FileNameOf("cat.gif"), "cat.gif");
  EXPECT_EQ(FileNameOf("/home/ann/"), "");
  EXPECT_EQ(FileNameOf("C:\\gifs\\cat.gif"), "C:\\gifs\\cat.gif");
}

TEST(ZeroPadded, PadsToTheWidthAndNeverCuts) {
  EXPECT_EQ(ZeroPadded(7, 5), "00007");
  EXPECT_EQ(ZeroPadded(12, 5), "00012");
  EXPECT_EQ(ZeroPadded(123456, 5), "123456");
  EXPECT_EQ(ZeroPadded(0, 5), "00000");
  EXPECT_EQ(ZeroPadded(3, 0), "3");
}

}  // namespace
}  // namespace reelmill
