#include "engine/streaming_recording.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "imaging/codecs/animated_gif_control.h"
#include "engine/frame_timing.h"
#include "engine/recorded_frame.h"
#include "engine/work_paths.h"
#include "imaging/codecs/gif_codec.h"
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
  bool Write(const PixelImage& frame, const std::string& path) {
    const int quality = JpegQualityFrom(RecordingProperties(options_.jpegQuality));
    const std::span<const std::uint8_t> jpeg =
        NeedsScaling(frame, options_.outputWidth, options_.outputHeight)
            ? encoder_.Encode(ScaledForRecording(frame, options_.outputWidth, options_.outputHeight), quality)
            : encoder_.Encode(frame, quality);
    return !jpeg.empty() && WriteFileBytes(path, jpeg);
  }

 private:
  const StreamingOptions& options_;
  JpegEncoder encoder_;
};

// Encoder threads fed with copies of the decoder's canvas. Buffers go round
// a small free list, so the same few pages are reused for every frame.
class EncoderPool {
 public:
  EncoderPool(const StreamingOptions& options, int threads) : capacity_(static_cast<std::size_t>(threads) * 2) {
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this, &options] { Work(options); });
  }
  ~EncoderPool() { Finish(); }

  void Submit(const PixelImage& frame, std::string path) {
    std::unique_lock lock(mutex_);
    spaceFree_.wait(lock, [&] { return !free_.empty() || created_ < capacity_; });
    PixelImage buffer;
    if (!free_.empty()) {
      buffer = std::move(free_.back());
      free_.pop_back();
    } else {
      ++created_;
    }
    lock.unlock();
    CopyInto(buffer, frame);
    lock.lock();
    queue_.push_back({std::move(buffer), std::move(path)});
    workAvailable_.notify_one();
  }

  // Waits for every frame submitted; returns the frames that failed.
  int Finish() {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
    }
    workAvailable_.notify_all();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
    return failures_;
  }

 private:
  struct Job {
    PixelImage frame;
    std::string path;
  };

  static void CopyInto(PixelImage& buffer, const PixelImage& frame) {
    const bool sameShape = !buffer.IsEmpty() && buffer.Width() == frame.Width() &&
                           buffer.Height() == frame.Height() && buffer.BitCount() == frame.BitCount();
    if (!sameShape) {
      buffer = frame;
      return;
    }
    std::copy_n(frame.Bits(), frame.BufferSize(), buffer.Bits());
    if (!frame.Palette().empty()) std::ranges::copy(frame.Palette(), buffer.Palette().begin());
  }

  void Work(const StreamingOptions& options) {
    FrameFileWriter writer(options);
    std::unique_lock lock(mutex_);
    for (;;) {
      workAvailable_.wait(lock, [&] { return !queue_.empty() || closing_; });
      if (queue_.empty()) return;
      Job job = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      const bool ok = writer.Write(job.frame, job.path);
      lock.lock();
      if (!ok) ++failures_;
      free_.push_back(std::move(job.frame));
      spaceFree_.notify_one();
    }
  }

  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable workAvailable_;
  std::condition_variable spaceFree_;
  std::deque<Job> queue_;
  std::vector<PixelImage> free_;
  std::vector<std::thread> workers_;
  std::size_t created_ = 0;
  int failures_ = 0;
  bool closing_ = false;
};

}  // namespace

std::optional<StreamingOutcome> RecordStreaming(const std::string& gifPath, const StreamingOptions& options) {
  const auto data = ReadFileBytes(gifPath);
  if (!data) return std::nullopt;

  // The frame table as the walk describes it; the decode below must confirm
  // that every walked frame decodes, or the description may be wrong.
  AnimatedGifControl control;
  if (!control.LoadPictureData(*data, FramePictures::Describe) || control.FramesLeftOut() > 0) return std::nullopt;
  const bool still = control.GraphicBlocks() == 1;
  const int expectedImages = still ? 1 : control.TableSize();
  // A still is shown twice, so one pass has two frames to record.
  const int frames = still ? 2 : expectedImages;
  const FrameTimes times = FrameTimesOf(control, frames);

  const std::string folder = TempFolderOf(options.workFolder);
  if (!IsDirectory(folder)) CreateFolderPath(folder);

  StreamingOutcome outcome;
  outcome.frames = frames;
  outcome.totalSteps = times.totalSteps;
  std::optional<EncoderPool> pool;
  std::optional<FrameFileWriter> inlineWriter;
  if (options.encoderThreads > 1)
    pool.emplace(options, options.encoderThreads);
  else
    inlineWriter.emplace(options);

  int decoded = 0;
  long long counter = 0;
  const auto record = [&](const PixelImage& frame, int index) {
    const std::string path = TempFramePath(options.workFolder, gifPath, counter);
    if (pool) {
      pool->Submit(frame, path);
    } else if (!inlineWriter->Write(frame, path)) {
      ++outcome.failures;
    }
    counter += StepsOf(times.displayMs[static_cast<std::size_t>(index)]);
  };
  const GifDecoder::FrameSink sink = [&](const PixelImage& frame, int /*delay: from the frame table*/) {
    if (decoded >= expectedImages) return false;
    if (decoded == 0) {
      outcome.width = frame.Width();
      outcome.height = frame.Height();
    }
    record(frame, decoded);
    if (still) record(frame, 1);
    ++decoded;
    return true;
  };
  const bool complete = GifDecoder(GifCodec::kMaxDecodedBytes).DecodeEach(*data, sink);
  if (pool) outcome.failures += pool->Finish();
  if (!complete || decoded != expectedImages) return std::nullopt;
  return outcome;
}

}  // namespace reelmill
