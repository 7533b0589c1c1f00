// The coverage check: are the things in the inventory insured, and enough?
//
// Worked out from ITEMS, POLICY and INSURANCE_COMPANY (read only) into the
// rows of the COVERAGECHECK report:
//   - per policy, in reference order: the insurer (by its code, else the
//     name the policy holds), start and expiry with "EXPIRED" (expiry before
//     today) or "expires in N days" (up to 30 days ahead; "expires today",
//     "expires in 1 day"), "no expiry date" when none is given; the number
//     and value of the items naming it against its total cover, with the
//     shortfall when they are worth more; then every item priced above its
//     single-item limit;
//   - the items that name no policy, or one that does not exist, with their
//     total value;
//   - the items without a photograph or without a copy of the receipt sent
//     to the insurer, since a claim stalls on those; a RECEIPT kept among
//     the item's documents (DOCUMENTS, read when there is one) counts as
//     the copy;
//   - the items not seen for over a year in an inventory check (CHECKS,
//     read when there is one), never seen first; a data folder where no
//     check was ever made says so in one line instead of listing them all.
// A limit or cover of zero is "not stated", never a shortfall. Items match
// a policy as the tables' keys compare references: without regard to case
// or trailing blanks. Money is summed in whole cents so totals are exact.
#ifndef VORSANDT_APP_REPORT_COVERAGE_CHECK_H_
#define VORSANDT_APP_REPORT_COVERAGE_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/report/report_procedure.h"

namespace vorsandt::app {

// The report's variables, in the order of ReportRow::values.
enum CoverageVar : int {
  kCovPolicy,     // COV:POLICY
  kCovInsurer,    // COV:INSURER
  kCovStart,      // COV:START
  kCovExpires,    // COV:EXPIRES
  kCovStatus,     // COV:STATUS: "EXPIRED", "expires in N days" or empty
  kCovCount,      // COV:COUNT
  kCovValue,      // COV:VALUE
  kCovCover,      // COV:COVER: the amount or "not stated"
  kCovShortfall,  // COV:SHORTFALL: the amount, "none" or "not stated"
  kCovLimit,      // COV:LIMIT: the amount or "not stated"
  kCovItemCode,   // COV:ITEM_CODE
  kCovItem,       // COV:ITEM
  kCovPrice,      // COV:PRICE
  kCovNote,       // COV:NOTE: why the item is listed
  kCovHeading,    // COV:HEADING
  kCovVarCount
};

// The detail bands of COVERAGECHECK$REPORT.
enum CoverageBand : int {
  kCovPolicyBand = 1,  // a policy, its dates and figures
  kCovOverLimitBand,   // an item above its policy's single-item limit
  kCovHeadingBand,     // a section's heading
  kCovItemBand,        // an item listed in a section
  kCovTotalBand,       // a section's closing figure
};

struct CoverageItem {
  int32_t code = 0;
  std::string description;
  std::string policy;
  int64_t cents = 0;
  bool photographed = false;
  bool receipt_copy = false;
  int32_t last_seen = 0;  // the newest inventory check's day; 0: never
};

struct CoveragePolicy {
  std::string reference;
  std::string insurer;
  int32_t start = 0;  // day numbers; 0: no date
  int32_t expires = 0;
  int64_t limit_cents = 0;
  int64_t cover_cents = 0;
};

// The rows for `policies` (in the order given) and `items`, dates judged
// against the day number `today`.
// `checked` says whether any inventory check was ever made.
std::vector<ReportRow> CoverageRows(const std::vector<CoveragePolicy>& policies,
                                    const std::vector<CoverageItem>& items, int32_t today,
                                    bool checked = true);

// The hook of the "coverage" report: reads the three tables.
extern const ReportHook kCoverageHook;

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_REPORT_COVERAGE_CHECK_H_
