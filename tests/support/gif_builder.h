#pragma once
// Builds GIF files byte by byte for tests: any palette, frame rectangles,
// graphic control extensions (delay, disposal, transparency), local colour
// tables, interlacing, comment and application extensions. Pixel data is
// LZW-coded with a clear code before every pixel, so the code width never
// grows: valid for every decoder, simple enough to trust.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace reelmill::testing {

struct GifColour {
  std::uint8_t r = 0, g = 0, b = 0;
};

struct GifFrameSpec {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint8_t> indices;  // width * height, row by row from the top
  bool withControl = true;            // write a graphic control extension
  int delay = 10;                     // hundredths of a second
  int disposal = 0;
  int transparentIndex = -1;
  std::vector<GifColour> localTable;  // empty: use the global table
  bool interlaced = false;
};

class GifBuilder {
 public:
  GifBuilder(int screenWidth, int screenHeight, std::vector<GifColour> globalTable = DefaultPalette())
      : width_(screenWidth), height_(screenHeight), global_(std::move(globalTable)) {}

  // Eight distinct colours: black, white, red, green, blue, yellow, cyan, magenta.
  static std::vector<GifColour> DefaultPalette() {
    return {{0, 0, 0},   {255, 255, 255}, {255, 0, 0},   {0, 255, 0},
            {0, 0, 255}, {255, 255, 0},   {0, 255, 255}, {255, 0, 255}};
  }

  GifBuilder& Comment(const std::string& text) {
    body_.insert(body_.end(), {0x21, 0xFE});
    SubBlocks(std::vector<std::uint8_t>(text.begin(), text.end()));
    return *this;
  }
  GifBuilder& Looping(int loops = 0) {
    body_.insert(body_.end(), {0x21, 0xFF, 0x0B});
    const std::string id = "NETSCAPE2.0";
    body_.insert(body_.end(), id.begin(), id.end());
    body_.insert(body_.end(), {0x03, 0x01, std::uint8_t(loops & 0xFF), std::uint8_t(loops >> 8), 0x00});
    return *this;
  }
  GifBuilder& Control(int delay, int disposal = 0, int transparentIndex = -1) {
    body_.insert(body_.end(), {0x21, 0xF9, 0x04, std::uint8_t((disposal & 7) << 2 | (transparentIndex >= 0 ? 1 : 0)),
                               std::uint8_t(delay & 0xFF), std::uint8_t(delay >> 8),
                               std::uint8_t(transparentIndex >= 0 ? transparentIndex : 0), 0x00});
    return *this;
  }
  // The image descriptor and its data, without a control extension.
  GifBuilder& Image(const GifFrameSpec& f) {
    const auto& table = f.localTable.empty() ? global_ : f.localTable;
    const int bits = TableBits(table.size());
    body_.push_back(0x2C);
    Le16(f.left);
    Le16(f.top);
    Le16(f.width);
    Le16(f.height);
    std::uint8_t flags = f.interlaced ? 0x40 : 0;
    if (!f.localTable.empty()) flags |= 0x80 | std::uint8_t(bits - 1);
    body_.push_back(flags);
    if (!f.localTable.empty()) Table(f.localTable, bits);
    std::vector<std::uint8_t> ordered = f.interlaced ? Interlace(f.indices, f.width, f.height) : f.indices;
    const int minCode = bits < 2 ? 2 : bits;
    body_.push_back(std::uint8_t(minCode));
    SubBlocks(Lzw(ordered, minCode));
    return *this;
  }
  GifBuilder& Frame(const GifFrameSpec& f) {
    if (f.withControl) Control(f.delay, f.disposal, f.transparentIndex);
    return Image(f);
  }
  // A full-screen frame of one colour index.
  GifBuilder& SolidFrame(std::uint8_t index, int delay = 10, bool withControl = true) {
    GifFrameSpec f;
    f.width = width_;
    f.height = height_;
    f.indices.assign(std::size_t(width_) * std::size_t(height_), index);
    f.delay = delay;
    f.withControl = withControl;
    return Frame(f);
  }
  GifBuilder& Raw(const std::vector<std::uint8_t>& bytes) {
    body_.insert(body_.end(), bytes.begin(), bytes.end());
    return *this;
  }

  std::vector<std::uint8_t> Bytes(bool withTrailer = true) const {
    std::vector<std::uint8_t> out{'G', 'I', 'F', '8', '9', 'a'};
    auto le16 = [&](int v) {
      out.push_back(std::uint8_t(v & 0xFF));
      out.push_back(std::uint8_t(v >> 8));
    };
    le16(width_);
    le16(height_);
    const int bits = TableBits(global_.size());
    out.push_back(global_.empty() ? 0 : std::uint8_t(0x80 | (bits - 1)));
    out.push_back(0);  // background index
    out.push_back(0);  // aspect
    if (!global_.empty()) {
      for (std::size_t i = 0; i < (std::size_t{1} << bits); ++i) {
        const GifColour c = i < global_.size() ? global_[i] : GifColour{};
        out.insert(out.end(), {c.r, c.g, c.b});
      }
    }
    out.insert(out.end(), body_.begin(), body_.end());
    if (withTrailer) out.push_back(0x3B);
    return out;
  }

  static std::size_t GlobalTableBytes(std::size_t colours) { return 3u << TableBits(colours); }

 private:
  static int TableBits(std::size_t colours) {
    int bits = 1;
    while ((std::size_t{1} << bits) < colours) ++bits;
    return bits;
  }
  void Le16(int v) {
    body_.push_back(std::uint8_t(v & 0xFF));
    body_.push_back(std::uint8_t(v >> 8));
  }
  void Table(const std::vector<GifColour>& table, int bits) {
    for (std::size_t i = 0; i < (std::size_t{1} << bits); ++i) {
      const GifColour c = i < table.size() ? table[i] : GifColour{};
      body_.insert(body_.end(), {c.r, c.g, c.b});
    }
  }
  void SubBlocks(const std::vector<std::uint8_t>& data) {
    for (std::size_t at = 0; at < data.size(); at += 255) {
      const std::size_t n = std::min<std::size_t>(255, data.size() - at);
      body_.push_back(std::uint8_t(n));
      body_.insert(body_.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + n));
    }
    body_.push_back(0);
  }
  static std::vector<std::uint8_t> Lzw(const std::vector<std::uint8_t>& indices, int minCode) {
    const int width = minCode + 1;
    const std::uint32_t clear = 1u << minCode, end = clear + 1;
    std::vector<std::uint8_t> out;
    std::uint32_t acc = 0;
    int held = 0;
    auto put = [&](std::uint32_t code) {
      acc |= code << held;
      held += width;
      while (held >= 8) {
        out.push_back(std::uint8_t(acc & 0xFF));
        acc >>= 8;
        held -= 8;
      }
    };
    for (std::uint8_t index : indices) {
      put(clear);
      put(index);
    }
    put(end);
    if (held > 0) out.push_back(std::uint8_t(acc & 0xFF));
    return out;
  }
  static std::vector<std::uint8_t> Interlace(const std::vector<std::uint8_t>& rows, int w, int h) {
    std::vector<std::uint8_t> out;
    const std::array<std::pair<int, int>, 4> passes{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (auto [start, step] : passes)
      for (int y = start; y < h; y += step)
        out.insert(out.end(), rows.begin() + std::ptrdiff_t(y) * w, rows.begin() + std::ptrdiff_t(y + 1) * w);
    return out;
  }

  int width_, height_;
  std::vector<GifColour> global_;
  std::vector<std::uint8_t> body_;
};

// Frames of 16 x 16 colour blocks (flat colours and hard edges, as GIFs
// hold them) that move from frame to frame, frame f shown for `delays[f]`
// hundredths; the blocks line up with JPEG's chroma blocks, so quality 100
// keeps them close.
inline std::vector<std::uint8_t> BlockGifWithDelays(int width, int height, const std::vector<int>& delays,
                                                    int transparentIndex = -1) {
  GifBuilder builder(width, height);
  for (std::size_t f = 0; f < delays.size(); ++f) {
    GifFrameSpec spec;
    spec.width = width;
    spec.height = height;
    spec.delay = delays[f];
    spec.transparentIndex = transparentIndex;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        spec.indices.push_back(static_cast<std::uint8_t>((x / 16 + y / 16 + static_cast<int>(f)) % 8));
    builder.Frame(spec);
  }
  return builder.Bytes();
}

// `frames` such frames of one delay.
inline std::vector<std::uint8_t> BlockGif(int frames, int width, int height, int delay) {
  return BlockGifWithDelays(width, height, std::vector<int>(static_cast<std::size_t>(frames), delay));
}

}  // namespace reelmill::testing
