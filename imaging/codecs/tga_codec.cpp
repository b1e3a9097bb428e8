#include "imaging/codecs/tga_codec.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "imaging/byte_reader.h"
#include "imaging/byte_writer.h"
#include "imaging/codecs/row_convert.h"
#include "imaging/file_io.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"

namespace reelmill {

namespace {

constexpr std::size_t kHeaderBytes = 18;
constexpr std::string_view kImageId = "Tavok -- TGA";
constexpr std::uint8_t kTypeColourMapped = 1;
constexpr std::uint8_t kTypeTrueColour = 2;
constexpr std::uint8_t kTypeGrey = 3;
constexpr std::uint8_t kTypeRleColourMapped = 9;
constexpr std::uint8_t kTypeRleTrueColour = 10;
constexpr std::uint8_t kTypeRleGrey = 11;
constexpr std::uint8_t kDescriptorTopLeft = 0x20;
constexpr std::uint16_t kColourMapLength = 256;
constexpr std::uint8_t kColourMapEntryBits = 24;
constexpr std::uint16_t kMaxSide = 0xFFFF;

bool Is555(const PixelImage& image) {
  return image.RedMask() == 0x7C00 && image.GreenMask() == 0x03E0 && image.BlueMask() == 0x001F;
}

// A TGA 16-bit pixel is always 5-5-5; other masks are re-packed so that the
// colours stay what they are.
void RowTo555(const PixelImage& image, int y, std::uint8_t* out) {
  const MaskChannel red(image.RedMask());
  const MaskChannel green(image.GreenMask());
  const MaskChannel blue(image.BlueMask());
  const std::uint8_t* row = image.Row(y);
  for (int x = 0; x < image.Width(); ++x) {
    const std::uint32_t word = row[2 * x] | (row[2 * x + 1] << 8);
    const auto packed = static_cast<std::uint16_t>((red(word) >> 3) << 10 | (green(word) >> 3) << 5 | blue(word) >> 3);
    out[2 * x] = static_cast<std::uint8_t>(packed);
    out[2 * x + 1] = static_cast<std::uint8_t>(packed >> 8);
  }
}

// Decodes the run-length packets of one row. A packet that reaches past the
// row's end makes the file unreadable: packets never continue on the next row
// in the files we accept, and the image is never written outside its row.
bool ReadRleRow(ByteReader& in, std::uint8_t* row, int width, std::size_t pixelBytes) {
  int x = 0;
  while (x < width) {
    const auto packet = in.U8();
    if (!packet) return false;
    const int count = (*packet & 0x7F) + 1;
    if (count > width - x) return false;
    std::uint8_t* target = row + static_cast<std::size_t>(x) * pixelBytes;
    if (*packet & 0x80) {
      const auto pixel = in.Bytes(pixelBytes);
      if (!pixel) return false;
      for (int i = 0; i < count; ++i)
        std::memcpy(target + static_cast<std::size_t>(i) * pixelBytes, pixel->data(), pixelBytes);
    } else {
      const auto pixels = in.Bytes(static_cast<std::size_t>(count) * pixelBytes);
      if (!pixels) return false;
      std::memcpy(target, pixels->data(), pixels->size());
    }
    x += count;
  }
  return true;
}

}  // namespace

bool TgaCodec::SaveFile(const std::string& path, std::span<const PixelImage* const> images, const ImageProperties&) {
  if (images.empty() || images[0] == nullptr || images[0]->IsEmpty()) return false;
  const PixelImage& image = *images[0];
  const int depth = image.BitCount();
  if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return false;
  // The header holds 16-bit sizes; a larger image would come back as a
  // different one.
  if (image.Width() > kMaxSide || image.Height() > kMaxSide) return false;

  const bool mapped = depth == 8;
  const std::size_t rowBytes = static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(depth / 8);
  ByteWriter out(std::move(file_));
  out.U8(static_cast<std::uint8_t>(kImageId.size()));     // ID length
  out.U8(mapped ? 1 : 0);                                 // colour map type
  out.U8(mapped ? kTypeColourMapped : kTypeTrueColour);   // image type
  out.U16le(0);                                           // first colour map index
  out.U16le(kColourMapLength);                            // colour map length
  out.U8(kColourMapEntryBits);                            // colour map entry size
  out.U16le(0);                                           // x origin
  out.U16le(0);                                           // y origin
  out.U16le(static_cast<std::uint16_t>(image.Width()));   // width
  out.U16le(static_cast<std::uint16_t>(image.Height()));  // height
  out.U8(static_cast<std::uint8_t>(depth));               // pixel depth
  out.U8(kDescriptorTopLeft);                             // image descriptor
  out.Bytes(kImageId.data(), kImageId.size());            // image ID
  if (mapped) {
    for (const PaletteEntry& entry : image.Palette()) {
      out.U8(entry.blue);
      out.U8(entry.green);
      out.U8(entry.red);
    }
  }
  std::vector<std::uint8_t> repacked(depth == 16 && !Is555(image) ? rowBytes : 0);
  for (int y = 0; y < image.Height(); ++y) {
    if (repacked.empty()) {
      out.Bytes(image.Row(y), rowBytes);
    } else {
      RowTo555(image, y, repacked.data());
      out.Bytes(repacked);
    }
  }
  const bool ok = WriteFileAtomically(path, out.Buffer());
  file_ = out.Take();
  return ok;
}

bool TgaCodec::LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                          std::unique_ptr<ImageProperties>& outProperties) {
  ByteReader in(data);
  if (data.size() <= kHeaderBytes) return false;
  const std::uint8_t idLength = *in.U8();
  const std::uint8_t mapType = *in.U8();
  const std::uint8_t imageType = *in.U8();
  const std::uint16_t mapFirst = *in.U16le();
  const std::uint16_t mapLength = *in.U16le();
  const std::uint8_t mapEntryBits = *in.U8();
  in.Skip(4);  // x and y origin
  const std::uint16_t width = *in.U16le();
  const std::uint16_t height = *in.U16le();
  const std::uint8_t pixelDepth = *in.U8();
  const std::uint8_t descriptor = *in.U8();

  if (mapEntryBits == 15 || mapEntryBits == 16) return false;
  if (mapType > 1) return false;
  const int depth = pixelDepth == 15 ? 16 : pixelDepth;
  const bool rle = imageType == kTypeRleColourMapped || imageType == kTypeRleTrueColour || imageType == kTypeRleGrey;
  switch (imageType) {
    case kTypeColourMapped:
    case kTypeRleColourMapped:
    case kTypeGrey:
    case kTypeRleGrey:
      if (depth != 8) return false;
      break;
    case kTypeTrueColour:
    case kTypeRleTrueColour:
      if (depth != 16 && depth != 24 && depth != 32) return false;
      break;
    default: return false;  // no image data, or a compression we do not read
  }

  auto image = std::make_unique<PixelImage>();
  if (!image->Create(width, height, depth)) return false;
  if (!in.Skip(idLength)) return false;

  if (mapType == 1) {
    if (mapFirst + mapLength > 256) return false;
    if (mapEntryBits != 24 && mapEntryBits != 32) return false;
    const std::size_t entryBytes = mapEntryBits / 8u;
    const auto map = in.Bytes(entryBytes * mapLength);
    if (!map) return false;
    if (depth == 8) {
      std::vector<PaletteEntry> table(256);
      for (std::size_t i = 0; i < mapLength; ++i) {
        const std::uint8_t* entry = map->data() + i * entryBytes;
        table[mapFirst + i] = PaletteEntry{entry[0], entry[1], entry[2], entryBytes == 4 ? entry[3] : std::uint8_t{0}};
      }
      image->SetPalette(0, 256, table.data());
    }
  }

  const bool topFirst = (descriptor & kDescriptorTopLeft) != 0;
  const std::size_t pixelBytes = static_cast<std::size_t>(depth / 8);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * pixelBytes;
  for (int i = 0; i < height; ++i) {
    std::uint8_t* row = image->Row(topFirst ? i : height - 1 - i);
    if (rle) {
      if (!ReadRleRow(in, row, width, pixelBytes)) return false;
    } else {
      const auto bytes = in.Bytes(rowBytes);
      if (!bytes) return false;
      std::memcpy(row, bytes->data(), rowBytes);
    }
  }

  auto properties = std::make_unique<ImageProperties>();
  properties->Set(TgaCompressionKey, rle ? "1" : "-1");
  outProperties = std::move(properties);
  out.Append(std::move(image));
  return true;
}

}  // namespace reelmill
