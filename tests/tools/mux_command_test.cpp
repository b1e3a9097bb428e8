// Runs the reelmill-convert binary as a user would and checks its outputs,
// with ffprobe and ffmpeg as a second opinion on the AVI where installed.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tests/support/test_support.h"
#include "tests/tools/jpeg_fixture.h"
#include "tests/writers/swf_test_reader.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Le32;
using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

const std::string kConvert = std::string(REELMILL_BINARY_DIR) + "/tools/reelmill-convert";

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

RunResult RunConvert(const TempDir& dir, const std::string& arguments) {
  RunResult result;
  const std::string errFile = dir / "stderr.txt";
  int raw = -1;
  result.out = testing::RunCapture(Quoted(kConvert) + " " + arguments + " 2>" + Quoted(errFile), &raw);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const Bytes err = ReadAll(errFile);
  result.err.assign(err.begin(), err.end());
  fs::remove(errFile);
  return result;
}

std::size_t EntriesIn(const std::string& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// 30 different 320 x 240 JPEG frames, named so that byte-wise order is frame order.
struct Frames {
  TempDir dir;
  std::vector<std::string> paths;
  std::vector<Bytes> jpegs;

  explicit Frames(int count = 30, int width = 320, int height = 240) {
    fs::create_directory(dir / "frames");
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "frames/clip%05d.jpg", i);
      paths.push_back(dir / name);
      jpegs.push_back(testing::MakeJpeg(width, height, i));
      WriteAll(paths.back(), jpegs.back());
    }
  }
  // The frames in reverse, so the converter has to sort them.
  std::string Arguments() const {
    std::string text;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) text += " " + Quoted(*it);
    return text;
  }
};

TEST(MuxCommand, AviOfThirtyFramesIsReadByFfprobeAndDecodesCleanly) {
  Frames frames;
  const std::string output = frames.dir / "clip.avi";
  const RunResult run = RunConvert(frames.dir, "mux --to avi --fps 25 -o " + Quoted(output) + frames.Arguments());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");  // no per-frame lines without --verbose
  EXPECT_EQ(run.err, "");

  // Our own reading first: the header and the first chunk.
  const Bytes file = ReadAll(output);
  EXPECT_EQ(Le32(file, 32), 40000u);
  EXPECT_EQ(Le32(file, 48), 30u);
  EXPECT_EQ(Le32(file, 64), 320u);
  EXPECT_EQ(Le32(file, 68), 240u);
  EXPECT_EQ(Le32(file, 4) + 8, file.size());
  Bytes first = frames.jpegs[0];
  std::copy_n("AVI1", 4, first.begin() + 6);
  EXPECT_EQ(Bytes(file.begin() + 248, file.begin() + 248 + static_cast<std::ptrdiff_t>(first.size())), first);

  if (!testing::HaveTool("ffprobe") || !testing::HaveTool("ffmpeg")) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
  int status = -1;
  const std::string probe = testing::RunCapture(
      "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
      "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of default=noprint_wrappers=1 " +
          Quoted(output),
      &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(probe.find("codec_name=mjpeg\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("width=320\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("height=240\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=25/1\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("nb_read_frames=30\n"), std::string::npos) << probe;

  const std::string decodeErrors =
      testing::RunCapture("ffmpeg -nostdin -v error -i " + Quoted(output) + " -f null - 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(decodeErrors, "");
}

TEST(MuxCommand, SwfOfTheSameFramesCarriesEveryJpegInOrder) {
  Frames frames;
  const std::string output = frames.dir / "clip.swf";
  const RunResult run = RunConvert(frames.dir, "mux --to swf --fps 25 -o " + Quoted(output) + frames.Arguments());
  ASSERT_EQ(run.status, 0) << run.err;

  const Bytes file = ReadAll(output);
  const auto movie = testing::ReadSwfFile(file);
  EXPECT_EQ(movie.declaredLength, file.size());
  EXPECT_EQ(movie.frameCount, 30);
  EXPECT_EQ(movie.frameRate, 25);
  EXPECT_EQ(movie.frame.xMax, 320 * 20);
  EXPECT_EQ(movie.frame.yMax, 240 * 20);

  int shows = 0;
  std::vector<Bytes> carried;
  for (const auto& tag : movie.tags) {
    if (tag.code == 1) ++shows;
    if (tag.code == 21) {
      ASSERT_GE(tag.body.size(), 8u);
      EXPECT_EQ(testing::Le16(tag.body, 0), 2 * carried.size() + 2);
      EXPECT_EQ(Bytes(tag.body.begin() + 2, tag.body.begin() + 6), (Bytes{0xFF, 0xD9, 0xFF, 0xD8}));
      carried.emplace_back(tag.body.begin() + 6, tag.body.end() - 2);
    }
  }
  EXPECT_EQ(shows, 30);
  EXPECT_EQ(carried, frames.jpegs);
}

TEST(MuxCommand, SizeComesFromTheFirstFrameUnlessGiven) {
  Frames frames(3, 64, 48);
  const std::string output = frames.dir / "clip.avi";
  ASSERT_EQ(RunConvert(frames.dir, "mux --to avi -o " + Quoted(output) + frames.Arguments()).status, 0);
  Bytes file = ReadAll(output);
  EXPECT_EQ(Le32(file, 64), 64u);
  EXPECT_EQ(Le32(file, 68), 48u);
  EXPECT_EQ(Le32(file, 32), 100000u);  // 10 fps by default

  ASSERT_EQ(RunConvert(frames.dir, "mux --to avi --size 640x480 -o " + Quoted(output) + frames.Arguments()).status, 0);
  file = ReadAll(output);
  EXPECT_EQ(Le32(file, 64), 640u);
  EXPECT_EQ(Le32(file, 68), 480u);
}

TEST(MuxCommand, VerboseShowsTheWritersProgress) {
  Frames frames(2, 16, 16);
  const std::string output = frames.dir / "clip.avi";
  const RunResult run = RunConvert(frames.dir, "mux --verbose --to avi -o " + Quoted(output) + frames.Arguments());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "dealing with " + frames.paths[0] + "\ndealing with " + frames.paths[1] + "\nwrote " + output +
                         " (2 frames, 16x16, 10 fps)\n");
  EXPECT_NE(run.err.find(frames.paths[0] + " size is "), std::string::npos) << run.err;
}

TEST(MuxCommand, UsageErrorsExitWithTwoAndAOneLineHint) {
  Frames frames(1, 16, 16);
  const std::string out = Quoted(frames.dir / "x.avi");
  const std::string frame = Quoted(frames.paths[0]);
  const std::string cases[] = {
      "",
      "mux",
      "mux --to avi " + frame,                           // no output
      "mux --to gif -o " + out + " " + frame,            // unknown kind
      "mux --to avi -o " + out,                          // no frames
      "mux --to avi -o " + out + " " + Quoted(frames.dir / "missing.jpg"),
      "mux --to avi --fps 0 -o " + out + " " + frame,
      "mux --to avi --size 0x10 -o " + out + " " + frame,
      "mux --to avi --size 320 -o " + out + " " + frame,
      "mux --to swf --fps 300 -o " + out + " " + frame,  // a movie keeps at most 255
      "mux --to avi --bogus -o " + out + " " + frame,
      "mux --to avi -o " + frame + " " + frame,          // would replace its own input
  };
  for (const std::string& arguments : cases) {
    const RunResult run = RunConvert(frames.dir, arguments);
    EXPECT_EQ(run.status, 2) << arguments << "\n" << run.err;
    EXPECT_NE(run.err.find("\nRun with --help for more information.\n"), std::string::npos) << arguments;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << arguments << "\n" << run.err;
  }
  EXPECT_EQ(EntriesIn(frames.dir.Path()), 1u);  // nothing written
  EXPECT_EQ(ReadAll(frames.paths[0]), frames.jpegs[0]);
}

TEST(MuxCommand, HelpPrintsTheUsageAndSucceeds) {
  TempDir dir;
  RunResult run = RunConvert(dir, "--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("mux"), std::string::npos) << run.out;
  run = RunConvert(dir, "mux --help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("--to"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("--fps"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("--size"), std::string::npos) << run.out;
}

TEST(MuxCommand, FailuresExitWithOneAndKeepTheExistingOutput) {
  Frames frames(2, 16, 16);
  const std::string output = frames.dir / "clip.avi";
  const Bytes old = {'k', 'e', 'e', 'p'};
  WriteAll(output, old);
  const std::string notJpeg = frames.dir / "frames/clip00002.jpg";
  WriteAll(notJpeg, {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0});
  const std::string exif = frames.dir / "frames/exif.jpg";
  Bytes exifBytes = frames.jpegs[0];
  exifBytes[3] = 0xE1;  // APP1 where the AVI needs a JFIF APP0
  WriteAll(exif, exifBytes);

  RunResult run = RunConvert(frames.dir, "mux --to avi -o " + Quoted(output) + frames.Arguments() + " " + Quoted(notJpeg));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "reelmill-convert: " + notJpeg + " is not a JPEG file\n");

  run = RunConvert(frames.dir, "mux --to avi -o " + Quoted(output) + frames.Arguments() + " " + Quoted(exif));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "reelmill-convert: " + exif + " does not start with a JFIF APP0 segment, which AVI frames need\n");

  // A JPEG whose frame header is cut off gives no size.
  const std::string cut = frames.dir / "frames/cut.jpg";
  WriteAll(cut, Bytes(frames.jpegs[0].begin(), frames.jpegs[0].begin() + 30));
  run = RunConvert(frames.dir, "mux --to swf -o " + Quoted(output) + " " + Quoted(cut));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("reelmill-convert: cannot read the frame size of " + cut + ": ", 0), 0u) << run.err;

  // The output is a folder with content: the finished file cannot be put in its place.
  const std::string folder = frames.dir / "taken.avi";
  fs::create_directory(folder);
  WriteAll(folder + "/inside", old);
  run = RunConvert(frames.dir, "mux --to avi -o " + Quoted(folder) + frames.Arguments());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "reelmill-convert: cannot write " + folder + ": Can't write to the file (" + folder + ")!\n");
  EXPECT_EQ(ReadAll(folder + "/inside"), old);
  run = RunConvert(frames.dir, "mux --to swf -o " + Quoted(folder) + frames.Arguments());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "reelmill-convert: cannot write " + folder + "\n");

  // The output folder does not exist.
  const std::string nowhere = frames.dir / "missing/clip.avi";
  run = RunConvert(frames.dir, "mux --to avi -o " + Quoted(nowhere) + frames.Arguments());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "reelmill-convert: cannot write " + nowhere + ": Can't create a new file to write (" + nowhere +
                         ")!\n");

  EXPECT_EQ(ReadAll(output), old);
  EXPECT_EQ(EntriesIn(frames.dir.Path()), 3u);  // frames/, clip.avi, taken.avi: no temporaries
  EXPECT_EQ(EntriesIn(frames.dir / "frames"), 5u);

  // And a write that succeeds replaces the old file.
  run = RunConvert(frames.dir, "mux --to avi -o " + Quoted(output) + frames.Arguments());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Le32(ReadAll(output), 48), 2u);
}

TEST(MuxCommand, AReadOnlyFolderFailsWithoutTouchingTheOutput) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  Frames frames(1, 16, 16);
  const std::string folder = frames.dir / "locked";
  fs::create_directory(folder);
  const std::string output = folder + "/clip.swf";
  WriteAll(output, {'k'});
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  const RunResult run = RunConvert(frames.dir, "mux --to swf -o " + Quoted(output) + frames.Arguments());
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ReadAll(output), Bytes{'k'});
}

}  // namespace
}  // namespace reelmill
