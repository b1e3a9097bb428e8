#include "engine/streaming_recording.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

#include "engine/frame_pack.h"
#include "engine/frame_pool.h"
#include "engine/frame_timing.h"
#include "engine/real_timing.h"
#include "engine/recorded_frame.h"
#include "engine/work_paths.h"
#include "imaging/codecs/animated_gif_control.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/file_io.h"
#include "imaging/paths.h"

namespace reelmill {

namespace {

// Encodes a frame as its recorded JPEG file. One per thread: the encoder
// keeps its compressor and buffer between frames.
class FrameFileWriter {
 public:
  explicit FrameFileWriter(const StreamingOptions& options) : options_(options) {}
  FrameWriteResult Write(const PixelImage& frame, const std::string& path, long long step) {
    const int quality = JpegQualityFrom(RecordingProperties(options_.jpegQuality));
    std::span<const std::uint8_t> jpeg;
    if (NeedsScaling(frame, options_.outputWidth, options_.outputHeight)) {
      const auto scaled = ScaledForRecording(frame, options_.outputWidth, options_.outputHeight);
      if (!scaled) return FrameWriteResult::NotScaled;
      jpeg = encoder_.Encode(*scaled, quality);
    } else {
      jpeg = encoder_.Encode(frame, quality);
    }
    if (jpeg.empty()) return FrameWriteResult::NotWritten;
    const bool written = options_.pack ? options_.pack->Add(step, jpeg) : WriteFileBytes(path, jpeg);
    return written ? FrameWriteResult::Written : FrameWriteResult::NotWritten;
  }

 private:
  const StreamingOptions& options_;
  JpegEncoder encoder_;
};

// Why a pass stopped before the decoder's last frame.
enum class StopReason {
  None,
  Cancelled,      // `cancel` was set
  TooLong,        // longer than allowed, for certain
  TooManyFrames,  // more frames than allowed
  PackFull,       // the pack holds more bytes than allowed
  TooLarge,       // frames too large to encode within the memory budget
};

struct Pass {
  bool decoded = false;  // the decoder delivered every frame it keeps
  StopReason stop = StopReason::None;
  Problem ending;         // why the decoder refused the file or stopped early
  int imagesDecoded = 0;  // a still counts once
  int frames = 0;         // frames recorded; a still twice
  long long elapsedMs = 0;
  long long playedMs = 0;
  FrameFailures failures;
  std::vector<long long> imageSteps;
  std::vector<int> imageDelays;
  int width = 0;
  int height = 0;
  int threads = 0;
  std::uint64_t bytesNeeded = 0;  // TooLarge: what one encoder would have needed
};

// The encoder of a pass: one on the decoding thread, or a pool of them.
class PassEncoder {
 public:
  PassEncoder(int threads, const StreamingOptions& options) {
    if (threads > 1)
      pool_.emplace(threads, [&options] {
        return [writer = std::make_shared<FrameFileWriter>(options)](
                   const PixelImage& f, const std::string& p, long long step) { return writer->Write(f, p, step); };
      });
    else
      inline_.emplace(options);
  }
  void Encode(const PixelImage& frame, std::string path, long long step, FrameFailures& failures) {
    if (pool_)
      pool_->Submit(frame, std::move(path), step);
    else
      failures.Add(inline_->Write(frame, path, step));
  }
  void Finish(FrameFailures& failures) {
    if (pool_) failures.Add(pool_->Finish());
  }

 private:
  std::optional<FramePool> pool_;
  std::optional<FrameFileWriter> inline_;
};

// The first reason `pass` must stop before recording frame `index`, which
// shows for `ms` on the recorder's table.
StopReason LimitReached(Pass& pass, int ms, const StreamingOptions& options) {
  // The frames so far belong to the pass, so their time is a lower bound.
  pass.elapsedMs += ms;
  if (options.maxSteps > 0 && pass.elapsedMs / kStepMs > options.maxSteps) return StopReason::TooLong;
  if (options.maxFrames > 0 && pass.frames >= options.maxFrames) return StopReason::TooManyFrames;
  if (options.maxPackBytes > 0 && options.pack && options.pack->Bytes() > options.maxPackBytes)
    return StopReason::PackFull;
  return StopReason::None;
}

// Decodes the GIF once and records every frame it keeps, frame i shown for
// the time `table` gives it.
Pass RecordPass(std::span<const std::uint8_t> data, const std::string& gifPath, const AnimatedGifControl& table,
                const StreamingOptions& options) {
  Pass pass;
  std::optional<PassEncoder> encoder;
  long long counter = 0;
  const auto record = [&](const PixelImage& frame, int index, bool shown) {
    const int ms = DisplayMsAt(table, index);
    if ((pass.stop = LimitReached(pass, ms, options)) != StopReason::None) return false;
    // A frame no output shows is not worth encoding.
    if (shown)
      encoder->Encode(frame, options.pack ? std::string() : TempFramePath(options.workFolder, gifPath, counter),
                      counter, pass.failures);
    counter += StepsOf(ms);
    ++pass.frames;
    return true;
  };
  // The frame table gives the window's times; the image's own delay gives
  // the time it plays for.
  const GifDecoder::FrameSink sink = [&](const PixelImage& frame, int delay) {
    if (options.cancel && options.cancel->load()) {
      pass.stop = StopReason::Cancelled;
      return false;
    }
    const long long startMs = pass.playedMs;
    pass.playedMs += PlayedDurationMs(delay);
    const bool shown = options.realTimeFps <= 0 || FramesShowing(startMs, pass.playedMs, options.realTimeFps) > 0;
    if (options.maxPlayedMs > 0 && pass.playedMs > options.maxPlayedMs) {
      pass.stop = StopReason::TooLong;
      return false;
    }
    pass.imageSteps.push_back(counter);
    pass.imageDelays.push_back(delay);
    if (pass.imagesDecoded == 0) {
      pass.width = frame.Width();
      pass.height = frame.Height();
      const JobMemory memory =
          RecordingMemory(frame.Width(), frame.Height(), frame.BitCount(), options.outputWidth, options.outputHeight);
      pass.threads = memory.ThreadsWithin(options.memoryBudget, options.encoderThreads);
      if (pass.threads == 0) {
        pass.stop = StopReason::TooLarge;
        pass.bytesNeeded = memory.For(1);
        return false;
      }
      encoder.emplace(pass.threads, options);
    }
    ++pass.imagesDecoded;
    // An 8-bit picture comes only when the file shows one image: a still,
    // which a pass shows twice.
    if (frame.BitCount() == 8) return record(frame, 0, shown) && record(frame, 1, shown);
    return record(frame, pass.imagesDecoded - 1, shown);
  };
  GifDecoder decoder(std::min(options.memoryBudget, GifCodec::kMaxDecodedBytes));
  pass.decoded = decoder.DecodeEach(data, sink);
  pass.ending = decoder.Ending();
  if (encoder) encoder->Finish(pass.failures);
  return pass;
}

bool SameDisplayTimes(const AnimatedGifControl& a, const AnimatedGifControl& b, int frames) {
  for (int i = 0; i < frames; ++i)
    if (DisplayMsAt(a, i) != DisplayMsAt(b, i)) return false;
  return true;
}

// The frame table as the frame recorder learns it when the walk alone does
// not vouch for it, as far as `frames` frames need it.
void LoadCheckedTable(AnimatedGifControl& checked, std::span<const std::uint8_t> data, int frames) {
  checked.LoadPictureData(data, FramePictures::Check, std::max(frames, 2));
}

// Drops what a pass recorded, so another pass can start over.
void StartOver(const StreamingOptions& options) {
  if (options.pack)
    options.pack->Clear();
  else
    ResetTempFolder(options.workFolder);
}

StreamingOutcome Failed(Problem why) {
  StreamingOutcome outcome;
  outcome.problem = std::move(why);
  return outcome;
}

StreamingOutcome TooLong(long long maxSteps) {
  StreamingOutcome outcome =
      Failed(Refusal(ProblemCode::TooLong, "one pass is longer than " + std::to_string(maxSteps) + " steps of 100 ms"));
  outcome.tooLong = true;
  return outcome;
}

// Why a pass that ran to its end did not record the file, if it did not.
std::optional<StreamingOutcome> PassFailure(const Pass& pass, const StreamingOptions& options) {
  switch (pass.stop) {
    case StopReason::Cancelled: {
      StreamingOutcome outcome;
      outcome.cancelled = true;
      return outcome;
    }
    case StopReason::TooLong: return TooLong(options.maxSteps);
    case StopReason::TooManyFrames:
      return Failed(Refusal(ProblemCode::TooLong, "it has more frames than the " + std::to_string(options.maxFrames) +
                                                      " one pass may record within the memory limit"));
    case StopReason::PackFull: {
      StreamingOutcome outcome =
          Failed(Refusal(ProblemCode::OutputTooLarge, "its recorded frames take more bytes than allowed"));
      outcome.packFull = true;
      return outcome;
    }
    case StopReason::TooLarge: {
      Problem memory = ProblemOf(ProblemCode::OverMemory);
      memory.needed = pass.bytesNeeded;
      memory.limit = options.memoryBudget;
      return Failed(memory);
    }
    case StopReason::None: break;
  }
  if (!pass.decoded) return Failed(pass.ending ? pass.ending : ProblemOf(ProblemCode::NoImage));
  return std::nullopt;
}

}  // namespace

JobMemory RecordingMemory(int width, int height, int bitCount, int outputWidth, int outputHeight) {
  const bool scaling = outputWidth > 0 && outputHeight > 0 && (outputWidth != width || outputHeight != height);
  const int encodedWidth = scaling ? outputWidth : width;
  const int encodedHeight = scaling ? outputHeight : height;
  const auto bytes32 = [](std::int64_t w, std::int64_t h) {
    return PixelImage::StrideFor(w, 32) * static_cast<std::uint64_t>(h);
  };
  // Scaling holds a true-colour copy, the copy grown by its replicated
  // edges, and the result.
  const std::uint64_t scaleBytes =
      scaling ? bytes32(width, height) + bytes32(width + 20, height + 20) + bytes32(encodedWidth, encodedHeight) : 0;
  JobMemory memory;
  memory.base = GifDecoder::WorkingBytes(width, height);
  memory.oneThread = JpegEncoder::WorkingBytes(encodedWidth, encodedHeight, scaling ? 32 : bitCount) + scaleBytes;
  memory.perThread = memory.oneThread + FramePool::kBuffersPerThread * PixelImage::StrideFor(width, bitCount) *
                                            static_cast<std::uint64_t>(std::max(height, 0));
  return memory;
}

StreamingOutcome RecordStreaming(const std::string& gifPath, const StreamingOptions& options) {
  Problem unreadable;
  const auto data = ReadFileBytes(gifPath, kMaxWholeFileBytes, &unreadable);
  if (!data) return Failed(unreadable);
  const std::string folder = TempFolderOf(options.workFolder);
  if (!IsDirectory(folder)) CreateFolderPath(folder);

  // First with the table the walk describes, which holds for every intact
  // file; damage shows once the decode ends.
  AnimatedGifControl described;
  // A pass records no frame past maxFrames, so the table need not go on.
  const long long entries = options.maxFrames > 0 ? options.maxFrames + 1 : std::numeric_limits<int>::max();
  described.LoadPictureData(*data, FramePictures::Describe,
                            static_cast<int>(std::min<long long>(entries, std::numeric_limits<int>::max())));
  Pass pass = RecordPass(*data, gifPath, described, options);
  AnimatedGifControl checked;
  const AnimatedGifControl* table = &described;

  const bool tooLong = pass.stop == StopReason::TooLong;
  if (tooLong && pass.playedMs > options.maxPlayedMs && options.maxPlayedMs > 0) {
    StreamingOutcome outcome =
        Failed(Refusal(ProblemCode::TooLong, "it plays longer than " + std::to_string(options.maxPlayedMs) + " ms"));
    outcome.tooLong = true;
    return outcome;
  }
  if (tooLong) {
    // Certain only when the table the recorder would use gives the frames
    // seen so far as much time; otherwise record without the early stop.
    LoadCheckedTable(checked, *data, pass.frames + 1);
    long long checkedMs = 0;
    for (int i = 0; i <= pass.frames; ++i) checkedMs += DisplayMsAt(checked, i);
    if (checkedMs / kStepMs > options.maxSteps) return TooLong(options.maxSteps);
    StreamingOptions unlimited = options;
    unlimited.maxSteps = 0;
    StartOver(options);
    const StreamingOutcome outcome = RecordStreaming(gifPath, unlimited);
    return outcome.ok && outcome.totalSteps > options.maxSteps ? TooLong(options.maxSteps) : outcome;
  }
  if (auto failure = PassFailure(pass, options)) return *failure;

  if (!DescribedTableHolds(described, pass.imagesDecoded)) {
    // Damaged or partly unusable: the recorder builds the table by decoding
    // every frame on its own. Where that gives other times, record again.
    LoadCheckedTable(checked, *data, pass.frames);
    table = &checked;
    if (!SameDisplayTimes(described, checked, pass.frames)) {
      StartOver(options);
      pass = RecordPass(*data, gifPath, checked, options);
      if (auto failure = PassFailure(pass, options)) return *failure;
    }
  }

  StreamingOutcome outcome;
  outcome.ok = true;
  outcome.frames = pass.frames;
  outcome.totalSteps = FrameTimesOf(*table, pass.frames).totalSteps;
  outcome.failures = pass.failures.failures;
  outcome.scaleFailures = pass.failures.scaleFailures;
  outcome.width = pass.width;
  outcome.height = pass.height;
  outcome.encoderThreads = pass.threads;
  outcome.writeError = pass.failures.error;
  outcome.imageSteps = std::move(pass.imageSteps);
  outcome.imageDelays = std::move(pass.imageDelays);
  outcome.damage = pass.ending;
  outcome.images = pass.imagesDecoded;
  outcome.imagesAnnounced = AnnouncedFrameCount(*data);
  return outcome;
}

}  // namespace reelmill
