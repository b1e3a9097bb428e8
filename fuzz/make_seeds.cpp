// Writes the seed corpora under fuzz/corpus/: small GIFs of every shape the
// GIF rules care about (built byte by byte), and one small file per image
// format and depth written by our own encoders. Run it once after changing
// what the seeds should hold:  build-fuzz/fuzz/fuzz_make_seeds fuzz/corpus

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/byte_writer.h"
#include "imaging/file_io.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"
#include "tests/support/gif_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using reelmill::testing::GifBuilder;
namespace fs = std::filesystem;

void Write(const fs::path& path, const Bytes& bytes) {
  fs::create_directories(path.parent_path());
  if (!reelmill::WriteFileBytes(path.string(), bytes)) std::perror(path.c_str());
}

Bytes ReadBack(const fs::path& path) { return reelmill::ReadFileBytes(path.string()).value_or(Bytes{}); }

std::vector<std::pair<std::string, Bytes>> Gifs() {
  std::vector<std::pair<std::string, Bytes>> gifs;
  gifs.emplace_back(
      "delays.gif",
      GifBuilder(6, 5).Looping().SolidFrame(1, 10).SolidFrame(2, 30).SolidFrame(3, 0).SolidFrame(4, 15).Bytes());
  gifs.emplace_back("still.gif", GifBuilder(5, 4).SolidFrame(3, 250).Bytes());
  gifs.emplace_back("nocontrol.gif", GifBuilder(4, 4).SolidFrame(1, 0, false).SolidFrame(2, 0, false).Bytes());
  GifBuilder layered(8, 8);
  for (int i = 0; i < 4; ++i) {
    reelmill::testing::GifFrameSpec f;
    f.left = i;
    f.top = 2 * i % 5;
    f.width = 4;
    f.height = 3;
    for (int p = 0; p < 12; ++p) f.indices.push_back(static_cast<std::uint8_t>((p + i) % 8));
    f.disposal = i % 4;
    f.transparentIndex = i == 1 ? 2 : -1;
    f.interlaced = i == 2;
    f.delay = 20 + 10 * i;
    if (i == 3) f.localTable = {{9, 9, 9}, {200, 100, 50}};
    layered.Frame(f);
  }
  layered.Comment("layered");
  gifs.emplace_back("layered.gif", layered.Bytes());
  const auto whole = GifBuilder(6, 6).SolidFrame(1, 10).SolidFrame(2, 20).SolidFrame(3, 30).Bytes();
  gifs.emplace_back("cut.gif", Bytes(whole.begin(), whole.end() - 20));
  GifBuilder bad(4, 4);
  bad.SolidFrame(1, 60).Control(30).Raw({0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 12, 2, 0xFF, 0xFF, 0});
  bad.SolidFrame(3, 40);
  gifs.emplace_back("secondbad.gif", bad.Bytes());
  GifBuilder text(5, 5);
  text.SolidFrame(1, 10).Control(50).Raw({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).SolidFrame(2, 20);
  gifs.emplace_back("text.gif", text.Bytes());
  gifs.emplace_back("grown.gif", [] {
    GifBuilder b(0, 0);  // the screen grows to hold the first image
    reelmill::testing::GifFrameSpec f;
    f.left = 1;
    f.top = 1;
    f.width = f.height = 3;
    f.indices.assign(9, 2);
    b.Frame(f);
    f.left = 2;
    f.indices.assign(9, 5);
    f.delay = 65535;
    b.Frame(f);
    return b.Bytes();
  }());
  return gifs;
}

// A small picture of each depth, saved by our encoders.
std::vector<reelmill::PixelImage> Pictures() {
  std::vector<reelmill::PixelImage> pictures;
  for (const int depth : {1, 4, 8, 16, 24, 32}) {
    reelmill::PixelImage image;
    image.Create(7, 5, depth);
    for (std::size_t i = 0; i < image.BufferSize(); ++i) image.Bits()[i] = static_cast<std::uint8_t>(i * 37 + depth);
    pictures.push_back(std::move(image));
  }
  return pictures;
}

Bytes Prefixed(std::uint8_t selector, const Bytes& bytes) {
  Bytes out{selector};
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

// One icon holding a 32-bit picture as a bitmap with its mask.
Bytes Icon() {
  reelmill::ByteWriter w;
  const int side = 4;
  w.U16le(0);
  w.U16le(1);
  w.U16le(1);
  w.U8(side);
  w.U8(side);
  w.U8(0);
  w.U8(0);
  w.U16le(1);
  w.U16le(32);
  const std::uint32_t dibBytes = 40 + side * side * 4 + side * 4;
  w.U32le(dibBytes);
  w.U32le(22);
  w.U32le(40);
  w.U32le(side);
  w.U32le(side * 2);
  w.U16le(1);
  w.U16le(32);
  for (int i = 0; i < 6; ++i) w.U32le(0);
  for (int i = 0; i < side * side; ++i) w.U32le(0x80000000u | static_cast<std::uint32_t>(i * 0x010203));
  for (int i = 0; i < side; ++i) w.U32le(0);
  return w.Take();
}

// Run-length TGAs (true colour and grey), which our encoder does not write.
Bytes RleTga(bool grey) {
  Bytes tga = {0, 0, static_cast<std::uint8_t>(grey ? 11 : 10), 0,   0, 0, 0, 0, 0, 0, 0, 0, 4, 0,
               2, 0, static_cast<std::uint8_t>(grey ? 8 : 24),  0x20};
  const std::size_t pixel = grey ? 1 : 3;
  tga.push_back(0x83);  // a run of four
  for (std::size_t i = 0; i < pixel; ++i) tga.push_back(static_cast<std::uint8_t>(40 + i));
  tga.push_back(0x03);  // four raw pixels
  for (std::size_t i = 0; i < 4 * pixel; ++i) tga.push_back(static_cast<std::uint8_t>(i * 29));
  return tga;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  for (const auto& [name, bytes] : Gifs()) {
    for (const char* target : {"gif_frame_table", "gif_decoder", "recording_roads", "encoded_outputs"})
      Write(root / target / name, bytes);
    Write(root / "image_codecs" / name, Prefixed(6, bytes));
  }

  // Reader selector (low three bits) and save format (next three) of the codec target.
  struct Format {
    const char* extension;
    std::uint8_t reader;
  };
  const Format formats[] = {{"bmp", 0}, {"tga", 1}, {"png", 3}, {"tif", 4}, {"jpg", 5}};
  const fs::path scratch = fs::temp_directory_path() / "reelmill-seeds";
  fs::create_directories(scratch);
  int n = 0;
  for (const auto& picture : Pictures()) {
    for (const Format& format : formats) {
      const fs::path path = scratch / ("p." + std::string(format.extension));
      reelmill::ImageProperties properties;
      properties.Set(reelmill::QualityKey, "75");
      if (!picture.Save(path.string(), properties)) continue;
      const Bytes bytes = ReadBack(path);
      const auto saveAs = static_cast<std::uint8_t>((n++ % 6) << 3);
      Write(root / "image_codecs" / (std::to_string(picture.BitCount()) + "bit." + format.extension),
            Prefixed(format.reader | saveAs, bytes));
      if (std::string(format.extension) == "jpg" && picture.BitCount() >= 24) {
        Write(root / "jpeg_info" / (std::to_string(picture.BitCount()) + "bit.jpg"), bytes);
        // Two frames, then the settings byte: AVI at 10 fps; SWF at 25 with its own size given.
        Bytes mux = bytes;
        const std::string separator = "--frame--";
        mux.insert(mux.end(), separator.begin(), separator.end());
        mux.insert(mux.end(), bytes.begin(), bytes.end());
        mux.push_back(picture.BitCount() == 24 ? 0x02 : 0x15);
        Write(root / "mux" / (std::to_string(picture.BitCount()) + "bit.mux"), mux);
      }
    }
  }
  Write(root / "image_codecs" / "icon.ico", Prefixed(2, Icon()));
  Write(root / "image_codecs" / "rle24.tga", Prefixed(1 | 2 << 3, RleTga(false)));
  Write(root / "image_codecs" / "rle8.tga", Prefixed(1 | 3 << 3, RleTga(true)));
  fs::remove_all(scratch);
  return 0;
}
