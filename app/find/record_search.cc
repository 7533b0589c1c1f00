#include "app/find/record_search.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/browse/browse_rows.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/format/format.h"
#include "runtime/format/search_fold.h"
#include "runtime/views/field_values.h"

namespace vorsandt::app {
namespace {

// Ends each text of a record in the held texts. Nothing typed contains it,
// so a word is never found across two fields.
constexpr char kEnd = '\x1F';
// How much of a long text (a claim's notes) is shown around what matched.
constexpr size_t kBefore = 24;
constexpr size_t kShown = 72;
// The text a label for an item begins with, before its code.
constexpr std::string_view kItemLabel = "VORSANDT ITEM ";
constexpr std::string_view kLocationLabel = "VORSANDT LOC ";

constexpr SearchField kItemFields[] = {
    {"ITE:SERIAL_NUMBER", "serial number"}, {"ITE:SUPPLIER", "supplier"},
    {"ITE:MANUFACTURER", "manufacturer"},   {"ITE:RECEIPT_REFERENCE", "receipt"},
    {"ITE:LOCATION", "location"},           {"ITE:POLICY_REFERENCE", "policy"}};
constexpr SearchField kClaimFields[] = {{"CLA:POLICE_CRIME_REFERENCE", "police reference"},
                                        {"CLA:CLAIM_STATUS", "status"}};
constexpr SearchField kPolicyFields[] = {{"POL:POLICY_TYPE", "type"}, {"POL:INSURER", "insurer"}};
constexpr SearchField kInsurerFields[] = {{"INS:CONTACT", "contact"}};
constexpr SearchField kCompanyFields[] = {{"COM:CONTACT_NAME", "contact"}};
constexpr SearchField kDocumentFields[] = {{"DOC:FILE", "file"}, {"DOC:KIND", "kind"}};

constexpr SearchSource kSources[] = {
    {Table::kItems, "Items", "ITE:ITEM_CODE", "ITE:ITEM", kItemFields, false, "ITE:ITEM_CODE"},
    {Table::kClaim, "Claims", "CLA:CLAIM_REFERENCE", "CLA:INSURERS_REFERENCE", kClaimFields, true,
     "CLA:ITEM_REFERENCE"},
    {Table::kPolicy, "Policies", "POL:POLICY_REFERENCE", "POL:POLICY_REFERENCE", kPolicyFields},
    {Table::kInsuranceCompany, "Insurers", "INS:REFERENCE", "INS:COMPANY", kInsurerFields},
    {Table::kCompanies, "Service companies", "COM:COMPANY_REFERENCE", "COM:COMPANY",
     kCompanyFields},
    {Table::kLocations, "Locations", "LOC:LOCATION", "LOC:LOCATION", {}},
    {Table::kDocuments, "Documents", "DOC:DOCUMENT_REFERENCE", "DOC:DESCRIPTION", kDocumentFields,
     false, "DOC:ITEM_REFERENCE"},
};

std::string_view Trimmed(std::string_view s) {
  const size_t end = s.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

// A field of the current record of its table, as text and as a number.
struct FieldText {
  files::FileRecord* table = nullptr;
  files::FieldInfo field;
  std::string picture;
  bool numeric = false;
  explicit FieldText(const char* name) {
    if (name == nullptr || !FindTableField(name, &table, &field)) {
      table = nullptr;
      return;
    }
    if (const FieldDef* def = FieldNamed(name)) {
      picture = def->picture;
      numeric = def->type != 18;
    }
  }
  double Number() const {
    return table ? views::FieldNumber(field, files::RecordBuffer(table)) : 0;
  }
  std::string Text() const {
    if (table == nullptr) return {};
    if (numeric) return format::Format(Number(), picture);
    return std::string(Trimmed(views::FieldText(field, files::RecordBuffer(table))));
  }
};

// Where in `folded` each word occurs (runs within [begin, end)).
void RunsOf(std::string_view folded, const std::vector<std::string>& words,
            std::vector<Run>* runs) {
  for (const std::string& w : words) {
    for (size_t at = folded.find(w); at != std::string_view::npos;
         at = folded.find(w, at + w.size()))
      runs->push_back({static_cast<int>(at), static_cast<int>(w.size())});
  }
  std::sort(runs->begin(), runs->end(),
            [](const Run& a, const Run& b) { return a.start < b.start; });
}

// A long text cut around its first run, the runs moved with it.
void CutAround(std::string* text, std::vector<Run>* runs) {
  if (text->size() <= kShown) return;
  size_t from = runs->empty() ? 0 : static_cast<size_t>(runs->front().start);
  from = from > kBefore ? from - kBefore : 0;
  const size_t to = std::min(text->size(), from + kShown);
  std::string cut =
      (from > 0 ? "..." : "") + text->substr(from, to - from) + (to < text->size() ? "..." : "");
  const int shift = static_cast<int>(from) - (from > 0 ? 3 : 0);
  std::vector<Run> kept;
  for (Run r : *runs) {
    r.start -= shift;
    if (r.start >= 0 && r.start + r.length <= static_cast<int>(cut.size())) kept.push_back(r);
  }
  *text = std::move(cut);
  *runs = std::move(kept);
}

std::string_view Stripped(std::string_view text) {
  text = Trimmed(text);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

// Whether `text` begins with a label's `prefix` (any case); it is taken off.
bool TakeLabel(std::string_view prefix, std::string_view* text) {
  if (text->size() <= prefix.size()) return false;
  const format::SearchFold fold;
  if (fold.Text(text->substr(0, prefix.size())) != fold.Text(prefix)) return false;
  text->remove_prefix(prefix.size());
  return true;
}

// "000123", "123" or the label's text: the code; nullopt for anything else.
std::optional<int32_t> CodeOf(std::string_view text) {
  text = Stripped(text);
  TakeLabel(kItemLabel, &text);
  if (text.empty() || text.size() > 6) return std::nullopt;
  int32_t code = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    code = code * 10 + (c - '0');
  }
  return code;
}

// The driver's count of the saves of `table`'s file, read from the file
// now; empty when the driver keeps none.
std::string SavesOf(Table table) {
  files::Errors().Push();
  std::string saves = files::Send(File(table), "CHANGES");
  const bool known = files::Errors().Code() == 0 && !saves.empty() &&
                     std::all_of(saves.begin(), saves.end(),
                                 [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
  files::Errors().Pop();
  return known ? saves : std::string();
}

}  // namespace

std::span<const SearchSource> SearchSources() { return kSources; }

bool RecordSearch::Current(const SearchSource& source) const {
  const Loaded* l = Find(source.table);
  if (l == nullptr || l->saves.empty()) return false;
  return SavesOf(source.table) == l->saves;
}

std::vector<std::string> QueryWords(std::string_view query) {
  const format::SearchFold fold;
  std::vector<std::string> words;
  size_t at = 0;
  while (at < query.size()) {
    const size_t begin = query.find_first_not_of(" \t", at);
    if (begin == std::string_view::npos) break;
    size_t end = query.find_first_of(" \t", begin);
    if (end == std::string_view::npos) end = query.size();
    std::string w = fold.Text(query.substr(begin, end - begin));
    w.erase(std::remove(w.begin(), w.end(), kEnd), w.end());
    if (!w.empty() && std::find(words.begin(), words.end(), w) == words.end()) words.push_back(w);
    at = end;
  }
  return words;
}

RecordSearch::Loaded* RecordSearch::Find(Table table) {
  for (Loaded& l : tables_) {
    if (l.source->table == table) return &l;
  }
  return nullptr;
}

const RecordSearch::Loaded* RecordSearch::Find(Table table) const {
  return const_cast<RecordSearch*>(this)->Find(table);
}

bool RecordSearch::loaded(Table table) const { return Find(table) != nullptr; }

size_t RecordSearch::records(Table table) const {
  const Loaded* l = Find(table);
  return l ? l->entries.size() : 0;
}

void RecordSearch::Drop(Table table) {
  std::erase_if(tables_, [table](const Loaded& l) { return l.source->table == table; });
}

int RecordSearch::Load(const SearchSource& source) {
  Drop(source.table);
  Loaded l;
  l.source = &source;
  // Before the reading: a save made while it reads is seen as a change.
  l.saves = SavesOf(source.table);
  const FieldText reference(source.reference), title(source.title), item(source.item_field);
  std::vector<FieldText> fields;
  for (const SearchField& f : source.fields) fields.emplace_back(f.name);
  files::FileRecord* file = File(source.table);
  files::FileRecord* instance = files::InstanceOf(file);
  const format::SearchFold fold;
  auto add = [&](std::string_view text) {
    const size_t at = l.texts.size();
    l.texts.append(text);
    std::replace(l.texts.begin() + at, l.texts.end(), kEnd, ' ');
    l.texts.push_back(kEnd);
  };
  int code = 0;
  files::SetFile(file);
  for (;;) {
    files::Next(file);
    code = files::Errors().Code();
    if (code != 0) break;
    Entry e;
    e.pointer = files::Pointer(file);
    e.item = static_cast<int32_t>(item.Number());
    e.code = reference.numeric ? static_cast<int32_t>(reference.Number()) : 0;
    e.begin = static_cast<uint32_t>(l.texts.size());
    add(reference.Text());
    add(title.Text());
    for (const FieldText& f : fields) add(f.Text());
    if (source.memo && !instance->memo_buffers.empty()) {
      const std::vector<char>& memo = instance->memo_buffers[0];
      add(Trimmed(std::string_view(memo.data(), memo.size())));
    }
    fold.Append(std::string_view(l.texts).substr(e.begin), &l.folded);
    e.end = static_cast<uint32_t>(l.texts.size());
    l.entries.push_back(e);
  }
  tables_.push_back(std::move(l));
  return code == 33 ? 0 : code;
}

std::vector<FoundGroup> RecordSearch::Find(std::string_view query, size_t limit) const {
  const std::vector<std::string> words = QueryWords(query);
  std::vector<FoundGroup> groups;
  if (words.empty()) return groups;
  for (const SearchSource& source : kSources) {
    const Loaded* table = Find(source.table);
    if (table == nullptr) continue;
    FoundGroup g;
    g.source = &source;
    Collect(*table, words, limit, &g);
    if (g.total > 0) groups.push_back(std::move(g));
  }
  return groups;
}

void RecordSearch::Collect(const Loaded& table, const std::vector<std::string>& words, size_t limit,
                           FoundGroup* out) const {
  const std::string_view folded(table.folded);
  std::vector<const Entry*> hits;
  for (const Entry& e : table.entries) {
    const std::string_view record = folded.substr(e.begin, e.end - e.begin);
    bool all = true;
    for (size_t i = 0; all && i < words.size(); ++i) all = record.find(words[i]) != record.npos;
    if (all) hits.push_back(&e);
  }
  out->total = hits.size();
  // By title, then reference, as the user reads a list; only the first
  // `limit` are described.
  auto title_of = [&](const Entry* e) {
    std::string_view r = std::string_view(table.folded).substr(e->begin, e->end - e->begin);
    const size_t first_end = r.find(kEnd);
    r.remove_prefix(first_end + 1);
    return r.substr(0, r.find(kEnd));
  };
  const size_t shown = std::min(limit, hits.size());
  std::partial_sort(hits.begin(), hits.begin() + shown, hits.end(),
                    [&](const Entry* a, const Entry* b) {
                      const auto ta = title_of(a), tb = title_of(b);
                      return ta != tb ? ta < tb : a->begin < b->begin;
                    });
  for (size_t i = 0; i < shown; ++i) out->records.push_back(Describe(table, *hits[i], words));
}

FoundRecord RecordSearch::Describe(const Loaded& table, const Entry& e,
                                   const std::vector<std::string>& words) const {
  // The record's texts in their order: reference, title, fields, memo.
  std::vector<std::string_view> texts, folded;
  for (uint32_t at = e.begin; at < e.end;) {
    const size_t end = table.texts.find(kEnd, at);
    texts.push_back(std::string_view(table.texts).substr(at, end - at));
    folded.push_back(std::string_view(table.folded).substr(at, end - at));
    at = static_cast<uint32_t>(end + 1);
  }
  FoundRecord r;
  r.pointer = e.pointer;
  r.item = e.item;
  r.reference = std::string(texts[0]);
  r.title = std::string(texts[1]);
  RunsOf(folded[0], words, &r.reference_runs);
  RunsOf(folded[1], words, &r.title_runs);
  const SearchSource& s = *table.source;
  for (size_t i = 2; i < texts.size(); ++i) {
    std::vector<Run> runs;
    RunsOf(folded[i], words, &runs);
    if (runs.empty()) continue;
    // Only a field that says something the title does not.
    if (texts[i] == texts[1]) continue;
    const bool memo = i - 2 >= s.fields.size();
    const std::string label = memo ? "notes" : s.fields[i - 2].label;
    std::string text(texts[i]);
    CutAround(&text, &runs);
    const int shift = static_cast<int>(label.size() + 2);
    r.found_in = label + ": " + text;
    for (Run run : runs) r.found_in_runs.push_back({run.start + shift, run.length});
    break;
  }
  return r;
}

std::optional<int64_t> RecordSearch::LocationLabelled(std::string_view text) const {
  text = Stripped(text);
  const Loaded* locations = Find(Table::kLocations);
  if (!TakeLabel(kLocationLabel, &text) || locations == nullptr) return std::nullopt;
  const std::string wanted = format::SearchFold().Text(Stripped(text)) + kEnd;
  for (const Entry& e : locations->entries) {
    // The name is the record's first text.
    if (std::string_view(locations->folded).substr(e.begin).starts_with(wanted)) return e.pointer;
  }
  return std::nullopt;
}

std::optional<int64_t> RecordSearch::ItemCoded(std::string_view text) const {
  const std::optional<int32_t> code = CodeOf(text);
  const Loaded* items = Find(Table::kItems);
  if (!code || *code == 0 || items == nullptr) return std::nullopt;
  // Item codes are 16-bit: the codes above 32767 are held as negative
  // numbers, and a label shows them as the user typed them.
  if (*code > 65535) return std::nullopt;
  const auto wanted = static_cast<int16_t>(static_cast<uint16_t>(*code));
  for (const Entry& e : items->entries) {
    if (static_cast<int16_t>(e.code) == wanted) return e.pointer;
  }
  return std::nullopt;
}

}  // namespace vorsandt::app
