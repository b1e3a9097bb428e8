#pragma once
// --report: one JSON object per line for every input, written and flushed as
// the input ends, so the file is useful after a crash too.

#include <cstdio>
#include <mutex>
#include <string>

namespace reelmill {

struct ReportLine {
  std::string input;
  std::string output;
  std::string outcome;  // "converted", "failed", "skipped" or "not done"
  std::string reason;
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

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

// `text` as a JSON string, quotes included. Bytes that are not UTF-8 are
// written as \u00XX, so any file name gives valid JSON.
std::string JsonString(const std::string& text);

}  // namespace reelmill
