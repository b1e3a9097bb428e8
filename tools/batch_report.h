#pragma once
// --report: one JSON object per line for every input, written as the input
// ends, so the file is useful after a crash too. A line that cannot be
// written in full is taken back, so the file always holds whole lines, and
// nothing more is written after it.

#include <cstdint>
#include <mutex>
#include <string>

namespace reelmill {

enum class Outcome { Converted, Failed, Skipped, NotDone };

// "converted", "failed", "skipped" or "not done", as the report spells them.
const char* OutcomeName(Outcome outcome);

struct ReportLine {
  std::string input;
  std::string output;
  Outcome outcome = Outcome::Failed;
  std::string code;      // the reason's stable name; empty for a plain success
  std::string reason;    // the reason as a sentence
  bool damaged = false;  // the GIF ends early or holds bad data: only the frames before converted
  long long frames = 0;
  double seconds = 0;
};

class BatchReport {
 public:
  BatchReport() = default;
  ~BatchReport();
  BatchReport(const BatchReport&) = delete;
  BatchReport& operator=(const BatchReport&) = delete;

  // Creates or truncates the file; false (errno set) when it cannot.
  bool Open(const std::string& path);
  // Writes one line; safe from several threads. Does nothing unless open.
  void Write(const ReportLine& line);
  // Why a line could not be written; empty while every line was.
  std::string Failure();
  // Makes sure the lines are on disk and closes the file; why they are not,
  // or empty text.
  std::string Close();

 private:
  std::mutex mutex_;
  int fd_ = -1;
  std::uint64_t end_ = 0;  // where the last whole line ends
  std::string failure_;
};

// The JSON object of one report line, without its newline.
std::string ReportJson(const ReportLine& line);

// `text` as a JSON string, quotes included. A byte that is not part of valid
// UTF-8 is written as U+FFFD, so any file name gives valid JSON.
std::string JsonString(const std::string& text);

// True when `text` is valid UTF-8 throughout.
bool IsUtf8(const std::string& text);

}  // namespace reelmill
