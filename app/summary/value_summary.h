// Where the value of the inventory sits, without a window: the total value
// and number of the items, their value by location, by policy against the
// policy's total cover, and by the year they were bought; and the charts of
// those figures as the summary window and its printed page show them.
//
// Worked out from ITEMS, POLICY and LOCATIONS, only read. Money is summed in
// whole cents, so every figure is exact and the groups of each chart add up
// to the total. Items match a location or a policy as the tables' keys
// compare names: without regard to case or trailing blanks.
//   - Locations: every location on file (an empty one too) and every other
//     name an item gives; items naming none form "(no location)". Most
//     valuable first, then by name.
//   - Policies: every policy on file in reference order, each with its
//     total cover (0: none stated, drawn without a mark); then a policy
//     items name that is not on file ("REF (not on file)"), then the items
//     that name none ("(no policy)"), both without cover.
//   - Years: every year from the earliest purchase to the latest, a year
//     without purchases at 0; then "no date" for items without one.
#ifndef VORSANDT_APP_SUMMARY_VALUE_SUMMARY_H_
#define VORSANDT_APP_SUMMARY_VALUE_SUMMARY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "ui/engine/chart.h"

namespace vorsandt::app {

struct SummaryItem {
  std::string location;
  std::string policy;
  int64_t cents = 0;
  int32_t bought = 0;  // day number; 0: no date
};

struct SummaryPolicy {
  std::string reference;
  int64_t cover_cents = 0;
};

// One bar's figures.
struct ValueGroup {
  // What the group is: a location's name or a policy's reference as the
  // records give it (blank for the items naming none), or a year.
  std::string name;
  std::string label;  // as the chart shows it
  int64_t cents = 0;
  int32_t count = 0;
  // Policies on file: their total cover (0: not stated); -1 for the rest.
  int64_t cover_cents = -1;
  bool on_file = false;  // a record of the table names it
};

struct ValueSummary {
  int64_t total_cents = 0;
  int32_t count = 0;
  std::vector<ValueGroup> locations;
  std::vector<ValueGroup> policies;
  std::vector<ValueGroup> years;
};

ValueSummary Summarize(const std::vector<std::string>& locations,
                       const std::vector<SummaryPolicy>& policies,
                       const std::vector<SummaryItem>& items);

// Reads the three tables, which must be open on the calling thread. False,
// with `error` naming the table, when one cannot be read.
bool ReadValueSummary(ValueSummary* summary, std::string* error);
// The same for a run without windows: the tables are opened for reading
// only (a missing one has no records) and closed again.
bool ReadValueSummaryForReading(ValueSummary* summary, std::string* error);

// Money as the charts and the lines show it ("12,345.67").
std::string MoneyText(int64_t cents);

// The charts, in the order the window and the page show them.
ui::Chart LocationChart(const ValueSummary& summary);
ui::Chart PolicyChart(const ValueSummary& summary);
ui::Chart YearChart(const ValueSummary& summary);

// The lines above the charts: the total value and number of the items, and
// how much of it no policy on file covers.
std::vector<std::string> SummaryLines(const ValueSummary& summary);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_SUMMARY_VALUE_SUMMARY_H_
