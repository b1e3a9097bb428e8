#include "imaging/image_properties.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace reelmill {

void ImageProperties::Set(std::int32_t key, const std::string& text) {
  const int at = IndexOf(key);
  if (at >= 0) {
    values_[static_cast<std::size_t>(at)] = text;
    return;
  }
  keys_.push_back(key);
  values_.push_back(text);
}

std::string ImageProperties::Get(std::int32_t key) const {
  const int at = IndexOf(key);
  return at >= 0 ? values_[static_cast<std::size_t>(at)] : std::string();
}

int ImageProperties::IndexOf(std::int32_t key) const {
  const auto it = std::find(keys_.begin(), keys_.end(), key);
  return it == keys_.end() ? -1 : static_cast<int>(it - keys_.begin());
}

void ImageProperties::Clear() {
  keys_.clear();
  values_.clear();
}

namespace {

// The leading decimal integer of `text` (after blanks, with an optional sign),
// saturated far outside 1..100; 0 when the text does not start with one.
long long LeadingInteger(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = std::min(value * 10 + (text[i] - '0'), 1'000'000LL);
  }
  return negative ? -value : value;
}

}  // namespace

int JpegQualityFrom(const ImageProperties& properties) {
  constexpr int kDefaultQuality = 80;
  std::string text = properties.Get(QualityKey);
  if (text.empty()) text = properties.Get(JpegQualityTagKey);
  if (text.empty() || text == "-1") return kDefaultQuality;
  return static_cast<int>(std::clamp(LeadingInteger(text), 1LL, 100LL));
}

}  // namespace reelmill
