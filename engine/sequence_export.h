#pragma once
// Writes every frame of a GIF once as a numbered still image:
// <folder>varnle_reelmill/<ext>/<gif name><5 digits>.<ext>. Frames are
// decoded one at a time as they are written, so memory stays at a few frames
// whatever the length of the animation. One frame per WriteNext, so a window
// can show progress between frames; WriteAll writes the rest on several
// threads.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/memory_budget.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/problem.h"

namespace reelmill {

class GifFrameCursor;
class ImageCodec;
class PixelImage;

// What the command line may ask beyond the window's export.
struct SequenceOptions {
  int quality = -1;  // JPEG quality; -1: the encoder's own default, as the window saves
  int width = 0;     // frames scaled to width x height; 0 x 0: their own size
  int height = 0;
  // The decoder's canvases and the encoders' buffers stay within this many
  // bytes (SequenceMemory): large frames get fewer encoder threads.
  std::uint64_t memoryBudget = GifCodec::kMaxDecodedBytes;
};

// What writing frames of `width` x `height` as `extension` files holds in
// memory, with the size `options` asks.
JobMemory SequenceMemory(int width, int height, const std::string& extension, const SequenceOptions& options);

class SequenceExport {
 public:
  // `extension` is lower case and picks the format ("bmp", "tga", "jpg",
  // "gif", "png" or "tiff"); `outputFolder` ends in '/'. The source is read
  // as a GIF by its content, whatever its name.
  SequenceExport(std::string sourcePath, std::string extension, std::string outputFolder, SequenceOptions options = {});
  ~SequenceExport();
  SequenceExport(const SequenceExport&) = delete;
  SequenceExport& operator=(const SequenceExport&) = delete;

  // Reads the source and decodes its first frame; false when it yields no
  // frames, with why in OpenProblem().
  bool Open();
  const Problem& OpenProblem() const { return openProblem_; }
  // Once done: what ended the frames of a damaged source before its end.
  Problem Damage() const;
  // Why frames could not be written, when Failures() > 0.
  Problem WriteProblem() const;
  // The frames to write: at first as the file's block structure announces
  // them, then, once the decoder has reached the end, the frames it gave.
  int FrameCount() const { return frameCount_; }
  // The frames the file's blocks announce, damaged ones included.
  int AnnouncedFrames() const { return announced_; }
  // Index of the next frame to write; equals FrameCount() when done.
  int Position() const { return position_; }
  bool Done() const { return next_ == nullptr; }
  // Writes the next frame (creating the sequence folder when missing) and
  // moves on; false when that frame could not be written, or when its file
  // is the source itself.
  bool WriteNext();
  // Writes the frames left, encoding on up to `threads` threads (fewer when
  // frames are large), and stops early once `cancel` is set.
  void WriteAll(int threads, const std::atomic<bool>* cancel = nullptr);
  // "<written>/<count>", as the progress label shows it.
  std::string ProgressText() const;
  int Failures() const { return failures_; }
  std::string SequenceFolder() const;
  std::string FramePath(int frame) const;

 private:
  // Saves with `codec`, which each thread keeps for all its frames.
  bool SaveFrame(const PixelImage& frame, const std::string& path, ImageCodec& codec) const;
  std::unique_ptr<ImageCodec> NewCodec() const;
  void Advance();

  std::string sourcePath_;
  std::string extension_;
  std::string outputFolder_;
  SequenceOptions options_;
  std::vector<std::uint8_t> data_;
  std::unique_ptr<GifFrameCursor> cursor_;
  std::unique_ptr<ImageCodec> codec_;  // for WriteNext
  const PixelImage* next_ = nullptr;   // decoded, not yet written
  int frameCount_ = 0;
  int announced_ = 0;
  int position_ = 0;
  int failures_ = 0;
  int writeError_ = 0;
  Problem openProblem_;
};

}  // namespace reelmill
