#include "writers/swf/swf_movie_composition.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "imaging/file_io.h"
#include "writers/swf/swf_jpeg_bitmap.h"
#include "writers/swf/swf_movie.h"
#include "writers/swf/swf_shape.h"

namespace reelmill {

namespace {

// Frame i's JPEG; nullopt when the frame has no picture of its own, an empty
// vector when its picture cannot be read.
using PictureOf = std::function<std::optional<std::vector<std::uint8_t>>(std::size_t)>;

bool ComposeMovie(const std::string& outputPath, float width, float height, int fps, std::size_t frames,
                  const PictureOf& pictureOf) {
  if (frames > kMaxJpegMovieFrames) return false;
  SwfMovie movie;
  if (!movie.Open(outputPath, width, height, fps)) return false;
  movie.SetBackgroundColor(255, 255, 255);

  std::uint16_t bitmapId = 2;
  for (std::size_t i = 0; i < frames; ++i) {
    const auto shapeId = static_cast<std::uint16_t>(2 * i + 1);
    const auto depth = static_cast<std::uint16_t>(i + 1);
    if (const auto picture = pictureOf(i)) {
      SwfJpegBitmap bitmap(static_cast<std::uint16_t>(2 * i + 2), std::span<const std::uint8_t>(*picture));
      // A picture that cannot be read would leave its shape filled with a
      // bitmap no tag defines.
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

// Reads byte ranges, keeping the last file open: pieces mostly share one.
class PieceReader {
 public:
  ~PieceReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  std::vector<std::uint8_t> Read(const JpegFramePiece& piece) {
    if (piece.size == 0 || piece.size > kMaxWholeFileBytes) return {};
    if (piece.path != path_) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = OpenRegularForReading(piece.path);
      path_ = piece.path;
    }
    if (fd_ < 0) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(piece.size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(piece.offset + done));
      if (n <= 0) return {};
      done += static_cast<std::size_t>(n);
    }
    return bytes;
  }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace

bool WriteJpegFrameMovie(const std::string& outputPath, float width, float height, int fps,
                         std::span<const std::string> frameFiles) {
  return ComposeMovie(outputPath, width, height, fps, frameFiles.size(),
                      [&](std::size_t i) -> std::optional<std::vector<std::uint8_t>> {
                        std::error_code error;
                        if (!std::filesystem::exists(frameFiles[i], error)) return std::nullopt;
                        auto bytes = ReadFileBytes(frameFiles[i]);
                        return bytes ? std::move(*bytes) : std::vector<std::uint8_t>();
                      });
}

bool WriteJpegFrameMovie(const std::string& outputPath, float width, float height, int fps,
                         std::span<const JpegFramePiece> frames) {
  PieceReader reader;
  return ComposeMovie(outputPath, width, height, fps, frames.size(),
                      [&](std::size_t i) -> std::optional<std::vector<std::uint8_t>> {
                        if (frames[i].path.empty()) return std::nullopt;
                        return reader.Read(frames[i]);
                      });
}

}  // namespace reelmill
