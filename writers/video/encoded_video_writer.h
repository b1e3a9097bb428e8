#pragma once
// MP4 (H.264) and WebM (VP9) files through FFmpeg's libraries. Each frame
// keeps its own time (variable frame rate), the last one included, so the
// video lasts exactly as long as its frames; the pixels are converted to
// 4:2:0 with the BT.601 matrix in limited range, and the stream and the
// container say so. VP9 keeps any size exactly. H.264's 4:2:0 holds only even
// sides (its headers crop in steps of two): an odd side gets one pixel more,
// a copy of the edge, so nothing is stretched or smeared. The file is written under a
// hidden partial name and takes the target's name only once complete.

#include <memory>
#include <string>

#include "imaging/problem.h"
#include "writers/video/video_frame.h"

namespace reelmill {

enum class VideoFormat { Mp4H264, WebMVp9 };

struct EncodedVideoOptions {
  VideoFormat format = VideoFormat::Mp4H264;
  // Constant quality as FFmpeg users know it; -1: this program's default
  // for GIF content (H.264 23, VP9 32).
  int crf = -1;
  // Encoder speed: x264's preset names; for VP9 "ultrafast" ... "veryslow"
  // map onto its speeds. Empty: "medium".
  std::string preset;
  // VP9 only: keep transparency (4:2:0 with an alpha plane).
  bool alpha = false;
  // Threads the encoder may use; 0: its own choice.
  int threads = 0;
};

class EncodedVideoWriter {
 public:
  // The largest side each codec takes here.
  static constexpr int kMaxH264Side = 8192;
  static constexpr int kMaxVp9Side = 16384;

  EncodedVideoWriter();
  ~EncodedVideoWriter();  // an unfinished file is removed
  EncodedVideoWriter(const EncodedVideoWriter&) = delete;
  EncodedVideoWriter& operator=(const EncodedVideoWriter&) = delete;

  // Why frames of `width` x `height` cannot be written as `format`, before
  // any work; no problem when they can.
  static Problem SizeRefusal(VideoFormat format, int width, int height);
  // Whether VP9 frames of this size can keep an alpha plane: FFmpeg's VP9
  // encoder reads past its own alpha buffers for one-row frames of odd
  // width, so those are written without.
  static bool AlphaFits(int width, int height);

  Problem Open(const std::string& path, int width, int height, const EncodedVideoOptions& options);
  // Frames come in time order, each of the size given to Open.
  Problem Add(const VideoFrame& frame);
  // Encodes what the encoder holds back, writes the index and puts the file
  // in place.
  Problem Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The name FFmpeg gives the last error, for a problem's detail.
std::string FfmpegErrorText(int error);

}  // namespace reelmill
