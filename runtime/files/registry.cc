#include "runtime/files/registry.h"

#include <algorithm>

#include "runtime/files/file_decl.h"

namespace vorsandt::files {

Registry& OpenFiles() {
  static Registry registry;
  return registry;
}

void Registry::Add(FileRecord* file, const Capabilities& caps) {
  std::lock_guard<std::mutex> lock(mutex_);
  RegistryEntry e;
  e.file = file;
  e.caps = caps;
  e.any_thread = !file->per_thread();
  if (!e.any_thread) e.owner = std::this_thread::get_id();
  entries_.push_back(e);
}

void Registry::Remove(FileRecord* file) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(entries_, [file](const RegistryEntry& e) { return e.file == file; });
}

RegistryEntry* Registry::Find(FileRecord* file) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (RegistryEntry& e : entries_) {
    if (e.file == file) return &e;
  }
  return nullptr;
}

void Registry::ForEach(const std::function<void(RegistryEntry&)>& fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (RegistryEntry& e : entries_) fn(e);
}

size_t Registry::Size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace vorsandt::files
