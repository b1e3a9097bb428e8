#include "imaging/codecs/jpeg_codec.h"

#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "imaging/codecs/row_convert.h"
#include "imaging/file_io.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"

namespace reelmill {

namespace {

// Owns one TurboJPEG instance.
class TjHandle {
 public:
  explicit TjHandle(tjhandle handle) : handle_(handle) {}
  ~TjHandle() {
    if (handle_) tjDestroy(handle_);
  }
  TjHandle(const TjHandle&) = delete;
  TjHandle& operator=(const TjHandle&) = delete;
  tjhandle get() const { return handle_; }

 private:
  tjhandle handle_;
};

// Adobe writes CMYK JPEGs with inverted samples, which is what readers
// meet in practice; each channel is the ink-free share times the black's.
void CmykRowToBgr(const std::uint8_t* cmyk, int width, std::uint8_t* bgr) {
  for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const unsigned k = cmyk[3];
    bgr[0] = static_cast<std::uint8_t>((cmyk[2] * k + 127) / 255);
    bgr[1] = static_cast<std::uint8_t>((cmyk[1] * k + 127) / 255);
    bgr[2] = static_cast<std::uint8_t>((cmyk[0] * k + 127) / 255);
  }
}

// Hostile progressive files can hold thousands of scans that each cost a
// pass over the image; such files are refused.
constexpr int kDecodeFlags = TJFLAG_BOTTOMUP | TJFLAG_LIMITSCANS;

}  // namespace

bool JpegCodec::LoadMemory(std::span<const std::uint8_t> data, ImageList& out, std::unique_ptr<ImageProperties>&) {
  if (data.empty()) return false;
  TjHandle decoder(tjInitDecompress());
  if (!decoder.get()) return false;
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourSpace = 0;
  if (tjDecompressHeader3(decoder.get(), data.data(), data.size(), &width, &height, &subsampling, &colourSpace) != 0) {
    return false;
  }
  // Refuse oversized frames before anything is allocated for them.
  if (width <= 0 || height <= 0 ||
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > PixelImage::kMaxPixels) {
    return false;
  }

  auto image = std::make_unique<PixelImage>();
  const bool grey = colourSpace == TJCS_GRAY;
  if (!image->Create(width, height, grey ? 8 : 24)) return false;

  // Any warning (a truncated or corrupt stream among them) counts as failure:
  // a damaged picture is not passed on as a good one.
  if (colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK) {
    std::vector<std::uint8_t> cmyk(static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height));
    if (tjDecompress2(decoder.get(), data.data(), data.size(), cmyk.data(), width, width * 4, height, TJPF_CMYK,
                      TJFLAG_LIMITSCANS) != 0) {
      return false;
    }
    for (int y = 0; y < height; ++y) {
      CmykRowToBgr(cmyk.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4, width,
                   image->Row(y));
    }
  } else if (tjDecompress2(decoder.get(), data.data(), data.size(), image->Bits(), width,
                           static_cast<int>(image->Stride()), height, grey ? TJPF_GRAY : TJPF_BGR, kDecodeFlags) != 0) {
    return false;
  }
  out.Append(std::move(image));
  return true;
}

bool JpegCodec::SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                         const ImageProperties& properties) {
  if (images.empty() || images[0] == nullptr || images[0]->IsEmpty()) return false;
  const auto bytes = encoder_.Encode(*images[0], JpegQualityFrom(properties));
  return !bytes.empty() && WriteFileAtomically(path, bytes);
}

JpegEncoder::JpegEncoder() = default;

JpegEncoder::~JpegEncoder() {
  if (handle_) tjDestroy(static_cast<tjhandle>(handle_));
  tjFree(buffer_);
}

std::uint64_t JpegEncoder::WorkingBytes(int width, int height, int bitCount) {
  if (width <= 0 || height <= 0) return 0;
  const unsigned long buffer = tjBufSize(width, height, TJSAMP_420);
  const std::uint64_t copy =
      bitCount == 24 || bitCount == 32 ? 0 : std::uint64_t{3} * static_cast<std::uint64_t>(width) * height;
  return (buffer == static_cast<unsigned long>(-1) ? std::uint64_t{1} << 40 : buffer) + copy;
}

std::span<const std::uint8_t> JpegEncoder::Encode(const PixelImage& image, int quality) {
  if (image.IsEmpty()) return {};
  if (!handle_) handle_ = tjInitCompress();
  if (!handle_) return {};

  const int width = image.Width();
  const int height = image.Height();
  // A buffer of tjBufSize bytes holds any JPEG of this size, so the
  // compressor never has to grow it.
  const unsigned long needed = tjBufSize(width, height, TJSAMP_420);
  if (needed == static_cast<unsigned long>(-1) || needed > static_cast<unsigned long>(INT_MAX)) return {};
  if (needed > capacity_) {
    tjFree(buffer_);
    buffer_ = tjAlloc(static_cast<int>(needed));
    capacity_ = buffer_ ? needed : 0;
    if (!buffer_) return {};
  }

  const std::uint8_t* source = image.Bits();
  int pitch = static_cast<int>(image.Stride());
  int pixelFormat = TJPF_BGR;
  int flags = TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC;
  if (image.BitCount() == 32) {
    pixelFormat = TJPF_BGRX;  // JPEG has no alpha
  } else if (image.BitCount() != 24) {
    // Palette and 16-bit pixels have no TurboJPEG format: one BGR copy.
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    bgr_.resize(rowBytes * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) RowToBgr(image, y, bgr_.data() + rowBytes * static_cast<std::size_t>(y));
    source = bgr_.data();
    pitch = static_cast<int>(rowBytes);
    flags = TJFLAG_NOREALLOC;
  }

  unsigned long size = capacity_;
  if (tjCompress2(static_cast<tjhandle>(handle_), source, width, pitch, height, pixelFormat, &buffer_, &size,
                  TJSAMP_420, std::clamp(quality, 1, 100), flags) != 0) {
    return {};
  }
  return {buffer_, size};
}

}  // namespace reelmill
