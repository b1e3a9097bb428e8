#pragma once
// A small property bag, integer key to text value, in insertion order: save
// options going into an encoder (the JPEG quality) and metadata coming out of
// a decoder (the GIF frame delays).

#include <cstdint>
#include <string>
#include <vector>

namespace reelmill {

// JPEG quality of a save, decimal; "-1" means the encoder's default.
inline constexpr std::int32_t QualityKey = 500;
// Every frame's delay in milliseconds, each as 16 zero-padded decimal digits.
inline constexpr std::int32_t FrameDelaysKey = 2000;
// JPEG quality tag carried by a loaded file; the fall-back for QualityKey.
inline constexpr std::int32_t JpegQualityTagKey = 0x5010;
// Set by the TGA reader: "1" for run-length files, "-1" otherwise.
inline constexpr std::int32_t TgaCompressionKey = 1000;

class ImageProperties {
 public:
  // Replaces the text of the first entry with `key`, or appends one.
  void Set(std::int32_t key, const std::string& text);
  // The text of the first entry with `key`, or empty text.
  std::string Get(std::int32_t key) const;
  // Position of the first entry with `key`, or -1.
  int IndexOf(std::int32_t key) const;
  void Clear();
  std::size_t Count() const { return keys_.size(); }
  const std::vector<std::int32_t>& Keys() const { return keys_; }
  const std::vector<std::string>& Values() const { return values_; }

 private:
  std::vector<std::int32_t> keys_;
  std::vector<std::string> values_;
};

// The JPEG quality a save uses: QualityKey, else JpegQualityTagKey; 80 when
// both are empty or the text is "-1"; otherwise the leading decimal integer
// (0 when the text does not start with one), clamped to 1..100.
int JpegQualityFrom(const ImageProperties& properties);

}  // namespace reelmill
