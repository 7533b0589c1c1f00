// The search behind the Find window: every record of the tables people look
// things up in, read once into memory with the texts that are searched, and
// searched there as the user types. Case and accents do not matter (the
// locale's folding, runtime/format/search_fold.h); every word typed must be
// found in the record, in any of its searched fields and in any order.
//
// Holding the texts keeps a search to a scan of a few megabytes for tens of
// thousands of records, where reading the tables again would cost a read per
// record. The caller reloads a table when it may have changed (after a form
// it opened, when the window comes back to the front).
#ifndef VORSANDT_APP_FIND_RECORD_SEARCH_H_
#define VORSANDT_APP_FIND_RECORD_SEARCH_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"

namespace vorsandt::app {

// A searched field and the word that names it in a result ("serial number").
struct SearchField {
  const char* name;
  const char* label;
};

// What one table gives the search: the field shown as its reference, the
// field shown as its title, the other fields searched, and whether its memo
// is searched too (the claims' notes).
struct SearchSource {
  Table table;
  const char* group;      // the heading of its results: "Items"
  const char* reference;  // "ITE:ITEM_CODE"
  const char* title;      // "ITE:ITEM"
  std::span<const SearchField> fields;
  bool memo = false;
  const char* item_field = nullptr;  // the field naming the record's item, if any
};

// The tables searched, in the order their results are listed.
std::span<const SearchSource> SearchSources();

// A run of text that matched, in bytes of the text it lies in.
struct Run {
  int start = 0;
  int length = 0;
  bool operator==(const Run&) const = default;
};

struct FoundRecord {
  int64_t pointer = 0;
  int32_t item = 0;       // the item the record belongs to, or 0
  std::string reference;  // as its picture shows it
  std::vector<Run> reference_runs;
  std::string title;
  std::vector<Run> title_runs;
  // The first other field that matched, as "serial number: AB-12", with its
  // runs; empty when only the title matched.
  std::string found_in;
  std::vector<Run> found_in_runs;
};

struct FoundGroup {
  const SearchSource* source = nullptr;
  size_t total = 0;  // records that matched; `records` holds the first of them
  std::vector<FoundRecord> records;
};

class RecordSearch {
 public:
  // Reads every record of `source`'s table through the calling thread's
  // instance, which the caller has opened. Returns the file error code of a
  // failed read (0 when all were read); what was read before stays.
  int Load(const SearchSource& source);
  // Whether `source`'s table is loaded and its file has had no save since
  // (the driver's count of saves); false when the driver cannot tell.
  bool Current(const SearchSource& source) const;
  // Forgets `table`'s records (a table that could not be opened).
  void Drop(Table table);
  bool loaded(Table table) const;
  size_t records(Table table) const;

  // The records matching every word of `query`, grouped by table in the
  // order of SearchSources, at most `limit` records per group (by title);
  // no groups for a query without words.
  std::vector<FoundGroup> Find(std::string_view query, size_t limit) const;

  // The item a scanned or typed code names: "123", "000123" or the label
  // text "VORSANDT ITEM 000123"; nullopt when the text is no code or no
  // loaded item has it.
  std::optional<int64_t> ItemCoded(std::string_view text) const;
  // The location a location's label names: "VORSANDT LOC Kitchen" (case and
  // accents folded); nullopt for another text or a name no location has.
  std::optional<int64_t> LocationLabelled(std::string_view text) const;

 private:
  struct Entry {
    int64_t pointer = 0;
    int32_t item = 0;
    int32_t code = 0;    // the reference as a number, for a numbered table
    uint32_t begin = 0;  // the record's texts in texts_ and folded_
    uint32_t end = 0;
  };
  struct Loaded {
    const SearchSource* source = nullptr;
    // The record's texts one after the other: reference, title, fields,
    // memo, each ended by kEnd. folded_ is the same text folded, byte for byte.
    std::string texts;
    std::string folded;
    std::vector<Entry> entries;
    std::string saves;  // the file's count of saves when it was read
  };
  Loaded* Find(Table table);
  const Loaded* Find(Table table) const;
  void Collect(const Loaded& table, const std::vector<std::string>& words, size_t limit,
               FoundGroup* out) const;
  FoundRecord Describe(const Loaded& table, const Entry& e,
                       const std::vector<std::string>& words) const;

  std::vector<Loaded> tables_;
};

// The words of a query, folded; blanks separate them.
std::vector<std::string> QueryWords(std::string_view query);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_FIND_RECORD_SEARCH_H_
