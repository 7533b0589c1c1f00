#include "tests/torture/workload.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/file_decl.h"
#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"

namespace vorsandt::torture {
namespace {

int32_t Code() { return files::Errors().Code(); }

int TableIndex(app::Table t) { return static_cast<int>(t); }

// The record's text fields read "NNNNNN vV F" (number, version, field), so
// the first text field of any record tells which record and version it is.
std::string FieldText(int number, int version, size_t field) {
  char text[48];
  std::snprintf(text, sizeof text, "%06d v%d f%zu", number, version, field);
  return text;
}

size_t MemoLength(int number, int version) {
  return static_cast<size_t>((number * 37 + version * 101) % 1000);
}

std::string TrimmedMemo(const std::vector<char>& memo) {
  std::string s(memo.begin(), memo.end());
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

// The first text field of a table: where the number and version are read.
const app::FieldDef& FirstText(app::Table t) {
  for (const app::FieldDef& f : app::Def(t).fields) {
    if (f.type == files::kTypeString) return f;
  }
  return app::Def(t).fields[0];
}

// Reads "NNNNNN vV" from a record; false when it does not have that form.
bool ParseRecordId(app::Table t, const uint8_t* record, int* number, int* version) {
  const app::FieldDef& f = FirstText(t);
  std::string text(reinterpret_cast<const char*>(record) + f.offset, f.size);
  return std::sscanf(text.c_str(), "%d v%d", number, version) == 2;
}

}  // namespace

std::vector<std::string> TableFileNames() {
  std::vector<std::string> names;
  for (app::Table t : kTables) names.push_back(std::string(app::Def(t).label) + ".QVF");
  return names;
}

void Apply(const Step& step, Model* model) {
  for (const SubOp& op : step.ops) {
    auto key = std::make_pair(TableIndex(op.table), op.number);
    if (op.kind == Kind::kDelete) {
      model->erase(key);
    } else {
      (*model)[key] = op.version;
    }
  }
}

std::string FormatStep(const Step& step) {
  std::ostringstream out;
  out << step.number << ' ' << step.ops.size();
  for (const SubOp& op : step.ops) {
    out << ' ' << static_cast<char>(op.kind) << ' ' << TableIndex(op.table) << ' ' << op.number
        << ' ' << op.version;
  }
  return out.str();
}

bool ParseStep(std::string_view text, Step* step) {
  std::istringstream in{std::string(text)};
  size_t count = 0;
  if (!(in >> step->number >> count) || count == 0 || count > 8) return false;
  step->ops.clear();
  for (size_t i = 0; i < count; ++i) {
    char kind = 0;
    int table = 0;
    SubOp op{};
    if (!(in >> kind >> table >> op.number >> op.version)) return false;
    if (kind != 'a' && kind != 'p' && kind != 'd') return false;
    if (table < 0 || table >= app::kTableCount) return false;
    op.kind = static_cast<Kind>(kind);
    op.table = static_cast<app::Table>(table);
    step->ops.push_back(op);
  }
  return true;
}

Step NextStep(std::mt19937* random, const Model& model, int step_number, int base, int* next_number,
              bool transactions) {
  std::vector<std::pair<std::pair<int, int>, int>> mine;
  for (const auto& entry : model) {
    if (entry.first.second >= base && entry.first.second < base + 1000) mine.push_back(entry);
  }
  auto pick = [&](int n) { return static_cast<int>((*random)() % static_cast<unsigned>(n)); };
  auto add = [&](app::Table t) { return SubOp{Kind::kAdd, t, (*next_number)++, 0}; };
  // Numbers stay inside [base, base + 1000): a transaction may take two.
  const bool room = *next_number + 2 <= base + 999;
  auto existing = [&](Kind kind, app::Table only, bool any_table) -> SubOp {
    std::vector<std::pair<std::pair<int, int>, int>> choices;
    for (const auto& e : mine) {
      if (any_table || e.first.first == TableIndex(only)) choices.push_back(e);
    }
    if (choices.empty() && !room) choices = mine;
    if (choices.empty()) return add(only);
    const auto& e = choices[pick(static_cast<int>(choices.size()))];
    SubOp op{kind, static_cast<app::Table>(e.first.first), e.first.second, e.second};
    if (kind == Kind::kPut) op.version = e.second + 1;
    return op;
  };
  Step step;
  step.number = step_number;
  if (!room && mine.empty()) return step;  // every number used and deleted: done
  const app::Table any = kTables[pick(3)];
  const int roll = pick(100);
  if (room && (mine.size() < 6 || roll < 30)) {
    step.ops.push_back(add(any));
  } else if (roll < 60 || (!room && roll >= 80)) {
    step.ops.push_back(existing(Kind::kPut, any, true));
  } else if (roll < 80 || !transactions) {
    step.ops.push_back(existing(Kind::kDelete, any, true));
  } else {
    // A transaction over two files: a new company and a changed (or new)
    // location, committed together or not at all.
    step.ops.push_back(add(app::Table::kCompanies));
    step.ops.push_back(pick(2) == 0 ? existing(Kind::kPut, app::Table::kLocations, false)
                                    : add(app::Table::kLocations));
  }
  return step;
}

void FillRecord(app::Table table, int number, int version) {
  files::FileRecord* decl = app::File(table);
  uint8_t* buffer = files::RecordBuffer(decl);
  const app::TableDef& def = app::Def(table);
  std::memset(buffer, ' ', def.record_length);
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const app::FieldDef& f = def.fields[i];
    uint8_t* at = buffer + f.offset;
    switch (f.type) {
      case files::kTypeShort: {
        int16_t v = static_cast<int16_t>(i == 0 ? number : (number * 3 + version) % 30000);
        std::memcpy(at, &v, 2);
        break;
      }
      case files::kTypeLong: {
        int32_t v = number * 100 + version;
        std::memcpy(at, &v, 4);
        break;
      }
      case files::kTypeString: {
        std::string text = FieldText(number, version, i);
        std::memcpy(at, text.data(), std::min<size_t>(text.size(), f.size));
        break;
      }
      default:
        std::memset(at, 0, f.size);  // packed decimal zero
        break;
    }
  }
  files::FileRecord* instance = files::InstanceOf(decl);
  for (auto& memo : instance->memo_buffers) {
    std::fill(memo.begin(), memo.end(), ' ');
    const size_t length = std::min(MemoLength(number, version), memo.size());
    for (size_t i = 0; i < length; ++i)
      memo[i] = static_cast<char>('a' + (i + number + version) % 26);
  }
}

int32_t OpenTables(bool create) {
  for (app::Table t : kTables) {
    files::FileRecord* f = app::File(t);
    files::Open(f);
    if (Code() == files::kFileNotFound && create) {
      files::Create(f);
      if (Code() != 0) return Code();
      files::Open(f);
    }
    if (Code() != 0) return Code();
  }
  return 0;
}

int32_t CloseTables() {
  int32_t first = 0;
  for (app::Table t : kTables) {
    files::Close(app::File(t));
    if (first == 0) first = Code();
  }
  return first;
}

namespace {

// Finds the record as it is now (version `version`) and makes it current.
int32_t Find(app::Table t, int number, int version, int hold_seconds) {
  files::FileRecord* f = app::File(t);
  FillRecord(t, number, version);
  if (hold_seconds > 0) f->Send(files::kOpHoldNextTimeout, files::Args{hold_seconds});
  files::GetByKey(f, app::Key(t, 1));
  return Code();
}

int32_t RunOne(const SubOp& op, std::string* what, int hold_seconds) {
  files::FileRecord* f = app::File(op.table);
  const std::string table = app::Def(op.table).label;
  switch (op.kind) {
    case Kind::kAdd:
      FillRecord(op.table, op.number, op.version);
      files::Add(f);
      *what = "Add " + table;
      return Code();
    case Kind::kPut:
      if (int32_t code = Find(op.table, op.number, op.version - 1, hold_seconds); code != 0) {
        *what = "GetByKey before Put " + table;
        return code;
      }
      FillRecord(op.table, op.number, op.version);
      files::Put(f);
      *what = "Put " + table;
      return Code();
    case Kind::kDelete:
      if (int32_t code = Find(op.table, op.number, op.version, hold_seconds); code != 0) {
        *what = "GetByKey before Delete " + table;
        return code;
      }
      files::Delete(f);
      *what = "Delete " + table;
      return Code();
  }
  return 0;
}

}  // namespace

int32_t RunStep(const Step& step, std::string* what, int hold_seconds) {
  if (step.ops.size() == 1) return RunOne(step.ops[0], what, hold_seconds);
  std::vector<files::FileRecord*> list;
  for (const SubOp& op : step.ops) {
    files::FileRecord* f = app::File(op.table);
    if (std::find(list.begin(), list.end(), f) == list.end()) list.push_back(f);
  }
  if (int32_t code = files::Logout(5, list); code != 0) {
    *what = "Logout";
    return code;
  }
  for (const SubOp& op : step.ops) {
    if (int32_t code = RunOne(op, what, 0); code != 0) {
      files::Rollback();
      return code;
    }
  }
  files::Commit();
  *what = "Commit";
  return Code();
}

namespace {

// Reads table `t` in record order (key 0) or in the order of key `key`;
// every record must be whole, one the workload could have written. In
// record order each comes once and `*found` receives number -> version; in a
// key's order a record rewritten between two calls may come twice (at its
// old and its new place), so only wholeness counts.
bool ReadTable(app::Table t, std::map<int, int>* found, std::string* why, int key = 0) {
  files::FileRecord* f = app::File(t);
  const app::TableDef& def = app::Def(t);
  const std::string label =
      std::string(def.label) + (key == 0 ? "" : " in key " + std::to_string(key) + " order");
  if (key == 0) {
    files::SetFile(f);
  } else {
    files::SetKey(f, app::Key(t, key));
  }
  if (Code() != 0) {
    *why = label + ": SetFile failed with " + std::to_string(Code());
    return false;
  }
  for (int guard = 0; guard < 100000; ++guard) {
    files::Next(f);
    if (Code() == files::kRecordNotAvailable) return true;
    if (Code() != 0) {
      *why = label + ": Next failed with " + std::to_string(Code());
      return false;
    }
    const uint8_t* buffer = files::RecordBuffer(f);
    std::vector<uint8_t> record(buffer, buffer + def.record_length);
    std::vector<std::string> memos;
    for (const auto& m : files::InstanceOf(f)->memo_buffers) memos.push_back(TrimmedMemo(m));
    int number = 0, version = 0;
    if (!ParseRecordId(t, record.data(), &number, &version)) {
      *why = label + ": a record that the workload never wrote";
      return false;
    }
    FillRecord(t, number, version);
    bool same = std::memcmp(files::RecordBuffer(f), record.data(), record.size()) == 0;
    for (size_t i = 0; same && i < memos.size(); ++i) {
      same = TrimmedMemo(files::InstanceOf(f)->memo_buffers[i]) == memos[i];
    }
    if (!same) {
      *why = label + ": record " + std::to_string(number) + " v" + std::to_string(version) +
             " is torn (fields or memo differ from what was written)";
      return false;
    }
    if (key != 0) continue;
    if (!found->emplace(number, version).second) {
      *why = label + ": record " + std::to_string(number) + " appears twice";
      return false;
    }
  }
  *why = label + ": endless record sequence";
  return false;
}

}  // namespace

bool CheckConsistent(std::string* why) {
  for (app::Table t : kTables) {
    std::map<int, int> found;
    if (!ReadTable(t, &found, why)) return false;
  }
  return true;
}

bool CheckConsistentInEveryOrder(std::string* why) {
  for (app::Table t : kTables) {
    for (size_t k = 0; k <= app::Def(t).keys.size(); ++k) {
      std::map<int, int> found;
      if (!ReadTable(t, &found, why, static_cast<int>(k))) return false;
    }
  }
  return true;
}

bool Verify(const Model& model, std::string* why, int base, int span) {
  auto mine = [&](int number) { return span <= 0 || (number >= base && number < base + span); };
  for (app::Table t : kTables) {
    const std::string label = app::Def(t).label;
    std::map<int, int> found;
    if (!ReadTable(t, &found, why)) return false;
    std::map<int, int> expected;
    for (const auto& [key, version] : model) {
      if (key.first == TableIndex(t) && mine(key.second)) expected[key.second] = version;
    }
    std::map<int, int> seen;
    for (const auto& [number, version] : found) {
      if (mine(number)) seen[number] = version;
    }
    if (seen != expected) {
      std::ostringstream out;
      out << label << ": records differ from the reported saves:";
      for (const auto& [n, v] : expected) {
        auto it = seen.find(n);
        if (it == seen.end())
          out << " missing " << n << " v" << v << ';';
        else if (it->second != v)
          out << ' ' << n << " is v" << it->second << " not v" << v << ';';
      }
      for (const auto& [n, v] : seen) {
        if (!expected.count(n)) out << " unexpected " << n << " v" << v << ';';
      }
      *why = out.str();
      return false;
    }
    // With others writing beside us, the counts below change between calls;
    // they are compared once everyone has finished.
    if (span > 0) continue;
    files::FileRecord* f = app::File(t);
    files::Errors().Clear();  // Records posts failures only
    const int32_t records = files::Records(f);
    if (Code() != 0 || records != static_cast<int32_t>(found.size())) {
      *why = label + ": Records says " + std::to_string(records) + " (code " +
             std::to_string(Code()) + "), the table holds " + std::to_string(found.size());
      return false;
    }
    for (size_t k = 1; k <= app::Def(t).keys.size(); ++k) {
      files::SetKey(f, app::Key(t, static_cast<int>(k)));
      size_t count = 0;
      for (; count <= found.size(); ++count) {
        files::Next(f);
        if (Code() != 0) break;
      }
      if (Code() != files::kRecordNotAvailable || count != found.size()) {
        *why = label + ": key " + app::Def(t).keys[k - 1].name + " reads " + std::to_string(count) +
               " records, the table holds " + std::to_string(found.size()) + " (last code " +
               std::to_string(Code()) + ")";
        return false;
      }
    }
  }
  return true;
}

Journal::Journal(const std::string& path) {
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

Journal::~Journal() {
  if (fd_ >= 0) close(fd_);
}

void Journal::Line(const std::string& line) {
  // One write per line: a process killed at any point leaves whole lines.
  const std::string text = line + "\n";
  size_t done = 0;
  while (fd_ >= 0 && done < text.size()) {
    ssize_t n = write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

bool ReadJournal(const std::string& path, JournalState* state, std::string* why) {
  std::ifstream in(path);
  if (!in) {
    *why = "no journal " + path;
    return false;
  }
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream lines(content);
  std::string line;
  while (std::getline(lines, line)) {
    if (lines.eof() && !content.empty() && content.back() != '\n') break;  // cut line
    if (line == "created") {
      state->created = true;
    } else if (line.rfind("openfail ", 0) == 0) {
      state->failures.emplace_back(0, std::atoi(line.c_str() + 9));
    } else if (line == "end") {
      state->ended = true;
    } else if (line.rfind("begin ", 0) == 0) {
      if (state->has_pending || !ParseStep(std::string_view(line).substr(6), &state->pending)) {
        *why = "journal: bad line '" + line + "'";
        return false;
      }
      state->has_pending = true;
    } else if (line.rfind("ok ", 0) == 0 || line.rfind("fail ", 0) == 0) {
      const bool ok = line[0] == 'o';
      int step = 0;
      int code = 0;
      std::istringstream fields(line.substr(ok ? 3 : 5));
      fields >> step >> code;
      if (!state->has_pending || state->pending.number != step) {
        *why = "journal: '" + line + "' without its begin";
        return false;
      }
      if (ok) {
        Apply(state->pending, &state->model);
        state->reported++;
      } else {
        state->failures.emplace_back(step, code);
      }
      state->has_pending = false;
    } else {
      *why = "journal: bad line '" + line + "'";
      return false;
    }
  }
  return true;
}

}  // namespace vorsandt::torture
