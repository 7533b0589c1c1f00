#include "app/inventory/inventory_check.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "app/dictionary/dictionary.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/operations.h"
#include "runtime/format/characters.h"

namespace vorsandt::app {
namespace {

int32_t Code() { return files::Errors().Code(); }

files::FieldBytes Field(Table t, const char* name) {
  const FieldDef& f = *FieldNamed(name);
  return {f.type, files::RecordBuffer(File(t)) + f.offset, f.size, f.places};
}

int32_t NumberOf(Table t, const char* name) {
  return static_cast<int32_t>(files::ReadNumber(Field(t, name)).value_or(0));
}

std::string TextOf(Table t, const char* name) {
  return std::string(TrimRight(files::ReadText(Field(t, name)).value_or(std::string())));
}

void ClearRecord(Table t) { std::memset(files::RecordBuffer(File(t)), 0, Def(t).record_length); }

std::string ReadFailure(Table t) {
  return std::string(Def(t).label) + ": " + files::Errors().Text();
}

// Calls `each` for every check of item `code`, oldest first; false (with
// `error`) after a read failure.
template <typename Each>
bool ForEachCheck(int32_t code, Each each, std::string* error) {
  files::FileRecord* checks = File(Table::kChecks);
  ClearRecord(Table::kChecks);
  files::WriteNumber(Field(Table::kChecks, "CHK:ITEM_REFERENCE"), code, files::Overflow::kSaturate);
  files::SetKeyValue(checks, KeyNamed("CHK:ITEM"));
  for (;;) {
    if (Code() == files::kNoError) files::Next(checks);
    if (Code() == files::kRecordNotAvailable) break;
    if (Code() != files::kNoError) {
      *error = ReadFailure(Table::kChecks);
      return false;
    }
    if (NumberOf(Table::kChecks, "CHK:ITEM_REFERENCE") != code) break;
    each(NumberOf(Table::kChecks, "CHK:DATE_SEEN"), files::Pointer(checks));
  }
  files::Errors().Clear();
  return true;
}

}  // namespace

bool NotSeenForAYear(int32_t last_seen, int32_t today) {
  return last_seen <= 0 || today - last_seen > kNotSeenDays;
}

bool LocationNames(std::vector<std::string>* names, std::string* error) {
  names->clear();
  files::FileRecord* locations = File(Table::kLocations);
  files::SetKey(locations, KeyNamed("LOC:LOC"));
  for (;;) {
    if (Code() == files::kNoError) files::Next(locations);
    if (Code() == files::kRecordNotAvailable) break;
    if (Code() != files::kNoError) {
      *error = ReadFailure(Table::kLocations);
      return false;
    }
    names->push_back(TextOf(Table::kLocations, "LOC:LOCATION"));
  }
  files::Errors().Clear();
  return true;
}

bool ItemsAt(const std::string& location, std::vector<SeenItem>* items, std::string* error) {
  items->clear();
  files::FileRecord* file = File(Table::kItems);
  const std::string wanted = format::ToUpperText(TrimRight(location));
  ClearRecord(Table::kItems);
  files::WriteText(Field(Table::kItems, "ITE:LOCATION"), location);
  files::SetKeyValue(file, KeyNamed("ITE:LOC"));
  for (;;) {
    if (Code() == files::kNoError) files::Next(file);
    if (Code() == files::kRecordNotAvailable) break;
    if (Code() != files::kNoError) {
      *error = ReadFailure(Table::kItems);
      return false;
    }
    if (format::ToUpperText(TextOf(Table::kItems, "ITE:LOCATION")) != wanted) break;
    items->push_back({NumberOf(Table::kItems, "ITE:ITEM_CODE"), TextOf(Table::kItems, "ITE:ITEM")});
  }
  files::Errors().Clear();
  // The checks are looked up once the items are all read.
  for (SeenItem& item : *items) {
    item.last_seen = LastSeen(item.code);
    if (item.last_seen < 0) {
      *error = ReadFailure(Table::kChecks);
      return false;
    }
  }
  return true;
}

std::vector<SeenItem> NotSeenOrder(const std::vector<SeenItem>& items, int32_t today) {
  std::vector<SeenItem> due;
  for (const SeenItem& item : items) {
    if (NotSeenForAYear(item.last_seen, today)) due.push_back(item);
  }
  std::stable_sort(due.begin(), due.end(),
                   [](const SeenItem& a, const SeenItem& b) { return a.last_seen < b.last_seen; });
  return due;
}

int32_t LastSeen(int32_t code) {
  int32_t last = 0;
  std::string error;
  if (!ForEachCheck(
          code, [&](int32_t day, int64_t) { last = std::max(last, day); }, &error)) {
    return -1;
  }
  return last;
}

bool ReadLastSeen(std::map<int32_t, int32_t>* last_seen, std::string* error) {
  last_seen->clear();
  switch (OpenTableForReading(Table::kChecks, error)) {
    case ReadOpening::kMissing:
      return true;
    case ReadOpening::kFailed:
      return false;
    case ReadOpening::kOpened:
      break;
  }
  files::FileRecord* checks = File(Table::kChecks);
  files::SetKey(checks, KeyNamed("CHK:ITEM"));
  bool ok = true;
  for (;;) {
    if (Code() == files::kNoError) files::Next(checks);
    if (Code() == files::kRecordNotAvailable) break;
    if (Code() != files::kNoError) {
      *error = ReadFailure(Table::kChecks);
      ok = false;
      break;
    }
    int32_t& last = (*last_seen)[NumberOf(Table::kChecks, "CHK:ITEM_REFERENCE")];
    last = std::max(last, NumberOf(Table::kChecks, "CHK:DATE_SEEN"));
  }
  files::Errors().Clear();
  CloseTable(Table::kChecks);
  return ok;
}

bool MarkSeen(int32_t code, int32_t day, std::string* error) {
  bool there = false;
  if (!ForEachCheck(
          code, [&](int32_t seen, int64_t) { there = there || seen == day; }, error)) {
    return false;
  }
  if (there) return true;
  ClearRecord(Table::kChecks);
  files::WriteNumber(Field(Table::kChecks, "CHK:ITEM_REFERENCE"), code, files::Overflow::kSaturate);
  files::WriteNumber(Field(Table::kChecks, "CHK:DATE_SEEN"), day, files::Overflow::kSaturate);
  files::Add(File(Table::kChecks));
  if (Code() == files::kNoError) return true;
  *error = ReadFailure(Table::kChecks);
  files::Errors().Clear();
  return false;
}

bool UnmarkSeen(int32_t code, int32_t day, std::string* error) {
  std::vector<int64_t> found;
  if (!ForEachCheck(
          code,
          [&](int32_t seen, int64_t at) {
            if (seen == day) found.push_back(at);
          },
          error)) {
    return false;
  }
  // Collected first: a delete while reading the key would move the reading.
  for (int64_t at : found) {
    files::GetByPointer(File(Table::kChecks), at);
    if (Code() == files::kNoError) files::Delete(File(Table::kChecks));
    if (Code() != files::kNoError) {
      *error = ReadFailure(Table::kChecks);
      files::Errors().Clear();
      return false;
    }
  }
  return true;
}

}  // namespace vorsandt::app
