#pragma once
// An uncompressed movie file (signature "FWS", version 3). Tags go to the
// file as they are appended, so a movie of any length holds no more than one
// tag in memory; Close writes the End tag and then fills in the header's total
// length and frame count, which only the end knows.
//
// The file is written through a temporary sibling that replaces the target
// only once complete: until Close the target is untouched, and a failed or
// abandoned movie never costs an existing file.

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/byte_writer.h"
#include "writers/swf/swf_character.h"
#include "writers/swf/swf_geometry.h"

namespace reelmill {

class AtomicFileWriter;

class SwfMovie final {
 public:
  static constexpr std::uint8_t kVersion = 3;
  // The header keeps whole frames per second in one byte.
  static constexpr int kMaxFrameRate = 255;

  SwfMovie();
  ~SwfMovie();
  SwfMovie(const SwfMovie&) = delete;
  SwfMovie& operator=(const SwfMovie&) = delete;

  // 1 when the file was created and its header written, 0 when it could not
  // be or a file is already open (then nothing changes). Frame rates below 1 are taken as 1; the rate
  // is stored as whole frames per second modulo 256.
  int Open(const std::string& path, float width, float height, int fps);
  void SetBackgroundColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  // Ends the current frame. The 16-bit frame count wraps after 65535.
  void ShowFrame();
  // Appends the character's tag; when `place` is set, also places it at
  // `depth` as a new character (bitmaps are never placed). Null is ignored.
  void AddCharacter(SwfCharacter* character, int depth, bool place);
  // Writes the file. True only when it was written completely and is in place;
  // false without an open file, on any write error, or when the movie grew
  // past the format's 4 GB length field.
  bool Close();

  std::uint16_t FrameCount() const { return frameCount_; }

 private:
  void Append(const std::uint8_t* data, std::size_t size);
  void Append(const std::vector<std::uint8_t>& bytes) { Append(bytes.data(), bytes.size()); }

  SwfRect frame_{0, 0, 200, 200};
  std::uint16_t frameRate_ = 0x0C00;  // 8.8 fixed point
  std::uint16_t frameCount_ = 0;
  std::unique_ptr<AtomicFileWriter> file_;
  std::uint64_t headerBytes_ = 0;  // the frame count is the header's last field
  std::uint64_t tagBytes_ = 0;
  bool tooLarge_ = false;
  bool failed_ = false;
};

}  // namespace reelmill
