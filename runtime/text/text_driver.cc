#include "runtime/text/text_driver.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "runtime/files/error_codes.h"
#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/rules.h"
#include "runtime/text/line_reader.h"
#include "runtime/text/oem_charset.h"

namespace vorsandt::text {

using files::AccessObject;
using files::Args;
using files::Call;
using files::Capabilities;
using files::Driver;
using files::DriverBlock;
using files::DriverCall;
using files::FileRecord;
using files::kAccessDenied;
using files::kAttrOemText;
using files::kFileAlreadyLocked;
using files::kInvalidFilename;
using files::kNoCreateAttribute;
using files::kOpAdd;
using files::kOpAddWithLength;
using files::kOpAppend;
using files::kOpAppendWithLength;
using files::kOpBytes;
using files::kOpClose;
using files::kOpCreate;
using files::kOpEmpty;
using files::kOpEof;
using files::kOpGetByPointer;
using files::kOpGetByPointer2;
using files::kOpGetByPointerWithLength;
using files::kOpLock;
using files::kOpLockTimeout;
using files::kOpName;
using files::kOpNext;
using files::kOpOpen;
using files::kOpOpen2;
using files::kOpPointer;
using files::kOpPointer2;
using files::kOpPosition;
using files::kOpPut;
using files::kOpPutAtPointer;
using files::kOpPutAtPointerWithLength;
using files::kOpReget;
using files::kOpReset;
using files::kOpSend;
using files::kOpSetFile;
using files::kOpSetFilePointer;
using files::kOpUnlock;
using files::kRecordNotAvailable;
using files::kTypeGroup;
using files::kTypeString;
using files::kUnsupportedFunction;
using files::MapLockErrno;
using files::Registration;

namespace {

// The whole-file lock: from the first byte to the largest offset a lock can
// name, so it also covers lines appended while it is held.
constexpr uint64_t kWholeFileOffset = 0;
constexpr uint64_t kWholeFileLength = static_cast<uint64_t>(INT64_MAX);

env::Env*& InstalledEnv() {
  static env::Env* env = nullptr;
  return env;
}

std::string TrimmedName(const std::string& name) {
  size_t end = name.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

// A failed write: a write the system cut short is refused access (5), any
// other failure is the system's own error.
int32_t WriteFailure(int e) { return e == EIO ? kAccessDenied : SystemError(e, true); }

std::string PositionText(uint64_t pointer) {
  std::string text(4, '\0');
  for (int i = 0; i < 4; ++i) text[i] = static_cast<char>((pointer >> (8 * i)) & 0xFF);
  return text;
}

// The pointer a position text holds; 0 (no line) for a text too short to hold one.
uint64_t PointerOf(const std::string& text) {
  if (text.size() < 4) return 0;
  uint64_t pointer = 0;
  for (int i = 0; i < 4; ++i)
    pointer |= static_cast<uint64_t>(static_cast<uint8_t>(text[i])) << (8 * i);
  return pointer;
}

int32_t Clamp32(uint64_t value) {
  return static_cast<int32_t>(std::min<uint64_t>(value, INT32_MAX));
}

class AsciiDriver final : public Driver {
 public:
  AsciiDriver() {
    reg_.driver_name = "ASCII";
    reg_.library_name = "ZURAR16.DLL";
    reg_.notice = "";
    reg_.description = "Ascii File Driver 1.0";
    reg_.entry = AsciiEntry;
    reg_.caps = Capabilities{false, false, false, true, true};
    reg_.operations = {kOpAdd,
                       kOpAppend,
                       kOpClose,
                       kOpCreate,
                       kOpEmpty,
                       kOpEof,
                       kOpGetByPointer,
                       kOpGetByPointer2,
                       kOpLock,
                       kOpLockTimeout,
                       kOpName,
                       kOpNext,
                       kOpOpen,
                       kOpPointer,
                       kOpPointer2,
                       kOpPut,
                       kOpSetFile,
                       kOpSetFilePointer,
                       kOpOpen2,
                       kOpUnlock,
                       kOpAddWithLength,
                       kOpBytes,
                       kOpGetByPointerWithLength,
                       kOpPutAtPointer,
                       kOpPutAtPointerWithLength,
                       kOpAppendWithLength,
                       kOpSend,
                       kOpPosition,
                       kOpReset,
                       kOpReget};
    reg_.types = {kTypeString, kTypeGroup};
  }

  const Registration& registration() const override { return reg_; }

  int32_t NewBlock(FileRecord& file, std::unique_ptr<DriverBlock>* out) override {
    auto block = std::make_unique<TextBlock>();
    FillBlock(file, block.get());
    std::span<const uint8_t> layout;
    if (file.layout != nullptr) layout = std::span<const uint8_t>(file.layout, file.layout_size);
    if (int32_t r = CheckTextLayout(layout, file.record_length, &block->fields); r != 0) return r;
    block->oem = (block->driver_flags & kAttrOemText) != 0;
    *out = std::move(block);
    return 0;
  }

  int32_t Perform(Call& call) override {
    auto& b = static_cast<TextBlock&>(*call.block);
    FileRecord& f = *call.file;
    switch (call.op) {
      case kOpOpen:
      case kOpOpen2:
        return Open(b, f, static_cast<int32_t>(call.args.Int(0)));
      case kOpCreate:
        return Create(b, f, call.args.Int(0) == files::kCreateKeepingExisting);
      case kOpClose:
        if (b.locked) b.file->handle().Unlock(kWholeFileOffset, kWholeFileLength);
        b.locked = false;
        b.file.reset();
        return 0;
      case kOpSetFile:
        b.next_offset = 0;
        return 0;
      case kOpSetFilePointer:
        b.next_offset = OffsetOf(call.args.Int(0));
        return 0;
      case kOpReset:
        b.next_offset = OffsetOf(static_cast<int64_t>(PointerOf(call.text1)));
        return 0;
      case kOpNext:
        return Next(b, f);
      case kOpGetByPointer:
      case kOpGetByPointer2:
        return ReadAtPointer(b, f, call.args.Int(0), f.record_length);
      case kOpGetByPointerWithLength:
        return ReadAtPointer(b, f, call.args.Int(0), LengthArg(call.args.Int(1), f));
      case kOpReget:
        return ReadAtPointer(b, f, static_cast<int64_t>(PointerOf(call.text1)), f.record_length);
      case kOpPosition:
        call.text_result = PositionText(b.has_current ? b.current_offset + 1 : 0);
        return 0;
      case kOpPointer:
      case kOpPointer2:
        call.value = b.has_current ? Clamp32(b.current_offset + 1) : 0;
        return 0;
      case kOpBytes:
        return Bytes(b, &call.value);
      case kOpEof:
        return Eof(b, &call.value);
      case kOpAdd:
      case kOpAppend:
        return Add(b, f, f.record_length);
      case kOpAddWithLength:
      case kOpAppendWithLength:
        return Add(b, f, LengthArg(call.args.Int(0), f));
      case kOpPut:
        return Put(b, f);
      case kOpPutAtPointer:
        return PutAtPointer(b, f, call.args.Int(0), f.record_length);
      case kOpPutAtPointerWithLength:
        return PutAtPointer(b, f, call.args.Int(0), LengthArg(call.args.Int(1), f));
      case kOpEmpty:
        return Empty(b);
      case kOpLock:
      case kOpLockTimeout:
        return Lock(b);
      case kOpUnlock:
        if (b.locked) b.file->handle().Unlock(kWholeFileOffset, kWholeFileLength);
        b.locked = false;
        return 0;
      case kOpName:
        call.text_result = b.name;
        return 0;
      case kOpSend:
        ApplyOption(call.text1, &b.options, &call.text_result);
        if (b.file) b.file->SetBufferSize(ReadBufferSize(b.options, f.record_length));
        return 0;
      default:
        return kUnsupportedFunction;
    }
  }

 private:
  // --- Opening -------------------------------------------------------------

  int32_t Open(TextBlock& b, FileRecord& f, int32_t mode) {
    // The name may be held in a variable that changed since the block was
    // made (a Send to the closed file makes one): take it afresh.
    b.name = f.NameText();
    const std::string name = TrimmedName(b.name);
    if (name.empty()) return kInvalidFilename;
    const bool exclusive = (mode & 0x30) != 0;
    b.options = TextOptions{};
    b.options.file_buffers = exclusive ? 2 : 1;
    b.options.quickscan = exclusive;
    ApplyDriverText(b.driver_text1, &b.options);
    b.read_only = mode % 4 == 0;
    b.shared = ((mode >> 4) & 0x0F) == 4;
    b.locked = false;
    b.has_current = false;
    b.next_offset = 0;

    std::unique_ptr<env::File> handle;
    const uint32_t flags = b.read_only ? env::kOpenReadOnly : env::kOpenReadWrite;
    if (int e = TextFileEnv()->Open(name, flags, &handle); e != 0) return SystemError(e, false);
    if (int e = TextFile::Attach(std::move(handle), ReadBufferSize(b.options, f.record_length),
                                 &b.file);
        e != 0) {
      return SystemError(e, false);
    }
    return 0;
  }

  // `keep` leaves a file that exists by now as it is.
  int32_t Create(TextBlock& b, FileRecord& f, bool keep) {
    b.name = f.NameText();
    const std::string name = TrimmedName(b.name);
    if (name.empty()) return kInvalidFilename;
    if ((b.driver_flags & 0x02) == 0) return kNoCreateAttribute;
    std::unique_ptr<env::File> handle;
    const uint32_t flags = env::kOpenCreate | (keep ? 0u : env::kOpenTruncate);
    if (int e = TextFileEnv()->Open(name, flags, &handle); e != 0) {
      SystemError(e, true);  // keeps the system's reason for the error text's readers
      return kAccessDenied;
    }
    return 0;
  }

  // --- Reading -------------------------------------------------------------

  // Without QUICKSCAN every read looks at the file afresh: its size, and its
  // bytes (the buffer is dropped), so changes by others are seen.
  int32_t Refresh(TextBlock& b) {
    if (b.options.quickscan) return 0;
    if (int e = b.file->RefreshSize(); e != 0) return SystemError(e, false);
    return 0;
  }

  LineFormat Format(const TextBlock& b) const {
    return LineFormat{b.options.tab, b.options.end_of_record, b.oem};
  }

  // Reads the line at `offset` into the first `length` bytes of the record
  // buffer and makes it current.
  int32_t ReadInto(TextBlock& b, FileRecord& f, uint64_t offset, uint32_t length) {
    b.has_current = false;
    if (int32_t r = Refresh(b); r != 0) return r;
    uint64_t bytes = 0;
    std::span<uint8_t> record(f.buffer, f.buffer == nullptr ? 0 : length);
    if (int32_t r = ReadLine(*b.file, offset, Format(b), record, &bytes); r != 0) return r;
    b.has_current = true;
    b.current_offset = offset;
    b.current_bytes = bytes;
    return 0;
  }

  int32_t Next(TextBlock& b, FileRecord& f) {
    if (int32_t r = ReadInto(b, f, b.next_offset, f.record_length); r != 0) return r;
    b.next_offset = b.current_offset + b.current_bytes;
    return 0;
  }

  // Pointer 0 only ends the current record.
  int32_t ReadAtPointer(TextBlock& b, FileRecord& f, int64_t pointer, uint32_t length) {
    if (pointer == 0) {
      b.has_current = false;
      return 0;
    }
    if (pointer < 0) return kRecordNotAvailable;
    return ReadInto(b, f, static_cast<uint64_t>(pointer) - 1, length);
  }

  int32_t Bytes(TextBlock& b, int64_t* value) {
    if (b.has_current) {
      *value = Clamp32(b.current_bytes);
      return 0;
    }
    if (int32_t r = Refresh(b); r != 0) return r;
    *value = Clamp32(b.file->Size());
    return 0;
  }

  int32_t Eof(TextBlock& b, int64_t* value) {
    if (int32_t r = Refresh(b); r != 0) return r;
    std::span<const uint8_t> next;
    if (int e = b.file->View(b.next_offset, 1, &next); e != 0) return SystemError(e, false);
    *value = next.empty() || next[0] == kCtrlZ ? 1 : 0;
    return 0;
  }

  // --- Writing -------------------------------------------------------------

  // Brackets one write: refuses read-only files, takes the whole-file lock of
  // a shared file (unless Lock already holds it) and re-reads its size.
  class WriteScope {
   public:
    explicit WriteScope(TextBlock& b) : b_(b) {
      if (b.read_only || !b.file) {
        result_ = kAccessDenied;
        return;
      }
      if (b.shared && !b.locked) {
        if (b.file->handle().TryLock(kWholeFileOffset, kWholeFileLength, true) != 0) {
          result_ = kAccessDenied;
          return;
        }
        took_lock_ = true;
      }
      if (b.shared || !b.options.quickscan) {
        if (int e = b.file->RefreshSize(); e != 0) result_ = SystemError(e, false);
      }
    }
    ~WriteScope() {
      if (took_lock_) b_.file->handle().Unlock(kWholeFileOffset, kWholeFileLength);
    }
    int32_t result() const { return result_; }

   private:
    TextBlock& b_;
    int32_t result_ = 0;
    bool took_lock_ = false;
  };

  // The line a record makes: the first `length` bytes of the buffer (in the
  // OEM set when declared so), without trailing blanks under CLIP, followed
  // by the end-of-record sequence.
  std::vector<uint8_t> MakeLine(const TextBlock& b, const FileRecord& f, uint32_t length) const {
    std::vector<uint8_t> line;
    if (f.buffer != nullptr) line.assign(f.buffer, f.buffer + length);
    if (b.oem) AnsiToOemInPlace(line.data(), line.size());
    if (b.options.clip) {
      while (!line.empty() && line.back() == ' ') line.pop_back();
    }
    line.insert(line.end(), b.options.end_of_record.begin(), b.options.end_of_record.end());
    return line;
  }

  // The length argument of the "with a length" codes; none (0 or less) means
  // the whole record, and no length reaches past the record buffer.
  uint32_t LengthArg(int64_t length, const FileRecord& f) const {
    if (length <= 0) return f.record_length;
    return static_cast<uint32_t>(std::min<int64_t>(length, f.record_length));
  }

  static uint64_t OffsetOf(int64_t pointer) {
    return pointer > 0 ? static_cast<uint64_t>(pointer) - 1 : 0;
  }

  int32_t Add(TextBlock& b, FileRecord& f, uint32_t length) {
    WriteScope scope(b);
    if (scope.result() != 0) return scope.result();
    return Append(b, MakeLine(b, f, length));
  }

  // Appends `line` at the end of the file and makes it current. Two repairs
  // keep the new line readable as a line of its own: a last line without an
  // end-of-record sequence is given one first, and a closing Ctrl-Z is kept
  // after the new line (text written behind it could never be read).
  int32_t Append(TextBlock& b, const std::vector<uint8_t>& line) {
    const uint64_t old_size = b.file->Size();
    const std::string& eor = b.options.end_of_record;
    uint64_t at = old_size;
    bool keep_ctrl_z = false;
    std::vector<uint8_t> bytes;
    if (old_size > 0) {
      const size_t tail = static_cast<size_t>(std::min<uint64_t>(old_size, eor.size() + 1));
      std::vector<uint8_t> last(tail);
      if (int e = b.file->ReadExact(old_size - tail, tail, last.data()); e != 0) {
        return SystemError(e, false);
      }
      if (last.back() == kCtrlZ) {
        keep_ctrl_z = true;
        --at;
        last.pop_back();
      }
      const bool ends_line =
          last.size() >= eor.size() && std::equal(eor.begin(), eor.end(), last.end() - eor.size());
      if (at > 0 && !ends_line) bytes.assign(eor.begin(), eor.end());
    }
    const uint64_t line_offset = at + bytes.size();
    bytes.insert(bytes.end(), line.begin(), line.end());
    if (keep_ctrl_z) bytes.push_back(kCtrlZ);
    if (int e = b.file->Write(at, bytes); e != 0) {
      // Leave no half line behind: cut back to the old end (and its Ctrl-Z).
      if (b.file->Truncate(at) == 0 && keep_ctrl_z) {
        const uint8_t z = kCtrlZ;
        b.file->Write(at, std::span<const uint8_t>(&z, 1));
      }
      return WriteFailure(e);
    }
    b.has_current = true;
    b.current_offset = line_offset;
    b.current_bytes = line.size();
    return 0;
  }

  // Replaces the `old_bytes` bytes of the line at `offset` with `line`,
  // moving the lines after it when the length changes so none is damaged.
  int32_t Replace(TextBlock& b, uint64_t offset, uint64_t old_bytes,
                  const std::vector<uint8_t>& line) {
    const uint64_t size = b.file->Size();
    if (offset > size || old_bytes > size - offset) return kRecordNotAvailable;
    if (line.size() == old_bytes) {
      if (int e = b.file->Write(offset, line); e != 0) return WriteFailure(e);
      return 0;
    }
    const uint64_t tail_offset = offset + old_bytes;
    std::vector<uint8_t> bytes(line);
    bytes.resize(line.size() + static_cast<size_t>(size - tail_offset));
    if (int e =
            b.file->ReadExact(tail_offset, bytes.size() - line.size(), bytes.data() + line.size());
        e != 0) {
      return SystemError(e, false);
    }
    if (int e = b.file->Write(offset, bytes); e != 0) return WriteFailure(e);
    const uint64_t new_size = offset + bytes.size();
    if (new_size < size) {
      if (int e = b.file->Truncate(new_size); e != 0) return SystemError(e, true);
    }
    // Keep the current line and the sequence on the same lines they were on.
    const int64_t delta = static_cast<int64_t>(line.size()) - static_cast<int64_t>(old_bytes);
    if (b.has_current) {
      if (b.current_offset == offset) {
        b.current_bytes = line.size();
      } else if (b.current_offset > offset) {
        b.current_offset += delta;
      }
    }
    if (b.next_offset >= tail_offset) {
      b.next_offset += delta;
    } else if (b.next_offset > offset) {
      b.next_offset = offset + line.size();
    }
    return 0;
  }

  int32_t Put(TextBlock& b, FileRecord& f) {
    if (!b.has_current) return kRecordNotAvailable;
    WriteScope scope(b);
    if (scope.result() != 0) return scope.result();
    return Replace(b, b.current_offset, b.current_bytes, MakeLine(b, f, f.record_length));
  }

  int32_t PutAtPointer(TextBlock& b, FileRecord& f, int64_t pointer, uint32_t length) {
    if (pointer <= 0) return kRecordNotAvailable;
    WriteScope scope(b);
    if (scope.result() != 0) return scope.result();
    const uint64_t offset = static_cast<uint64_t>(pointer) - 1;
    const std::vector<uint8_t> line = MakeLine(b, f, length);
    if (offset > b.file->Size()) return kRecordNotAvailable;
    if (offset == b.file->Size()) return Append(b, line);
    // The line now at the pointer is measured without touching the record.
    std::vector<uint8_t> scratch(f.record_length);
    uint64_t old_bytes = 0;
    int32_t r = ReadLine(*b.file, offset, Format(b), scratch, &old_bytes);
    if (r == kRecordNotAvailable) {
      old_bytes = 0;  // at a Ctrl-Z: the line goes in before it
    } else if (r != 0) {
      return r;
    }
    return Replace(b, offset, old_bytes, line);
  }

  int32_t Empty(TextBlock& b) {
    if (b.read_only) return kAccessDenied;
    if (int e = b.file->Truncate(0); e != 0) {
      SystemError(e, true);
      return kAccessDenied;
    }
    b.has_current = false;
    b.next_offset = 0;
    return 0;
  }

  int32_t Lock(TextBlock& b) {
    const int e = b.file->handle().TryLock(kWholeFileOffset, kWholeFileLength, true);
    if (e == 0) {
      b.locked = true;
      return 0;
    }
    if (MapLockErrno(e) == 33) return kFileAlreadyLocked;  // held by another: wait and retry
    return SystemError(e, false);
  }

  Registration reg_;
};

AsciiDriver& TheDriver() {
  static AsciiDriver driver;
  return driver;
}

}  // namespace

size_t ReadBufferSize(const TextOptions& options, uint32_t record_length) {
  const size_t line = static_cast<size_t>(record_length) + options.end_of_record.size();
  return std::max(static_cast<size_t>(options.file_buffers) * kBufferUnit, 2 * line);
}

int32_t AsciiEntry(int32_t op, AccessObject* object, const Args& args) {
  return DriverCall(TheDriver(), op, object, args);
}


void SetTextFileEnv(env::Env* env) { InstalledEnv() = env; }

env::Env* TextFileEnv() { return InstalledEnv() != nullptr ? InstalledEnv() : env::Env::Default(); }

}  // namespace vorsandt::text
