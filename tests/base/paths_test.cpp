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

TEST(FrameOrderLess, NumbersCompareByValueAndEqualWidthsAsBytes) {
  const std::vector<std::string> ordered = {"/t/a.gif00000.jpg",
                                            "/t/a.gif00002.jpg",
                                            "/t/a.gif99999.jpg",
                                            "/t/a.gif100000.jpg",
                                            "/t/a.gif1310700.jpg",
                                            "/t/b.gif00001.jpg",
                                            "frame.jpg",
                                            "frame1.jpg",
                                            "frame2.jpg",
                                            "frame10.jpg",
                                            "frame12.jpg",
                                            "frame12a.jpg",
                                            "frame012a.jpg",
                                            "frameb.jpg",
                                            "x9y",
                                            "x9y1",
                                            "x10",
                                            "\xff"};
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    EXPECT_FALSE(FrameOrderLess(ordered[i], ordered[i])) << ordered[i];
    for (std::size_t j = i + 1; j < ordered.size(); ++j) {
      EXPECT_TRUE(FrameOrderLess(ordered[i], ordered[j])) << ordered[i] << " < " << ordered[j];
      EXPECT_FALSE(FrameOrderLess(ordered[j], ordered[i])) << ordered[j] << " > " << ordered[i];
    }
  }
}

}  // namespace
}  // namespace reelmill
