#include "imaging/pixel_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "imaging/bitmap_header.h"
#include "imaging/codec_registry.h"
#include "imaging/image_properties.h"

namespace reelmill {

namespace {

bool IsSupportedDepth(int bitCount) {
  switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: return true;
    default: return false;
  }
}

bool IsAcceptableHeader(const BitmapInfoHeader& h) {
  return h.width > 0 && h.height > 0 && (h.compression == kCompressionRgb || h.compression == kCompressionBitFields) &&
         IsSupportedDepth(h.bitCount);
}

// Bytes of the flat form besides the pixel buffer: header, masks, position.
constexpr std::size_t kFlatOverhead = kBitmapInfoHeaderSize + 3 * 4 + 2 * 4;

}  // namespace

void PixelImage::FreeDeleter::operator()(std::uint8_t* p) const { std::free(p); }

PixelImage::PixelImage() = default;

PixelImage::PixelImage(const PixelImage& other) : LibraryObject() { Assign(other); }

PixelImage& PixelImage::operator=(const PixelImage& other) {
  Assign(other);
  return *this;
}

PixelImage::PixelImage(PixelImage&& other) noexcept { *this = std::move(other); }

PixelImage& PixelImage::operator=(PixelImage&& other) noexcept {
  if (this == &other) return *this;
  posX_ = other.posX_;
  posY_ = other.posY_;
  header_ = other.header_;
  bits_ = std::move(other.bits_);
  rows_ = std::move(other.rows_);
  redMask_ = other.redMask_;
  greenMask_ = other.greenMask_;
  blueMask_ = other.blueMask_;
  palette_ = std::move(other.palette_);
  other.Release();
  other.posX_ = other.posY_ = 0;
  return *this;
}

PixelImage::~PixelImage() = default;

std::size_t PixelImage::StrideFor(std::int64_t width, int bitCount) {
  if (width <= 0 || bitCount <= 0) return 0;
  const auto bitsPerRow = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitCount);
  return static_cast<std::size_t>((bitsPerRow + 31) / 32 * 4);
}

std::size_t PixelImage::Stride() const { return StrideFor(header_.width, header_.bitCount); }

std::size_t PixelImage::BufferSize() const { return Stride() * static_cast<std::size_t>(std::max(header_.height, 0)); }

bool PixelImage::Create(const ImageDescriptor& descriptor) {
  const BitmapInfoHeader& in = descriptor.header;
  if (!IsAcceptableHeader(in)) return false;
  const std::uint64_t pixels = static_cast<std::uint64_t>(in.width) * static_cast<std::uint64_t>(in.height);
  if (pixels > kMaxPixels) return false;
  const std::size_t stride = StrideFor(in.width, in.bitCount);
  std::size_t bufferSize = 0;
  if (__builtin_mul_overflow(stride, static_cast<std::size_t>(in.height), &bufferSize)) return false;

  // Allocate before touching the image, so that a failure leaves it as it was.
  std::unique_ptr<std::uint8_t[], FreeDeleter> bits(static_cast<std::uint8_t*>(std::calloc(bufferSize, 1)));
  if (!bits) return false;
  std::vector<std::uint8_t*> rows(static_cast<std::size_t>(in.height));
  // Row 0 is the top row, which is the last one in memory.
  std::uint8_t* row = bits.get() + bufferSize - stride;
  for (auto& entry : rows) {
    entry = row;
    row -= stride;
  }

  header_ = BitmapInfoHeader{};
  header_.size = kBitmapInfoHeaderSize;
  header_.width = in.width;
  header_.height = in.height;
  header_.planes = 1;
  header_.bitCount = in.bitCount;
  header_.xPelsPerMeter = in.xPelsPerMeter;
  header_.yPelsPerMeter = in.yPelsPerMeter;
  redMask_ = greenMask_ = blueMask_ = 0;
  if (in.bitCount == 16) {
    header_.compression = in.compression;
    if (in.compression == kCompressionBitFields) {
      redMask_ = descriptor.redMask;
      greenMask_ = descriptor.greenMask;
      blueMask_ = descriptor.blueMask;
    } else {
      redMask_ = 0x7C00;
      greenMask_ = 0x03E0;
      blueMask_ = 0x001F;
    }
  }
  bits_ = std::move(bits);
  rows_ = std::move(rows);
  palette_.clear();
  if (in.bitCount <= 8) {
    palette_.assign(std::size_t{1} << in.bitCount, PaletteEntry{});
    SetGreyPalette();
  }
  return true;
}

bool PixelImage::Create(int width, int height, int bitCount) {
  ImageDescriptor descriptor;
  descriptor.header.width = width;
  descriptor.header.height = height;
  descriptor.header.bitCount = static_cast<std::uint16_t>(std::clamp(bitCount, 0, 0xFFFF));
  descriptor.header.compression = kCompressionRgb;
  return Create(descriptor);
}

void PixelImage::Assign(const PixelImage& source) {
  if (source.IsEmpty() || &source == this) return;
  ImageDescriptor descriptor;
  descriptor.header = source.header_;
  descriptor.redMask = source.redMask_;
  descriptor.greenMask = source.greenMask_;
  descriptor.blueMask = source.blueMask_;
  if (!Create(descriptor)) return;
  std::memcpy(bits_.get(), source.bits_.get(), BufferSize());
  palette_ = source.palette_;
  posX_ = source.posX_;
  posY_ = source.posY_;
}

void PixelImage::Release() {
  bits_.reset();
  rows_.clear();
  rows_.shrink_to_fit();
  palette_.clear();
  palette_.shrink_to_fit();
  header_ = BitmapInfoHeader{};
  redMask_ = greenMask_ = blueMask_ = 0;
}

std::uint8_t* PixelImage::PixelAddress(int x, int y) {
  return const_cast<std::uint8_t*>(std::as_const(*this).PixelAddress(x, y));
}

const std::uint8_t* PixelImage::PixelAddress(int x, int y) const {
  const std::uint8_t* row = rows_[static_cast<std::size_t>(y)];
  switch (header_.bitCount) {
    case 32: return row + static_cast<std::ptrdiff_t>(x) * 4;
    case 8: return row + x;
    default: return row + static_cast<std::ptrdiff_t>(x) * header_.bitCount / 8;
  }
}

bool PixelImage::GetPalette(int first, int count, PaletteEntry* out) const {
  if (IsEmpty() || palette_.empty() || first < 0 || count < 0 || out == nullptr) return false;
  for (int i = 0; i < count; ++i) {
    const auto index = static_cast<std::size_t>(first) + static_cast<std::size_t>(i);
    if (index < palette_.size()) out[i] = palette_[index];
  }
  return true;
}

bool PixelImage::SetPalette(int first, int count, const PaletteEntry* in) {
  if (IsEmpty() || palette_.empty() || first < 0 || count < 0 || in == nullptr) return false;
  for (int i = 0; i < count; ++i) {
    const auto index = static_cast<std::size_t>(first) + static_cast<std::size_t>(i);
    if (index < palette_.size()) palette_[index] = in[i];
  }
  return true;
}

void PixelImage::SetGreyPalette() {
  if (IsEmpty() || header_.bitCount > 8 || palette_.empty()) return;
  const std::size_t n = palette_.size();
  const std::size_t step = 255 / (n - 1);
  for (std::size_t i = 0; i < n; ++i) {
    const auto level = static_cast<std::uint8_t>(i * step);
    palette_[i] = PaletteEntry{level, level, level, 0};
  }
}

void PixelImage::SetAlpha(std::uint8_t value) {
  if (IsEmpty() || header_.bitCount != 32) return;
  for (int y = 0; y < header_.height; ++y) {
    std::uint8_t* p = Row(y);
    for (int x = 0; x < header_.width; ++x) p[x * 4 + 3] = value;
  }
}

void PixelImage::Expand(bool replicateEdges, int left, int top, int right, int bottom) {
  if (IsEmpty() || header_.bitCount < 8) return;
  if (left < 0 || top < 0 || right < 0 || bottom < 0) return;
  if (left == 0 && top == 0 && right == 0 && bottom == 0) return;
  const std::int64_t newWidth = std::int64_t{header_.width} + left + right;
  const std::int64_t newHeight = std::int64_t{header_.height} + top + bottom;
  if (newWidth > std::numeric_limits<std::int32_t>::max() || newHeight > std::numeric_limits<std::int32_t>::max()) {
    return;
  }

  // The grown image keeps the depth, the 16-bit masks and the palette, so the
  // copied pixel values mean what they meant before.
  ImageDescriptor descriptor;
  descriptor.header = header_;
  descriptor.header.width = static_cast<std::int32_t>(newWidth);
  descriptor.header.height = static_cast<std::int32_t>(newHeight);
  descriptor.redMask = redMask_;
  descriptor.greenMask = greenMask_;
  descriptor.blueMask = blueMask_;
  PixelImage grown;
  if (!grown.Create(descriptor)) return;
  grown.palette_ = palette_;

  const std::size_t pixelBytes = header_.bitCount / 8u;
  const std::size_t rowBytes = static_cast<std::size_t>(header_.width) * pixelBytes;
  const int oldHeight = header_.height;
  for (int y = 0; y < static_cast<int>(newHeight); ++y) {
    const bool inside = y >= top && y < top + oldHeight;
    if (!inside && !replicateEdges) continue;
    // Margin rows repeat the nearest image row.
    const std::uint8_t* source = Row(std::clamp(y - top, 0, oldHeight - 1));
    std::uint8_t* target = grown.Row(y);
    std::memcpy(target + static_cast<std::size_t>(left) * pixelBytes, source, rowBytes);
    if (!replicateEdges) continue;
    for (int x = 0; x < left; ++x) std::memcpy(target + static_cast<std::size_t>(x) * pixelBytes, source, pixelBytes);
    std::uint8_t* rightMargin = target + static_cast<std::size_t>(left) * pixelBytes + rowBytes;
    const std::uint8_t* lastPixel = source + rowBytes - pixelBytes;
    for (int x = 0; x < right; ++x)
      std::memcpy(rightMargin + static_cast<std::size_t>(x) * pixelBytes, lastPixel, pixelBytes);
  }
  grown.posX_ = posX_ - left;
  grown.posY_ = posY_ - top;
  *this = std::move(grown);
}

bool PixelImage::Save(const std::string& path, const ImageProperties& properties) const {
  if (IsEmpty() || path.empty()) return false;
  const CodecRegistry& registry = CodecRegistry::Instance();
  auto codec = registry.CreateCodec(registry.FormatFromPath(path));
  if (!codec) return false;
  const PixelImage* const images[] = {this};
  return codec->SaveFile(path, images, properties);
}

std::size_t PixelImage::Serialize(bool store, std::span<std::uint8_t> buffer) {
  if (store) {
    if (IsEmpty()) return 0;
    const std::size_t total = BufferSize() + kFlatOverhead;
    if (buffer.size() < total) return total;
    ByteWriter out(total);
    WriteBitmapInfoHeader(out, header_);
    out.U32le(redMask_);
    out.U32le(greenMask_);
    out.U32le(blueMask_);
    out.Bytes(bits_.get(), BufferSize());
    out.U32le(static_cast<std::uint32_t>(posX_));
    out.U32le(static_cast<std::uint32_t>(posY_));
    std::memcpy(buffer.data(), out.Data(), total);
    return total;
  }

  ByteReader in(buffer);
  const auto header = ReadBitmapInfoHeader(in);
  const auto red = in.U32le();
  const auto green = in.U32le();
  const auto blue = in.U32le();
  if (!header || !blue || !IsAcceptableHeader(*header)) return 0;
  ImageDescriptor descriptor;
  descriptor.header = *header;
  descriptor.redMask = *red;
  descriptor.greenMask = *green;
  descriptor.blueMask = *blue;
  // Check the length before allocating, so a hostile header costs nothing.
  const std::uint64_t pixels = static_cast<std::uint64_t>(header->width) * static_cast<std::uint64_t>(header->height);
  if (pixels > kMaxPixels) return 0;
  const std::size_t pixelBytes = StrideFor(header->width, header->bitCount) * static_cast<std::size_t>(header->height);
  if (in.Remaining() < pixelBytes + 8) return 0;
  PixelImage image;
  if (!image.Create(descriptor)) return 0;
  std::memcpy(image.bits_.get(), in.Bytes(pixelBytes)->data(), pixelBytes);
  image.posX_ = *in.I32le();
  image.posY_ = *in.I32le();
  *this = std::move(image);
  return in.Offset();
}

}  // namespace reelmill
