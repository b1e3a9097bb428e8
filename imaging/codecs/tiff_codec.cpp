#include "imaging/codecs/tiff_codec.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "imaging/byte_reader.h"
#include "imaging/codecs/row_convert.h"
#include "imaging/file_io.h"
#include "imaging/image_list.h"
#include "imaging/pixel_image.h"

namespace reelmill {

namespace {

// The largest single allocation libtiff may make for us: one strip or tile
// of the largest frame we accept.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t{1} << 30;
// Rows converted per call of the RGBA reader.
constexpr std::uint32_t kRgbaBandRows = 64;

// A file held in memory: the bytes being read, or the bytes being written.
struct MemoryFile {
  std::span<const std::uint8_t> input;
  std::vector<std::uint8_t>* output = nullptr;
  std::uint64_t position = 0;

  std::uint64_t Size() const { return output ? output->size() : input.size(); }
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (size < 0) return -1;
  const std::span<const std::uint8_t> bytes = file->output ? std::span<const std::uint8_t>(*file->output) : file->input;
  if (file->position >= bytes.size()) return 0;
  ByteReader reader(bytes, static_cast<std::size_t>(file->position));
  const auto chunk = reader.Bytes(std::min(static_cast<std::size_t>(size), reader.Remaining()));
  std::memcpy(buffer, chunk->data(), chunk->size());
  file->position += chunk->size();
  return static_cast<tmsize_t>(chunk->size());
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (!file->output || size < 0) return -1;
  const std::uint64_t end = file->position + static_cast<std::uint64_t>(size);
  try {
    if (end > file->output->size()) file->output->resize(static_cast<std::size_t>(end));
  } catch (...) {
    return -1;
  }
  std::memcpy(file->output->data() + file->position, buffer, static_cast<std::size_t>(size));
  file->position = end;
  return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = file->position;
  if (whence == SEEK_END) base = file->Size();
  const std::uint64_t target = base + offset;
  // Beyond what a file of ours could hold is an error, not a wrap-around.
  if (target < base || target > std::uint64_t{1} << 40) return static_cast<toff_t>(-1);
  file->position = target;
  return target;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<MemoryFile*>(handle)->Size(); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages go nowhere: a refusal is reported as false.
int Silent(TIFF*, void*, const char*, const char*, va_list) { return 1; }

class TiffFile {
 public:
  TiffFile(MemoryFile& file, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, Silent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Silent, nullptr);
    tiff_ = TIFFClientOpenExt("memory", mode, &file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                              UnmapProc, options);
    TIFFOpenOptionsFree(options);
  }
  ~TiffFile() {
    if (tiff_) TIFFClose(tiff_);
  }
  TiffFile(const TiffFile&) = delete;
  TiffFile& operator=(const TiffFile&) = delete;
  TIFF* get() const { return tiff_; }

 private:
  TIFF* tiff_ = nullptr;
};

class RgbaReader {
 public:
  RgbaReader(TIFF* tiff) {
    char message[1024];
    // Stop at the first strip or tile that does not decode: a damaged page
    // fails the file rather than coming out with holes.
    ok_ = TIFFRGBAImageOK(tiff, message) && TIFFRGBAImageBegin(&image_, tiff, 1, message);
  }
  ~RgbaReader() {
    if (ok_) TIFFRGBAImageEnd(&image_);
  }
  RgbaReader(const RgbaReader&) = delete;
  RgbaReader& operator=(const RgbaReader&) = delete;
  bool ok() const { return ok_; }
  TIFFRGBAImage& image() { return image_; }

 private:
  TIFFRGBAImage image_{};
  bool ok_ = false;
};

struct PageLayout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t bitsPerSample = 1;
  std::uint16_t samplesPerPixel = 1;
  std::uint16_t photometric = 0;
  bool hasPhotometric = false;
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  std::uint16_t extraCount = 0;
  std::uint16_t firstExtra = 0;
  bool tiled = false;

  // Strips of top-down rows that can be read scanline by scanline.
  bool ScanlineReadable() const {
    return !tiled && orientation == ORIENTATION_TOPLEFT && (planar == PLANARCONFIG_CONTIG || samplesPerPixel == 1);
  }
  bool IsPalette() const {
    return hasPhotometric && photometric == PHOTOMETRIC_PALETTE && samplesPerPixel == 1 &&
           (bitsPerSample == 1 || bitsPerSample == 2 || bitsPerSample == 4 || bitsPerSample == 8);
  }
  // 8-bit RGB, or RGB with straight alpha: the layouts we write ourselves.
  bool IsPlainRgb() const {
    if (!hasPhotometric || photometric != PHOTOMETRIC_RGB || bitsPerSample != 8) return false;
    return (samplesPerPixel == 3 && extraCount == 0) ||
           (samplesPerPixel == 4 && extraCount == 1 && firstExtra == EXTRASAMPLE_UNASSALPHA);
  }
};

PageLayout ReadLayout(TIFF* tiff) {
  PageLayout layout;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.height);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &layout.bitsPerSample);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &layout.samplesPerPixel);
  layout.hasPhotometric = TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &layout.photometric) == 1;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &layout.planar);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &layout.orientation);
  std::uint16_t* extras = nullptr;
  if (TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &layout.extraCount, &extras) == 1 && layout.extraCount > 0 &&
      extras) {
    layout.firstExtra = extras[0];
  }
  layout.tiled = TIFFIsTiled(tiff) != 0;
  return layout;
}

// Reads the page's scanlines in order and hands each to `use`.
template <typename UseRow>
bool ForEachScanline(TIFF* tiff, std::uint32_t height, std::size_t minimumBytes, UseRow use) {
  const tmsize_t size = TIFFScanlineSize(tiff);
  if (size <= 0 || static_cast<std::size_t>(size) < minimumBytes) return false;
  std::vector<std::uint8_t> line(static_cast<std::size_t>(size));
  for (std::uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tiff, line.data(), y, 0) < 0) return false;
    use(static_cast<int>(y), line.data());
  }
  return true;
}

bool ReadPalettePage(TIFF* tiff, const PageLayout& layout, PixelImage& image) {
  const int bits = layout.bitsPerSample;
  if (!image.Create(static_cast<int>(layout.width), static_cast<int>(layout.height), bits == 2 ? 4 : bits))
    return false;
  std::uint16_t* red = nullptr;
  std::uint16_t* green = nullptr;
  std::uint16_t* blue = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) != 1 || !red || !green || !blue) return false;
  const std::size_t entries = std::size_t{1} << bits;
  // Some writers store 8-bit colour map values; they are taken as they are.
  bool eightBit = true;
  for (std::size_t i = 0; i < entries; ++i) eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
  const int shift = eightBit ? 0 : 8;
  auto palette = image.Palette();
  for (std::size_t i = 0; i < entries; ++i) {
    palette[i] = PaletteEntry{static_cast<std::uint8_t>(blue[i] >> shift), static_cast<std::uint8_t>(green[i] >> shift),
                              static_cast<std::uint8_t>(red[i] >> shift), 0xFF};
  }

  const std::size_t packedBytes = (static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(bits) + 7) / 8;
  return ForEachScanline(tiff, layout.height, packedBytes, [&](int y, const std::uint8_t* line) {
    std::uint8_t* row = image.Row(y);
    if (bits != 2) {
      std::memcpy(row, line, packedBytes);
      return;
    }
    for (std::uint32_t x = 0; x < layout.width; ++x) {
      const auto index = static_cast<std::uint8_t>((line[x >> 2] >> (6 - 2 * (x & 3))) & 0x3);
      row[x >> 1] = (x & 1) ? static_cast<std::uint8_t>(row[x >> 1] | index) : static_cast<std::uint8_t>(index << 4);
    }
  });
}

bool ReadRgbPage(TIFF* tiff, const PageLayout& layout, PixelImage& image) {
  const int channels = layout.samplesPerPixel;
  if (!image.Create(static_cast<int>(layout.width), static_cast<int>(layout.height), channels * 8)) return false;
  const std::size_t rowBytes = static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(channels);
  return ForEachScanline(tiff, layout.height, rowBytes, [&](int y, const std::uint8_t* line) {
    std::uint8_t* row = image.Row(y);
    std::memcpy(row, line, rowBytes);
    SwapRedBlue(row, static_cast<int>(layout.width), channels);
  });
}

// Everything else goes through libtiff's RGBA conversion, a band of rows at
// a time. Its pixels come premultiplied; ours hold straight alpha.
bool ReadRgbaPage(TIFF* tiff, const PageLayout& layout, PixelImage& image) {
  RgbaReader reader(tiff);
  if (!reader.ok()) return false;
  TIFFRGBAImage& rgba = reader.image();
  rgba.req_orientation = ORIENTATION_TOPLEFT;
  const bool alpha = rgba.alpha != 0;
  if (!image.Create(static_cast<int>(layout.width), static_cast<int>(layout.height), alpha ? 32 : 24)) return false;
  const std::size_t width = layout.width;
  // libtiff decodes a strip or tile from its start up to the rows asked for,
  // on every call: bands of whole strips (tiles) decode each one once, where
  // short bands of a tall strip would decode it again for every band.
  std::uint32_t unitRows = 0;
  TIFFGetFieldDefaulted(tiff, layout.tiled ? TIFFTAG_TILELENGTH : TIFFTAG_ROWSPERSTRIP, &unitRows);
  const std::uint32_t bandRows = std::min(std::max(unitRows, kRgbaBandRows), layout.height);
  // Left uninitialised: libtiff fills every row it is asked for, and a tall
  // band that a file fails to fill at its first strip costs no memory.
  const auto band = std::make_unique_for_overwrite<std::uint32_t[]>(width * bandRows);
  for (std::uint32_t top = 0; top < layout.height; top += bandRows) {
    const std::uint32_t rows = std::min(bandRows, layout.height - top);
    rgba.row_offset = static_cast<int>(top);
    rgba.col_offset = 0;
    if (!TIFFRGBAImageGet(&rgba, band.get(), layout.width, rows)) return false;
    for (std::uint32_t r = 0; r < rows; ++r) {
      std::uint8_t* out = image.Row(static_cast<int>(top + r));
      const std::uint32_t* in = band.get() + r * width;
      for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t p = in[x];
        std::uint32_t red = TIFFGetR(p);
        std::uint32_t green = TIFFGetG(p);
        std::uint32_t blue = TIFFGetB(p);
        if (alpha) {
          const std::uint32_t a = TIFFGetA(p);
          if (a != 0 && a != 255) {
            red = std::min<std::uint32_t>(255, (red * 255 + a / 2) / a);
            green = std::min<std::uint32_t>(255, (green * 255 + a / 2) / a);
            blue = std::min<std::uint32_t>(255, (blue * 255 + a / 2) / a);
          }
          *out++ = static_cast<std::uint8_t>(blue);
          *out++ = static_cast<std::uint8_t>(green);
          *out++ = static_cast<std::uint8_t>(red);
          *out++ = static_cast<std::uint8_t>(a);
        } else {
          *out++ = static_cast<std::uint8_t>(blue);
          *out++ = static_cast<std::uint8_t>(green);
          *out++ = static_cast<std::uint8_t>(red);
        }
      }
    }
  }
  return true;
}

// An unsigned number of `size` bytes in the file's byte order.
std::optional<std::uint64_t> ReadNumber(ByteReader& in, std::size_t size, bool bigEndian) {
  const auto bytes = in.Bytes(size);
  if (!bytes) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t at = bigEndian ? i : size - 1 - i;
    value = value << 8 | (*bytes)[at];
  }
  return value;
}

std::uint64_t FieldTypeSize(std::uint64_t type) {
  switch (type) {
    case TIFF_BYTE:
    case TIFF_ASCII:
    case TIFF_SBYTE:
    case TIFF_UNDEFINED: return 1;
    case TIFF_SHORT:
    case TIFF_SSHORT: return 2;
    case TIFF_LONG:
    case TIFF_SLONG:
    case TIFF_FLOAT:
    case TIFF_IFD: return 4;
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
    case TIFF_DOUBLE:
    case TIFF_LONG8:
    case TIFF_SLONG8:
    case TIFF_IFD8: return 8;
    default: return 0;  // unknown types are skipped by libtiff as well
  }
}

// libtiff recovers from some tag values that lie past the end of the file by
// dropping the tag (the colour map among them), which would let a file cut
// short pass as whole. Every value the current directory points to must lie
// inside the file.
bool DirectoryValuesInside(TIFF* tiff, std::span<const std::uint8_t> data) {
  const bool bigEndian = !data.empty() && data[0] == 'M';
  const bool big = TIFFIsBigTIFF(tiff) != 0;
  const std::size_t countSize = big ? 8 : 2;
  const std::size_t valueSize = big ? 8 : 4;
  ByteReader in(data);
  if (!in.Seek(static_cast<std::size_t>(std::min<std::uint64_t>(TIFFCurrentDirOffset(tiff), data.size() + 1)))) {
    return false;
  }
  const auto entries = ReadNumber(in, countSize, bigEndian);
  if (!entries) return false;
  for (std::uint64_t i = 0; i < *entries; ++i) {
    const auto tag = ReadNumber(in, 2, bigEndian);
    const auto type = ReadNumber(in, 2, bigEndian);
    const auto count = ReadNumber(in, valueSize, bigEndian);
    const auto value = ReadNumber(in, valueSize, bigEndian);
    if (!tag || !value) return false;
    const std::uint64_t typeSize = FieldTypeSize(*type);
    if (*count > data.size()) {
      if (typeSize != 0) return false;
      continue;
    }
    const std::uint64_t bytes = *count * typeSize;
    if (bytes > valueSize && (*value > data.size() || bytes > data.size() - *value)) return false;
  }
  return true;
}

bool ReadPage(TIFF* tiff, std::span<const std::uint8_t> data, PixelImage& image, std::uint64_t& pixelBudget) {
  if (!DirectoryValuesInside(tiff, data)) return false;
  const PageLayout layout = ReadLayout(tiff);
  const std::uint64_t pixels = std::uint64_t{layout.width} * layout.height;
  if (layout.width == 0 || layout.height == 0 || pixels > PixelImage::kMaxPixels || pixels > pixelBudget) return false;
  if (layout.width > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) ||
      layout.height > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
    return false;
  }
  pixelBudget -= pixels;
  if (layout.IsPalette() && layout.ScanlineReadable()) return ReadPalettePage(tiff, layout, image);
  if (layout.IsPlainRgb() && layout.ScanlineReadable()) return ReadRgbPage(tiff, layout, image);
  return ReadRgbaPage(tiff, layout, image);
}

}  // namespace

bool TiffCodec::LoadMemory(std::span<const std::uint8_t> data, ImageList& out, std::unique_ptr<ImageProperties>&) {
  if (data.empty()) return false;
  MemoryFile file{data, nullptr, 0};
  TiffFile tiff(file, "rm");
  if (!tiff.get()) return false;

  // Every page must decode: a damaged page fails the whole file.
  ImageList pages;
  std::uint64_t pixelBudget = kMaxTotalPixels;
  for (;;) {
    auto image = std::make_unique<PixelImage>();
    if (!ReadPage(tiff.get(), data, *image, pixelBudget)) return false;
    pages.Append(std::move(image));
    if (TIFFLastDirectory(tiff.get())) break;
    // A next page that cannot be read means the file is cut short or damaged.
    if (TIFFReadDirectory(tiff.get()) != 1) return false;
  }

  for (auto& page : pages.TakeAll()) out.Append(std::move(page));
  return true;
}

namespace {
constexpr std::size_t kStripBytes = 256 * 1024;
}  // namespace

bool TiffCodec::SaveFile(const std::string& path, std::span<const PixelImage* const> images, const ImageProperties&) {
  if (images.empty() || images[0] == nullptr || images[0]->IsEmpty()) return false;
  const PixelImage& image = *images[0];
  const int depth = image.BitCount();

  std::vector<std::uint8_t>& encoded = file_;
  encoded.clear();
  MemoryFile file{{}, &encoded, 0};
  {
    TiffFile tiff(file, "w");
    TIFF* t = tiff.get();
    if (!t) return false;
    const bool palette = depth <= 8;
    const int channels = depth == 32 ? 4 : 3;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.Width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.Height()));
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    // Colour maps hold 16-bit values; the palette goes out opaque.
    std::vector<std::uint16_t> red;
    std::vector<std::uint16_t> green;
    std::vector<std::uint16_t> blue;
    if (palette) {
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, depth);
      TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
      for (const PaletteEntry& entry : image.Palette()) {
        red.push_back(static_cast<std::uint16_t>(entry.red * 257));
        green.push_back(static_cast<std::uint16_t>(entry.green * 257));
        blue.push_back(static_cast<std::uint16_t>(entry.blue * 257));
      }
      TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    } else {
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
      TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
      TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
      if (channels == 4) {
        const std::uint16_t straightAlpha[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, straightAlpha);
      }
    }
    const std::size_t rowBytes = palette ? (static_cast<std::size_t>(image.Width()) * depth + 7) / 8
                                         : static_cast<std::size_t>(image.Width()) * channels;
    // Strips of about 256 KiB: LZW's table then spans many rows, which
    // halves the files of small strips at no cost in time.
    const std::size_t rowsPerStrip = std::clamp<std::size_t>(kStripBytes / rowBytes, 1, image.Height());
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(rowsPerStrip));
    // Strips are laid out and compressed here, two at a time, with libtiff's
    // own bytes, and handed to libtiff as they are.
    const auto height = static_cast<std::size_t>(image.Height());
    const auto layOut = [&](std::size_t strip, std::vector<std::uint8_t>& bytes) {
      const std::size_t first = strip * rowsPerStrip;
      const std::size_t rows = std::min(rowsPerStrip, height - first);
      bytes.resize(rows * rowBytes);
      for (std::size_t r = 0; r < rows; ++r) {
        const int y = static_cast<int>(first + r);
        std::uint8_t* line = bytes.data() + r * rowBytes;
        if (palette) {
          std::memcpy(line, image.Row(y), rowBytes);
        } else if (channels == 4) {
          PredictedRgbaRow(image.Row(y), line, image.Width());
        } else {
          RowToBgr(image, y, line);
          SwapRedBlue(line, image.Width(), 3);
          PredictRow(line, rowBytes, 3);
        }
      }
    };
    const auto write = [&](std::size_t strip, std::span<const std::uint8_t> bytes) {
      // libtiff only reads the bytes it is given here.
      return TIFFWriteRawStrip(t, static_cast<std::uint32_t>(strip), const_cast<std::uint8_t*>(bytes.data()),
                               static_cast<tmsize_t>(bytes.size())) >= 0;
    };
    const std::size_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    for (std::size_t strip = 0; strip < strips; strip += 2) {
      layOut(strip, strips_[0]);
      if (strip + 1 == strips) {
        if (!write(strip, lzw_.EncodeStrip(strips_[0]))) return false;
        break;
      }
      layOut(strip + 1, strips_[1]);
      std::span<const std::uint8_t> first, second;
      lzw_.EncodeStrips(strips_[0], strips_[1], first, second);
      if (!write(strip, first) || !write(strip + 1, second)) return false;
    }
    if (TIFFFlush(t) != 1) return false;
  }
  return WriteFileAtomically(path, encoded);
}

}  // namespace reelmill
