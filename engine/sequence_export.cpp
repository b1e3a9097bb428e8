#include "engine/sequence_export.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "engine/frame_pool.h"
#include "engine/input_guard.h"
#include "engine/recorded_frame.h"
#include "engine/work_paths.h"
#include "imaging/codec_registry.h"
#include "imaging/codecs/animated_gif_control.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/file_io.h"
#include "imaging/image_codec.h"
#include "imaging/image_properties.h"
#include "imaging/paths.h"

namespace reelmill {

namespace {

std::uint64_t Bytes32(std::int64_t width, std::int64_t height) {
  return PixelImage::StrideFor(width, 32) * static_cast<std::uint64_t>(std::max<std::int64_t>(height, 0));
}

// What an encoder holds beside the frame while it writes one: JPEG its
// output buffer; PNG the filtered rows, the deflated stream and the file;
// GIF the quantised indices, the palette search and the file; the others a
// converted copy and the file.
std::uint64_t EncoderBytes(const std::string& extension, int width, int height) {
  if (extension == "jpg") return JpegEncoder::WorkingBytes(width, height, 32);
  return (extension == "png" ? 3 : 2) * Bytes32(width, height);
}

}  // namespace

JobMemory SequenceMemory(int width, int height, const std::string& extension, const SequenceOptions& options) {
  const bool scaling = options.width > 0 && options.height > 0 && (options.width != width || options.height != height);
  const int outputWidth = scaling ? options.width : width;
  const int outputHeight = scaling ? options.height : height;
  // Scaling holds a true-colour copy, the copy grown by its replicated
  // edges, and the result.
  const std::uint64_t scaleBytes =
      scaling ? Bytes32(width, height) + Bytes32(width + 20, height + 20) + Bytes32(outputWidth, outputHeight) : 0;
  JobMemory memory;
  memory.base = GifDecoder::WorkingBytes(width, height);
  memory.oneThread = EncoderBytes(extension, outputWidth, outputHeight) + scaleBytes;
  memory.perThread = memory.oneThread + FramePool::kBuffersPerThread * Bytes32(width, height);
  return memory;
}

SequenceExport::SequenceExport(std::string sourcePath, std::string extension, std::string outputFolder,
                               SequenceOptions options)
    : sourcePath_(std::move(sourcePath)),
      extension_(std::move(extension)),
      outputFolder_(std::move(outputFolder)),
      options_(options) {}

SequenceExport::~SequenceExport() = default;

bool SequenceExport::Open() {
  cursor_.reset();
  next_ = nullptr;
  frameCount_ = position_ = failures_ = writeError_ = 0;
  openProblem_ = {};
  auto data = ReadFileBytes(sourcePath_, kMaxWholeFileBytes, &openProblem_);
  if (!data) return false;
  data_ = std::move(*data);
  cursor_ = std::make_unique<GifFrameCursor>(data_, GifCodec::kMaxDecodedBytes);
  next_ = cursor_->Next();
  if (!next_) {
    openProblem_ = cursor_->Ending() ? cursor_->Ending() : ProblemOf(ProblemCode::NoImage);
    return false;
  }
  announced_ = AnnouncedFrameCount(data_);
  frameCount_ = cursor_->Finished() ? 1 : announced_;
  return true;
}

std::string SequenceExport::SequenceFolder() const { return SequenceFolderOf(outputFolder_, extension_); }

std::string SequenceExport::FramePath(int frame) const {
  return SequenceFramePath(outputFolder_, sourcePath_, extension_, frame);
}

std::unique_ptr<ImageCodec> SequenceExport::NewCodec() const {
  const CodecRegistry& registry = CodecRegistry::Instance();
  return registry.CreateCodec(registry.FormatFromPath(FramePath(0)));
}

bool SequenceExport::SaveFrame(const PixelImage& frame, const std::string& path, ImageCodec& codec) const {
  // However it is named, the source is never written over.
  if (SameFile(path, sourcePath_)) return false;
  ImageProperties properties;
  properties.Set(QualityKey, std::to_string(options_.quality));
  // What PixelImage::Save does, with a codec that keeps its buffers.
  if (!NeedsScaling(frame, options_.width, options_.height)) {
    const PixelImage* const images[] = {&frame};
    return codec.SaveFile(path, images, properties);
  }
  const auto scaled = ScaledForRecording(frame, options_.width, options_.height);
  if (!scaled) return false;
  const PixelImage* const images[] = {&*scaled};
  return codec.SaveFile(path, images, properties);
}

void SequenceExport::Advance() {
  ++position_;
  next_ = cursor_->Next();
  // The decoder has the last word on how many frames there are.
  if (!next_) frameCount_ = position_;
  frameCount_ = std::max(frameCount_, position_ + (next_ ? 1 : 0));
}

bool SequenceExport::WriteNext() {
  if (Done()) return false;
  const std::string folder = SequenceFolder();
  if (!IsDirectory(folder)) CreateFolderPath(folder);
  if (!codec_) codec_ = NewCodec();
  errno = 0;
  const bool saved = codec_ && SaveFrame(*next_, FramePath(position_), *codec_);
  if (!saved && failures_++ == 0) writeError_ = errno;
  Advance();
  return saved;
}

void SequenceExport::WriteAll(int threads, const std::atomic<bool>* cancel) {
  if (Done()) return;
  const auto cancelled = [cancel] { return cancel && cancel->load(); };
  // At least one thread writes, whatever the budget: the frames are here.
  threads = std::max(1, SequenceMemory(next_->Width(), next_->Height(), extension_, options_)
                            .ThreadsWithin(options_.memoryBudget, threads));
  if (threads <= 1) {
    while (!Done() && !cancelled()) WriteNext();
    return;
  }
  const std::string folder = SequenceFolder();
  if (!IsDirectory(folder)) CreateFolderPath(folder);
  FramePool pool(threads, [this] {
    return [this, codec = std::shared_ptr<ImageCodec>(NewCodec())](const PixelImage& frame, const std::string& path,
                                                                   long long /*tag*/) {
      return codec && SaveFrame(frame, path, *codec) ? FrameWriteResult::Written : FrameWriteResult::NotWritten;
    };
  });
  while (!Done() && !cancelled()) {
    pool.Submit(*next_, FramePath(position_));
    Advance();
  }
  const FrameFailures failed = pool.Finish();
  if (failures_ == 0) writeError_ = failed.error;
  failures_ += failed.failures;
}

Problem SequenceExport::Damage() const { return Done() && cursor_ && position_ > 0 ? cursor_->Ending() : Problem{}; }

Problem SequenceExport::WriteProblem() const {
  if (failures_ == 0) return {};
  return WritingProblem(writeError_ != 0 ? writeError_ : EIO, SequenceFolder());
}

std::string SequenceExport::ProgressText() const {
  return std::to_string(position_) + "/" + std::to_string(FrameCount());
}

}  // namespace reelmill
