#include "imaging/image_list.h"

#include "imaging/codec_registry.h"
#include "imaging/image_properties.h"

namespace reelmill {

std::unique_ptr<PixelImage> ImageList::TakeLast() {
  if (images_.empty()) return nullptr;
  auto last = std::move(images_.back());
  images_.pop_back();
  return last;
}

std::deque<std::unique_ptr<PixelImage>> ImageList::TakeAll() {
  std::deque<std::unique_ptr<PixelImage>> all;
  all.swap(images_);
  return all;
}

PixelImage* FrameSet::Frame(long long i) {
  if (i < 0 || static_cast<unsigned long long>(i) >= frames_.Count()) return nullptr;
  return &frames_.At(static_cast<std::size_t>(i));
}

const PixelImage* FrameSet::Frame(long long i) const {
  if (i < 0 || static_cast<unsigned long long>(i) >= frames_.Count()) return nullptr;
  return &frames_.At(static_cast<std::size_t>(i));
}

bool FrameSet::Load(const std::string& path, ImageProperties* properties, Problem* problem) {
  const CodecRegistry& registry = CodecRegistry::Instance();
  auto codec = registry.CreateCodec(registry.FormatFromPath(path));
  if (problem) *problem = codec ? Problem{} : ProblemOf(ProblemCode::NotGif);
  if (!codec) return false;

  // Decode into a list of our own so that a failing load leaves the frames
  // already held exactly as they were.
  ImageList loaded;
  std::unique_ptr<ImageProperties> loadedProperties;
  const bool loadedAny = codec->LoadFile(path, loaded, loadedProperties) && !loaded.Empty();
  if (problem) *problem = codec->LoadProblem();
  if (!loadedAny) {
    if (problem && !*problem) *problem = ProblemOf(ProblemCode::NoImage);
    return false;
  }

  for (auto& image : loaded.TakeAll()) frames_.Append(std::move(image));
  if (loadedProperties && properties) *properties = *loadedProperties;
  return true;
}

}  // namespace reelmill
