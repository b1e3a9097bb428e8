#include "app/frame_image.h"

#include <cstring>

#include "imaging/pixel_image.h"

namespace reelmill {

namespace {

QImage::Format FormatOf(const PixelImage& image) {
  switch (image.BitCount()) {
    case 1:
    case 4:
    case 8: return QImage::Format_Indexed8;
    case 16: return image.GreenMask() == 0x7E0 ? QImage::Format_RGB16 : QImage::Format_RGB555;
    case 24: return QImage::Format_BGR888;
    case 32: return QImage::Format_RGB32;
    default: return QImage::Format_Invalid;
  }
}

// Index of pixel x in a row of 1, 4 or 8 bits per pixel.
int IndexAt(const std::uint8_t* row, int x, int bits) {
  if (bits == 8) return row[x];
  if (bits == 4) return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F;
  return (row[x / 8] >> (7 - x % 8)) & 1;
}

}  // namespace

QImage ToQImage(const PixelImage& image) {
  const QImage::Format format = FormatOf(image);
  if (image.IsEmpty() || format == QImage::Format_Invalid) return {};
  QImage out(image.Width(), image.Height(), format);
  if (out.isNull()) return {};
  const int bits = image.BitCount();
  if (format == QImage::Format_Indexed8) {
    QList<QRgb> colours;
    for (const PaletteEntry& entry : image.Palette()) colours.push_back(qRgb(entry.red, entry.green, entry.blue));
    out.setColorTable(colours);
  }
  const auto rowBytes = static_cast<std::size_t>(out.bytesPerLine() < static_cast<qsizetype>(image.Stride())
                                                     ? out.bytesPerLine()
                                                     : static_cast<qsizetype>(image.Stride()));
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* source = image.Row(y);
    std::uint8_t* target = out.scanLine(y);
    if (bits < 8) {
      for (int x = 0; x < image.Width(); ++x) target[x] = static_cast<std::uint8_t>(IndexAt(source, x, bits));
    } else {
      std::memcpy(target, source, rowBytes);
    }
  }
  return out;
}

}  // namespace reelmill
