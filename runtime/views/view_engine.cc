// The generic view engine.
//
// Invariants:
//  1. A view's state lives in one process-wide table keyed by the view record
//     and the calling thread, made on the first operation and freed by Close;
//     a filter set before Open therefore survives until Open uses it.
//  2. Levels are kept in layout order (depth first); level i + 1 is the next
//     deeper level of level i, so a row is complete when the last level has
//     delivered.
//  3. The key range only ever holds leading components of the primary key
//     whose values do not depend on any level's record, so repositioning the
//     primary file never changes the value it positions to.
//  4. Every operation leaves the error state cleared or posted, with the view
//     as failing object when the view itself refuses.
#include "runtime/views/view_engine.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "runtime/eval/expression.h"
#include "runtime/eval/filter_analysis.h"
#include "runtime/files/driver.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/rules.h"
#include "runtime/files/text_stack.h"
#include "runtime/views/field_values.h"
#include "runtime/views/view_state.h"

namespace vorsandt::views {
namespace {

using files::Errors;
using files::FieldInfo;
using files::FileRecord;
using files::KeyDecl;
using namespace internal;

using StateKey = std::pair<const ViewRecord*, std::thread::id>;

std::mutex g_mutex;
std::map<StateKey, std::unique_ptr<ViewState>>& States() {
  static std::map<StateKey, std::unique_ptr<ViewState>> states;
  return states;
}
std::map<int32_t, files::DriverEntry>& Engines() {
  static std::map<int32_t, files::DriverEntry> engines;
  return engines;
}

// The state the calling thread used last: a browse sends its view two
// operations per row, and only this thread makes or frees its states.
thread_local const ViewRecord* t_last_view = nullptr;
thread_local ViewState* t_last_state = nullptr;

ViewState* FindState(const ViewRecord* view) {
  if (view == t_last_view) return t_last_state;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = States().find({view, std::this_thread::get_id()});
  if (it == States().end()) return nullptr;
  t_last_view = view;
  t_last_state = it->second.get();
  return t_last_state;
}

ViewState* MakeState(const ViewRecord* view) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& slot = States()[{view, std::this_thread::get_id()}];
  if (!slot) slot = std::make_unique<ViewState>();
  t_last_view = view;
  t_last_state = slot.get();
  return slot.get();
}

void FreeState(const ViewRecord* view) {
  if (view == t_last_view) {
    t_last_view = nullptr;
    t_last_state = nullptr;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  States().erase({view, std::this_thread::get_id()});
}

int32_t Fail(ViewRecord* view, int32_t code) {
  Errors().Post(code);
  Errors().SetFailingObject(view);
  return 0;
}

std::string PopText() { return files::Texts().Pop().value_or(std::string()); }

// ---- Reading -------------------------------------------------------------

enum class Step { kDelivered, kExhausted, kFailed };

bool LinksMatch(const ViewState& s, size_t i) {
  const LevelState& l = s.levels[i];
  const LevelState& parent = s.levels[static_cast<size_t>(l.layout.parent)];
  for (const Link& link : l.links) {
    if (CompareFields(link.dest, l.Buffer(), link.source, parent.Buffer(), l.no_case) != 0) {
      return false;
    }
  }
  return true;
}

int32_t StartLevel(ViewState& s, size_t i, bool forward) {
  LevelState& l = s.levels[i];
  const LevelState& parent = s.levels[static_cast<size_t>(l.layout.parent)];
  uint8_t* buffer = l.Buffer();
  for (const Link& link : l.links) CopyField(link.source, parent.Buffer(), link.dest, buffer);
  for (const FieldInfo& f : l.further) StoreExtreme(f, buffer, !forward, l.no_case);
  files::SetKeyValue(l.file, l.key);
  return Errors().Code();
}

bool FilterRejects(const ViewState& s, size_t i) {
  return s.filter.ok() && s.filter.ThreeValued(static_cast<int>(i), &s.level_map) == eval::kFalse;
}

void ClearLevel(LevelState& l) {
  FileRecord* instance = files::InstanceOf(l.file);
  ClearRecord(*l.fields, instance->buffer, instance->record_length);
}

// Advances one level by one record in the direction given.
Step Advance(ViewState& s, size_t i, bool forward) {
  LevelState& l = s.levels[i];
  bool repositioned = false;
  for (;;) {
    if (l.state == kLevelCleared) {
      l.state = kLevelNotStarted;
      return Step::kExhausted;
    }
    if (l.state == kLevelNotStarted && i > 0) {
      if (StartLevel(s, i, forward) != 0) return Step::kFailed;
      l.state = kLevelEstablished;
      l.delivered = false;
    }
    if (l.state == kLevelRestart) {
      if (PositionAtRange(s, forward) != 0) return Step::kFailed;
      l.state = kLevelEstablished;
      repositioned = true;
    }
    if (l.file->third_attributes != 0) l.file->Send(files::kOpSkipMemos);
    forward ? files::Next(l.file) : files::Previous(l.file);
    const int32_t code = Errors().Code();
    if (code != 0 && code != files::kRecordNotAvailable) return Step::kFailed;
    if (code != 0 || (i > 0 && !LinksMatch(s, i))) {
      Errors().Clear();
      ClearLevel(l);
      if (i == 0 || l.delivered) {
        l.state = kLevelNotStarted;
        return Step::kExhausted;
      }
      // A parent without records here is still delivered once, with this
      // level's fields blank, unless the filter already refuses that.
      l.state = kLevelCleared;
      if (FilterRejects(s, i)) {
        l.state = kLevelNotStarted;
        return Step::kExhausted;
      }
      return Step::kDelivered;
    }
    l.state = kLevelOnRecord;
    if (i == 0 && !s.range.empty()) {
      const RangeAnswer where = CheckRange(s, l.Buffer(), forward);
      if (where == RangeAnswer::kPast) {
        ClearLevel(l);
        l.state = kLevelNotStarted;
        return Step::kExhausted;
      }
      if (where == RangeAnswer::kBefore) {
        // Jump over the records before the range once; should the driver's
        // order disagree with ours, the records are skipped one by one.
        if (!repositioned) l.state = kLevelRestart;
        continue;
      }
    }
    if (FilterRejects(s, i)) continue;
    l.delivered = true;
    return Step::kDelivered;
  }
}

const KeyDecl* LevelKey(const ViewState& s, size_t i);

// The level's own position now; empty when it cannot be had.
std::string OwnPosition(ViewState& s, size_t i) {
  const LevelState& l = s.levels[i];
  const KeyDecl* key = LevelKey(s, i);
  std::string own = key != nullptr ? files::PositionKey(l.file, key) : files::Position(l.file);
  if (Errors().Code() != 0) {
    Errors().Clear();
    return {};
  }
  return own;
}

// Reads the next (or previous) row; returns 0 or posts.
int32_t ReadRow(ViewRecord* view, ViewState& s, bool forward) {
  if (s.row_state == kRowUnreadable) return Fail(view, files::kUnknownErrorPosted);
  const size_t last = s.levels.size() - 1;
  size_t i = 0;
  if (s.resync) {
    // Rebuild the row the position named: each level re-reads its saved
    // record (or restarts when it had none); then the row after it follows.
    s.resync = false;
    bool moved = false;
    for (i = 0; i <= last; ++i) {
      LevelState& l = s.levels[i];
      if (l.state == kLevelNotStarted && i == 0) break;
      const std::string named = std::move(l.reset_at);
      l.reset_at.clear();
      Step step = Advance(s, i, forward);
      if (step == Step::kFailed) return Errors().Code();
      if (step != Step::kDelivered) break;
      if (i < last && s.levels[i + 1].state != kLevelEstablished) {
        s.levels[i + 1].state = kLevelNotStarted;
      }
      // The record the position named is gone (another user deleted it):
      // the level delivered the one after it, which belongs to the next row
      // and must not be passed over.
      if (!named.empty() && OwnPosition(s, i) != named) {
        moved = true;
        break;
      }
    }
    if (moved) {
      for (size_t k = i + 1; k <= last; ++k) s.levels[k].reset_at.clear();
      if (i == last) {
        s.row_state = kRowOn;
        Errors().Clear();
        return 0;
      }
      ++i;
      s.levels[i].state = kLevelNotStarted;
    } else {
      if (i > last) s.row_state = kRowOn;
      i = s.row_state == kRowOn ? last : 0;
    }
  } else {
    i = s.row_state == kRowOn ? last : 0;
  }
  for (;;) {
    const Step step = Advance(s, i, forward);
    if (step == Step::kFailed) {
      s.row_state = kRowNone;
      return Errors().Code();
    }
    if (step == Step::kDelivered) {
      if (i == last) {
        s.row_state = kRowOn;
        Errors().Clear();
        return 0;
      }
      ++i;
      s.levels[i].state = kLevelNotStarted;
      continue;
    }
    if (i == 0) {
      s.row_state = kRowNone;
      for (LevelState& l : s.levels) l.state = kLevelNotStarted;
      return Fail(view, files::kRecordNotAvailable);
    }
    --i;
  }
}

// ---- Open and positions --------------------------------------------------

// A file's layout parsed once: a browse opens its view again at every
// relocation, and parsing a record of many fields cost more than the rest of
// the open. Layouts are found again by their bytes (a layout is immutable
// while a file declared with it is open); null when the layout is invalid.
std::shared_ptr<const std::vector<FieldInfo>> ParsedLayout(const uint8_t* layout, size_t size) {
  constexpr size_t kMaxLayouts = 64;
  static std::mutex mutex;
  static std::vector<std::pair<std::string, std::shared_ptr<const std::vector<FieldInfo>>>> parsed;
  const std::string_view bytes(reinterpret_cast<const char*>(layout), size);
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& [known, fields] : parsed) {
      if (known == bytes) return fields;
    }
  }
  auto fields = std::make_shared<std::vector<FieldInfo>>();
  if (files::ParseLayout({layout, size}, fields.get()) != 0) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  if (parsed.size() >= kMaxLayouts) parsed.clear();
  parsed.emplace_back(std::string(bytes), fields);
  return fields;
}

int32_t BuildLevels(ViewRecord* view, ViewState& s) {
  std::vector<LevelLayout> layouts;
  if (view->file_list == nullptr || view->file_list->primary == nullptr ||
      !ParseViewLayout({view->layout, view->layout_size}, &layouts) ||
      static_cast<int>(layouts.size()) != 1 + view->file_list->key_count) {
    return files::kInvalidRecordDeclaration;
  }
  s.levels.clear();
  s.level_map.Clear();
  for (size_t i = 0; i < layouts.size(); ++i) {
    LevelState l;
    l.layout = layouts[i];
    if (i == 0) {
      l.file = view->file_list->primary;
    } else {
      l.key = view->file_list->keys[i - 1];
      if (l.key == nullptr || l.key->owner == nullptr) return files::kInvalidRecordDeclaration;
      l.file = const_cast<FileRecord*>(l.key->owner);
      l.no_case = (l.key->flags & files::kKeyNoCase) != 0;
    }
    if (!FileIsOpen(l.file)) return files::kFileNotOpen;
    l.fields = ParsedLayout(l.file->layout, l.file->layout_size);
    if (l.fields == nullptr) {
      return files::kInvalidRecordDeclaration;
    }
    if (i > 0) {
      const LevelState& parent = s.levels[static_cast<size_t>(l.layout.parent)];
      if (l.layout.links.size() > l.key->component_count) return files::kInvalidRecordDeclaration;
      for (size_t c = 0; c < l.key->component_count; ++c) {
        const FieldInfo* dest = FieldNumbered(*l.fields, l.key->components[c]);
        if (dest == nullptr) return files::kInvalidRecordDeclaration;
        if (c < l.layout.links.size()) {
          const FieldInfo* source = FieldNumbered(*parent.fields, l.layout.links[c]);
          if (source == nullptr) return files::kInvalidRecordDeclaration;
          l.links.push_back({*dest, *source});
        } else {
          l.further.push_back(*dest);
        }
      }
    }
    FileRecord* instance = files::InstanceOf(l.file);
    s.level_map.Add(instance->buffer, instance->record_length, static_cast<int>(i));
    s.levels.push_back(std::move(l));
  }
  return 0;
}

// Takes the sequence now established on the primary file as the view's
// order: no row, every level to start afresh, the key range analysed again
// against the primary file's key.
void Establish(ViewState& s) {
  s.row_state = kRowNone;
  s.resync = false;
  for (LevelState& l : s.levels) {
    l.state = kLevelNotStarted;
    l.delivered = false;
    l.reset_at.clear();
  }
  AnalyseFilter(s);
  // A sequence from the first (or last) entry of the key would read every
  // record before the range: the first read goes straight to the range.
  FileRecord* primary = files::InstanceOf(s.levels[0].file);
  if (!s.range.empty() && primary->block != nullptr &&
      primary->block->last_sequential == files::kOpSetKey) {
    s.levels[0].state = kLevelRestart;
  }
  Errors().Clear();
}

int32_t OpenView(ViewRecord* view, ViewState& s) {
  if (s.open) return Fail(view, files::kFileAlreadyOpen);
  if (int32_t rc = BuildLevels(view, s); rc != 0) {
    s.levels.clear();
    return Fail(view, rc);
  }
  if (!s.filter.ok() && s.filter_text.empty() && view->declared_filter != nullptr &&
      view->declared_filter[0] != '\0') {
    s.filter_text = view->declared_filter;
    s.filter = eval::Expression::Compile(s.filter_text);
    if (!s.filter.ok()) s.filter_text.clear();
  }
  s.open = true;
  Establish(s);
  return 0;
}

int32_t SetFilterText(ViewRecord* view, ViewState& s, std::string text, std::string property) {
  (void)property;  // every property number sets the view's one filter
  s.filter = eval::Expression();
  s.filter_text.clear();
  s.range.clear();
  const bool blank = text.find_first_not_of(' ') == std::string::npos;
  Errors().Clear();
  if (!blank) {
    eval::Expression compiled = eval::Expression::Compile(text);
    if (compiled.ok()) {
      s.filter = std::move(compiled);
      s.filter_text = std::move(text);
    } else if (Errors().Code() != 0) {
      Errors().SetFailingObject(view);
      return 0;  // 801 stays posted; the view works without a filter
    }
  }
  if (!s.levels.empty()) AnalyseFilter(s);
  return 0;
}

void PutU32(std::string* out, uint32_t v) {
  for (int b = 0; b < 4; ++b) out->push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
}

bool GetU32(const std::string& in, size_t* pos, uint32_t* v) {
  if (*pos + 4 > in.size()) return false;
  *v = 0;
  for (int b = 0; b < 4; ++b) {
    *v |= static_cast<uint32_t>(static_cast<uint8_t>(in[*pos + static_cast<size_t>(b)])) << (8 * b);
  }
  *pos += 4;
  return true;
}

const KeyDecl* LevelKey(const ViewState& s, size_t i) {
  if (i > 0) return s.levels[i].key;
  if (s.key_number < 1) return nullptr;
  return s.levels[0].file->keys[s.key_number - 1];
}

int32_t PositionOf(ViewRecord* view, ViewState& s) {
  if (s.row_state != kRowOn) {
    files::Texts().Push("");
    return Fail(view, files::kRecordNotAvailable);
  }
  std::string& text = s.position_text;
  std::string& own = s.level_position;
  text.clear();
  PutU32(&text, static_cast<uint32_t>(s.key_number));
  for (size_t i = 0; i < s.levels.size(); ++i) {
    const LevelState& l = s.levels[i];
    if (l.state == kLevelCleared) {
      PutU32(&text, 0);
      continue;
    }
    const KeyDecl* key = LevelKey(s, i);
    key != nullptr ? files::PositionKey(l.file, key, &own) : files::Position(l.file, &own);
    if (Errors().Code() != 0) {
      files::Texts().Push("");
      return 0;
    }
    PutU32(&text, static_cast<uint32_t>(own.size()));
    text += own;
  }
  files::Texts().Push(text);
  Errors().Clear();
  return 0;
}

// Reset (re-establish) or Reget (re-read) every level from a position text.
int32_t FromPosition(ViewRecord* view, ViewState& s, const std::string& text, bool reget) {
  size_t pos = 0;
  uint32_t key_number = 0;
  FileRecord* primary = s.levels[0].file;
  if (!GetU32(text, &pos, &key_number) || key_number > primary->key_count) {
    return Fail(view, files::kUnknownErrorPosted);
  }
  // Validate the whole text before touching any level.
  {
    size_t p = pos;
    for (size_t i = 0; i < s.levels.size() && p < text.size(); ++i) {
      uint32_t length = 0;
      if (!GetU32(text, &p, &length) || length > text.size() - p) {
        return Fail(view, files::kUnknownErrorPosted);
      }
      p += length;
    }
    if (p != text.size()) return Fail(view, files::kUnknownErrorPosted);
  }
  s.key_number = static_cast<int>(key_number);
  if (!reget) {
    // The key number re-selects the primary sequence, also when the text
    // holds no place on the primary file.
    key_number == 0 ? files::SetFile(primary)
                    : files::SetKey(primary, primary->keys[key_number - 1]);
    if (Errors().Code() != 0) return 0;
  }
  for (size_t i = 0; i < s.levels.size(); ++i) {
    LevelState& l = s.levels[i];
    uint32_t length = 0;
    if (!GetU32(text, &pos, &length)) {
      l.state = kLevelNotStarted;
      l.reset_at.clear();
      continue;
    }
    const std::string own = text.substr(pos, length);
    pos += length;
    if (length == 0) {
      if (reget) ClearLevel(l);
      l.state = kLevelNotStarted;
      l.reset_at.clear();
      continue;
    }
    const KeyDecl* key = LevelKey(s, i);
    if (reget) {
      key != nullptr ? files::RegetKey(l.file, key, own) : files::Reget(l.file, own);
      l.reset_at.clear();
    } else {
      key != nullptr ? files::ResetKey(l.file, key, own) : files::Reset(l.file, own);
      l.reset_at = own;
    }
    if (Errors().Code() != 0) {
      s.row_state = kRowNone;
      return 0;
    }
    l.state = kLevelEstablished;
    l.delivered = true;
  }
  if (reget) {
    s.row_state = kRowUnreadable;
    s.resync = false;
  } else {
    // The key number chose the primary sequence; the filter's range follows it.
    const int chosen = s.key_number;
    AnalyseFilter(s);
    if (s.key_number != chosen) s.range.clear();
    s.key_number = chosen;
    s.row_state = kRowNone;
    s.resync = true;
  }
  Errors().Clear();
  return 0;
}

int32_t SkipRows(ViewRecord* view, ViewState& s, int64_t count) {
  Errors().Clear();
  const bool forward = count > 0;
  for (int64_t n = forward ? count : -count; n > 0; --n) {
    ReadRow(view, s, forward);
    if (Errors().Code() == files::kRecordNotAvailable) {
      Errors().Clear();
      return 0;
    }
    if (Errors().Code() != 0) return 0;
  }
  return 0;
}

int32_t Perform(ViewRecord* view, int32_t op, const files::Args& args) {
  // Text arguments are taken off the stack whatever happens next.
  std::string text1, text2;
  if (op == files::kOpSetFilter) {
    text1 = PopText();  // the filter
    text2 = PopText();  // the property number
  } else if (op == files::kOpReset || op == files::kOpReget) {
    text1 = PopText();
  }

  ViewState* s = FindState(view);
  if (s == nullptr) s = MakeState(view);

  switch (op) {
    case files::kOpOpen:
    case files::kOpOpen2:
      return OpenView(view, *s);
    case files::kOpSetFilter:
      return SetFilterText(view, *s, std::move(text1), std::move(text2));
    case files::kOpClose:
      if (!s->open) {
        FreeState(view);
        return Fail(view, files::kFileNotOpen);
      }
      FreeState(view);
      view->installed = nullptr;
      Errors().Clear();
      return 0;
    default:
      break;
  }
  if (!s->open) {
    if (op == files::kOpPosition) files::Texts().Push("");
    return Fail(view, files::kFileNotOpen);
  }
  switch (op) {
    case files::kOpNext:
    case files::kOpPrevious:
      return ReadRow(view, *s, op == files::kOpNext);
    case files::kOpSkip:
      return SkipRows(view, *s, args.Int(0));
    case files::kOpPosition:
      return PositionOf(view, *s);
    case files::kOpReset:
      return FromPosition(view, *s, text1, false);
    case files::kOpReget:
      return FromPosition(view, *s, text1, true);
    case files::kOpGetByPointer:
      s->row_state = kRowUnreadable;
      Errors().Clear();
      return 0;
    case files::kOpDelete:
    case files::kOpPut:
    case files::kOpHoldNext:
    case files::kOpHoldNextTimeout:
    case files::kOpReleaseHeld:
    case files::kOpWatch:
      return s->levels[0].file->Send(op, args);
    default:
      return Fail(view, files::kUnsupportedFunction);
  }
}

}  // namespace

void RegisterViewEngine(int32_t token, files::DriverEntry entry) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Engines()[token] = entry;
}

int32_t ViewEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  auto* view = static_cast<ViewRecord*>(object);
  if (view->installed != nullptr) {
    const int32_t result = view->installed(op, object, args);
    if (op == files::kOpClose && Errors().Code() == 0) view->installed = nullptr;
    return result;
  }
  if (op == files::kOpOpen && view->file_list != nullptr && view->file_list->primary != nullptr) {
    // A driver with a view engine of its own serves the view instead.
    Errors().Push();
    const int32_t token = view->file_list->primary->Send(files::kOpViewEngine);
    Errors().Pop();
    if (token != 0) {
      files::DriverEntry engine = nullptr;
      {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = Engines().find(token);
        if (it != Engines().end()) engine = it->second;
      }
      if (engine != nullptr) {
        view->installed = engine;
        return engine(op, object, args);
      }
    }
  }
  return Perform(view, op, args);
}

bool Restart(ViewRecord* view) {
  if (view->installed != nullptr) return false;
  ViewState* s = FindState(view);
  if (s == nullptr || !s->open || s->levels.empty()) return false;
  for (const LevelState& l : s->levels) {
    if (!FileIsOpen(l.file)) return false;
  }
  Establish(*s);
  return true;
}

ViewSnapshot Inspect(ViewRecord* view) {
  ViewSnapshot snap;
  ViewState* s = FindState(view);
  if (s == nullptr) return snap;
  snap.open = s->open;
  snap.row_state = s->row_state;
  snap.key_number = s->key_number;
  for (const LevelState& l : s->levels) snap.level_states.push_back(l.state);
  snap.range_components = static_cast<int>(s->range.size());
  snap.filter = s->filter_text;
  return snap;
}

}  // namespace vorsandt::views
