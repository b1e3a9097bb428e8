#include "engine/scale_image.h"

#include <pixman.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/codecs/row_convert.h"

namespace reelmill {

namespace {

constexpr int kEdgeMargin = 10;

struct PixmanImageDeleter {
  void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanImageDeleter>;

pixman_format_code_t PixmanFormatOf(const PixelImage& image) {
  switch (image.BitCount()) {
    case 16: return image.GreenMask() == 0x03E0 ? PIXMAN_x1r5g5b5 : PIXMAN_r5g6b5;
    case 24: return PIXMAN_r8g8b8;
    default: return PIXMAN_a8r8g8b8;
  }
}

// Pixman blends premultiplied colours; our 32-bit pixels are straight alpha.
void Premultiply(PixelImage& image) {
  for (int y = 0; y < image.Height(); ++y) {
    std::uint8_t* p = image.Row(y);
    for (int x = 0; x < image.Width(); ++x, p += 4) {
      const unsigned a = p[3];
      for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>((p[c] * a + 127) / 255);
    }
  }
}

void Unpremultiply(PixelImage& image) {
  for (int y = 0; y < image.Height(); ++y) {
    std::uint8_t* p = image.Row(y);
    for (int x = 0; x < image.Width(); ++x, p += 4) {
      const unsigned a = p[3];
      if (a == 0 || a == 255) continue;
      for (int c = 0; c < 3; ++c) {
        const unsigned v = (p[c] * 255u + a / 2) / a;
        p[c] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
      }
    }
  }
}

// The buffer is bottom-up; pixman reads it as the upside-down picture. The
// margins are equal on all sides and the filter is symmetric, so scaling the
// upside-down picture gives the upside-down result.
PixmanImage Wrap(PixelImage& image) {
  return PixmanImage(pixman_image_create_bits(PixmanFormatOf(image), image.Width(), image.Height(),
                                              reinterpret_cast<std::uint32_t*>(image.Bits()),
                                              static_cast<int>(image.Stride())));
}

// An image of `width` x `height` in the pixel format of `image`.
bool CreateLike(const PixelImage& image, int width, int height, PixelImage& target) {
  ImageDescriptor descriptor;
  descriptor.header = image.Header();
  descriptor.header.width = width;
  descriptor.header.height = height;
  descriptor.redMask = image.RedMask();
  descriptor.greenMask = image.GreenMask();
  descriptor.blueMask = image.BlueMask();
  return target.Create(descriptor);
}

// Each block of `blockWidth` x `blockHeight` pixels (fewer at the far edges)
// becomes its average; colours weighted by their opacity, so transparent
// pixels lend none.
void AverageBlocks(PixelImage& image, int blockWidth, int blockHeight) {
  const int bytes = image.BitCount() / 8;
  const int width = (image.Width() + blockWidth - 1) / blockWidth;
  const int height = (image.Height() + blockHeight - 1) / blockHeight;
  PixelImage target;
  if (!CreateLike(image, width, height, target)) return;
  std::vector<std::uint64_t> sums(static_cast<std::size_t>(width) * 5);
  for (int by = 0; by < height; ++by) {
    std::fill(sums.begin(), sums.end(), 0);
    const int rowEnd = std::min(image.Height(), (by + 1) * blockHeight);
    for (int y = by * blockHeight; y < rowEnd; ++y) {
      const std::uint8_t* p = image.Row(y);
      for (int x = 0; x < image.Width(); ++x, p += bytes) {
        std::uint64_t* sum = &sums[static_cast<std::size_t>(x / blockWidth) * 5];
        const unsigned a = bytes == 4 ? p[3] : 255;
        for (int c = 0; c < 3; ++c) sum[c] += std::uint64_t{p[c]} * a;
        sum[3] += a;
        ++sum[4];
      }
    }
    std::uint8_t* out = target.Row(by);
    for (int x = 0; x < width; ++x, out += bytes) {
      const std::uint64_t* sum = &sums[static_cast<std::size_t>(x) * 5];
      for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>(sum[3] ? (sum[c] + sum[3] / 2) / sum[3] : 0);
      if (bytes == 4) out[3] = static_cast<std::uint8_t>((sum[3] + sum[4] / 2) / sum[4]);
    }
  }
  target.SetPosition(image.PosX(), image.PosY());
  image = std::move(target);
}

}  // namespace

PixelImage ToTrueColour(const PixelImage& image) {
  if (image.IsEmpty() || image.BitCount() >= 24) return image;
  PixelImage out;
  if (!out.Create(image.Width(), image.Height(), 24)) return out;
  out.SetPosition(image.PosX(), image.PosY());
  for (int y = 0; y < image.Height(); ++y) RowToBgr(image, y, out.Row(y));
  return out;
}

void ScaleImage(PixelImage& image, int width, int height) {
  if (image.IsEmpty() || width < 1 || height < 1 || image.BitCount() < 16) return;
  const int sourceWidth = image.Width(), sourceHeight = image.Height();
  // Pixman works in 16.16 fixed point: no coordinate or scale of 32768 or
  // more, and its filter grows with the scale. Large reductions first
  // average whole blocks, then filter the rest of the way.
  constexpr int kMaxFilterSide = 16384, kMaxFilterScale = 1024;
  if (sourceWidth > kMaxFilterSide || sourceHeight > kMaxFilterSide || sourceWidth / width > kMaxFilterScale ||
      sourceHeight / height > kMaxFilterScale) {
    if (image.BitCount() < 24) return;
    const int blockWidth = std::max(1, sourceWidth / width), blockHeight = std::max(1, sourceHeight / height);
    if (blockWidth == 1 && blockHeight == 1) return;  // an enlargement of a huge image: beyond any target
    AverageBlocks(image, blockWidth, blockHeight);
    if (image.Width() > kMaxFilterSide || image.Height() > kMaxFilterSide) return;
    if (image.Width() != width || image.Height() != height) ScaleImage(image, width, height);
    return;
  }
  const int posX = image.PosX(), posY = image.PosY();

  PixelImage source(image);
  source.Expand(true, kEdgeMargin, kEdgeMargin, kEdgeMargin, kEdgeMargin);
  if (source.IsEmpty() || source.Width() != sourceWidth + 2 * kEdgeMargin) return;
  const bool straightAlpha = source.BitCount() == 32;
  if (straightAlpha) Premultiply(source);

  PixelImage target;
  if (!CreateLike(image, width, height, target)) return;

  PixmanImage src = Wrap(source), dst = Wrap(target);
  if (!src || !dst) return;
  const double scaleX = static_cast<double>(sourceWidth) / width;
  const double scaleY = static_cast<double>(sourceHeight) / height;
  pixman_transform_t transform;
  pixman_transform_init_identity(&transform);
  transform.matrix[0][0] = pixman_double_to_fixed(scaleX);
  transform.matrix[0][2] = pixman_int_to_fixed(kEdgeMargin);
  transform.matrix[1][1] = pixman_double_to_fixed(scaleY);
  transform.matrix[1][2] = pixman_int_to_fixed(kEdgeMargin);
  pixman_image_set_transform(src.get(), &transform);
  pixman_image_set_repeat(src.get(), PIXMAN_REPEAT_PAD);

  // Cubic reconstruction; when shrinking, each target pixel also averages the
  // source pixels it covers.
  int parameterCount = 0;
  std::unique_ptr<pixman_fixed_t, decltype(&free)> parameters(
      pixman_filter_create_separable_convolution(&parameterCount, pixman_double_to_fixed(scaleX > 1 ? scaleX : 1.0),
                                                 pixman_double_to_fixed(scaleY > 1 ? scaleY : 1.0), PIXMAN_KERNEL_CUBIC,
                                                 PIXMAN_KERNEL_CUBIC,
                                                 scaleX > 1 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE,
                                                 scaleY > 1 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE, 4, 4),
      &free);
  if (!parameters) return;
  pixman_image_set_filter(src.get(), PIXMAN_FILTER_SEPARABLE_CONVOLUTION, parameters.get(), parameterCount);
  pixman_image_composite32(PIXMAN_OP_SRC, src.get(), nullptr, dst.get(), 0, 0, 0, 0, 0, 0, width, height);
  src.reset();
  dst.reset();

  if (straightAlpha) Unpremultiply(target);
  target.SetPosition(posX, posY);
  image = std::move(target);
}

}  // namespace reelmill
