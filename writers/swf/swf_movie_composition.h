#pragma once
// A movie that shows one JPEG picture per frame, each on a rectangle of the
// movie's size filled with the picture.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace reelmill {

// Bitmap ids are 2i + 2 and must fit 16 bits.
inline constexpr std::size_t kMaxJpegMovieFrames = 32767;

// Frame i shows frameFiles[i]. A file that does not exist defines no bitmap:
// that frame shows the most recent picture again (bitmap id 2 when none came
// before). False when the movie cannot be written, when a file that exists
// cannot be read, or when there are more than kMaxJpegMovieFrames frames; an
// existing file at outputPath is then left as it was.
bool WriteJpegFrameMovie(const std::string& outputPath, float width, float height, int fps,
                         std::span<const std::string> frameFiles);

// A frame's JPEG as `size` bytes at `offset` of the file `path`, for frames
// kept one after the other in one file. An empty path: the frame has no
// picture of its own and shows the one before.
struct JpegFramePiece {
  std::string path;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// The same movie from pieces of files; false also when a piece cannot be read.
bool WriteJpegFrameMovie(const std::string& outputPath, float width, float height, int fps,
                         std::span<const JpegFramePiece> frames);

}  // namespace reelmill
