// The open-file registry: one entry per successfully opened file (per thread
// for per-thread files), with the capability words the driver gave at open.
// The transaction frame walks it to begin, commit and roll back.
#ifndef VORSANDT_RUNTIME_FILES_REGISTRY_H_
#define VORSANDT_RUNTIME_FILES_REGISTRY_H_

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vorsandt::files {

struct FileRecord;

// What a driver can do inside a transaction frame.
struct Capabilities {
  bool transactions = false;
  bool rollback = false;
  bool commit = false;
  bool lock_before_transaction = false;
  bool unlock_after_transaction = false;
};

struct RegistryEntry {
  bool in_transaction = false;
  FileRecord* file = nullptr;     // the instance that was opened
  std::thread::id owner;          // thread of a per-thread instance
  bool any_thread = true;         // "all ones": not a per-thread file
  Capabilities caps;
};

class Registry {
 public:
  void Add(FileRecord* file, const Capabilities& caps);
  void Remove(FileRecord* file);
  // The entry of `file`, or nullptr. The pointer stays valid until the entry
  // is removed; callers hold the run permission, so nobody removes it meanwhile.
  RegistryEntry* Find(FileRecord* file);
  // Calls `fn` on every entry; `fn` must not add or remove entries.
  void ForEach(const std::function<void(RegistryEntry&)>& fn);
  size_t Size();

 private:
  // Entries are removed from thread-exit paths too, hence the lock.
  std::mutex mutex_;
  std::vector<RegistryEntry> entries_;
};

Registry& OpenFiles();

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_REGISTRY_H_
