// Reports: a report definition laid out into pages, band by band.
//
// A procedure creates the report from its definition (found exactly as a
// window is), binds the variables its controls show, opens it, prints a
// detail band once per record, ends the last page and closes it. The engine
// does the rest:
//
//   - The report's own position and size is the detail area of each page.
//     Detail bands, and the group headers and footers around them, follow one
//     another down the detail area; a band that does not fit below the
//     previous one starts a new page (a band taller than the whole area is
//     placed at the top of a fresh page and runs over its end). A band fits
//     when its height ends within the detail area and everything it draws
//     (further down where its controls reach below its height) ends above
//     the top of the page footer band, when that band begins below the
//     area's top: nothing printed in the flow lands on the page footer,
//     even where a definition lets the detail area run into it.
//   - Continuation: a page that begins while groups are open (a break inside
//     a location, or a policy footer that did not fit any more) first
//     repeats the header of each open group, outermost first, with the
//     values of the last detail band printed and the remark "(continued)"
//     after the text that shows the group's break variable. When those
//     headers and the band that starts the page would not fit on one page
//     together, the headers are left out.
//   - Every page gets the form band (drawn first, under everything), the
//     page header band and the page footer band at their own positions.
//   - Group breaks: when a detail band is printed, the value of each enclosing
//     break variable (outermost first) is compared with the group that is
//     open; from the first level whose value changed, the open groups' footers
//     are printed (innermost first), then the new groups' headers (outermost
//     first). Ending the report prints the footers of the groups still open.
//     New group headers are kept with the band they introduce: when they and
//     the band do not fit on the page any more, they start the next page.
//   - Footers (group and page) show the values of the last detail band that
//     was printed, not those of the record that caused the break.
//   - A variable string whose variable is named PAGE:NUMBER shows the number
//     of the page it is on, unless the procedure bound a variable of that name.
//   - Totals: a variable string marked "total: sum" shows the sum of its
//     variable over detail bands, "total: count" how many were printed. In a
//     group header or footer the total covers the detail bands inside that
//     group since it began; in the page header, footer or form band those on
//     the page; in a detail band those since the report was opened (a running
//     total, the band's own record included).
//
// Band numbers. The group breaks and the detail bands of a report are
// numbered 1, 2, ... in the order of the definition (depth first); Print takes
// the number of a detail band. A report with one group break around its
// detail band thus prints band 2. The page header, page footer, form, group
// header and group footer bands are printed by the engine itself.
//
// Unset positions of bands: the detail area defaults to the page less one
// inch on each side and less the page header and footer; the page header sits
// one inch from the top, the page footer right below the detail area, both
// as wide as the detail area; the form band covers the page. A flow band's x,
// when given, is an offset from the detail area's left edge; its y is not
// used (flow bands follow each other). Controls inside bands: report_layout.h.
//
// Pages and the preview queue (property 0x7C53). A finished page is recorded
// as a placeable metafile (page_metafile.h) and written as a page image in
// the temporary directory (report_images.h); the platform is told of it
// (Platform::PageFinished). While a preview queue is set, each page image's
// name is appended to it, so that entry n names page n; without one, the
// report's pages are printed when the report ends. Setting the flush-preview
// property (0x7C54) to 1 prints exactly the page images named in the queue.
// Closing the report removes every page image it rendered.
//
// Errors. A definition that is missing, not a report, or has no detail band:
// runtime error 529 "Unable to open WINDOW" (TryCreate answers null instead).
// Opening an open report: 525. Printing a band while the report is not open,
// or a number that is not one of its detail bands: 538. Ending the page of a
// report that is not open: 539. A page image that cannot be written: 524.
// Runtime errors show their box and end the program. A print request the
// platform cannot carry out posts 524 into the error state and returns.
//
// All methods are called by the owning procedure's thread while it holds the
// run permission.
#ifndef VORSANDT_REPORT_REPORT_H_
#define VORSANDT_REPORT_REPORT_H_

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/report_layout.h"
#include "ui/engine/definition.h"
#include "ui/engine/platform.h"
#include "ui/engine/report_page.h"
#include "ui/engine/use_variable.h"

namespace vorsandt::ui {

class Engine;
class Platform;

inline constexpr int kPropPreview = 0x7C53;
inline constexpr int kPropFlushPreview = 0x7C54;

// Runtime errors of reports that the error-code table names but its header
// does not (yet) give a constant.
inline constexpr int kPrintOnlyForReports = 538;
inline constexpr int kEndPageOnlyForReports = 539;
inline constexpr int kPrinterDeviceError = 524;

// The variable name that shows the page number.
inline constexpr std::string_view kPageNumberVariable = "PAGE:NUMBER";
// The remark after a group header repeated on a continuation page.
inline constexpr std::string_view kContinuedRemark = "(continued)";

// The preview queue: entry n names the page image of page n.
using PreviewQueue = std::vector<std::string>;

class Report {
 public:
  enum class State { kCreated, kOpen, kClosed };

  // The paper the pages are laid out on (US letter), thousandths of an inch.
  static constexpr int32_t kPaperWidth = 8500;
  static constexpr int32_t kPaperHeight = 11000;
  static constexpr int32_t kMargin = 1000;

  // Creates the report labelled `label` from the definition named by
  // `window_id`. See the errors above.
  static std::unique_ptr<Report> Create(Engine& engine, std::string_view window_id,
                                        std::string_view label);
  static std::unique_ptr<Report> TryCreate(Engine& engine, std::string_view window_id,
                                           std::string_view label);
  // For platforms and tests that have the definition at hand; null when
  // `structure` is not a report with a detail band.
  static std::unique_ptr<Report> FromDefinition(Platform& platform, const Node& structure);

  ~Report();  // closes the report
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  const std::string& label() const { return label_; }
  State state() const { return state_; }

  // Binds `variable` to every control and break that uses `name`; returns
  // how many use it.
  int Bind(std::string_view name, std::unique_ptr<UseVariable> variable);

  void Open();
  // Prints detail band `band` for the current values of its variables.
  void Print(int band);
  // Finishes the last page (and the groups still open).
  void EndPage();
  // Removes the page images; the report can be opened again.
  void Close();

  // Property 0x7C53: the queue finished pages are listed in (null: none).
  // The queue must outlive the report or be unset first.
  void SetPreview(PreviewQueue* queue) { preview_ = queue; }
  PreviewQueue* preview() const { return preview_; }
  // Property 0x7C54: 1 prints the page images named in the preview queue.
  // Other properties are kept and given back unchanged.
  void SetProperty(int property, int64_t value);
  int64_t GetNumber(int property) const;
  // How the last print job (flushed or at the end) went: where it went when
  // the printer prints to a file.
  const PrintResult& LastPrint() const { return last_print_; }

  // The numbers Print accepts, in order.
  std::vector<int> DetailBands() const;
  // Pages finished since the report was opened.
  int PagesFinished() const { return pages_finished_; }
  // The detail area of every page (resolved).
  Rect DetailArea() const { return area_; }

 private:
  struct Detail {
    const Node* band = nullptr;
    std::vector<const Node*> breaks;  // enclosing group breaks, outermost first
  };
  struct Group {
    const Node* brk = nullptr;
    std::string value;
  };
  struct Total {
    enum class Scope { kGroup, kPage, kReport };
    const Node* control = nullptr;
    Scope scope = Scope::kReport;
    const Node* brk = nullptr;  // kGroup: the group break it belongs to
    bool count = false;         // counts bands instead of summing the variable
    double value = 0;
  };

  Report(Platform* platform, const Node* structure);
  void Collect(const Node& node, std::vector<const Node*>& breaks, int& number);

  std::optional<BandValue> CurrentValue(const Node& control) const;
  BandValues Current() const;
  BandValues Last() const;
  void CollectTotals(const Node& node, const Node* brk);
  std::optional<BandValue> TotalOf(const Node& control) const;
  void Accumulate(const Detail& detail, bool page_scope);
  void ResetTotals(Total::Scope scope, const Node* brk);
  std::string BreakValue(const Node& brk) const;
  void CloseGroups(size_t keep);
  void Flow(const Node& band, const BandValues& values);
  void StartPage();
  void ContinueGroups(int64_t next);
  // Whether a band `height` high that draws down to `reach` fits below the
  // cursor; how much a page holds.
  bool Fits(int64_t height, int64_t reach) const;
  int32_t Capacity() const {
    return std::max(0, Clamp(int64_t{std::min(bottom_, footer_top_)} - area_.y));
  }
  static int32_t Clamp(int64_t v);
  void FinishPage();
  void PrintUnqueued();
  void PrintJob(const std::vector<std::string>& pages);

  Platform* platform_;
  const Node* structure_;
  std::string label_;
  State state_ = State::kCreated;
  PageFont font_;

  const Node* page_header_ = nullptr;
  const Node* page_footer_ = nullptr;
  const Node* form_ = nullptr;
  std::map<int, Detail> details_;
  Rect area_;
  int32_t bottom_ = 0;  // the detail area's bottom
  // The top of a page footer that begins below the area's top (else the
  // largest value): what the flow draws ends above it.
  int32_t footer_top_ = INT32_MAX;
  Rect header_at_;
  Rect footer_at_;

  std::map<std::string, UseVariable*, std::less<>> variables_;
  std::vector<std::unique_ptr<UseVariable>> owned_;
  std::map<std::string, BandValue, std::less<>> last_values_;

  std::optional<Page> page_;
  int page_number_ = 0;
  int32_t cursor_ = 0;
  bool page_has_flow_ = false;
  int pages_finished_ = 0;
  std::vector<Group> groups_;
  std::vector<Total> totals_;

  PreviewQueue* preview_ = nullptr;
  std::vector<std::string> rendered_;  // every page image this report wrote
  std::vector<std::string> unqueued_;  // finished with no preview queue set
  std::map<int, int64_t> other_;
  PrintResult last_print_;
};

}  // namespace vorsandt::ui

#endif  // VORSANDT_REPORT_REPORT_H_
