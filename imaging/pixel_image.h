#pragma once
// The program's one in-memory raster image, laid out as a device-independent
// bitmap: a 40-byte information header, a palette (8 bits or fewer) or three
// colour masks (16 bits), and bottom-up rows padded to 4 bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/library_object.h"

namespace reelmill {

class ImageProperties;

// Bitmap information header, field for field as stored in a BMP file.
struct BitmapInfoHeader {
  std::uint32_t size = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t planes = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  std::uint32_t clrUsed = 0;
  std::uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

inline constexpr std::uint32_t kCompressionRgb = 0;
inline constexpr std::uint32_t kCompressionBitFields = 3;

// What Create needs: the header, and the three masks used for 16-bit images
// with bit-field compression.
struct ImageDescriptor {
  BitmapInfoHeader header;
  std::uint32_t redMask = 0;
  std::uint32_t greenMask = 0;
  std::uint32_t blueMask = 0;
};

// One palette entry in DIB order; `reserved` is the alpha of decoded palettes.
struct PaletteEntry {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};
static_assert(sizeof(PaletteEntry) == 4);

class PixelImage : public LibraryObject {
 public:
  // Frames whose pixel buffer would exceed this many pixels are refused, so a
  // hostile header cannot exhaust memory.
  static constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;

  PixelImage();
  PixelImage(const PixelImage& other);             // Assign from an empty image
  PixelImage& operator=(const PixelImage& other);  // Assign
  PixelImage(PixelImage&& other) noexcept;
  PixelImage& operator=(PixelImage&& other) noexcept;
  ~PixelImage() override;

  // Row stride for a width and depth: rows padded to multiples of 4 bytes.
  // The one place the stride is computed.
  static std::size_t StrideFor(std::int64_t width, int bitCount);

  // Refuses (false, image unchanged) a non-positive width or height, a
  // compression other than 0 or 3, a depth other than 1/4/8/16/24/32, or more
  // than kMaxPixels pixels. The new pixels are zero; images of 8 bits or
  // fewer get the grey palette.
  bool Create(const ImageDescriptor& descriptor);
  // Convenience: plain RGB (or 5-5-5 for 16 bits) of the given size and depth.
  bool Create(int width, int height, int bitCount);

  // Copies `source` (pixels, header, masks, palette, position). An empty
  // source, or the image itself, leaves this image unchanged.
  void Assign(const PixelImage& source);
  void Release();

  bool IsEmpty() const { return bits_ == nullptr; }
  int Width() const { return header_.width; }
  int Height() const { return header_.height; }
  int BitCount() const { return header_.bitCount; }
  std::size_t Stride() const;
  std::size_t BufferSize() const;  // Stride() * Height()
  const BitmapInfoHeader& Header() const { return header_; }
  std::uint32_t RedMask() const { return redMask_; }
  std::uint32_t GreenMask() const { return greenMask_; }
  std::uint32_t BlueMask() const { return blueMask_; }

  // The pixel buffer, bottom-up as in memory.
  std::uint8_t* Bits() { return bits_.get(); }
  const std::uint8_t* Bits() const { return bits_.get(); }
  // First byte of row y counted from the top. No range check.
  std::uint8_t* Row(int y) { return rows_[static_cast<std::size_t>(y)]; }
  const std::uint8_t* Row(int y) const { return rows_[static_cast<std::size_t>(y)]; }
  // Address of pixel (x, y) from the top; for 1 and 4 bits the byte holding
  // it. No range check.
  std::uint8_t* PixelAddress(int x, int y);
  const std::uint8_t* PixelAddress(int x, int y) const;

  // 2^BitCount() entries for 8 bits or fewer, else empty.
  std::span<PaletteEntry> Palette() { return palette_; }
  std::span<const PaletteEntry> Palette() const { return palette_; }
  // Copy `count` entries from index `first`; false (nothing copied) for an
  // empty image, more than 8 bits, a negative `first` or a null array.
  // Entries at or beyond 2^BitCount() are skipped.
  bool GetPalette(int first, int count, PaletteEntry* out) const;
  bool SetPalette(int first, int count, const PaletteEntry* in);
  void SetGreyPalette();
  // 32-bit images: sets every pixel's fourth byte. Other depths: nothing.
  void SetAlpha(std::uint8_t value);

  // Grows the canvas by the margins (each >= 0; depth >= 8), shifting the
  // position; with replicateEdges the margins repeat the edge pixels.
  void Expand(bool replicateEdges, int left, int top, int right, int bottom);

  // Encodes with the codec that the path's extension selects.
  bool Save(const std::string& path, const ImageProperties& properties) const;

  // Flat form: header, three masks, pixel buffer, posX, posY (no palette).
  std::size_t Serialize(bool store, std::span<std::uint8_t> buffer) override;

  int PosX() const { return posX_; }
  int PosY() const { return posY_; }
  void SetPosition(int x, int y) {
    posX_ = x;
    posY_ = y;
  }

 private:
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const;
  };

  int posX_ = 0;
  int posY_ = 0;
  BitmapInfoHeader header_{};
  std::unique_ptr<std::uint8_t[], FreeDeleter> bits_;
  std::vector<std::uint8_t*> rows_;
  std::uint32_t redMask_ = 0;
  std::uint32_t greenMask_ = 0;
  std::uint32_t blueMask_ = 0;
  std::vector<PaletteEntry> palette_;
};

}  // namespace reelmill
