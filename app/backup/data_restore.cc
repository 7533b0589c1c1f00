#include "app/backup/data_restore.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "app/backup/data_backup.h"
#include "app/backup/open_files.h"
#include "app/backup/restore_swap.h"
#include "app/backup/restore_target.h"
#include "app/dictionary/dictionary.h"
#include "app/exchange/whole_file.h"
#include "runtime/files/names.h"
#include "storage/qvf/driver/lock_area.h"
#include "storage/qvf/format.h"
#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "storage/qvf/table/table_name.h"

namespace vorsandt::backup {
namespace {

namespace fs = std::filesystem;

// How long Write tries for a table's writer range before it gives up.
constexpr int kClaimTries = 500;  // 10 ms apart
// The list of members is read into memory: it names a few thousand files.
constexpr uint64_t kListLimit = 16u << 20;
// Members are copied in pieces of this size.
constexpr size_t kChunk = 256 * 1024;

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> parts;
  std::stringstream in(line);
  std::string part;
  while (std::getline(in, part, '\t')) parts.push_back(part);
  return parts;
}

bool HasControl(const std::string& name) {
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// A member name below `folder` that stays below it: no "..", ".", empty or
// absolute parts.
bool SafeBelow(const std::string& name, const std::string& folder) {
  if (name.compare(0, folder.size(), folder) != 0 || name.size() == folder.size()) return false;
  const fs::path rest(name.substr(folder.size()));
  if (rest.is_absolute()) return false;
  for (const auto& part : rest) {
    if (part == ".." || part == "." || part.empty()) return false;
  }
  return true;
}

const app::TableDef* TableOfMember(const std::string& name) {
  for (const app::TableDef& def : app::Tables()) {
    if (name == std::string(kTablesFolder) + def.label + ".QVF") return &def;
  }
  return nullptr;
}

std::string LabelOf(const std::string& member) {
  std::string label = member.substr(std::string(kTablesFolder).size());
  return label.substr(0, label.size() - 4);
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// Whether the unpacked `copy` holds the table `def` as the program declares
// it; false with `*why`.
bool HoldsTable(env::Env* env, const std::string& copy, const app::TableDef& def,
                std::string* why) {
  const files::FileRecord& record = *app::File(def.table);
  qvf::TableDefinition declared;
  qvf::TableName name;
  if (qvf::DefinitionFromDeclaration(record, &declared) != 0 ||
      qvf::SplitTableName(record.NameText(), &name) != 0) {
    *why = "the program's declaration of it cannot be read";
    return false;
  }
  return qvf::CheckStoredTable(env, copy, name.table, declared, why) == 0;
}

}  // namespace

RestoreRun::RestoreRun(env::Env* env, std::string scratch)
    : env_(env), scratch_(std::move(scratch)) {}

RestoreRun::~RestoreRun() {
  for (const Member& m : members_) {
    if (!m.copy.empty()) env_->Delete(m.copy);
  }
  if (own_scratch_) {
    std::error_code ec;
    fs::remove_all(scratch_, ec);
  }
}

bool RestoreRun::MakeScratch(std::string* error) {
  if (!scratch_.empty()) return true;
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "vorsandt-restore-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot make a folder for checking the tables: " + exchange::ErrnoText(errno);
    return false;
  }
  scratch_ = pattern;
  own_scratch_ = true;
  return true;
}

bool RestoreRun::Read(const std::string& archive, std::string* error) {
  archive_ = archive;
  if (!MakeScratch(error)) return false;
  ArchiveReader reader(env_);
  bool ok = reader.Open(archive, error);
  uint64_t total = 0;
  ArchiveEntry entry;
  while (ok && reader.Next(&entry, error)) {
    if (entry.folder) continue;  // from an archive another tool packed again
    const std::string bad = "the archive " + archive + " is damaged or is no backup: ";
    if (!entry.regular) {
      *error = bad + entry.name + " is not a plain file";
      ok = false;
    } else if (entry.size > kMemberLimit || entry.size > kArchiveLimit - total) {
      *error = bad + entry.name + " is larger than a backup can be (" + std::to_string(entry.size) +
               " bytes)";
      ok = false;
    } else {
      total += entry.size;
      ok = Unpack(&reader, entry, error);
    }
  }
  if (ok && !error->empty()) ok = false;  // the end was damage, not the end
  if (ok) ok = CheckList(archive, error);
  if (!ok) {
    tables_.clear();
    pictures_.clear();
  }
  return ok;
}

bool RestoreRun::Unpack(ArchiveReader* reader, const ArchiveEntry& entry, std::string* error) {
  std::vector<char> buffer(kChunk);
  size_t got = 0;
  if (entry.name == kListName) {
    if (have_list_ || entry.size > kListLimit) {
      *error = "the archive " + archive_ + " holds a " + kListName + " that is no list of members";
      return false;
    }
    have_list_ = true;
    do {
      if (!reader->Read(buffer.data(), buffer.size(), &got, error)) return false;
      list_.append(buffer.data(), got);
    } while (got > 0 && list_.size() <= entry.size);
    return true;
  }
  for (const Member& m : members_) {
    if (m.name == entry.name) {
      *error = "the archive " + archive_ + " holds " + entry.name + " twice";
      return false;
    }
  }
  if (HasControl(entry.name)) {
    *error = "the archive " + archive_ + " holds a member whose name has control characters";
    return false;
  }
  if (const uint64_t free = FreeBytes(scratch_); free < entry.size) {
    *error = "there is not room to check " + entry.name + " (" + std::to_string(entry.size) +
             " bytes) in " + scratch_ + ": " + std::to_string(free) +
             " bytes are free (TMPDIR names another folder for it)";
    return false;
  }
  Member member;
  member.name = entry.name;
  member.mode = entry.mode;
  const app::TableDef* table = TableOfMember(entry.name);
  member.copy = scratch_ + "/" +
                (table != nullptr ? std::string(table->label) + ".QVF"
                                  : "member-" + std::to_string(members_.size()));
  std::unique_ptr<env::File> file;
  int e = env_->CreateNew(member.copy, env::kOpenNoFollow | env::kOpenPrivate, 0600, &file);
  if (e != 0) {
    *error = "cannot unpack " + entry.name + ": " + member.copy + ": " + exchange::ErrnoText(e);
    return false;
  }
  members_.push_back(member);  // removed with the run from here on
  Member& m = members_.back();
  for (;;) {
    if (!reader->Read(buffer.data(), buffer.size(), &got, error)) return false;
    if (got == 0) break;
    if (m.size + got > entry.size) break;  // more than declared: told below
    if (e = file->WriteAt(m.size, buffer.data(), got); e != 0) {
      *error = "cannot unpack " + entry.name + ": " + m.copy + ": " + exchange::ErrnoText(e);
      return false;
    }
    m.crc = Crc32(std::string_view(buffer.data(), got), m.crc);
    m.size += got;
  }
  if (m.size != entry.size) {
    *error = "the archive " + archive_ + " is damaged: " + entry.name + " is cut short";
    return false;
  }
  return true;
}

bool RestoreRun::CheckList(const std::string& archive, std::string* error) {
  std::map<std::string, size_t> by_name;
  for (size_t i = 0; i < members_.size(); ++i) by_name.emplace(members_[i].name, i);
  const std::string damaged = "the archive " + archive + " is damaged: ";
  if (!have_list_ || list_.compare(0, std::string(kListFirstLine).size() + 1,
                                   std::string(kListFirstLine) + "\n") != 0) {
    *error = archive + " is no VORSANDT backup: it has no " + kListName;
    return false;
  }
  std::stringstream in(list_);
  std::string line;
  std::getline(in, line);
  std::set<std::string> listed;
  while (std::getline(in, line)) {
    const std::vector<std::string> p = Split(line);
    if (p.size() == 2 && p[0] == "missing") continue;
    const bool table = p.size() == 4 && p[0] == "table" && TableOfMember(p[1]) != nullptr;
    const bool picture = p.size() == 5 && p[0] == "picture" &&
                         (SafeBelow(p[1], kPicturesFolder) || SafeBelow(p[1], kOutsideFolder));
    if ((!table && !picture) || (picture && LandsOnTable(p[1]))) {
      *error = damaged + kListName + " has a line that is no member: " + line;
      return false;
    }
    auto found = by_name.find(p[1]);
    if (found == by_name.end()) {
      *error = damaged + p[1] + " is missing";
      return false;
    }
    const Member& m = members_[found->second];
    if (std::to_string(m.size) != p[2] || p[3] != Hex(m.crc)) {
      *error = damaged + p[1] + " is not what was backed up (its size or checksum differs)";
      return false;
    }
    if (!listed.insert(p[1]).second) {
      *error = damaged + kListName + " names " + p[1] + " twice";
      return false;
    }
    if (table) tables_.push_back(found->second);
    if (picture) {
      const bool outside = SafeBelow(p[1], kOutsideFolder);
      const std::string target = outside ? std::string(kRestoredOutsideFolder) + "/" +
                                               p[1].substr(std::string(kOutsideFolder).size())
                                         : p[1].substr(std::string(kPicturesFolder).size());
      pictures_.push_back(Picture{found->second, target});
    }
  }
  for (const auto& [name, index] : by_name) {
    if (listed.count(name) == 0) {
      *error = damaged + "it holds " + name + ", which " + kListName + " does not name";
      return false;
    }
  }
  if (tables_.empty()) {
    *error = archive + " holds no tables";
    return false;
  }
  return true;
}

bool RestoreRun::CheckNext(std::string* error) {
  const Member& table = members_[tables_[static_cast<size_t>(checked_)]];
  const std::string label = LabelOf(table.name);
  const std::string refused = "the table " + label + " in the backup (" + table.name + ") ";
  if (table.size == 0) {
    *error = refused + "is an empty file";
    return false;
  }
  std::vector<std::string> faults;
  if (qvf::FullCheckCommand(env_, table.copy, &faults) != 0) {
    std::string why = faults.empty() ? "it cannot be read" : faults.front();
    if (faults.size() > 1) why += " (and " + std::to_string(faults.size() - 1) + " more)";
    *error = refused + "fails the check: " + why;
    return false;
  }
  std::string why;
  if (!HoldsTable(env_, table.copy, *TableOfMember(table.name), &why)) {
    *error = refused + "is not that table: " + why;
    return false;
  }
  ++checked_;
  return true;
}

std::vector<std::string> RestoreRun::Existing(const std::string& folder, env::Env* env) {
  std::vector<std::string> labels;
  for (const app::TableDef& def : app::Tables()) {
    if (env->Exists(folder + "/" + def.label + ".QVF")) labels.push_back(def.label);
  }
  return labels;
}

bool RestoreRun::CheckTargets(const std::string& folder, std::vector<std::string>* targets,
                              std::vector<const Member*>* sources, std::string* error) {
  for (size_t t : tables_) {
    targets->push_back(LabelOf(members_[t].name) + ".QVF");
    sources->push_back(&members_[t]);
  }
  for (const Picture& p : pictures_) {
    targets->push_back(p.target);
    sources->push_back(&members_[p.member]);
  }
  std::set<std::string> seen;
  uint64_t needed = 0;
  for (size_t i = 0; i < targets->size(); ++i) {
    const std::string& t = (*targets)[i];
    const bool ours = files::SameName(t, kPlanName) || files::SameName(t, kJournalName) ||
                      (t.size() >= std::string(kStagedSuffix).size() &&
                       t.compare(t.size() - std::string(kStagedSuffix).size(), std::string::npos,
                                 kStagedSuffix) == 0);
    if (ours || !seen.insert(t).second) {
      *error = "cannot restore " + t + ": the name is the restore's own or comes twice";
      return false;
    }
    if (!CheckTarget(folder, t, false, error)) return false;
    needed += (*sources)[i]->size;
  }
  if (const uint64_t free = FreeBytes(folder); free < needed) {
    *error = "there is not room in " + folder +
             " for the restored files: " + std::to_string(needed) + " bytes are needed, " +
             std::to_string(free) + " are free";
    return false;
  }
  return true;
}

bool RestoreRun::Stage(const std::string& from, const std::string& to, uint32_t mode,
                       std::string* error) {
  // A copy left by a restore an older program did not finish is no one's.
  if (env_->Exists(to)) env_->Delete(to);
  std::unique_ptr<env::File> in, out;
  int e = env_->Open(from, env::kOpenReadOnly | env::kOpenNoFollow, &in);
  if (e == 0) e = env_->CreateNew(to, env::kOpenNoFollow, mode, &out);
  std::vector<char> buffer(kChunk);
  for (uint64_t offset = 0; e == 0;) {
    size_t got = 0;
    if (e = in->ReadAt(offset, buffer.data(), buffer.size(), &got); e != 0 || got == 0) break;
    e = out->WriteAt(offset, buffer.data(), got);
    offset += got;
  }
  if (e == 0) e = out->Sync();
  if (e != 0) {
    *error = "cannot write " + to + ": " + exchange::ErrnoText(e);
    return false;
  }
  return true;
}

bool RestoreRun::Write(const std::string& folder, bool replace, std::string* error) {
  if (tables_.empty() || !all_checked()) {
    *error = "the backup has not been checked";
    return false;
  }
  if (!env_->Exists(folder)) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec && !fs::is_directory(folder)) {
      *error = "cannot make the folder " + folder + ": " + ec.message();
      return false;
    }
  }
  std::string recovered;
  if (!RecoverRestore(env_, folder, &recovered, error)) return false;
  const std::vector<std::string> existing = Existing(folder, env_);
  if (!existing.empty() && !replace) {
    *error = "the folder " + folder + " already holds tables (" + Joined(existing) +
             "); a backup is restored into a folder without tables unless they are to be "
             "replaced";
    return false;
  }
  std::vector<std::string> targets;
  std::vector<const Member*> sources;
  if (!CheckTargets(folder, &targets, &sources, error)) return false;

  std::vector<std::string> paths;
  for (const std::string& label : existing) paths.push_back(folder + "/" + label + ".QVF");
  auto in_use = [&](bool own_too) {
    for (const OpenBy& o : ProcessesUsing(paths)) {
      const std::string label = fs::path(o.path).stem().string();
      if (o.process != getpid()) {
        *error = label + " is open in another program (process " + std::to_string(o.process) +
                 "); close it before restoring";
        return true;
      }
      if (own_too) {
        *error = label + " is open in another window of this program; close it before restoring";
        return true;
      }
    }
    return false;
  };
  if (in_use(true)) return false;
  // Claimed with the writer range, no program starts a save while the
  // tables are swapped; the claims end with the handles, after the swap.
  std::vector<std::unique_ptr<env::File>> claimed;
  for (size_t i = 0; i < existing.size(); ++i) {
    std::unique_ptr<env::File> file;
    int e = env_->Open(paths[i], env::kOpenReadWrite | env::kOpenNoFollow, &file);
    for (int attempt = 0; e == 0 && attempt < kClaimTries; ++attempt) {
      e = qvf::TryClaimWriterRange(file.get());
      if (e != EAGAIN) break;
      env_->SleepMs(10);
    }
    if (e != 0) {
      *error = existing[i] + " is in use by another program (" + exchange::ErrnoText(e) + ")";
      return false;
    }
    claimed.push_back(std::move(file));
  }
  if (in_use(false)) return false;

  RestoreSwap swap(env_, folder);
  if (!swap.Plan(targets, error)) return false;
  for (size_t i = 0; i < targets.size(); ++i) {
    const bool table = i < tables_.size();
    // A table stays readable and writable by its owner, whatever the
    // archive says; no file gets more than the archive gave it.
    const uint32_t mode = (sources[i]->mode & 0666) | (table ? 0600 : 0);
    if (!CheckTarget(folder, targets[i], true, error) ||
        !Stage(sources[i]->copy, swap.StagedPath(targets[i]), mode, error)) {
      return false;  // the swap undoes itself
    }
  }
  if (!swap.Commit(error)) return false;
  // Past the commit point the restored files go in place whatever happens:
  // a rename that failed is tried once more at once, and else at the next
  // start.
  std::string finished, again;
  if (!swap.Apply(error) && !RecoverRestore(env_, folder, &finished, &again)) return false;
  for (const Picture& p : pictures_) {
    if (SafeBelow(members_[p.member].name, kOutsideFolder)) ++outside_;
  }
  return true;
}

std::string RestoreRun::Summary() const {
  auto counted = [](size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  size_t documents = 0;
  for (const Picture& p : pictures_) documents += IsDocumentFile(p.target) ? 1 : 0;
  std::string text = counted(tables_.size(), "table", "tables") + (documents > 0 ? ", " : " and ") +
                     counted(pictures_.size() - documents, "picture", "pictures");
  if (documents > 0) text += " and " + counted(documents, "document", "documents");
  if (outside_ > 0) {
    text += " (" + counted(static_cast<size_t>(outside_), "picture", "pictures") +
            " named by a full path went into the folder " + kRestoredOutsideFolder + ")";
  }
  return text;
}

}  // namespace vorsandt::backup
