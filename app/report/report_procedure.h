// The report pattern: one report printed over a view while a progress window
// shows how far it has got, then previewed and, on request, printed.
//
// The procedure counts the primary table's records once, opens the progress
// window (caption "Generating Report", "0% Completed"), turns QUICKSCAN on for
// the whole run and reads the view from its start key. The first record
// decides: an empty view closes the window at once and nothing is previewed;
// otherwise the report is opened with its pages listed in a preview queue.
// Each timer event prints the detail band of up to 25 records, so the window
// stays responsive; the percentage (records read against the primary table's
// count, clipped at 100, since the view can yield one row per joined child)
// is redrawn only when its whole number changes. Cancel ends the run without
// a preview. A read error other than "Record Not Available" is message 35
// naming the instance's table, and the report ends there as at its end. At
// the end the last page is finished, ReportPreview shows the queue, and only
// its Print prints the pages; closing the report removes them. When no
// printer is ready (none chosen or installed, or the last job failed) Print
// first offers the printer setup (a printer or a PDF file); a job that fails
// is the printer error in a box; a job written to a file says where, with
// its page count, in the frame's status bar.
#ifndef VORSANDT_APP_REPORT_REPORT_PROCEDURE_H_
#define VORSANDT_APP_REPORT_REPORT_PROCEDURE_H_

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"

namespace vorsandt::app {

// One joined level of a report's view: the children of the level above
// through the dictionary's link whose child key is `link` ("ITE:LOC").
struct ReportLevel {
  const char* link;
};

// One printed row of a report whose rows are worked out rather than read:
// the detail band to print and the text of each of the hook's variables.
struct ReportRow {
  int band = 0;
  std::vector<std::string> values;
};

// A report's figures worked out from its tables before anything is printed
// (a view yields one row per record and cannot sum across tables). The run
// opens `tables` with the primary one, binds `variables` (named as the
// definition's controls use them) to the values of the row being printed,
// and prints each row's band in turn, the percentage counting rows. `gather`
// only reads; false, with `error` naming why, when a table cannot be read
// (the error starts with that table's label, which message 35 names).
struct ReportHook {
  std::span<const char* const> variables;
  std::span<const Table> tables;
  bool (*gather)(std::vector<ReportRow>* rows, std::string* error);
};

struct ReportDef {
  const char* name;            // for the command line: "inventory"
  const char* procedure;       // "MasterInventoryPrint"
  const char* report_label;    // "MASTERINVENTORYPRINT$REPORT"
  const char* progress_label;  // "MASTERINVENTORYPRINT$PROGRESSWINDOW"
  Table primary;
  const char* start_key;                  // the primary table's key the view reads by
  std::span<const ReportLevel> children;  // each the child of the one before
  int detail_band;
  const char* read_error_name;       // the table message 35 names
  const ReportHook* hook = nullptr;  // rows worked out instead of the view's
};

// Records printed per timer event.
inline constexpr int kReportBatchSize = 25;

// The definitions' window id.
inline constexpr char kReportWindowId[] = "ZELTAR3$ZELTA060";

// Runs the report `def` on the calling procedure thread.
void RunReport(const ReportDef& def);

// The reports, and one by its command-line name (null when none).
std::span<const ReportDef> ReportDefs();
const ReportDef* ReportNamed(std::string_view name);

// The report without windows, for the command line: every row of the view
// printed, the last page ended, and the page images handed to `deliver`
// while they exist (they are removed afterwards). On the calling procedure
// thread. The tables are opened for reading only (OpenTableForReading):
// none is created or repaired, and a missing primary table (or any missing
// table beside an empty primary one) is an empty report. False, with
// `error` naming why, when a table or the view cannot be read or `deliver`
// fails; an empty view delivers no pages.
bool RenderReport(const ReportDef& def,
                  const std::function<bool(const std::vector<std::string>&)>& deliver,
                  std::string* error);

// The same for a report with a hook, printed from `rows` the caller worked
// out instead of those its hook gathers (a report about one record the
// caller holds).
bool RenderReportRows(const ReportDef& def, std::vector<ReportRow> rows,
                      const std::function<bool(const std::vector<std::string>&)>& deliver,
                      std::string* error);

// What is said once the pages are in a PDF file: "Written to FILE, N
// pages." ("1 page.").
std::string WrittenNotice(const std::string& file, size_t pages);

// The percentage shown: `read` against `total`, clipped at 100 (0 records
// in the primary table: 100 once anything was read).
int ReportPercent(int32_t read, int32_t total);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_REPORT_REPORT_PROCEDURE_H_
