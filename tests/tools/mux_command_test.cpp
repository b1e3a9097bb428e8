// Runs the reelmill-convert binary as a user would, with ffprobe and ffmpeg
// as a second opinion on the AVI where they are installed.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"
#include "tests/tools/jpeg_fixture.h"
#include "tests/tools/run_converter.h"
#include "tests/writers/swf_test_reader.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Le32;
using testing::Quoted;
using testing::ReadAll;
using testing::RunResult;
using testing::WriteAll;

// Numbered JPEG frames of one size, each picture different, and a way to run
// the converter on them.
struct Frames {
  testing::TempDir dir;
  std::vector<std::string> paths;
  std::vector<Bytes> jpegs;

  Frames(int count, int width, int height) {
    fs::create_directory(dir / "frames");
    for (int i = 0; i < count; ++i) {
      // Unpadded numbers: clip10 must play after clip9, not after clip1.
      paths.push_back(dir / "frames/clip" + std::to_string(i) + ".jpg");
      jpegs.push_back(testing::MakeJpeg(width, height, i));
      WriteAll(paths.back(), jpegs.back());
    }
  }
  // The frame files in reverse, so that the converter has to sort them.
  std::string Listed() const {
    std::string text;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) text += " " + Quoted(*it);
    return text;
  }
  RunResult Run(const std::string& arguments) const { return testing::RunConverter(arguments, dir.Path()); }
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()));
  }
};

TEST(MuxCommand, AviOfThirtyFramesIsReadByFfprobeAndDecodesCleanly) {
  const Frames frames(30, 320, 240);
  const std::string output = frames.dir / "clip.avi";
  const RunResult run = frames.Run("mux --to avi --fps 25 -o " + Quoted(output) + frames.Listed());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out + run.err, "");  // quiet without --verbose
  const Bytes file = ReadAll(output);
  Bytes first = frames.jpegs[0];
  std::copy_n("AVI1", 4, first.begin() + 6);
  EXPECT_EQ(Bytes(file.begin() + 248, file.begin() + 248 + std::ptrdiff_t(first.size())), first);

  if (!testing::HaveTool("ffprobe") || !testing::HaveTool("ffmpeg")) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
  int status = -1;
  const std::string probe = testing::RunCapture(
      "ffprobe -v error -select_streams v:0 -count_frames -of default=noprint_wrappers=1 -show_entries "
      "stream=codec_name,width,height,r_frame_rate,nb_read_frames " +
          Quoted(output),
      &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(probe, "codec_name=mjpeg\nwidth=320\nheight=240\nr_frame_rate=25/1\nnb_read_frames=30\n");
  const std::string errors =
      testing::RunCapture("ffmpeg -nostdin -v error -i " + Quoted(output) + " -f null - 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(errors, "");
}

TEST(MuxCommand, SwfOfTheSameFramesCarriesEveryJpegInOrder) {
  const Frames frames(30, 320, 240);
  const std::string output = frames.dir / "clip.swf";
  const RunResult run = frames.Run("mux --to swf --fps 25 -o " + Quoted(output) + frames.Listed());
  ASSERT_EQ(run.status, 0) << run.err;
  const Bytes file = ReadAll(output);
  const auto movie = testing::ReadSwfFile(file);
  EXPECT_EQ(movie.declaredLength, file.size());
  EXPECT_EQ(movie.frameCount, 30);
  EXPECT_EQ(movie.frameRate, 25);
  EXPECT_EQ(movie.frame.xMax, 320 * 20);
  int shows = 0;
  std::vector<Bytes> carried;
  for (const auto& tag : movie.tags) {
    shows += tag.code == 1;
    if (tag.code != 21) continue;
    ASSERT_GE(tag.body.size(), 8u);
    EXPECT_EQ(testing::Le16(tag.body, 0), 2 * carried.size() + 2);
    carried.emplace_back(tag.body.begin() + 6, tag.body.end() - 2);
  }
  EXPECT_EQ(shows, 30);
  EXPECT_EQ(carried, frames.jpegs);
}

TEST(MuxCommand, SizeIsTheFramesOwnAndVerboseShowsProgress) {
  const Frames frames(2, 64, 48);
  const std::string output = frames.dir / "clip.avi";
  RunResult run = frames.Run("mux --to avi -o " + Quoted(output) + frames.Listed());
  ASSERT_EQ(run.status, 0) << run.err;
  Bytes file = ReadAll(output);
  EXPECT_EQ((std::vector<std::uint32_t>{Le32(file, 32), Le32(file, 64), Le32(file, 68)}),
            (std::vector<std::uint32_t>{100000, 64, 48}));  // 10 fps by default

  run = frames.Run("mux -v --to avi --size 64x48 -o " + Quoted(output) + frames.Listed());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadAll(output), file);
  EXPECT_EQ(run.out, "dealing with " + frames.paths[0] + "\ndealing with " + frames.paths[1] + "\nwrote " + output +
                         " (2 frames, 64x48, 10 fps)\n");
  EXPECT_NE(run.err.find(frames.paths[0] + " size is "), std::string::npos) << run.err;
}

TEST(MuxCommand, UsageErrorsExitWithTwoAndAOneLineHint) {
  const Frames frames(1, 16, 16);
  const std::string out = Quoted(frames.dir / "x.avi"), frame = Quoted(frames.paths[0]);
  for (const std::string& arguments : {
           std::string(),
           "mux --to avi " + frame,                 // no output
           "mux --to gif -o " + out + " " + frame,  // unknown kind
           "mux --to avi -o " + out,                // no frames
           "mux --to avi -o " + out + " " + Quoted(frames.dir / "missing.jpg"),
           "mux --to avi --fps 0 -o " + out + " " + frame, "mux --to avi --size 0x10 -o " + out + " " + frame,
           "mux --to avi --size 320 -o " + out + " " + frame,
           "mux --to avi --size 640x480 -o " + out + " " + frame,  // not the frames' own size
           "mux --to swf --fps 300 -o " + out + " " + frame,       // a movie keeps at most 255
           "mux --to avi --bogus -o " + out + " " + frame,
           "mux --to avi -o " + frame + " " + frame,  // would replace its own input
       }) {
    const RunResult run = frames.Run(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << arguments << "\n" << run.err;
    EXPECT_TRUE(run.err.ends_with("\nRun with --help for more information.\n")) << arguments << "\n" << run.err;
  }
  EXPECT_EQ(frames.Entries(), 1u);  // nothing written
  EXPECT_EQ(ReadAll(frames.paths[0]), frames.jpegs[0]);

  for (const char* help : {"--help", "mux --help"}) {
    const RunResult run = frames.Run(help);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("mux"), std::string::npos) << run.out;
  }
  EXPECT_NE(frames.Run("mux --help").out.find("--size"), std::string::npos);
}

TEST(MuxCommand, FailuresExitWithOneAndKeepTheExistingOutput) {
  const Frames frames(2, 16, 16);
  const std::string output = frames.dir / "clip.avi", prefix = "reelmill-convert: ";
  const Bytes old = {'k', 'e', 'e', 'p'};
  WriteAll(output, old);
  const std::string notJpeg = frames.dir / "frames/gif.jpg", exif = frames.dir / "frames/exif.jpg";
  const std::string cut = frames.dir / "frames/cut.jpg", folder = frames.dir / "taken.avi";
  WriteAll(notJpeg, {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0});
  Bytes exifBytes = frames.jpegs[0];
  exifBytes[3] = 0xE1;  // APP1 where an AVI frame needs the JFIF APP0
  WriteAll(exif, exifBytes);
  WriteAll(cut, Bytes(frames.jpegs[0].begin(), frames.jpegs[0].begin() + 30));
  fs::create_directory(folder);  // a folder with content cannot be replaced by the file
  WriteAll(folder + "/inside", old);
  const std::string nowhere = frames.dir / "missing/clip.avi";
  const std::string larger = frames.dir / "frames/z.jpg";
  WriteAll(larger, testing::MakeJpeg(32, 32, 9));

  const std::pair<std::string, std::string> cases[] = {
      {"--to avi -o " + Quoted(output) + frames.Listed() + " " + Quoted(notJpeg), notJpeg + " is not a JPEG file"},
      {"--to avi -o " + Quoted(output) + " " + Quoted(exif),
       exif + " does not start with a JFIF APP0 segment, which AVI frames need"},
      {"--to swf -o " + Quoted(output) + " " + Quoted(cut),
       "cannot read the frame size of " + cut + ": the file ends before its frame header"},
      {"--to avi -o " + Quoted(folder) + frames.Listed(),
       "cannot write " + folder + ": Can't write to the file (" + folder + ")!"},
      {"--to swf -o " + Quoted(folder) + frames.Listed(), "cannot write " + folder},
      {"--to avi -o " + Quoted(nowhere) + frames.Listed(),
       "cannot write " + nowhere + ": Can't create a new file to write (" + nowhere + ")!"},
      {"--to swf -o " + Quoted(output) + frames.Listed() + " " + Quoted(larger),
       larger + " is 32x32, but " + frames.paths[0] + " is 16x16; all frames must have one size"},
  };
  for (const auto& [arguments, message] : cases) {
    const RunResult run = frames.Run("mux " + arguments);
    EXPECT_EQ(run.status, 1) << arguments;
    EXPECT_EQ(run.err, prefix + message + "\n");
  }
  EXPECT_EQ(ReadAll(output), old);
  EXPECT_EQ(ReadAll(folder + "/inside"), old);
  EXPECT_EQ(frames.Entries(), 3u);  // frames/, clip.avi, taken.avi: no temporaries left

  const RunResult run = frames.Run("mux --to avi -o " + Quoted(output) + frames.Listed());
  ASSERT_EQ(run.status, 0) << run.err;  // a write that succeeds replaces it
  EXPECT_EQ(Le32(ReadAll(output), 48), 2u);
}

}  // namespace
}  // namespace reelmill
