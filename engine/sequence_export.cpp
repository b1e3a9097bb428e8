#include "engine/sequence_export.h"

#include "engine/input_guard.h"
#include "engine/work_paths.h"
#include "imaging/image_properties.h"
#include "imaging/paths.h"

namespace reelmill {

SequenceExport::SequenceExport(std::string sourcePath, std::string extension, std::string outputFolder)
    : sourcePath_(std::move(sourcePath)), extension_(std::move(extension)), outputFolder_(std::move(outputFolder)) {}

bool SequenceExport::Open() {
  frames_.Clear();
  position_ = failures_ = 0;
  return frames_.Load(sourcePath_) && frames_.Count() > 0;
}

std::string SequenceExport::SequenceFolder() const { return SequenceFolderOf(outputFolder_, extension_); }

std::string SequenceExport::FramePath(int frame) const {
  return SequenceFramePath(outputFolder_, sourcePath_, extension_, frame);
}

bool SequenceExport::WriteNext() {
  if (Done()) return false;
  const int frame = position_++;
  const std::string folder = SequenceFolder();
  if (!IsDirectory(folder)) CreateFolderPath(folder);
  ImageProperties properties;
  properties.Set(QualityKey, "-1");  // the encoder's own default quality
  // However it is named, the source is never written over.
  const std::string path = FramePath(frame);
  const bool saved = !SameFile(path, sourcePath_) && frames_.Frame(frame)->Save(path, properties);
  if (!saved) ++failures_;
  return saved;
}

std::string SequenceExport::ProgressText() const {
  return std::to_string(position_) + "/" + std::to_string(FrameCount());
}

}  // namespace reelmill
