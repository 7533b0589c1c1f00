#include "storage/qvf/driver/blob_transfer.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "runtime/files/error_codes.h"
#include "runtime/files/op_codes.h"
#include "storage/qvf/table/definition.h"

namespace vorsandt::qvf {
namespace {

std::string MemoName(const files::MemoDecl& m) {
  return m.name_length < 0 ? std::string(m.name) : std::string(m.name, m.name_length);
}

std::string Trimmed(const std::string& s) {
  size_t start = s.find_first_not_of(' ');
  if (start == std::string::npos) return "";
  size_t end = s.find_last_not_of(' ');
  return s.substr(start, end - start + 1);
}

// The memo index (from 0) the call names: by the text argument when one is
// given (78, 79), else by the field number in the first argument. -1 when it
// is no blob field of the table.
[[nodiscard]] int BlobIndex(const files::Call& call, bool named) {
  const files::FileRecord& decl = *call.file->declaration;
  std::string name = named ? Trimmed(call.text1) : std::string();
  if (!name.empty()) {
    for (size_t i = 0; i < decl.memo_count; ++i) {
      if (strcasecmp(MemoName(*decl.memos[i]).c_str(), name.c_str()) == 0) {
        return IsBlobMemo(decl, i) ? static_cast<int>(i) : -1;
      }
    }
    return -1;
  }
  const int64_t f = call.args.Int(0);
  if (f < 1 || f > decl.memo_count || !IsBlobMemo(decl, static_cast<size_t>(f - 1))) return -1;
  return static_cast<int>(f - 1);
}

template <typename T>
T* PointerArg(const files::Call& call, int i) {
  return reinterpret_cast<T*>(static_cast<intptr_t>(call.args.Int(i)));
}

}  // namespace

bool IsBlobMemo(const files::FileRecord& file, size_t i) {
  const files::FileRecord& decl = *file.declaration;
  return decl.memos != nullptr && i < decl.memo_count && (decl.memos[i]->flags & kMemoBlob) != 0;
}

int32_t BlobTransfer(files::Call& call, BlobBlock& b) {
  if (!b.table) return files::kFileNotOpen;
  const files::FileRecord& decl = *call.file->declaration;
  if (b.blobs.size() < decl.memo_count) b.blobs.resize(decl.memo_count);
  if (call.op == files::kOpBlob77) {
    auto* count = PointerArg<int32_t>(call, 0);
    if (count == nullptr) return files::kInvalidNumberOfParameters;
    *count = 0;
    for (size_t i = 0; i < decl.memo_count; ++i) *count += IsBlobMemo(decl, i) ? 1 : 0;
    return 0;
  }
  const bool named = call.op == files::kOpBlob78 || call.op == files::kOpBlob79;
  const int index = BlobIndex(call, named);
  if (index < 0) return files::kUnsupportedDataType;
  std::string& blob = b.blobs[index];
  switch (call.op) {
    case files::kOpBlob75: {
      auto* size = PointerArg<int32_t>(call, 1);
      if (size == nullptr) return files::kInvalidNumberOfParameters;
      *size = static_cast<int32_t>(blob.size());
      return 0;
    }
    case files::kOpBlob76: {
      auto* block = PointerArg<char>(call, 1);
      const int64_t capacity = call.args.Int(2);
      auto* size = PointerArg<int32_t>(call, 3);
      if ((block == nullptr && !blob.empty()) || capacity < 0) {
        return files::kInvalidNumberOfParameters;
      }
      if (size != nullptr) *size = static_cast<int32_t>(blob.size());
      if (static_cast<uint64_t>(capacity) < blob.size()) return files::kInsufficientMemory;
      if (!blob.empty()) std::memcpy(block, blob.data(), blob.size());
      return 0;
    }
    case files::kOpBlob78: {
      const auto* block = PointerArg<const char>(call, 1);
      const int64_t length = call.args.Int(2);
      if (length < 0 || length > INT32_MAX || (block == nullptr && length > 0)) {
        return files::kInvalidNumberOfParameters;
      }
      blob.assign(block == nullptr ? "" : block, static_cast<size_t>(length));
      // The memo buffer shows the leading bytes.
      if (static_cast<size_t>(index) < call.file->memo_buffers.size()) {
        std::vector<char>& buffer = call.file->memo_buffers[index];
        std::fill(buffer.begin(), buffer.end(), '\0');
        std::memcpy(buffer.data(), blob.data(), std::min(buffer.size(), blob.size()));
      }
      return 0;
    }
    case files::kOpBlob79:
      call.text_result = blob;
      return 0;
    default:
      return files::kUnsupportedFunction;
  }
}

}  // namespace vorsandt::qvf
