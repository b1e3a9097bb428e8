#pragma once
// Reading and writing the 40-byte bitmap information header field by field,
// shared by the flat form of PixelImage and the BMP codec.

#include <optional>

#include "imaging/byte_reader.h"
#include "imaging/byte_writer.h"
#include "imaging/pixel_image.h"

namespace reelmill {

inline constexpr std::uint32_t kBitmapInfoHeaderSize = 40;

inline void WriteBitmapInfoHeader(ByteWriter& out, const BitmapInfoHeader& h) {
  out.U32le(h.size);
  out.U32le(static_cast<std::uint32_t>(h.width));
  out.U32le(static_cast<std::uint32_t>(h.height));
  out.U16le(h.planes);
  out.U16le(h.bitCount);
  out.U32le(h.compression);
  out.U32le(h.sizeImage);
  out.U32le(static_cast<std::uint32_t>(h.xPelsPerMeter));
  out.U32le(static_cast<std::uint32_t>(h.yPelsPerMeter));
  out.U32le(h.clrUsed);
  out.U32le(h.clrImportant);
}

// Reads the 40 bytes at the reader's position; nullopt when fewer remain.
inline std::optional<BitmapInfoHeader> ReadBitmapInfoHeader(ByteReader& in) {
  const auto bytes = in.Bytes(kBitmapInfoHeaderSize);
  if (!bytes) return std::nullopt;
  ByteReader r(*bytes);
  BitmapInfoHeader h;
  h.size = *r.U32le();
  h.width = *r.I32le();
  h.height = *r.I32le();
  h.planes = *r.U16le();
  h.bitCount = *r.U16le();
  h.compression = *r.U32le();
  h.sizeImage = *r.U32le();
  h.xPelsPerMeter = *r.I32le();
  h.yPelsPerMeter = *r.I32le();
  h.clrUsed = *r.U32le();
  h.clrImportant = *r.U32le();
  return h;
}

}  // namespace reelmill
