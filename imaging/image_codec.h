#pragma once
// One codec per file format, created for one load or save.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "imaging/problem.h"

namespace reelmill {

class ImageList;
class ImageProperties;
class PixelImage;

class ImageCodec {
 public:
  virtual ~ImageCodec() = default;

  // Reads the whole file (within kMaxWholeFileBytes) and hands it to
  // LoadMemory. True when `out` holds at least one image afterwards.
  virtual bool LoadFile(const std::string& path, ImageList& out, std::unique_ptr<ImageProperties>& outProperties);
  // Decodes untrusted bytes, appending every frame to `out`. Never reads
  // outside `data`; refuses truncated or inconsistent data with false.
  virtual bool LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                          std::unique_ptr<ImageProperties>& outProperties);
  // Writes the first image of `images` (the rest are ignored). An existing
  // file at `path` is replaced only by a complete new one.
  virtual bool SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                        const ImageProperties& properties);

  // Why the last load failed, or what cut its frames short.
  const Problem& LoadProblem() const { return loadProblem_; }

 protected:
  Problem loadProblem_;
};

}  // namespace reelmill
