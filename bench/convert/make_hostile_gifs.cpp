// Writes the hostile GIFs the long-pass benchmark converts:
//   steps.gif    2000 one-pixel frames of 655.35 s each: 13 million steps
//   damaged.gif  600 frames of 1000 x 1000, one bad code in the last frame
//   huge.gif     2 frames of 10000 x 10000
//   screen.gif   3 one-pixel frames on a 13000 x 13000 screen (121 bytes)
//   screen8k.gif 3 one-pixel frames on an 8192 x 8192 screen
// Frames are LZW-coded by giflib, so the files stay small.
//   make_hostile_gifs FOLDER

#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "make_hostile_gifs: %s failed\n", what);
    std::exit(1);
  }
}

// A giflib writer with a 256-grey palette and a graphic control per frame.
class Writer {
 public:
  Writer(const std::string& path, int width, int height) : width_(width), height_(height) {
    int error = 0;
    gif_ = EGifOpenFileName(path.c_str(), false, &error);
    Check(gif_ != nullptr, "open");
    EGifSetGifVersion(gif_, true);
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 256; ++i) map->Colors[i] = GifColorType{GifByteType(i), GifByteType(i), GifByteType(255 - i)};
    Check(EGifPutScreenDesc(gif_, width, height, 8, 0, map) == GIF_OK, "screen");
    GifFreeMapObject(map);
  }
  // One pixel at (x, 0), on a screen that may be far larger.
  void Pixel(int delay, int x) {
    Control(delay);
    Check(EGifPutImageDesc(gif_, x, 0, 1, 1, false, nullptr) == GIF_OK, "image");
    GifPixelType pixel = GifPixelType(x);
    Check(EGifPutLine(gif_, &pixel, 1) == GIF_OK, "line");
  }
  void Control(int delay) {
    const GifByteType control[4] = {0, GifByteType(delay & 0xFF), GifByteType(delay >> 8), 0};
    Check(EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK, "control");
  }
  // A full frame: a diagonal gradient with a square at `shift`.
  void Frame(int delay, int shift) {
    Control(delay);
    Check(EGifPutImageDesc(gif_, 0, 0, width_, height_, false, nullptr) == GIF_OK, "image");
    std::vector<GifPixelType> row(static_cast<std::size_t>(width_));
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const bool square = x >= shift && x < shift + 64 && y >= shift && y < shift + 64;
        row[static_cast<std::size_t>(x)] = square ? 255 : GifPixelType(((x + y) / 8) % 200);
      }
      Check(EGifPutLine(gif_, row.data(), width_) == GIF_OK, "line");
    }
  }
  void Close() {
    int error = 0;
    Check(EGifCloseFile(gif_, &error) == GIF_OK, "close");
  }

 private:
  GifFileType* gif_ = nullptr;
  int width_, height_;
};

// Replaces the trailer with a full-screen image whose second code is past
// the code table, so its pixels cannot decode while its blocks are whole.
void AppendDamagedFrame(const std::string& path, int width, int height) {
  std::FILE* file = std::fopen(path.c_str(), "r+b");
  Check(file != nullptr, "reopen");
  std::fseek(file, -1, SEEK_END);
  const std::vector<unsigned char> frame = {0x21,
                                            0xF9,
                                            4,
                                            0,
                                            10,
                                            0,
                                            0,
                                            0,  // graphic control: 100 ms
                                            0x2C,
                                            0,
                                            0,
                                            0,
                                            0,
                                            static_cast<unsigned char>(width & 0xFF),
                                            static_cast<unsigned char>(width >> 8),
                                            static_cast<unsigned char>(height & 0xFF),
                                            static_cast<unsigned char>(height >> 8),
                                            0,
                                            8,
                                            4,
                                            0x00,
                                            0xFF,
                                            0xFF,
                                            0xFF,
                                            0,  // clear code, then code 511
                                            0x3B};
  Check(std::fwrite(frame.data(), 1, frame.size(), file) == frame.size(), "damage");
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_hostile_gifs FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  {
    Writer steps(folder + "steps.gif", 1, 1);
    for (int i = 0; i < 2000; ++i) steps.Frame(65535, 0);
    steps.Close();
  }
  {
    Writer damaged(folder + "damaged.gif", 1000, 1000);
    for (int i = 0; i < 599; ++i) damaged.Frame(10, i);
    damaged.Close();
    AppendDamagedFrame(folder + "damaged.gif", 1000, 1000);
  }
  {
    Writer huge(folder + "huge.gif", 10000, 10000);
    huge.Frame(50, 0);
    huge.Frame(50, 500);
    huge.Close();
  }
  for (const auto& [name, side] : {std::pair{"screen.gif", 13000}, std::pair{"screen8k.gif", 8192}}) {
    Writer screen(folder + name, side, side);
    for (int i = 0; i < 3; ++i) screen.Pixel(10, i);
    screen.Close();
  }
  return 0;
}
