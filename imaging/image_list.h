#pragma once
// ImageList: an owning, ordered list of images that a load fills.
// FrameSet: the decoded frames of one file as the program holds them.

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "imaging/library_object.h"
#include "imaging/pixel_image.h"
#include "imaging/problem.h"

namespace reelmill {

class ImageProperties;

class ImageList {
 public:
  ImageList() = default;
  ImageList(const ImageList&) = delete;
  ImageList& operator=(const ImageList&) = delete;
  ImageList(ImageList&&) = default;
  ImageList& operator=(ImageList&&) = default;
  virtual ~ImageList() = default;

  std::size_t Count() const { return images_.size(); }
  bool Empty() const { return images_.empty(); }
  PixelImage& At(std::size_t i) { return *images_[i]; }
  const PixelImage& At(std::size_t i) const { return *images_[i]; }
  void Append(std::unique_ptr<PixelImage> image) { images_.push_back(std::move(image)); }
  // Removes the last image and hands it to the caller.
  std::unique_ptr<PixelImage> TakeLast();
  // Removes every image and hands them over in order.
  std::deque<std::unique_ptr<PixelImage>> TakeAll();
  void Clear() { images_.clear(); }

 private:
  std::deque<std::unique_ptr<PixelImage>> images_;
};

class FrameSet : public LibraryObject {
 public:
  std::size_t Count() const { return frames_.Count(); }
  // Frame i, or nullptr when i is negative or not below the count.
  PixelImage* Frame(long long i);
  const PixelImage* Frame(long long i) const;
  void Clear() { frames_.Clear(); }
  ImageList& Frames() { return frames_; }

  // Decodes `path` with the codec its extension selects and appends every
  // frame after those already held. On success, `properties` (when given)
  // becomes a copy of what the codec read. False leaves the set unchanged.
  // `problem` (when given) says why it failed, or what cut the frames short.
  bool Load(const std::string& path, ImageProperties* properties = nullptr, Problem* problem = nullptr);

 private:
  ImageList frames_;
};

}  // namespace reelmill
