#include "imaging/codecs/bmp_codec.h"

#include <cstring>

#include "imaging/bitmap_header.h"
#include "imaging/byte_reader.h"
#include "imaging/byte_writer.h"
#include "imaging/file_io.h"
#include "imaging/image_list.h"
#include "imaging/pixel_image.h"

namespace reelmill {

namespace {

constexpr std::uint16_t kBmpType = 0x4D42;  // "BM"
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderAt = kFileHeaderBytes;
constexpr std::size_t kPlainHeaderBytes = kFileHeaderBytes + kBitmapInfoHeaderSize;  // 54
constexpr std::size_t kMaskBytes = 3 * 4;

std::size_t HeaderBytesFor(const PixelImage& image) {
  if (image.BitCount() <= 8) return kPlainHeaderBytes + 4 * image.Palette().size();
  if (image.BitCount() == 16 && image.Header().compression == kCompressionBitFields) {
    return kPlainHeaderBytes + kMaskBytes;
  }
  return kPlainHeaderBytes;
}

// 32-bit files with bit fields are taken only when the masks describe the
// blue, green, red, alpha order we hold in memory; anything else would load
// with its colours swapped.
bool IsPlain32BitMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return red == 0x00FF0000 && green == 0x0000FF00 && blue == 0x000000FF;
}

}  // namespace

bool BmpCodec::SaveFile(const std::string& path, std::span<const PixelImage* const> images, const ImageProperties&) {
  if (images.empty() || images[0] == nullptr || images[0]->IsEmpty()) return false;
  const PixelImage& image = *images[0];
  const std::size_t headerBytes = HeaderBytesFor(image);
  const std::size_t pixelBytes = image.BufferSize();

  ByteWriter header(headerBytes);
  header.U16le(kBmpType);                                              // bfType
  header.U32le(static_cast<std::uint32_t>(headerBytes + pixelBytes));  // bfSize
  header.U16le(0);                                                     // bfReserved1
  header.U16le(0);                                                     // bfReserved2
  header.U32le(static_cast<std::uint32_t>(headerBytes));               // bfOffBits
  WriteBitmapInfoHeader(header, image.Header());
  if (image.BitCount() <= 8) {
    for (const PaletteEntry& entry : image.Palette()) {
      header.U8(entry.blue);
      header.U8(entry.green);
      header.U8(entry.red);
      header.U8(entry.reserved);
    }
  } else if (headerBytes > kPlainHeaderBytes) {
    header.U32le(image.RedMask());
    header.U32le(image.GreenMask());
    header.U32le(image.BlueMask());
  }

  // The pixel buffer already has the file's row order and padding: it goes
  // out as it is, without a copy.
  AtomicFileWriter file(path);
  return file.Open() && file.Write(header.Buffer()) && file.Write(image.Bits(), pixelBytes) && file.Commit();
}

bool BmpCodec::LoadMemory(std::span<const std::uint8_t> data, ImageList& out, std::unique_ptr<ImageProperties>&) {
  ByteReader in(data);
  if (data.size() <= kFileHeaderBytes || in.U16le() != kBmpType) return false;
  const auto pixelOffset = in.U32leAt(10);
  if (!pixelOffset || *pixelOffset >= data.size()) return false;

  ByteReader infoReader(data, kInfoHeaderAt);
  const auto header = ReadBitmapInfoHeader(infoReader);
  // Older 12-byte core headers lay their fields out differently; refuse them
  // rather than misread them.
  if (!header || header->size < kBitmapInfoHeaderSize) return false;
  // Top-down (negative height) and run-length files are not read.
  if (header->width <= 0 || header->height <= 0) return false;
  if (header->compression != kCompressionRgb && header->compression != kCompressionBitFields) return false;

  ImageDescriptor descriptor;
  descriptor.header = *header;
  if (header->compression == kCompressionBitFields) {
    // The masks follow the 40-byte header (larger headers hold them at the
    // same place).
    ByteReader masks(data, kPlainHeaderBytes);
    const auto red = masks.U32le();
    const auto green = masks.U32le();
    const auto blue = masks.U32le();
    if (!blue) return false;
    if (header->bitCount == 32) {
      if (!IsPlain32BitMasks(*red, *green, *blue)) return false;
      descriptor.header.compression = kCompressionRgb;
    } else if (header->bitCount != 16) {
      return false;
    }
    descriptor.redMask = *red;
    descriptor.greenMask = *green;
    descriptor.blueMask = *blue;
  }

  // Size the image from the header, but refuse it before allocating when the
  // file cannot hold its pixels: a truncated file is not taken as whole.
  if (static_cast<std::uint64_t>(header->width) * static_cast<std::uint64_t>(header->height) > PixelImage::kMaxPixels) {
    return false;
  }
  const std::size_t pixelBytes =
      PixelImage::StrideFor(header->width, header->bitCount) * static_cast<std::size_t>(header->height);
  ByteReader pixelReader(data, *pixelOffset);
  const auto pixels = pixelReader.Bytes(pixelBytes);
  if (!pixels) return false;

  auto image = std::make_unique<PixelImage>();
  if (!image->Create(descriptor)) return false;

  if (image->BitCount() <= 8) {
    // A colour table may be shorter than 2^bits when the header says so.
    std::size_t entries = image->Palette().size();
    if (header->clrUsed > 0 && header->clrUsed < entries) entries = header->clrUsed;
    ByteReader table(data);
    if (!table.Seek(kInfoHeaderAt + std::size_t{header->size})) return false;
    const auto bytes = table.Bytes(entries * 4);
    if (!bytes) return false;
    auto palette = image->Palette();
    for (std::size_t i = 0; i < entries; ++i) {
      palette[i] = PaletteEntry{(*bytes)[4 * i], (*bytes)[4 * i + 1], (*bytes)[4 * i + 2], (*bytes)[4 * i + 3]};
    }
  }

  std::memcpy(image->Bits(), pixels->data(), pixelBytes);
  out.Append(std::move(image));
  return true;
}

}  // namespace reelmill
