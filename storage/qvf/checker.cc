#include "storage/qvf/checker.h"

#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "storage/qvf/format.h"
#include "storage/qvf/internal_error.h"
#include "storage/qvf/page.h"

namespace vorsandt::qvf {
namespace {

constexpr int kMaxDepth = 64;

std::string Printable(std::string_view key) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char ch : key.substr(0, 24)) {
    if (ch >= 0x20 && ch < 0x7F && ch != '\\') {
      out.push_back(static_cast<char>(ch));
    } else {
      out += "\\x";
      out.push_back(kHex[ch >> 4]);
      out.push_back(kHex[ch & 15]);
    }
  }
  if (key.size() > 24) out += "...";
  return out;
}

// The raw file: header, relocation map of a pending log, page access.
class RawFile {
 public:
  bool Open(env::Env* env, const std::string& path, std::string* why) {
    if (int e = env->Open(path, env::kOpenReadOnly, &file_); e != 0) {
      *why = "cannot open: errno " + std::to_string(e);
      return false;
    }
    file_->Size(&size_);
    if (size_ == 0) {
      empty_ = true;
      return true;
    }
    uint8_t buf[kHeaderSize];
    if (size_ < kHeaderSize || !Read(0, buf, kHeaderSize)) {
      *why = "file is shorter than its 512-byte header";
      return false;
    }
    if (int r = DecodeHeader(buf, &at_zero_, why); r != 0) {
      if (r == 1) return false;
      header_fault_ = *why;
      return true;
    }
    header_ = at_zero_;
    if (at_zero_.LogPending()) {
      uint64_t pos = at_zero_.log_start;
      while (pos < at_zero_.log_end) {
        uint8_t unit[kUnitSize];
        if (!Read(pos, unit, kUnitSize)) {
          log_fault_ = "log runs past the end of the file";
          break;
        }
        const uint32_t own = GetU32(unit);
        const uint64_t length = static_cast<uint64_t>(UnitsFor(GetU16(unit + 4))) * kUnitSize;
        if (length == 0 || length > kMaxPageSize || length > at_zero_.log_end - pos) {
          log_fault_ = "logged item at " + std::to_string(pos) + " does not fit the log";
          break;
        }
        map_[own] = pos;
        pos += length;
      }
      uint8_t logged[kHeaderSize];
      if (log_fault_.empty()) {
        auto it = map_.find(0);
        if (it == map_.end() || !Read(it->second, logged, kHeaderSize) ||
            DecodeHeader(logged, &header_) != 0) {
          log_fault_ = "log holds no sound header";
        }
      }
      if (!log_fault_.empty()) {
        map_.clear();
        header_ = at_zero_;
      }
    }
    return true;
  }

  bool Read(uint64_t offset, void* buf, size_t length) {
    size_t got = 0;
    return file_->ReadAt(offset, buf, length, &got) == 0 && got == length;
  }

  // Reads and decodes the page at `unit`; returns 0 or a check number (or
  // kCheckShortRead when the file ends first).
  int ReadPage(uint32_t unit, PageData* page) {
    const int c = header_.ClassOf(unit);
    if (c == 0) return kCheckPageNotInRegion;
    uint64_t offset = HomeAddress(unit);
    if (auto it = map_.find(static_cast<uint32_t>(offset)); it != map_.end()) offset = it->second;
    std::string buf(static_cast<size_t>(c) * kUnitSize, '\0');
    if (!Read(offset, buf.data(), buf.size())) return kCheckShortRead;
    return DecodePage(reinterpret_cast<const uint8_t*>(buf.data()), buf.size(), unit, page);
  }

  std::unique_ptr<env::File> file_;
  uint64_t size_ = 0;
  bool empty_ = false;
  FileHeader at_zero_;
  FileHeader header_;
  std::string header_fault_;
  std::string log_fault_;
  std::map<uint32_t, uint64_t> map_;
};

std::string CheckName(int check) {
  switch (check) {
    case kCheckStoredSizeClass: return "stored size does not match its class";
    case kCheckOwnAddress: return "own address is not its home";
    case kCheckPageDecode: return "entry area does not decode to the expanded size";
    case kCheckDuplicateKey: return "keys out of order or duplicated";
    case kCheckEstimate: return "size estimate is wrong";
    case kCheckShortRead: return "page lies beyond the end of the file";
    case kCheckPageNotInRegion: return "unit is in no region";
    default: return InternalErrorText(check);
  }
}

class TreeWalk {
 public:
  TreeWalk(RawFile* raw, std::vector<std::string>* faults) : raw_(raw), faults_(faults) {}

  void Run() {
    const FileHeader& h = raw_->header_;
    if (h.root == kNoRoot) {
      for (int c = 1; c <= kMaxClass; ++c) {
        if (h.PageCount(c) != 0) Fault("file has no root but region " + std::to_string(c) + " holds pages");
      }
      return;
    }
    Visit(h.root, -1, std::nullopt, std::nullopt, 0, true);
    for (int c = 1; c <= kMaxClass; ++c) {
      for (uint32_t u = h.start[c]; u < h.end[c]; u += c) {
        if (visited_.count(u) == 0) Fault("unit " + std::to_string(u) + ": page not reachable from the root");
      }
    }
    for (int c = 2; c <= kMaxClass; ++c) {
      const uint32_t gap = h.start[c] - h.end[c - 1];
      if ((h.PageCount(c) <= 1 && gap != 0) || (h.PageCount(c) > 1 && gap >= static_cast<uint32_t>(c))) {
        Fault("region " + std::to_string(c) + " is not packed (gap of " + std::to_string(gap) + " units below it)");
      }
    }
  }

 private:
  void Fault(std::string text) { faults_->push_back(std::move(text)); }

  // Checks the page at `unit` and its subtree. Keys must lie in [low, high).
  void Visit(uint32_t unit, int level, const std::optional<std::string>& low,
             const std::optional<std::string>& high, int depth, bool leftmost) {
    const std::string where = "unit " + std::to_string(unit) + ": ";
    if (depth > kMaxDepth) {
      Fault(where + "tree deeper than " + std::to_string(kMaxDepth));
      return;
    }
    const int c = raw_->header_.ClassOf(unit);
    if (c == 0 || (unit - raw_->header_.start[c]) % c != 0) {
      Fault(where + "child reference is not a page of any region");
      return;
    }
    if (!visited_.insert(unit).second) {
      Fault(where + "page is referenced twice");
      return;
    }
    PageData page;
    if (int r = raw_->ReadPage(unit, &page); r != 0) {
      Fault(where + CheckName(r));
      return;
    }
    if (level >= 0 && page.level != level) {
      Fault(where + "level " + std::to_string(page.level) + ", expected " + std::to_string(level));
      return;
    }
    if (page.empty()) {
      Fault(where + "page holds no entries");
      return;
    }
    const uint32_t estimate = page.Estimate();
    if (estimate > kSplitSize) Fault(where + "size estimate " + std::to_string(estimate) + " exceeds the split limit");
    if (leftmost && page.level == 0) {
      if (!page.Bytes(0).empty()) Fault(where + "the empty entry is missing");
    }
    const std::string first_key(page.Key(0));
    if (low && CompareKeys(first_key, *low) < 0) {
      Fault(where + "first key " + Printable(first_key) + " is below its separator " + Printable(*low));
    }
    const std::string_view last_key = page.Key(page.size() - 1);
    if (high && CompareKeys(last_key, *high) >= 0) {
      Fault(where + "last key " + Printable(last_key) + " is not below the next separator");
    }
    if (page.level == 0) return;
    for (size_t i = 0; i < page.size(); ++i) {
      const EntryRef e = page.At(i);
      std::optional<std::string> next_high = high;
      if (i + 1 < page.size()) next_high = std::string(page.Key(i + 1));
      if (e.child < 0 || e.child > 0xFFFFFFFFll) {
        Fault(where + "bad child reference");
        continue;
      }
      Visit(static_cast<uint32_t>(e.child), page.level - 1, std::string(e.Key()), next_high, depth + 1,
            leftmost && i == 0);
    }
  }

  RawFile* raw_;
  std::vector<std::string>* faults_;
  std::set<uint32_t> visited_;
};

}  // namespace

bool DescribeFile(env::Env* env, const std::string& path, std::string* text) {
  RawFile raw;
  std::string why;
  if (!raw.Open(env, path, &why)) {
    *text = why;
    return false;
  }
  std::ostringstream out;
  out << "file: " << path << "\n";
  out << "file size: " << raw.size_ << "\n";
  if (raw.empty_) {
    out << "new empty file (no header yet)\n";
    *text = out.str();
    return true;
  }
  if (!raw.header_fault_.empty()) {
    *text = "header is broken: " + raw.header_fault_;
    return false;
  }
  const FileHeader& h = raw.at_zero_;
  char id[16];
  std::snprintf(id, sizeof id, "%02X %02X %02X %02X", h.id_counter[0], h.id_counter[1], h.id_counter[2],
                h.id_counter[3]);
  out << "id counter: " << GetU32Big(h.id_counter.data()) << " (" << id << ")\n";
  out << "change counter: " << h.change_counter << "\n";
  out << "root: " << (h.root == kNoRoot ? std::string("none") : "unit " + std::to_string(h.root)) << "\n";
  out << "end of data: " << h.EndOfData() << "\n";
  if (h.LogPending()) {
    out << "log: pending, " << h.log_start << " to " << h.log_end << " (" << raw.map_.size()
        << " logged items; applied by the next writer)\n";
    if (!raw.log_fault_.empty()) out << "log fault: " << raw.log_fault_ << "\n";
  } else {
    out << "log: none (log start = log end = " << h.log_start << ")\n";
  }
  out << "regions (class: start..end units, pages):\n";
  uint32_t total = 0;
  for (int c = 1; c <= kMaxClass; ++c) {
    const FileHeader& cur = raw.header_;
    if (cur.start[c] == cur.end[c]) continue;
    out << "  " << c << ": " << cur.start[c] << ".." << cur.end[c] << ", " << cur.PageCount(c) << " pages\n";
    total += cur.PageCount(c);
  }
  out << "pages: " << total << "\n";
  *text = out.str();
  return true;
}

bool CheckFile(env::Env* env, const std::string& path, std::vector<std::string>* faults) {
  faults->clear();
  RawFile raw;
  std::string why;
  if (!raw.Open(env, path, &why)) {
    faults->push_back(why);
    return false;
  }
  if (raw.empty_) return true;
  if (!raw.header_fault_.empty()) {
    faults->push_back("header: " + raw.header_fault_);
    return true;
  }
  if (!raw.log_fault_.empty()) faults->push_back("log: " + raw.log_fault_);
  TreeWalk(&raw, faults).Run();
  return true;
}

}  // namespace vorsandt::qvf
