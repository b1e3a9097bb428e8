#pragma once
// A movie that shows one JPEG picture per frame, each on a rectangle of the
// movie's size filled with the picture.

#include <cstddef>
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

}  // namespace reelmill
