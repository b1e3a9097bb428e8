#include "imaging/codecs/png_codec.h"

#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/byte_reader.h"
#include "imaging/byte_writer.h"
#include "imaging/codecs/row_convert.h"
#include "imaging/file_io.h"
#include "imaging/image_list.h"
#include "imaging/pixel_image.h"

namespace reelmill {

namespace {

// Deflate effort: at 7 libdeflate's files are smaller than zlib's at its
// default 6, in about half the time.
constexpr int kDeflateLevel = 7;
constexpr std::size_t kIdatChunkBytes = 1 << 20;

// libpng reports errors by longjmp to the setjmp in the Run* functions below.
// Those functions and the callbacks hold no objects with destructors; every
// C++ object they use lives in the caller's state.

[[noreturn]] void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromReader(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<ByteReader*>(png_get_io_ptr(png));
  const auto bytes = reader->Bytes(count);
  if (!bytes) png_error(png, "truncated");
  std::memcpy(out, bytes->data(), count);
}

struct WriteTarget {
  ByteWriter* out = nullptr;
};

void WriteToWriter(png_structp png, png_bytep data, png_size_t count) {
  auto* target = static_cast<WriteTarget*>(png_get_io_ptr(png));
  bool ok = true;
  try {
    target->out->Bytes(data, count);
  } catch (...) {
    ok = false;
  }
  if (!ok) png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}

class PngReadGuard {
 public:
  PngReadGuard() : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning)) {
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngReadGuard() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  PngReadGuard(const PngReadGuard&) = delete;
  PngReadGuard& operator=(const PngReadGuard&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

class PngWriteGuard {
 public:
  PngWriteGuard() : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning)) {
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngWriteGuard() {
    if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
  }
  PngWriteGuard(const PngWriteGuard&) = delete;
  PngWriteGuard& operator=(const PngWriteGuard&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

struct DecodeState {
  ByteReader reader;
  PixelImage image;
  std::vector<png_bytep> rows;
  std::vector<std::uint8_t> packed;  // 2-bit palette rows before widening
  bool twoBitPalette = false;
};

// Each 2-bit index becomes a 4-bit one, high pixel first as in the file.
void WidenTwoBitRow(const std::uint8_t* in, int width, std::uint8_t* out) {
  for (int x = 0; x < width; ++x) {
    const std::uint8_t index = static_cast<std::uint8_t>((in[x >> 2] >> (6 - 2 * (x & 3))) & 0x3);
    if (x & 1) {
      out[x >> 1] = static_cast<std::uint8_t>(out[x >> 1] | index);
    } else {
      out[x >> 1] = static_cast<std::uint8_t>(index << 4);
    }
  }
}

bool RunDecode(png_structp png, png_infop info, DecodeState& s) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &s.reader, ReadFromReader);
  png_read_info(png, info);

  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colourType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
  if (static_cast<std::uint64_t>(width) * height > PixelImage::kMaxPixels) return false;

  const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  int depth = 0;
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    depth = bitDepth == 2 ? 4 : bitDepth;
    s.twoBitPalette = bitDepth == 2;
  } else {
    if (bitDepth == 16) png_set_scale_16(png);
    if (!(colourType & PNG_COLOR_MASK_COLOR)) {
      png_set_expand_gray_1_2_4_to_8(png);
      png_set_gray_to_rgb(png);
    }
    if (hasTransparency) png_set_tRNS_to_alpha(png);
    png_set_bgr(png);
    depth = (colourType & PNG_COLOR_MASK_ALPHA) || hasTransparency ? 32 : 24;
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  if (!s.image.Create(static_cast<int>(width), static_cast<int>(height), depth)) return false;
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &palette, &count);
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    if (hasTransparency) png_get_tRNS(png, info, &alpha, &alphaCount, nullptr);
    auto entries = s.image.Palette();
    const int used = std::min(count, static_cast<int>(entries.size()));
    for (int i = 0; i < used; ++i) {
      entries[static_cast<std::size_t>(i)] = PaletteEntry{palette[i].blue, palette[i].green, palette[i].red,
                                                          i < alphaCount ? alpha[i] : std::uint8_t{0xFF}};
    }
  }

  s.rows.resize(height);
  if (s.twoBitPalette) {
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    s.packed.resize(rowBytes * height);
    for (png_uint_32 y = 0; y < height; ++y) s.rows[y] = s.packed.data() + rowBytes * y;
  } else {
    for (png_uint_32 y = 0; y < height; ++y) s.rows[y] = s.image.Row(static_cast<int>(y));
  }
  png_read_image(png, s.rows.data());
  // Reading up to the end chunk refuses files cut short after the pixels.
  png_read_end(png, nullptr);
  return true;
}

// The image's rows as PNG scanlines, each after its filter byte (0: none),
// in the file's sample order, and deflated into one zlib stream.
bool DeflateScanlines(const PixelImage& image, std::size_t rowBytes, libdeflate_compressor* compressor,
                      std::vector<std::uint8_t>& raw, std::vector<std::uint8_t>& out) {
  const int depth = image.BitCount();
  const auto height = static_cast<std::size_t>(image.Height());
  raw.resize((rowBytes + 1) * height);
  for (int y = 0; y < image.Height(); ++y) {
    std::uint8_t* line = raw.data() + (rowBytes + 1) * static_cast<std::size_t>(y);
    line[0] = 0;
    if (depth == 16) {
      RowToBgr(image, y, line + 1);
      SwapRedBlue(line + 1, image.Width(), 3);
    } else if (depth > 8) {
      CopySwappingRedBlue(image.Row(y), line + 1, image.Width(), depth == 32 ? 4 : 3);
    } else {
      std::memcpy(line + 1, image.Row(y), rowBytes);
    }
  }
  if (!compressor) return false;
  out.resize(libdeflate_zlib_compress_bound(compressor, raw.size()));
  out.resize(libdeflate_zlib_compress(compressor, raw.data(), raw.size(), out.data(), out.size()));
  return !out.empty();
}

bool RunEncode(png_structp png, png_infop info, const PixelImage& image, WriteTarget& target,
               const std::vector<std::uint8_t>& idat) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &target, WriteToWriter, FlushNothing);

  const auto width = static_cast<png_uint_32>(image.Width());
  const auto height = static_cast<png_uint_32>(image.Height());
  const int depth = image.BitCount();
  if (depth <= 8) {
    png_set_IHDR(png, info, width, height, depth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // The palette goes out opaque: whatever the fourth bytes hold is not
    // taken as transparency.
    png_color palette[256];
    const auto entries = image.Palette();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      palette[i] = png_color{entries[i].red, entries[i].green, entries[i].blue};
    }
    png_set_PLTE(png, info, palette, static_cast<int>(entries.size()));
  } else {
    png_set_IHDR(png, info, width, height, 8, depth == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  }
  png_write_info(png, info);
  // The pixels were deflated by libdeflate, which takes half zlib's time for
  // smaller files; libpng frames them in chunks.
  static constexpr png_byte kIdat[5] = {'I', 'D', 'A', 'T', 0};
  static constexpr png_byte kIend[5] = {'I', 'E', 'N', 'D', 0};
  for (std::size_t at = 0; at < idat.size(); at += kIdatChunkBytes) {
    png_write_chunk(png, kIdat, idat.data() + at, std::min(kIdatChunkBytes, idat.size() - at));
  }
  png_write_chunk(png, kIend, nullptr, 0);
  return true;
}

}  // namespace

bool DecodePng(std::span<const std::uint8_t> data, PixelImage& image) {
  if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0) return false;
  PngReadGuard guard;
  if (!guard.info()) return false;
  DecodeState state{ByteReader(data), PixelImage(), {}, {}, false};
  if (!RunDecode(guard.png(), guard.info(), state)) return false;
  if (state.twoBitPalette) {
    for (int y = 0; y < state.image.Height(); ++y) {
      WidenTwoBitRow(state.rows[static_cast<std::size_t>(y)], state.image.Width(), state.image.Row(y));
    }
  }
  image = std::move(state.image);
  return true;
}

bool PngEncoder::Encode(const PixelImage& image, ByteWriter& out) {
  if (image.IsEmpty()) return false;
  const int depth = image.BitCount();
  const std::size_t rowBytes = depth <= 8 ? (static_cast<std::size_t>(image.Width()) * depth + 7) / 8
                                          : static_cast<std::size_t>(image.Width()) * (depth == 32 ? 4 : 3);
  if (!compressor_) compressor_.reset(libdeflate_alloc_compressor(kDeflateLevel));
  if (!DeflateScanlines(image, rowBytes, compressor_.get(), scanlines_, deflated_)) return false;
  PngWriteGuard guard;
  if (!guard.info()) return false;
  WriteTarget target{&out};
  return RunEncode(guard.png(), guard.info(), image, target, deflated_);
}

bool EncodePng(const PixelImage& image, ByteWriter& out) { return PngEncoder().Encode(image, out); }

void PngEncoder::FreeCompressor::operator()(libdeflate_compressor* compressor) const {
  libdeflate_free_compressor(compressor);
}

bool PngCodec::LoadMemory(std::span<const std::uint8_t> data, ImageList& out, std::unique_ptr<ImageProperties>&) {
  auto image = std::make_unique<PixelImage>();
  if (!DecodePng(data, *image)) return false;
  out.Append(std::move(image));
  return true;
}

bool PngCodec::SaveFile(const std::string& path, std::span<const PixelImage* const> images, const ImageProperties&) {
  if (images.empty() || images[0] == nullptr || images[0]->IsEmpty()) return false;
  ByteWriter out(std::move(file_));
  out.Clear();
  const bool ok = encoder_.Encode(*images[0], out) && WriteFileAtomically(path, out.Buffer());
  file_ = out.Take();
  return ok;
}

}  // namespace reelmill
