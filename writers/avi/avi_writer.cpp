#include "writers/avi/avi_writer.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <limits>

#include "imaging/byte_writer.h"
#include "imaging/file_io.h"
#include "imaging/paths.h"

namespace reelmill {
namespace {

constexpr std::uint32_t kAviHasIndex = 0x10;    // AVIF_HASINDEX
constexpr std::uint32_t kIndexKeyFrame = 0x10;  // AVIIF_KEYFRAME
constexpr std::uint32_t kIndexFlags = kIndexKeyFrame | 0x02;
constexpr std::uint32_t kMicrosecondsPerSecond = 1000000;
constexpr std::uint64_t kHeadBytes = 240;  // "RIFF" up to and including "movi"
constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr std::uint64_t kIndexEntryBytes = 16;
constexpr std::size_t kJfifHeadBytes = 6;        // SOI, APP0 marker and its length: copied unchanged
constexpr std::size_t kJfifIdentifierBytes = 4;  // "JFIF": replaced by "AVI1"

std::uint64_t Padded(std::uint64_t size) { return (size + 3) / 4 * 4; }

// Numbers in the paths compare by value, so frames stay in step order past
// step 99999 and unpadded names (frame9, frame10) play in their order.
bool PathBefore(const AviFrameEntry& a, const AviFrameEntry& b) { return FrameOrderLess(a.path, b.path); }

std::uint32_t Saturated32(std::uint64_t value) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

AviWriter::AviWriter() : AviWriter(std::cout, std::cerr) {}

AviWriter::AviWriter(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

void AviWriter::Fail(const std::string& message) const { err_ << message << '\n'; }

int AviWriter::AddFrameFile(const std::string& path, std::uint64_t times) {
  const auto size = FileSize(path);
  if (!size) return kPreparationFailed;
  err_ << path << " size is " << *size << '\n';
  if (*size == 0 || times == 0) return kPreparationFailed;
  frames_.push_back(AviFrameEntry{*size, times, path, 0, true});
  return kOk;
}

int AviWriter::AddFrameData(const std::string& path, std::uint64_t offset, std::uint64_t size, std::uint64_t times) {
  if (size < kJfifHeadBytes + kJfifIdentifierBytes || times == 0) return kPreparationFailed;
  frames_.push_back(AviFrameEntry{size, times, path, offset, false});
  return kOk;
}

// The frame file being read; frames that share a file share one handle.
struct AviWriter::Reader {
  ~Reader() { Close(); }
  std::FILE* Open(const std::string& path) {
    if (file && path == openPath) return file;
    Close();
    file = std::fopen(path.c_str(), "rb");
    openPath = path;
    return file;
  }
  void Close() {
    if (file) std::fclose(file);
    file = nullptr;
  }
  std::FILE* file = nullptr;
  std::string openPath;
};

std::uint64_t AviWriter::FrameCount() const {
  std::uint64_t count = 0;
  for (const AviFrameEntry& entry : frames_) count += entry.times;
  return count;
}

void AviWriter::SetFrameRate(int fps) {
  const int clamped = std::clamp(fps, 1, static_cast<int>(kMicrosecondsPerSecond));
  microsecondsPerFrame_ = kMicrosecondsPerSecond / static_cast<std::uint32_t>(clamped);
}

bool AviWriter::Prepare(Prepared& prepared) {
  const std::uint64_t n = FrameCount();
  if (n == 0) return false;

  std::uint64_t total = 0;
  for (const AviFrameEntry& entry : frames_) {
    // Checked before each addition, so the sum never wraps.
    if (entry.times > kMaxRiffSize || Padded(entry.size) > kMaxRiffSize / entry.times) {
      total = kMaxRiffSize + 1;
      break;
    }
    total += Padded(entry.size) * entry.times;
    if (total > kMaxRiffSize) break;  // already too large
  }
  if (total > kMaxRiffSize || n > kMaxRiffSize) {
    Fail("RIFF would exceed 2 Gb limit");
    return false;
  }
  const std::uint64_t riffSize = total + (kChunkHeaderBytes + kIndexEntryBytes) * n + kHeadBytes;
  if (riffSize > kMaxRiffSize) {
    Fail("RIFF would exceed 2 Gb limit");
    return false;
  }
  prepared.dataTotal = total;

  const std::uint32_t frames = static_cast<std::uint32_t>(n);
  const std::uint32_t us = microsecondsPerFrame_;
  const std::uint64_t maxBytesPerSecond = total / n * kMicrosecondsPerSecond / us;
  const std::uint32_t imageSize = static_cast<std::uint32_t>(std::int64_t{width_} * height_ * 3);

  ByteWriter head(kHeadBytes);
  head.Fourcc("RIFF");
  head.U32le(static_cast<std::uint32_t>(riffSize));
  head.Fourcc("AVI ");
  head.Fourcc("LIST");
  head.U32le(208);  // hdrl list: avih, strl
  head.Fourcc("hdrl");
  head.Fourcc("avih");
  head.U32le(56);
  head.U32le(us);                              // dwMicroSecPerFrame
  head.U32le(Saturated32(maxBytesPerSecond));  // dwMaxBytesPerSec
  head.U32le(0);                               // dwPaddingGranularity
  head.U32le(kAviHasIndex);                    // dwFlags
  head.U32le(frames);                          // dwTotalFrames
  head.U32le(0);                               // dwInitialFrames
  head.U32le(1);                               // dwStreams
  head.U32le(0);                               // dwSuggestedBufferSize
  head.U32le(static_cast<std::uint32_t>(width_));
  head.U32le(static_cast<std::uint32_t>(height_));
  head.Zeros(16);  // dwReserved[4]
  head.Fourcc("LIST");
  head.U32le(132);  // strl list: strh, strf and the odml list
  head.Fourcc("strl");
  head.Fourcc("strh");
  head.U32le(48);  // the stream header without its frame rectangle
  head.Fourcc("vids");
  head.Fourcc("MJPG");
  head.U32le(0);                       // dwFlags
  head.U16le(0);                       // wPriority
  head.U16le(0);                       // wLanguage
  head.U32le(0);                       // dwInitialFrames
  head.U32le(us);                      // dwScale
  head.U32le(kMicrosecondsPerSecond);  // dwRate
  head.U32le(0);                       // dwStart
  head.U32le(frames);                  // dwLength
  head.U32le(0);                       // dwSuggestedBufferSize
  head.U32le(0);                       // dwQuality
  head.U32le(0);                       // dwSampleSize
  head.Fourcc("strf");
  head.U32le(40);
  head.U32le(40);  // biSize
  head.U32le(static_cast<std::uint32_t>(width_));
  head.U32le(static_cast<std::uint32_t>(height_));
  head.U16le(1);   // biPlanes
  head.U16le(24);  // biBitCount
  head.Fourcc("MJPG");
  head.U32le(imageSize);  // biSizeImage
  head.U32le(0);          // biXPelsPerMeter
  head.U32le(0);          // biYPelsPerMeter
  head.U32le(0);          // biClrUsed
  head.U32le(0);          // biClrImportant
  head.Fourcc("LIST");
  head.U32le(16);
  head.Fourcc("odml");
  head.Fourcc("dmlh");
  head.U32le(4);
  head.U32le(frames);  // dwTotalFrames
  head.Fourcc("LIST");
  head.U32le(static_cast<std::uint32_t>(4 + total + kChunkHeaderBytes * n));
  head.Fourcc("movi");
  prepared.head = head.Take();
  return true;
}

int AviWriter::Write() {
  Prepared prepared;
  if (!Prepare(prepared)) return kPreparationFailed;

  AtomicFileWriter output(outputPath_);
  if (outputPath_.empty() || !output.Open()) {
    Fail("Can't create a new file to write (" + outputPath_ + ")!");
    return kCannotWriteOutput;
  }
  const auto writeFailed = [&] {
    Fail("Can't write to the file (" + outputPath_ + ")!");
    return kCannotWriteOutput;
  };
  if (!output.Write(prepared.head)) return writeFailed();

  // Frame files are put in the order of their numbered names. Ranges keep the
  // order they were registered in: their paths say nothing of it (frames of
  // one pass may lie in two files, and which path sorts first depends on where
  // the temporary folder is).
  if (std::all_of(frames_.begin(), frames_.end(), [](const AviFrameEntry& e) { return e.wholeFile; }))
    std::stable_sort(frames_.begin(), frames_.end(), PathBefore);
  std::vector<std::uint8_t> buffer(kCopyBufferSize);
  std::uint64_t written = 0;
  Reader reader;
  for (const AviFrameEntry& entry : frames_) {
    for (std::uint64_t copy = 0; copy < entry.times; ++copy) {
      out_ << "dealing with " << entry.path << '\n';
      const int result = CopyFrame(entry, reader, output, buffer, written);
      if (result == kCannotWriteOutput) return writeFailed();
      if (result != kOk) return result;
    }
  }
  out_.flush();

  if (written != prepared.dataTotal) {
    Fail("error writing images (wrote " + std::to_string(written) + " bytes, expected " +
         std::to_string(prepared.dataTotal) + " bytes)");
    return kFrameSizeChanged;
  }

  const std::uint64_t frames = FrameCount();
  ByteWriter index(kChunkHeaderBytes + kIndexEntryBytes * frames);
  index.Fourcc("idx1");
  index.U32le(static_cast<std::uint32_t>(kIndexEntryBytes * frames));
  std::uint64_t offset = 4;  // the first chunk follows the "movi" identifier
  for (const AviFrameEntry& entry : frames_) {
    for (std::uint64_t copy = 0; copy < entry.times; ++copy) {
      index.Fourcc("00db");
      index.U32le(kIndexFlags);
      index.U32le(static_cast<std::uint32_t>(offset));
      index.U32le(static_cast<std::uint32_t>(Padded(entry.size)));
      offset += Padded(entry.size) + kChunkHeaderBytes;
    }
  }
  if (!output.Write(index.Buffer()) || !output.Commit()) return writeFailed();
  return kOk;
}

int AviWriter::CopyFrame(const AviFrameEntry& entry, Reader& reader, AtomicFileWriter& output,
                         std::vector<std::uint8_t>& buffer, std::uint64_t& written) {
  std::FILE* file = reader.Open(entry.path);
  if (!file) {
    Fail("couldn't open file (" + entry.path + ")!");
    return kCannotOpenFrame;
  }
  std::uint8_t head[kJfifHeadBytes + kJfifIdentifierBytes];
  if (std::fseek(file, static_cast<long>(entry.offset), SEEK_SET) != 0 ||
      std::fread(head, 1, kJfifHeadBytes, file) != kJfifHeadBytes) {
    reader.Close();
    Fail("reading error");
    return kFrameReadError;
  }
  // The identifier is replaced whatever it held; a short read shows up in the total.
  [[maybe_unused]] const std::size_t skipped = std::fread(head + kJfifHeadBytes, 1, kJfifIdentifierBytes, file);

  const std::uint64_t padded = Padded(entry.size);
  ByteWriter chunk(kChunkHeaderBytes + sizeof head);
  chunk.Fourcc("00db");
  chunk.U32le(static_cast<std::uint32_t>(padded));
  chunk.Bytes(head, kJfifHeadBytes);
  chunk.Fourcc("AVI1");
  bool ok = output.Write(chunk.Buffer());

  // A whole file is read to its end, so a file that grew shows in the total;
  // a frame within a file ends where its range does.
  std::uint64_t copied = 0;
  std::uint64_t left = entry.wholeFile ? UINT64_MAX : entry.size - sizeof head;
  while (ok && left > 0) {
    const std::size_t n = std::fread(buffer.data(), 1, std::min<std::uint64_t>(buffer.size(), left), file);
    if (n == 0) break;
    ok = output.Write(buffer.data(), n);
    copied += n;
    left -= n;
  }
  if (entry.wholeFile) reader.Close();

  const std::uint64_t pad = padded - entry.size;
  static constexpr std::uint8_t kPad[3] = {0, 0, 0};
  if (!ok || !output.Write(kPad, pad)) return kCannotWriteOutput;
  written += sizeof head + copied + pad;
  return kOk;
}

}  // namespace reelmill
