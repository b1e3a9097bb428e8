#pragma once
// Building GIF files for the tests: through giflib's encoder (any layout of
// images, graphic controls, local tables, interlacing) or byte by byte, and
// reading our decoded frames back as RGBA.

#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/codecs/gif_compositor.h"
#include "imaging/image_list.h"
#include "imaging/pixel_image.h"

namespace reelmill::testing {

struct TestImage {
  GifRect rect;
  std::vector<std::uint8_t> indices;  // rect.width * rect.height, top row first
  std::vector<GifColor> localColors;  // empty: none
  bool interlaced = false;
  bool control = false;  // write a graphic control extension
  int disposal = 0;
  int delay = 0;
  int transparent = -1;
};

struct TestGif {
  int width = 0;
  int height = 0;
  std::vector<GifColor> globalColors;  // empty: none
  int background = 0;
  std::vector<TestImage> images;
};

inline int WriteToVector(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

// A giflib colour map of the next power of two holding `colors`.
inline ColorMapObject* MakeMap(const std::vector<GifColor>& colors) {
  int size = 2;
  while (size < static_cast<int>(colors.size())) size *= 2;
  ColorMapObject* map = GifMakeMapObject(size, nullptr);
  for (std::size_t i = 0; i < colors.size(); ++i) {
    map->Colors[i] = GifColorType{colors[i].red, colors[i].green, colors[i].blue};
  }
  return map;
}

// The rows of an interlaced image in the order they are stored.
inline std::vector<int> InterlacedOrder(int height) {
  std::vector<int> order;
  const int starts[] = {0, 4, 2, 1};
  const int steps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = starts[pass]; y < height; y += steps[pass]) order.push_back(y);
  }
  return order;
}

inline std::vector<std::uint8_t> EncodeGif(const TestGif& spec) {
  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = spec.globalColors.empty() ? nullptr : MakeMap(spec.globalColors);
  EGifPutScreenDesc(gif, spec.width, spec.height, 8, spec.background, global);
  for (const TestImage& image : spec.images) {
    if (image.control) {
      GraphicsControlBlock gcb{image.disposal, false, image.delay, image.transparent};
      GifByteType ext[4];
      EGifGCBToExtension(&gcb, ext);
      EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    }
    if (image.rect.Empty()) {
      // giflib's encoder ends image data only after the last pixel, so an
      // image without pixels is written by hand: descriptor, code size 2 and
      // an empty data block.
      const auto lo = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
      const auto hi = [](int v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); };
      out.insert(out.end(), {0x2C, lo(image.rect.left), hi(image.rect.left), lo(image.rect.top), hi(image.rect.top),
                             lo(image.rect.width), hi(image.rect.width), lo(image.rect.height), hi(image.rect.height),
                             0x00, 0x02, 0x00});
      continue;
    }
    ColorMapObject* local = image.localColors.empty() ? nullptr : MakeMap(image.localColors);
    if (local == nullptr && gif->Image.ColorMap != nullptr) {
      // giflib drops (and leaks) the previous image's local table here.
      GifFreeMapObject(gif->Image.ColorMap);
      gif->Image.ColorMap = nullptr;
    }
    EGifPutImageDesc(gif, image.rect.left, image.rect.top, image.rect.width, image.rect.height, image.interlaced,
                     local);
    std::vector<int> order;
    for (int y = 0; y < image.rect.height; ++y) order.push_back(y);
    if (image.interlaced) order = InterlacedOrder(image.rect.height);
    std::vector<GifPixelType> row(static_cast<std::size_t>(image.rect.width));
    for (int y : order) {
      std::memcpy(row.data(), image.indices.data() + std::size_t(y) * row.size(), row.size());
      EGifPutLine(gif, row.data(), image.rect.width);
    }
    if (local) GifFreeMapObject(local);
  }
  EGifCloseFile(gif, &error);
  if (global) GifFreeMapObject(global);
  return out;
}

// Deterministic indices below `colors` (a small linear congruential source).
inline std::vector<std::uint8_t> Pattern(int width, int height, int colors, std::uint32_t seed) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& v : out) {
    state = state * 1664525u + 1013904223u;
    v = static_cast<std::uint8_t>((state >> 24) % static_cast<std::uint32_t>(colors));
  }
  return out;
}

inline std::vector<GifColor> Ramp(int count, std::uint8_t salt) {
  std::vector<GifColor> colors;
  for (int i = 0; i < count; ++i) {
    colors.push_back(GifColor{static_cast<std::uint8_t>(i * 37 + salt), static_cast<std::uint8_t>(i * 91 + 7),
                              static_cast<std::uint8_t>(255 - i * 13)});
  }
  return colors;
}

// A frame as RGBA bytes, top row first: 24/32-bit frames from their pixels
// (24 bits opaque), 8-bit frames through their palette (fourth byte as alpha).
inline std::vector<std::uint8_t> FrameRgba(const PixelImage& image) {
  std::vector<std::uint8_t> out;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.Width(); ++x) {
      if (image.BitCount() == 32) {
        const std::uint8_t* p = row + x * 4;
        out.insert(out.end(), {p[2], p[1], p[0], p[3]});
      } else if (image.BitCount() == 24) {
        const std::uint8_t* p = row + x * 3;
        out.insert(out.end(), {p[2], p[1], p[0], 255});
      } else {
        const PaletteEntry& e = image.Palette()[row[x]];
        out.insert(out.end(), {e.red, e.green, e.blue, e.reserved});
      }
    }
  }
  return out;
}

// The 16-digit millisecond delays of FrameDelaysKey for the given hundredths.
inline std::string DelayText(std::initializer_list<int> centiseconds) {
  std::string text;
  for (int cs : centiseconds) {
    std::string digits = std::to_string(cs * 10);
    text += std::string(16 - digits.size(), '0') + digits;
  }
  return text;
}

}  // namespace reelmill::testing
