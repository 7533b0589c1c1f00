// Declarations of files, keys and memos, and the argument array of the driver
// entry.
//
// A FileRecord is static data emitted with the data dictionary: it names the
// driver entry, the file name, the record layout and the keys. Files declared
// with kAttrPerThread get one instance per thread (own record buffer, memo
// buffers and driver block); InstanceOf() finds or makes the calling thread's.
#ifndef VORSANDT_RUNTIME_FILES_FILE_DECL_H_
#define VORSANDT_RUNTIME_FILES_FILE_DECL_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace vorsandt::files {

class AccessObject;
struct KeyDecl;
class DriverBlock;

// The non-text arguments of one operation, in order: a mode, a key record, a
// pointer, a number of seconds. Pointers travel as integers.
class Args {
 public:
  static constexpr int kMax = 4;
  Args() = default;
  Args(std::initializer_list<intptr_t> values);

  static Args Key(const KeyDecl* key) { return Args{reinterpret_cast<intptr_t>(key)}; }

  int Count() const { return count_; }
  int64_t Int(int i) const { return i < count_ ? values_[i] : 0; }
  const KeyDecl* KeyAt(int i) const { return reinterpret_cast<const KeyDecl*>(Int(i)); }

 private:
  std::array<intptr_t, kMax> values_{};
  int count_ = 0;
};

// The single entry of a driver (or of the view engine): operation code, the
// object, the argument array; returns the operation's 32-bit result.
using DriverEntry = int32_t (*)(int32_t op, AccessObject* object, const Args& args);

// Anything a driver entry can be sent to: a file or a view.
class AccessObject {
 public:
  explicit AccessObject(DriverEntry entry) : entry_(entry) {}
  virtual ~AccessObject() = default;
  AccessObject(const AccessObject&) = default;
  AccessObject& operator=(const AccessObject&) = default;

  DriverEntry entry() const { return entry_; }
  // Sends `op` to this object's driver.
  int32_t Send(int32_t op, const Args& args = {}) { return entry_(op, this, args); }

 private:
  DriverEntry entry_;
};

// Declared attributes of a file.
inline constexpr uint8_t kAttrDriverFlag02 = 0x02;
inline constexpr uint8_t kAttrCreate = 0x04;
inline constexpr uint8_t kAttrDriverFlag08 = 0x08;
inline constexpr uint8_t kAttrPerThread = 0x10;
inline constexpr uint8_t kAttrOemText = 0x20;

// Key attribute flags.
inline constexpr uint32_t kKeyDuplicates = 0x01;
inline constexpr uint32_t kKeyOptional = 0x02;
inline constexpr uint32_t kKeyNoCase = 0x04;
inline constexpr uint32_t kKeyPrimary = 0x10;

struct FileRecord;

struct KeyDecl {
  const char* name;             // the key's label, e.g. "ITE:LOC"
  int32_t name_length;
  uint32_t flags;               // kKey* bits
  uint8_t component_count;
  const int32_t* components;    // field numbers, counted from 1 in declaration order
  const FileRecord* owner;      // the static declaration of the owning file
  int32_t number;               // 1-based number of the key within its file
};

struct MemoDecl {
  const char* name;             // e.g. "CLA:NOTES"
  int32_t name_length;
  uint32_t flags;               // 0 for a text memo
  uint32_t max_size;
};

struct FileRecord : public AccessObject {
  FileRecord(DriverEntry entry, const char* name, int32_t name_length, uint8_t attributes,
             uint32_t record_length, const uint8_t* layout, size_t layout_size,
             const KeyDecl* const* keys, uint8_t key_count, const MemoDecl* const* memos,
             uint8_t memo_count, uint8_t* buffer);
  FileRecord(const FileRecord&) = delete;
  FileRecord& operator=(const FileRecord&) = delete;
  ~FileRecord() override;

  const char* name;             // file name text, or a variable holding one
  int32_t name_length;          // -1: `name` is a NUL-terminated text in a variable
  const char* driver_text1 = nullptr;
  uint32_t declaration_word1 = 0;
  const char* driver_text2 = nullptr;
  uint32_t declaration_word2 = 0;
  uint8_t attributes;
  uint8_t key_count;
  uint8_t third_attributes = 0; // non-zero: views send 65 before each read
  uint32_t record_length;
  const uint8_t* layout;
  size_t layout_size;
  const KeyDecl* const* keys;
  const MemoDecl* const* memos;
  uint8_t memo_count;
  uint8_t* buffer;
  uint8_t* buffer2;             // same buffer; views and drivers read it here
  std::unique_ptr<DriverBlock> block;  // null until the driver's first call

  // The declaration this instance was made from (itself for a declaration).
  const FileRecord* declaration = this;
  // Memo buffers of this instance, one per memo, each max_size bytes.
  std::vector<std::vector<char>> memo_buffers;

  // The file name as text (resolves a name held in a variable).
  std::string NameText() const;
  bool per_thread() const { return (attributes & kAttrPerThread) != 0; }
};

// The calling thread's instance of `decl` (made on first use), or `decl`
// itself when the file is not per-thread.
FileRecord* InstanceOf(FileRecord* decl);
// The same without creating: nullptr when this thread has none yet.
FileRecord* FindInstance(FileRecord* decl);
// Record buffer of the calling thread's instance.
inline uint8_t* RecordBuffer(FileRecord* decl) { return InstanceOf(decl)->buffer; }
// Blanks the memo buffers of `instance` as a read of empty memos leaves
// them: text memos to spaces, binary memos to zero bytes.
void ClearMemos(FileRecord* instance);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_FILE_DECL_H_
