#pragma once
// One input of a batch on its way through triage and conversion, and how it
// ended.

#include <cstddef>
#include <string>

#include "tools/batch_report.h"
#include "tools/input_list.h"

namespace reelmill {

struct Task {
  std::size_t number = 0;  // 1-based position in the whole list
  InputItem item;
  std::string folder;  // where its outputs go, ends in '/'
  std::string output;  // the output file, or the first file of the sequence
  ReportLine line;
};

}  // namespace reelmill
