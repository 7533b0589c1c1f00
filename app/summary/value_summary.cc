#include "app/summary/value_summary.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <map>

#include "app/dictionary/dictionary.h"
#include "app/messages/record_reading.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "runtime/format/characters.h"
#include "runtime/format/dates.h"
#include "runtime/format/format.h"

namespace vorsandt::app {
namespace {

constexpr Table kTables[] = {Table::kLocations, Table::kPolicy, Table::kItems};

// Names compare as the keys do: without case or trailing blanks.
std::string MatchKey(std::string_view name) { return format::ToUpperText(TrimRight(name)); }

std::string Trimmed(const char* name) {
  return std::string(TrimRight(files::ReadText(BufferField(name)).value_or("")));
}
double Number(const char* name) { return files::ReadNumber(BufferField(name)).value_or(0); }
int64_t Cents(const char* name) { return std::llround(Number(name) * 100); }

// Groups by name in the order first met, the name kept as first written.
class Groups {
 public:
  ValueGroup& Of(const std::string& name) {
    auto [it, fresh] = index_.try_emplace(MatchKey(name), groups_.size());
    if (fresh) {
      groups_.emplace_back();
      groups_.back().name = std::string(TrimRight(name));
    }
    return groups_[it->second];
  }
  std::vector<ValueGroup> Take() { return std::move(groups_); }

 private:
  std::map<std::string, size_t> index_;
  std::vector<ValueGroup> groups_;
};

void Add(ValueGroup& group, const SummaryItem& item) {
  group.cents += item.cents;
  ++group.count;
}

std::vector<ValueGroup> ByLocation(const std::vector<std::string>& locations,
                                   const std::vector<SummaryItem>& items) {
  Groups groups;
  for (const std::string& name : locations) groups.Of(name).on_file = true;
  for (const SummaryItem& item : items) Add(groups.Of(item.location), item);
  std::vector<ValueGroup> out = groups.Take();
  for (ValueGroup& g : out) g.label = g.name.empty() ? "(no location)" : g.name;
  std::stable_sort(out.begin(), out.end(), [](const ValueGroup& a, const ValueGroup& b) {
    if (a.cents != b.cents) return a.cents > b.cents;
    return MatchKey(a.label) < MatchKey(b.label);
  });
  return out;
}

std::vector<ValueGroup> ByPolicy(const std::vector<SummaryPolicy>& policies,
                                 const std::vector<SummaryItem>& items) {
  Groups groups;
  for (const SummaryPolicy& p : policies) {
    ValueGroup& g = groups.Of(p.reference);
    g.on_file = true;
    g.cover_cents = p.cover_cents;
  }
  Groups blank;  // the items naming no policy come last
  for (const SummaryItem& item : items) {
    Add(TrimRight(item.policy).empty() ? blank.Of("") : groups.Of(item.policy), item);
  }
  std::vector<ValueGroup> out = groups.Take();
  for (ValueGroup& g : blank.Take()) out.push_back(std::move(g));
  for (ValueGroup& g : out) {
    g.label = g.name.empty() ? "(no policy)" : g.on_file ? g.name : g.name + " (not on file)";
  }
  // Policies on file keep their reference order; the rest follow them.
  std::stable_partition(out.begin(), out.end(), [](const ValueGroup& g) { return g.on_file; });
  return out;
}

std::vector<ValueGroup> ByYear(const std::vector<SummaryItem>& items) {
  std::map<int32_t, ValueGroup> years;
  ValueGroup undated;
  undated.label = "no date";
  for (const SummaryItem& item : items) {
    Add(item.bought > 0 ? years[format::YearOf(item.bought)] : undated, item);
  }
  std::vector<ValueGroup> out;
  if (!years.empty()) {
    for (int32_t y = years.begin()->first; y <= years.rbegin()->first; ++y) {
      ValueGroup g = years.contains(y) ? years[y] : ValueGroup{};
      g.name = g.label = std::to_string(y);
      out.push_back(std::move(g));
    }
  }
  if (undated.count > 0) out.push_back(std::move(undated));
  return out;
}

ui::ChartBar Bar(const ValueGroup& g) {
  ui::ChartBar bar;
  bar.label = g.label;
  bar.value = static_cast<double>(g.cents) / 100.0;
  bar.value_text = MoneyText(g.cents);
  return bar;
}

// The records of the tables `present` (the others have none), summed.
bool ReadTables(const std::vector<Table>& present, ValueSummary* summary, std::string* error) {
  std::vector<std::string> locations;
  std::vector<SummaryPolicy> policies;
  std::vector<SummaryItem> items;
  auto read = [&](Table t, const char* key, const std::function<void()>& take) {
    return std::find(present.begin(), present.end(), t) == present.end() ||
           ReadEachRecord(t, key, take, error);
  };
  const bool ok =
      read(Table::kLocations, "LOC:LOC", [&] { locations.push_back(Trimmed("LOC:LOCATION")); }) &&
      read(Table::kPolicy, "POL:REFERENCE",
           [&] {
             policies.push_back({Trimmed("POL:POLICY_REFERENCE"), Cents("POL:TOTAL_COVER")});
           }) &&
      read(Table::kItems, "ITE:CODE", [&] {
        items.push_back({Trimmed("ITE:LOCATION"), Trimmed("ITE:POLICY_REFERENCE"),
                         Cents("ITE:PRICE_PAID"), static_cast<int32_t>(Number("ITE:DATE_BOUGHT"))});
      });
  if (ok) *summary = Summarize(locations, policies, items);
  return ok;
}

}  // namespace

ValueSummary Summarize(const std::vector<std::string>& locations,
                       const std::vector<SummaryPolicy>& policies,
                       const std::vector<SummaryItem>& items) {
  ValueSummary s;
  for (const SummaryItem& item : items) s.total_cents += item.cents;
  s.count = static_cast<int32_t>(items.size());
  s.locations = ByLocation(locations, items);
  s.policies = ByPolicy(policies, items);
  s.years = ByYear(items);
  return s;
}

bool ReadValueSummary(ValueSummary* summary, std::string* error) {
  return ReadTables({std::begin(kTables), std::end(kTables)}, summary, error);
}

bool ReadValueSummaryForReading(ValueSummary* summary, std::string* error) {
  std::vector<Table> opened;
  bool ok = true;
  for (Table t : kTables) {
    const ReadOpening opening = OpenTableForReading(t, error);
    ok = opening != ReadOpening::kFailed;
    if (!ok) break;
    if (opening == ReadOpening::kOpened) opened.push_back(t);
  }
  if (ok) ok = ReadTables(opened, summary, error);
  for (Table t : opened) CloseTable(t);
  return ok;
}

std::string MoneyText(int64_t cents) {
  std::string text = format::Format(static_cast<double>(cents) / 100.0, "@n-15.2");
  text.erase(0, text.find_first_not_of(' '));
  return text;
}

ui::Chart LocationChart(const ValueSummary& summary) {
  ui::Chart chart;
  chart.title = "Value by location";
  chart.clickable = true;
  for (const ValueGroup& g : summary.locations) chart.bars.push_back(Bar(g));
  return chart;
}

ui::Chart PolicyChart(const ValueSummary& summary) {
  ui::Chart chart;
  chart.title = "Value against total cover by policy";
  chart.clickable = true;
  chart.over_mark_name = "Shortfall";
  chart.mark_name = "Total cover";
  for (const ValueGroup& g : summary.policies) {
    ui::ChartBar bar = Bar(g);
    if (g.cover_cents > 0) {
      bar.mark = static_cast<double>(g.cover_cents) / 100.0;
      bar.mark_text = MoneyText(g.cover_cents);
    }
    chart.bars.push_back(std::move(bar));
  }
  return chart;
}

ui::Chart YearChart(const ValueSummary& summary) {
  ui::Chart chart;
  chart.title = "Value bought by year";
  chart.vertical = true;
  for (const ValueGroup& g : summary.years) chart.bars.push_back(Bar(g));
  return chart;
}

std::vector<std::string> SummaryLines(const ValueSummary& summary) {
  int64_t uninsured = 0, over = 0;
  int32_t uninsured_count = 0;
  for (const ValueGroup& g : summary.policies) {
    if (!g.on_file) {
      uninsured += g.cents;
      uninsured_count += g.count;
    } else if (g.cover_cents > 0 && g.cents > g.cover_cents) {
      over += g.cents - g.cover_cents;
    }
  }
  auto items = [](int32_t n) { return std::to_string(n) + (n == 1 ? " item" : " items"); };
  return {"Total value " + MoneyText(summary.total_cents) + " in " + items(summary.count),
          "Not on a policy on file: " + MoneyText(uninsured) + " in " + items(uninsured_count) +
              "; above the policies' total cover: " + MoneyText(over)};
}

}  // namespace vorsandt::app
