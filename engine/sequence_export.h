#pragma once
// Writes every frame of a GIF once as a numbered still image:
// <folder>varnle_reelmill/<ext>/<gif name><5 digits>.<ext>. One frame per
// WriteNext, so a window can show progress between frames.

#include <string>

#include "imaging/image_list.h"

namespace reelmill {

class SequenceExport {
 public:
  // `extension` is lower case and picks the format ("bmp", "tga", "jpg",
  // "gif", "png" or "tiff"); `outputFolder` ends in '/'.
  SequenceExport(std::string sourcePath, std::string extension, std::string outputFolder);

  // Decodes the source; false when it yields no frames.
  bool Open();
  int FrameCount() const { return static_cast<int>(frames_.Count()); }
  // Index of the next frame to write; equals FrameCount() when done.
  int Position() const { return position_; }
  bool Done() const { return position_ >= FrameCount(); }
  // Writes the next frame (creating the sequence folder when missing) and
  // moves on; false when that frame could not be written, or when its file
  // is the source itself.
  bool WriteNext();
  // "<written>/<count>", as the progress label shows it.
  std::string ProgressText() const;
  int Failures() const { return failures_; }
  std::string SequenceFolder() const;
  std::string FramePath(int frame) const;

 private:
  std::string sourcePath_;
  std::string extension_;
  std::string outputFolder_;
  FrameSet frames_;
  int position_ = 0;
  int failures_ = 0;
};

}  // namespace reelmill
