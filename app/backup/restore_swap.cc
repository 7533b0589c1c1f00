#include "app/backup/restore_swap.h"

#include <filesystem>
#include <memory>
#include <sstream>

#include "app/exchange/whole_file.h"

namespace vorsandt::backup {
namespace {

constexpr char kFirstLine[] = "VORSANDT restore swap 1";
constexpr char kFileWord[] = "file\t";
constexpr char kLastLine[] = "end";
// A plan names the tables and pictures of one backup: far below this.
constexpr size_t kPlanLimit = 16u << 20;

// A path that stays inside the folder and fits on a line of the plan.
bool SafeRelative(const std::string& name) {
  if (name.empty() || name.front() == '/') return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  for (const auto& part : std::filesystem::path(name)) {
    if (part == ".." || part == "." || part.empty()) return false;
  }
  return true;
}

// Reads the plan or journal `path`: the files it names (complete lines
// only) and whether it ends with its last line. False when it cannot be
// read or names a file that is not a safe one.
bool ReadSwapFile(env::Env* env, const std::string& path, std::vector<std::string>* files,
                  bool* complete, std::string* error) {
  files->clear();
  *complete = false;
  std::unique_ptr<env::File> file;
  std::string text;
  int e = env->Open(path, env::kOpenReadOnly | env::kOpenNoFollow, &file);
  uint64_t size = 0;
  if (e == 0) e = file->Size(&size);
  if (e == 0 && size > kPlanLimit) e = EFBIG;
  if (e == 0) {
    text.resize(static_cast<size_t>(size));
    size_t got = 0;
    e = file->ReadAt(0, text.data(), text.size(), &got);
    text.resize(got);
  }
  if (e != 0) {
    *error = "cannot read " + path + ": " + exchange::ErrnoText(e);
    return false;
  }
  // A line cut short by a crash is no line.
  text.erase(text.find_last_of('\n') == std::string::npos ? 0 : text.find_last_of('\n') + 1);
  std::stringstream in(text);
  std::string line;
  if (!std::getline(in, line)) return true;  // cut before its first line
  if (line != kFirstLine) {
    *error = path + " is not a restore's plan; move it out of the data folder";
    return false;
  }
  while (std::getline(in, line)) {
    if (line == kLastLine) {
      *complete = true;
      return true;
    }
    const std::string name = line.compare(0, 5, kFileWord) == 0 ? line.substr(5) : "";
    if (!SafeRelative(name)) {
      *error = path + " names a file outside the data folder; move it out of the data folder";
      return false;
    }
    files->push_back(name);
  }
  return true;
}

// A removal or rename whose folder flush failed has still happened: what
// counts is whether the name went (or came).
int Remove(env::Env* env, const std::string& path) {
  const int e = env->Delete(path);
  return e == 0 || !env->Exists(path) ? 0 : e;
}

int Move(env::Env* env, const std::string& from, const std::string& to, bool replace) {
  const int e = replace ? env->Rename(from, to) : env->RenameNoReplace(from, to);
  return e == 0 || (!env->Exists(from) && env->Exists(to)) ? 0 : e;
}

std::string Failed(const std::string& what, const std::string& path, int e) {
  return "cannot " + what + " " + path + ": " + exchange::ErrnoText(e);
}

}  // namespace

RestoreSwap::~RestoreSwap() { Abandon(); }

std::string RestoreSwap::StagedPath(const std::string& file) const {
  return Path(file) + kStagedSuffix;
}

bool RestoreSwap::Plan(const std::vector<std::string>& files, std::string* error) {
  std::string text = std::string(kFirstLine) + "\n";
  for (const std::string& f : files) {
    if (!SafeRelative(f)) {
      *error = "cannot restore " + f + ": the name leads out of the data folder";
      return false;
    }
    text += kFileWord + f + "\n";
  }
  text += std::string(kLastLine) + "\n";
  const std::string plan = Path(kPlanName);
  std::unique_ptr<env::File> file;
  int e = env_->Open(plan, env::kOpenCreate | env::kOpenExclusive | env::kOpenNoFollow, &file);
  if (e == EEXIST) {
    *error = "an earlier restore into " + folder_ + " is unfinished (" + kPlanName + ")";
    return false;
  }
  if (e != 0 && env_->Exists(plan)) Remove(env_, plan);  // made, but its folder not flushed
  // From here the plan is ours to remove again, whatever fails.
  if (e == 0) {
    files_ = files;
    planned_ = true;
    e = file->WriteAt(0, text.data(), text.size());
  }
  if (e == 0) e = file->Sync();
  if (e != 0) {
    *error = Failed("write", plan, e);
    file.reset();
    Abandon();
    return false;
  }
  return true;
}

bool RestoreSwap::Commit(std::string* error) {
  if (int e = Move(env_, Path(kPlanName), Path(kJournalName), false); e != 0) {
    *error = Failed("write", Path(kJournalName), e);
    Abandon();
    return false;
  }
  committed_ = true;
  return true;
}

bool RestoreSwap::Apply(std::string* error) {
  for (const std::string& f : files_) {
    if (!env_->Exists(StagedPath(f))) continue;  // put in place by an earlier try
    if (int e = Move(env_, StagedPath(f), Path(f), true); e != 0) {
      *error = Failed("put in place", Path(f), e) +
               "; the restore is finished when the program next starts";
      return false;
    }
  }
  planned_ = committed_ = false;
  // Every file is in place: a journal that cannot be removed now only has
  // the next start look for staged files that are no longer there.
  Remove(env_, Path(kJournalName));
  return true;
}

void RestoreSwap::Abandon() {
  if (!planned_ || committed_) return;
  for (const std::string& f : files_) {
    if (env_->Exists(StagedPath(f))) Remove(env_, StagedPath(f));
  }
  Remove(env_, Path(kPlanName));
  planned_ = false;
}

bool RecoverRestore(env::Env* env, const std::string& folder, std::string* what,
                    std::string* error) {
  what->clear();
  const std::string journal = folder + "/" + kJournalName;
  const std::string plan = folder + "/" + kPlanName;
  std::vector<std::string> files;
  bool complete = false;
  if (env->Exists(journal)) {
    if (!ReadSwapFile(env, journal, &files, &complete, error)) return false;
    if (!complete) {
      *error = journal + " is cut short; move it out of the data folder";
      return false;
    }
    int put = 0;
    for (const std::string& f : files) {
      const std::string staged = folder + "/" + f + kStagedSuffix;
      if (!env->Exists(staged)) continue;
      if (int e = Move(env, staged, folder + "/" + f, true); e != 0) {
        *error = "an interrupted restore could not be finished: " +
                 Failed("put in place", folder + "/" + f, e);
        return false;
      }
      ++put;
    }
    if (int e = Remove(env, journal); e != 0) {
      *error = Failed("remove", journal, e);
      return false;
    }
    *what = "an interrupted restore was finished (" + std::to_string(put) + " of " +
            std::to_string(files.size()) + " files were still to be put in place)";
    return true;
  }
  if (!env->Exists(plan)) return true;
  if (!ReadSwapFile(env, plan, &files, &complete, error)) return false;
  for (const std::string& f : files) {
    const std::string staged = folder + "/" + f + kStagedSuffix;
    if (!env->Exists(staged)) continue;
    if (int e = Remove(env, staged); e != 0) {
      *error = "an interrupted restore could not be undone: " + Failed("remove", staged, e);
      return false;
    }
  }
  if (int e = Remove(env, plan); e != 0) {
    *error = Failed("remove", plan, e);
    return false;
  }
  *what = "an interrupted restore was undone: the data folder is as it was before it";
  return true;
}

}  // namespace vorsandt::backup
