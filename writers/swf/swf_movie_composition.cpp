#include "writers/swf/swf_movie_composition.h"

#include <filesystem>

#include "writers/swf/swf_jpeg_bitmap.h"
#include "writers/swf/swf_movie.h"
#include "writers/swf/swf_shape.h"

namespace reelmill {

bool WriteJpegFrameMovie(const std::string& outputPath, float width, float height, int fps,
                         std::span<const std::string> frameFiles) {
  if (frameFiles.size() > kMaxJpegMovieFrames) return false;
  SwfMovie movie;
  if (!movie.Open(outputPath, width, height, fps)) return false;
  movie.SetBackgroundColor(255, 255, 255);

  std::uint16_t bitmapId = 2;
  for (std::size_t i = 0; i < frameFiles.size(); ++i) {
    const auto shapeId = static_cast<std::uint16_t>(2 * i + 1);
    const auto depth = static_cast<std::uint16_t>(i + 1);
    std::error_code error;
    if (std::filesystem::exists(frameFiles[i], error)) {
      SwfJpegBitmap bitmap(static_cast<std::uint16_t>(2 * i + 2), frameFiles[i]);
      // A frame that exists but cannot be read would leave its shape filled
      // with a bitmap no tag defines.
      if (!bitmap.Loaded()) return false;
      movie.AddCharacter(&bitmap, -1, false);
      bitmapId = bitmap.CharacterId();
    }

    SwfShape shape(shapeId, 0, 0, width, height, depth);
    shape.AddLineStyle(0, 0, 0, 0, 0);
    const SwfRect frame(0, 0, width, height);
    shape.AddBitmapFill(bitmapId, SwfShape::kFillClippedBitmap, frame, frame);
    shape.ChangeStyle(1, 1, 0, SwfPoint{0, 0});
    shape.AddStraightEdge(width, 0);
    shape.AddStraightEdge(0, height);
    shape.AddStraightEdge(-width, 0);
    shape.AddStraightEdge(0, -height);
    movie.AddCharacter(&shape, depth, true);
    movie.ShowFrame();
  }
  return movie.Close();
}

}  // namespace reelmill
