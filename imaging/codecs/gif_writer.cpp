#include "imaging/codecs/gif_writer.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/file_io.h"

namespace reelmill {

namespace {

constexpr int kColorResolutionBits = 8;
constexpr int kBackgroundIndex = 0;

// giflib pushes every byte of the file through this.
int WriteOutput(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* file = static_cast<AtomicFileWriter*>(gif->UserData);
  if (file == nullptr || length < 0) return 0;
  return file->Write(bytes, static_cast<std::size_t>(length)) ? length : 0;
}

// Colour tables hold 2^n entries, n from 1 to 8.
int TableBitsFor(std::size_t colorCount) {
  int bits = 1;
  while ((std::size_t{1} << bits) < colorCount) ++bits;
  return bits;
}

bool IsWritable(const GifIndexedImage& image) {
  if (image.width < 1 || image.width > kMaxGifDimension || image.height < 1 || image.height > kMaxGifDimension) {
    return false;
  }
  if (image.colors.empty() || image.colors.size() > 256) return false;
  if (image.transparentIndex >= static_cast<int>(image.colors.size())) return false;
  if (image.indices.size() != std::size_t(image.width) * std::size_t(image.height)) return false;
  // giflib would silently mask indices that do not fit the table.
  const auto largest = std::max_element(image.indices.begin(), image.indices.end());
  return *largest < image.colors.size();
}

struct ColorMapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

bool PutGraphicControl(GifFileType* gif, int transparentIndex) {
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSAL_UNSPECIFIED;
  control.UserInputFlag = false;
  control.DelayTime = 0;
  control.TransparentColor = transparentIndex;
  GifByteType extension[4];
  const std::size_t length = EGifGCBToExtension(&control, extension);
  return EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) != GIF_ERROR;
}

}  // namespace

bool WriteGifFile(const std::string& path, const GifIndexedImage& image) {
  if (!IsWritable(image)) return false;
  const int tableBits = TableBitsFor(image.colors.size());
  std::unique_ptr<ColorMapObject, ColorMapDeleter> map(GifMakeMapObject(1 << tableBits, nullptr));
  if (!map) return false;
  for (std::size_t i = 0; i < image.colors.size(); ++i) {
    map->Colors[i].Red = image.colors[i].red;
    map->Colors[i].Green = image.colors[i].green;
    map->Colors[i].Blue = image.colors[i].blue;
  }

  AtomicFileWriter file(path);
  if (!file.Open()) return false;
  int error = 0;
  GifFileType* gif = EGifOpen(&file, WriteOutput, &error);
  if (gif == nullptr) return false;

  const bool transparent = image.transparentIndex >= 0;
  // The graphic control extension needs the 89a signature.
  EGifSetGifVersion(gif, transparent);
  bool ok =
      EGifPutScreenDesc(gif, image.width, image.height, kColorResolutionBits, kBackgroundIndex, map.get()) != GIF_ERROR;
  if (ok && transparent) ok = PutGraphicControl(gif, image.transparentIndex);
  ok = ok && EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) != GIF_ERROR;
  // EGifPutLine masks the row in place, so it gets a copy.
  std::vector<GifPixelType> row(static_cast<std::size_t>(image.width));
  for (int y = 0; ok && y < image.height; ++y) {
    std::memcpy(row.data(), image.indices.data() + std::size_t(y) * row.size(), row.size());
    ok = EGifPutLine(gif, row.data(), image.width) != GIF_ERROR;
  }
  // Closing writes the trailer and frees the encoder on every path.
  const bool closed = EGifCloseFile(gif, &error) != GIF_ERROR;
  return ok && closed && file.Commit();
}

}  // namespace reelmill
