#pragma once
// A PixelImage as a QImage for painting. Colours only: the fourth byte of
// 32-bit pixels and of palette entries is not drawn, as a stretch of the
// bitmap would not draw it.

#include <QImage>

namespace reelmill {

class PixelImage;

QImage ToQImage(const PixelImage& image);

}  // namespace reelmill
