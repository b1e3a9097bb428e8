#include "tools/triage.h"

#include <sys/stat.h>

#include <filesystem>

#include "engine/input_guard.h"
#include "engine/work_paths.h"
#include "imaging/codecs/animated_gif_control.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/file_io.h"
#include "imaging/paths.h"
#include "tools/input_probe.h"

namespace reelmill {

namespace fs = std::filesystem;

namespace {

std::optional<std::pair<dev_t, ino_t>> IdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return std::pair{st.st_dev, st.st_ino};
}

std::optional<struct timespec> ModifiedAt(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return st.st_mtim;
}

bool NotOlder(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

Verdict End(Outcome outcome, Problem reason) { return Verdict{Verdict::Kind::End, outcome, std::move(reason)}; }

Verdict Refused(ProblemCode code, std::string text) { return End(Outcome::Failed, Refusal(code, std::move(text))); }

Verdict Drop() { return Verdict{Verdict::Kind::Drop, Outcome::Skipped, {}}; }

}  // namespace

std::string OutputKey(const std::string& path) {
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
  if (!error) return resolved.string();
  error.clear();
  return fs::absolute(path, error).lexically_normal().string();
}

Triage::Triage(const Plan& plan, const std::string& reportPath) : plan_(plan) {
  if (reportPath.empty()) return;
  reportKey_ = OutputKey(reportPath);
  report_ = IdentityOf(reportPath);
}

Verdict Triage::Judge(const Task& task, bool own) {
  if (task.item.problem) return own ? End(Outcome::Failed, task.item.problem) : Drop();
  if (const auto id = IdentityOf(task.item.path)) {
    if (report_ && *id == *report_)
      return own ? Refused(ProblemCode::OutputIsInput, "refused: it is the report file of this run") : Drop();
    const auto [seen, fresh] = inputs_.emplace(*id, Seen{task.number, task.item.path});
    if (!fresh) {
      // The same file given again is converted once, and each mention of it
      // is accounted for.
      if (!own) return Drop();
      return End(Outcome::Skipped,
                 Refusal(ProblemCode::SameInput,
                         "the same file as input " + std::to_string(seen->second.number) + " of the list"));
    }
  }
  const std::string key = OutputKey(
      plan_.OneFile() ? task.output : SequenceFolderOf(task.folder, plan_.extension) + FileNameOf(task.item.path));
  const auto [claim, fresh] = outputs_.emplace(key, task.number);
  if (!own) return Drop();
  if (!fresh)
    return Refused(ProblemCode::Collision,
                   "refused: its output " + key + " would overwrite that of input " + std::to_string(claim->second));
  if (!reportKey_.empty() && (key == reportKey_ || (plan_.OneFile() && SameFile(task.output, reportKey_))))
    return Refused(ProblemCode::Collision, "refused: its output " + key + " is the report file of this run");
  // A GIF where the output would go is somebody's file, maybe another
  // input of this very batch: never replaced by a video.
  if (plan_.OneFile() && StartsLikeAGif(task.output))
    return Refused(ProblemCode::OutputIsInput,
                   "refused: its output " + task.output + " is a GIF file, which converting would replace");
  return Verdict{};
}

bool OutputsComplete(const Plan& plan, const Task& task) {
  const auto input = ModifiedAt(task.item.path);
  if (!input) return false;
  const auto newer = [&](const std::string& path) {
    const auto output = ModifiedAt(path);
    return output && NotOlder(*output, *input);
  };
  if (plan.OneFile()) return newer(task.output);
  const auto data = ReadFileBytes(task.item.path);
  if (!data) return false;
  // Every frame the blocks announce is there: complete. Otherwise complete
  // only when the frames there are all that a conversion writes.
  const int announced = AnnouncedFrameCount(*data);
  int present = 0;
  while (present < announced && newer(SequenceFramePath(task.folder, task.item.path, plan.extension, present)))
    ++present;
  if (present == announced) return true;
  GifFrameCursor cursor(*data, GifCodec::kMaxDecodedBytes);
  int decodable = 0;
  while (decodable <= present && cursor.Next()) ++decodable;
  // A file the decoder refuses has no complete output: it fails again.
  return decodable > 0 && decodable <= present;
}

}  // namespace reelmill
