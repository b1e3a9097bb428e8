#include "imaging/codecs/ico_codec.h"

#include <cstring>

#include "imaging/bitmap_header.h"
#include "imaging/byte_reader.h"
#include "imaging/codecs/png_codec.h"
#include "imaging/codecs/row_convert.h"
#include "imaging/image_list.h"
#include "imaging/pixel_image.h"

namespace reelmill {

namespace {

constexpr std::uint16_t kTypeIcon = 1;
constexpr std::uint16_t kTypeCursor = 2;
constexpr std::size_t kDirectoryEntryBytes = 16;
constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct DirectoryEntry {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bytes = 0;
  std::uint32_t offset = 0;
};

std::optional<DirectoryEntry> LargestEntry(ByteReader& in, std::uint16_t count) {
  std::optional<DirectoryEntry> best;
  for (std::uint16_t i = 0; i < count; ++i) {
    const auto raw = in.Bytes(kDirectoryEntryBytes);
    if (!raw) return std::nullopt;
    ByteReader e(*raw);
    DirectoryEntry entry;
    entry.width = *e.U8();
    entry.height = *e.U8();
    e.Skip(6);  // colour count, reserved, planes or hot spot, bit count
    entry.bytes = *e.U32le();
    entry.offset = *e.U32le();
    // A stored size of 0 means 256.
    if (entry.width == 0) entry.width = 256;
    if (entry.height == 0) entry.height = 256;
    if (!best || entry.width * entry.height > best->width * best->height) best = entry;
  }
  return best;
}

bool ToBgra32(const PixelImage& source, PixelImage& target) {
  if (source.BitCount() == 32) {
    target = source;
    return true;
  }
  if (!target.Create(source.Width(), source.Height(), 32)) return false;
  for (int y = 0; y < source.Height(); ++y) RowToBgra(source, y, target.Row(y));
  return true;
}

// A picture stored as a device-independent bitmap: the colour pixels (XOR
// part) followed by a 1-bit transparency mask (AND part), both bottom-up,
// under a header that counts both in its height.
bool DecodeDibEntry(std::span<const std::uint8_t> data, PixelImage& result) {
  ByteReader in(data);
  const auto header = ReadBitmapInfoHeader(in);
  if (!header || header->size < kBitmapInfoHeaderSize || header->compression != kCompressionRgb) return false;
  const int depth = header->bitCount;
  if (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32) return false;
  const int width = header->width;
  const int height = header->height / 2;
  if (width <= 0 || height <= 0) return false;
  if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > PixelImage::kMaxPixels) return false;

  PixelImage colours;
  if (!colours.Create(width, height, depth)) return false;
  if (!in.Seek(header->size)) return false;
  if (depth <= 8) {
    std::size_t entries = colours.Palette().size();
    if (header->clrUsed > 0 && header->clrUsed < entries) entries = header->clrUsed;
    const auto table = in.Bytes(entries * 4);
    if (!table) return false;
    auto palette = colours.Palette();
    for (std::size_t i = 0; i < entries; ++i) {
      palette[i] = PaletteEntry{(*table)[4 * i], (*table)[4 * i + 1], (*table)[4 * i + 2], 0xFF};
    }
    for (std::size_t i = entries; i < palette.size(); ++i) palette[i].reserved = 0xFF;
  }
  const auto pixels = in.Bytes(colours.BufferSize());
  if (!pixels) return false;
  std::memcpy(colours.Bits(), pixels->data(), pixels->size());

  const std::size_t maskStride = PixelImage::StrideFor(width, 1);
  const auto mask = in.Bytes(maskStride * static_cast<std::size_t>(height));
  // 32-bit pictures carry their own alpha; the mask is needed by the others.
  if (!mask && depth != 32) return false;

  if (!result.Create(width, height, 32)) return false;
  bool anyAlpha = false;
  for (int y = 0; y < height; ++y) {
    RowToBgra(colours, y, result.Row(y));
    if (depth == 32) {
      for (int x = 0; x < width && !anyAlpha; ++x) anyAlpha = result.Row(y)[4 * x + 3] != 0;
    }
  }
  // Old 32-bit icons leave every alpha at 0 and rely on the mask instead.
  if (depth == 32 && anyAlpha) return true;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = result.Row(y);
    const std::uint8_t* maskRow = mask ? mask->data() + static_cast<std::size_t>(height - 1 - y) * maskStride : nullptr;
    for (int x = 0; x < width; ++x) {
      const bool transparent = maskRow && ((maskRow[x >> 3] >> (7 - (x & 7))) & 1);
      row[4 * x + 3] = transparent ? 0 : 0xFF;
    }
  }
  return true;
}

}  // namespace

bool IcoCodec::LoadMemory(std::span<const std::uint8_t> data, ImageList& out, std::unique_ptr<ImageProperties>&) {
  ByteReader in(data);
  const auto reserved = in.U16le();
  const auto type = in.U16le();
  const auto count = in.U16le();
  if (!count || *reserved != 0 || (*type != kTypeIcon && *type != kTypeCursor) || *count == 0) return false;
  const auto entry = LargestEntry(in, *count);
  if (!entry) return false;

  ByteReader picture(data);
  if (!picture.Seek(entry->offset)) return false;
  const auto bytes = picture.Bytes(entry->bytes);
  if (!bytes) return false;

  auto image = std::make_unique<PixelImage>();
  if (bytes->size() >= sizeof kPngSignature && std::memcmp(bytes->data(), kPngSignature, sizeof kPngSignature) == 0) {
    PixelImage decoded;
    if (!DecodePng(*bytes, decoded) || !ToBgra32(decoded, *image)) return false;
  } else if (!DecodeDibEntry(*bytes, *image)) {
    return false;
  }
  out.Append(std::move(image));
  return true;
}

}  // namespace reelmill
