#pragma once
// Decides, in list order and before any work, what becomes of each input:
// converted, or refused, skipped or dropped with the reason. Every shard of a
// job array sees every input of the list, so the inputs of other shards are
// registered too: two inputs whose outputs collide are judged the same way in
// every shard, and only the first of them is converted anywhere.

#include <sys/types.h>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "tools/batch_report.h"
#include "tools/batch_task.h"
#include "tools/convert_plan.h"

namespace reelmill {

struct Verdict {
  enum class Kind { Convert, Drop, End };
  Kind kind = Kind::Convert;
  Outcome outcome = Outcome::Failed;  // for End
  Problem reason;
};

class Triage {
 public:
  // `reportPath` (empty without a report) is neither converted nor written over.
  Triage(const Plan& plan, const std::string& reportPath);

  // Registers `task`; when it is of this shard (`own`), says what becomes of
  // it. A path named again is dropped, and so are the inputs of other shards
  // once registered.
  Verdict Judge(const Task& task, bool own);

 private:
  using FileIdentity = std::pair<dev_t, ino_t>;
  struct Seen {
    std::size_t number;
    std::string path;
  };

  const Plan& plan_;
  std::string reportKey_;
  std::optional<FileIdentity> report_;
  std::map<FileIdentity, Seen> inputs_;
  std::map<std::string, std::size_t> outputs_;  // output path as a key, input number
};

// The output of `task` exists whole and is at least as new as its input: the
// file of a video; for a sequence, every frame that converting the input
// would write (a damaged GIF gives fewer frames than its blocks announce).
bool OutputsComplete(const Plan& plan, const Task& task);

// `path` made absolute with its existing folders resolved, so that two
// spellings of one output give one key.
std::string OutputKey(const std::string& path);

}  // namespace reelmill
