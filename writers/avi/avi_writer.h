#pragma once
// Builds a Motion-JPEG AVI from JPEG files without decoding them: every file
// becomes one key frame, copied byte for byte except that the JFIF identifier
// of its leading APP0 segment is replaced by "AVI1".
//
// All chunk sizes are known from the sizes measured at registration, so the
// file is written strictly front to back and nothing is patched afterwards.
// The output goes through a temporary sibling and replaces the target only
// when every byte was written, so a failed write never costs an existing file.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace reelmill {

class AtomicFileWriter;

struct AviFrameEntry {
  std::uint64_t size = 0;   // bytes of the frame, measured at registration
  std::uint64_t times = 1;  // frames in a row that show this picture
  std::string path;
  std::uint64_t offset = 0;  // where the frame starts in the file
  bool wholeFile = true;     // the frame is the whole file, read to its end
};

class AviWriter final {
 public:
  // Results of Write (AddFrameFile also answers kPreparationFailed).
  static constexpr int kOk = 0;
  static constexpr int kPreparationFailed = -1;  // no frames, or the RIFF would pass 2 GB
  static constexpr int kCannotWriteOutput = -2;  // the output cannot be created or written
  static constexpr int kCannotOpenFrame = -3;
  static constexpr int kFrameReadError = -4;
  static constexpr int kFrameSizeChanged = -5;  // bytes copied differ from the sizes measured

  // A RIFF file of 2 GB or more is refused; older readers take its sizes as signed.
  static constexpr std::uint64_t kMaxRiffSize = (std::uint64_t{1} << 31) - 1;
  // Frame data is streamed through one buffer of this size; with 512-byte
  // blocks the copy took about 40% more CPU time.
  static constexpr std::size_t kCopyBufferSize = 64 * 1024;

  // `out` receives the per-frame progress lines, `err` the measurements and
  // failures; both stay owned by the caller and must outlive the writer.
  AviWriter();
  AviWriter(std::ostream& out, std::ostream& err);

  // Registers a frame file; -1 when its size cannot be measured or is zero.
  // With `times` above 1 the picture fills that many frames in a row, each
  // frame a copy of the file.
  int AddFrameFile(const std::string& path, std::uint64_t times = 1);
  // Registers the `size` bytes at `offset` of `path` as a frame, for frames
  // kept one after the other in files; -1 when the range is shorter than a
  // JFIF head or `times` is 0. Once a range is registered, every frame is
  // written in the order of registration instead of by path.
  int AddFrameData(const std::string& path, std::uint64_t offset, std::uint64_t size, std::uint64_t times = 1);
  void SetOutputPath(const std::string& path) { outputPath_ = path; }
  // Frames per second; values below 1 are taken as 1, and values above a
  // million as a million, so the time per frame is never zero.
  void SetFrameRate(int fps);
  void SetFrameSize(std::int32_t width, std::int32_t height) {
    width_ = width;
    height_ = height;
  }
  // Writes the whole file; kOk or one of the negative codes above.
  int Write();

 private:
  struct Prepared {
    std::uint64_t dataTotal = 0;     // T: sum of the padded frame sizes
    std::vector<std::uint8_t> head;  // "RIFF" up to and including "movi"
  };

  bool Prepare(Prepared& prepared);
  struct Reader;
  int CopyFrame(const AviFrameEntry& entry, Reader& reader, AtomicFileWriter& output, std::vector<std::uint8_t>& buffer,
                std::uint64_t& written);
  std::uint64_t FrameCount() const;
  void Fail(const std::string& message) const;

  std::ostream& out_;
  std::ostream& err_;
  std::string outputPath_;
  std::uint32_t microsecondsPerFrame_ = 1000000 / 15;
  std::int32_t width_ = 320;
  std::int32_t height_ = 240;
  std::vector<AviFrameEntry> frames_;
};

}  // namespace reelmill
