#include "tools/progress_bar.h"

#include "tools/command_line.h"

namespace reelmill {

namespace {
constexpr int kBarWidth = 30;
constexpr std::size_t kNameWidth = 40;
}  // namespace

ProgressBar::ProgressBar(std::FILE* stream, int total, bool enabled)
    : stream_(stream), total_(total), enabled_(enabled) {}

void ProgressBar::SetTotal(int total) {
  std::lock_guard lock(mutex_);
  total_ = total;
}

void ProgressBar::Started(const std::string& file) {
  std::lock_guard lock(mutex_);
  current_ = Printable(file);
  Draw();
}

void ProgressBar::Finished() {
  std::lock_guard lock(mutex_);
  ++done_;
  Draw();
}

void ProgressBar::Message(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (drawn_) std::fputs("\r\033[K", stream_);
  std::fprintf(stream_, "%s\n", Printable(line).c_str());
  if (drawn_) Draw();
  std::fflush(stream_);
}

void ProgressBar::Close() {
  std::lock_guard lock(mutex_);
  if (drawn_) std::fputs("\r\033[K", stream_);
  std::fflush(stream_);
  drawn_ = false;
}

void ProgressBar::Draw() {
  if (!enabled_) return;
  const int filled = total_ > 0 ? done_ * kBarWidth / total_ : kBarWidth;
  std::string name = current_;
  if (name.size() > kNameWidth) name = "..." + name.substr(name.size() - (kNameWidth - 3));
  std::fprintf(stream_, "\r\033[K[%s%s] %d/%d %s", std::string(static_cast<std::size_t>(filled), '#').c_str(),
               std::string(static_cast<std::size_t>(kBarWidth - filled), '.').c_str(), done_, total_, name.c_str());
  std::fflush(stream_);
  drawn_ = true;
}

}  // namespace reelmill
