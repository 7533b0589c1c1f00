// Helpers for the driver's tests: a scratch working folder, and records of
// the application's COMPANIES and LOCATIONS tables.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_QVF_TEST_SUPPORT_H_
#define VORSANDT_STORAGE_QVF_DRIVER_QVF_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "storage/qvf/table/entry_key.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf::testing {

// Makes a fresh folder the working directory for the life of the object.
class ScratchFolder {
 public:
  ScratchFolder() {
    old_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "qvfdrv_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    std::filesystem::current_path(path_);
  }
  ~ScratchFolder() {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(path_);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path old_;
  std::filesystem::path path_;
};

inline int32_t Code() { return files::Errors().Code(); }

inline files::FileRecord* TableFile(app::Table t) {
  app::InitDictionary(&QvfEntry);
  return app::File(t);
}
inline files::FileRecord* Companies() { return TableFile(app::Table::kCompanies); }
inline files::FileRecord* Locations() { return TableFile(app::Table::kLocations); }

inline uint8_t* Buffer(files::FileRecord* f) { return files::RecordBuffer(f); }

inline void SetRef(files::FileRecord* f, int ref) {
  int16_t v = static_cast<int16_t>(ref);
  std::memcpy(Buffer(f), &v, 2);
}
inline int Ref(files::FileRecord* f) {
  int16_t v;
  std::memcpy(&v, Buffer(f), 2);
  return v;
}
inline void SetText(files::FileRecord* f, size_t offset, size_t size, const std::string& s) {
  std::memset(Buffer(f) + offset, ' ', size);
  std::memcpy(Buffer(f) + offset, s.data(), std::min(size, s.size()));
}
inline void SetName(files::FileRecord* f, const std::string& name) { SetText(f, 2, 30, name); }
inline std::string NameOf(files::FileRecord* f) {
  std::string s(reinterpret_cast<const char*>(Buffer(f)) + 2, 30);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

inline void AddCompany(files::FileRecord* f, int ref, const std::string& name) {
  std::memset(Buffer(f), ' ', f->record_length);
  SetRef(f, ref);
  SetName(f, name);
  files::Add(f);
}

inline files::FileRecord* CreateAndOpenCompanies() {
  files::FileRecord* f = Companies();
  files::Create(f);
  EXPECT_EQ(Code(), 0);
  files::Open(f);
  EXPECT_EQ(Code(), 0);
  return f;
}

// References of every record read from the current position on.
inline std::vector<int> ReadAll(files::FileRecord* f, bool forward) {
  std::vector<int> refs;
  for (int guard = 0; guard < 100000; ++guard) {
    forward ? files::Next(f) : files::Previous(f);
    if (Code() != 0) break;
    refs.push_back(Ref(f));
  }
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  return refs;
}

// Runs `body` in a child process; the child's exit status is body's result.
template <typename Body>
pid_t Spawn(Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    alarm(60);  // never outlive a broken test
    int status = body();
    _exit(status);
  }
  return pid;
}

// Changes, behind the driver's back, the stored image of the first record of
// table `table` in file `path` whose image holds `from` at `offset`: those
// bytes become `to` (same length). Keys and everything else stay as they
// were, as if a disk or a program had changed bytes inside the record.
// Returns false when no record matched or the file could not be written.
// `env` holds the file (another station's save, for a reader).
inline bool ChangeStoredRecord(const std::string& path, size_t offset, const std::string& from,
                               const std::string& to, const std::string& table = "UNNAMED",
                               env::Env* env = env::Env::Default()) {
  TreeEntryStore store(env);
  if (store.Open(env, path, false) != 0) return false;
  std::optional<StoredEntry> dir;
  if (store.Find(Search::kExact, DirectoryKey(table), &dir) != 0 || !dir) return false;
  const std::string prefix = KindPrefix(ReadId4(dir->data), kEntryData);
  std::string at = prefix;
  for (;;) {
    std::optional<StoredEntry> e;
    if (store.Find(Search::kNextAfter, at, &e) != 0 || !e) return false;
    if (e->key.compare(0, prefix.size(), prefix) != 0) return false;
    at = e->key;
    if (e->data.compare(offset, from.size(), from) != 0) continue;
    std::string changed = e->data;
    changed.replace(offset, to.size(), to);
    return store.Put(e->key, changed) == 0 && store.Close() == 0;
  }
}

inline int WaitFor(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace vorsandt::qvf::testing

#endif  // VORSANDT_STORAGE_QVF_DRIVER_QVF_TEST_SUPPORT_H_
