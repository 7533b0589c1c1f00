#include "runtime/files/file_decl.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "runtime/files/driver.h"
#include "runtime/files/registry.h"

namespace vorsandt::files {

Args::Args(std::initializer_list<intptr_t> values) {
  for (intptr_t v : values) {
    if (count_ == kMax) break;
    values_[count_++] = v;
  }
}

FileRecord::FileRecord(DriverEntry entry, const char* name, int32_t name_length,
                       uint8_t attributes, uint32_t record_length, const uint8_t* layout,
                       size_t layout_size, const KeyDecl* const* keys, uint8_t key_count,
                       const MemoDecl* const* memos, uint8_t memo_count, uint8_t* buffer)
    : AccessObject(entry),
      name(name),
      name_length(name_length),
      attributes(attributes),
      key_count(key_count),
      record_length(record_length),
      layout(layout),
      layout_size(layout_size),
      keys(keys),
      memos(memos),
      memo_count(memo_count),
      buffer(buffer),
      buffer2(buffer) {
  for (uint8_t i = 0; i < memo_count; ++i) memo_buffers.emplace_back(memos[i]->max_size, '\0');
}

FileRecord::~FileRecord() {
  // A thread that ends with a file still open leaves no dangling registry
  // entry behind; the driver block's destructor closes the handle.
  if (block) OpenFiles().Remove(this);
}

std::string FileRecord::NameText() const {
  if (name == nullptr) return {};
  if (name_length < 0) return std::string(name);
  return std::string(name, strnlen(name, static_cast<size_t>(name_length)));
}

namespace {

struct ThreadInstance {
  std::vector<uint8_t> buffer;
  std::unique_ptr<FileRecord> record;
};

thread_local std::unordered_map<const FileRecord*, ThreadInstance> t_instances;

// An instance passed where a declaration is expected is already resolved.
bool IsResolved(const FileRecord* f) {
  return f == nullptr || !f->per_thread() || f->declaration != f;
}

}  // namespace

FileRecord* FindInstance(FileRecord* decl) {
  if (IsResolved(decl)) return decl;
  auto it = t_instances.find(decl);
  return it == t_instances.end() ? nullptr : it->second.record.get();
}

FileRecord* InstanceOf(FileRecord* decl) {
  if (IsResolved(decl)) return decl;
  // The instance asked for last: a read asks for the same one several times
  // (the call, the view, every list column). Instances live as long as the
  // thread, so the remembered one is what the map would answer.
  thread_local const FileRecord* last_decl = nullptr;
  thread_local FileRecord* last_instance = nullptr;
  if (decl == last_decl) return last_instance;
  auto it = t_instances.find(decl);
  if (it != t_instances.end()) {
    last_decl = decl;
    last_instance = it->second.record.get();
    return last_instance;
  }
  ThreadInstance& inst = t_instances[decl];
  inst.buffer.assign(decl->record_length, 0);
  inst.record = std::make_unique<FileRecord>(
      decl->entry(), decl->name, decl->name_length, decl->attributes, decl->record_length,
      decl->layout, decl->layout_size, decl->keys, decl->key_count, decl->memos,
      decl->memo_count, inst.buffer.data());
  FileRecord* r = inst.record.get();
  r->driver_text1 = decl->driver_text1;
  r->declaration_word1 = decl->declaration_word1;
  r->driver_text2 = decl->driver_text2;
  r->declaration_word2 = decl->declaration_word2;
  r->third_attributes = decl->third_attributes;
  r->declaration = decl;
  return r;
}

void ClearMemos(FileRecord* instance) {
  for (size_t i = 0; i < instance->memo_buffers.size(); ++i) {
    const bool text = i < instance->memo_count && instance->memos != nullptr &&
                      instance->memos[i] != nullptr && instance->memos[i]->flags == 0;
    std::fill(instance->memo_buffers[i].begin(), instance->memo_buffers[i].end(),
              text ? ' ' : '\0');
  }
}

}  // namespace vorsandt::files
