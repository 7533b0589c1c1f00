#include "app/report/coverage_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string_view>

#include "app/dictionary/dictionary.h"
#include "app/inventory/inventory_check.h"
#include "app/messages/record_reading.h"
#include "app/messages/table_opening.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/operations.h"
#include "runtime/format/dates.h"
#include "runtime/format/format.h"

namespace vorsandt::app {
namespace {

// Expiry this many days ahead or nearer is pointed out.
constexpr int32_t kExpiryWarningDays = 30;

constexpr const char* kVariables[kCovVarCount] = {
    "COV:POLICY",    "COV:INSURER", "COV:START", "COV:EXPIRES",   "COV:STATUS",
    "COV:COUNT",     "COV:VALUE",   "COV:COVER", "COV:SHORTFALL", "COV:LIMIT",
    "COV:ITEM_CODE", "COV:ITEM",    "COV:PRICE", "COV:NOTE",      "COV:HEADING"};
constexpr Table kTables[] = {Table::kPolicy, Table::kInsuranceCompany};

constexpr char kNotStated[] = "not stated";

// References compare as the keys do: case and trailing blanks ignored.
std::string MatchKey(std::string_view reference) {
  size_t end = reference.find_last_not_of(' ');
  std::string key(reference.substr(0, end == std::string_view::npos ? 0 : end + 1));
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

// Without the picture's leading blanks: the report's font is proportional,
// so blanks would not line the figures up anyway.
std::string Money(int64_t cents) {
  std::string text = format::Format(static_cast<double>(cents) / 100.0, "@n-13.2");
  text.erase(0, text.find_first_not_of(' '));
  return text;
}
std::string Date(int32_t day) { return day == 0 ? std::string() : format::Format(day, "@D5"); }

std::string ExpiryStatus(int32_t expires, int32_t today) {
  if (expires == 0) return "no expiry date";
  const int32_t days = expires - today;
  if (days < 0) return "EXPIRED";
  if (days > kExpiryWarningDays) return "";
  if (days == 0) return "expires today";
  if (days == 1) return "expires in 1 day";
  return "expires in " + std::to_string(days) + " days";
}

ReportRow Row(CoverageBand band) {
  ReportRow row;
  row.band = band;
  row.values.resize(kCovVarCount);
  return row;
}

ReportRow ItemRow(CoverageBand band, const CoverageItem& item, std::string note) {
  ReportRow row = Row(band);
  row.values[kCovItemCode] = std::to_string(item.code);
  row.values[kCovItem] = item.description;
  row.values[kCovPolicy] = item.policy;
  row.values[kCovPrice] = Money(item.cents);
  row.values[kCovNote] = std::move(note);
  return row;
}

void PolicyRows(const CoveragePolicy& policy, const std::vector<const CoverageItem*>& covered,
                int32_t today, std::vector<ReportRow>* rows) {
  int64_t value = 0;
  for (const CoverageItem* item : covered) value += item->cents;
  ReportRow head = Row(kCovPolicyBand);
  head.values[kCovPolicy] = policy.reference;
  head.values[kCovInsurer] = policy.insurer;
  head.values[kCovStart] = Date(policy.start);
  head.values[kCovExpires] = Date(policy.expires);
  head.values[kCovStatus] = ExpiryStatus(policy.expires, today);
  head.values[kCovCount] = std::to_string(covered.size());
  head.values[kCovValue] = Money(value);
  head.values[kCovCover] = policy.cover_cents > 0 ? Money(policy.cover_cents) : kNotStated;
  head.values[kCovShortfall] = policy.cover_cents <= 0      ? kNotStated
                               : value > policy.cover_cents ? Money(value - policy.cover_cents)
                                                            : "none";
  head.values[kCovLimit] = policy.limit_cents > 0 ? Money(policy.limit_cents) : kNotStated;
  rows->push_back(std::move(head));
  if (policy.limit_cents <= 0) return;
  for (const CoverageItem* item : covered) {
    if (item->cents > policy.limit_cents) {
      rows->push_back(ItemRow(kCovOverLimitBand, *item, "above the single-item limit"));
    }
  }
}

ReportRow Heading(const char* text) {
  ReportRow row = Row(kCovHeadingBand);
  row.values[kCovHeading] = text;
  return row;
}

ReportRow Total(std::string label, std::string value) {
  ReportRow row = Row(kCovTotalBand);
  row.values[kCovHeading] = std::move(label);
  row.values[kCovValue] = std::move(value);
  return row;
}

// Insurers ask how recent the inventory is: the items nobody has seen for
// over a year, those never seen first, then the longest unseen.
void UnseenRows(const std::vector<CoverageItem>& items, int32_t today, bool checked,
                std::vector<ReportRow>* rows) {
  rows->push_back(Heading("ITEMS NOT SEEN FOR OVER A YEAR"));
  if (!checked) {
    rows->push_back(
        Total("No inventory check has been made yet (Browse Files > Inventory Check).", ""));
    return;
  }
  std::vector<const CoverageItem*> unseen;
  for (const CoverageItem& item : items) {
    if (NotSeenForAYear(item.last_seen, today)) unseen.push_back(&item);
  }
  std::stable_sort(unseen.begin(), unseen.end(), [](const CoverageItem* a, const CoverageItem* b) {
    return a->last_seen < b->last_seen;
  });
  for (const CoverageItem* item : unseen) {
    rows->push_back(ItemRow(kCovItemBand, *item,
                            item->last_seen == 0
                                ? "never seen"
                                : "not seen for over a year: last seen " + Date(item->last_seen)));
  }
  rows->push_back(Total("ITEMS NOT SEEN FOR OVER A YEAR: " + std::to_string(unseen.size()), ""));
}

// Reading the tables.

std::string Text(const char* name) { return files::ReadText(BufferField(name)).value_or(""); }
double Number(const char* name) { return files::ReadNumber(BufferField(name)).value_or(0); }
int64_t Cents(const char* name) { return std::llround(Number(name) * 100); }
std::string Trimmed(const char* name) {
  std::string s = Text(name);
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}
// A check box holds its true value; blank, "0" and "N" are unchecked.
bool Checked(const char* name) {
  const std::string s = MatchKey(Text(name));
  return !s.empty() && s != "0" && s != "N" && s != "F";
}

// The items a RECEIPT document is kept for. DOCUMENTS is made on first use,
// so a data folder without it has none; it is only read, as the other tables.
bool ReceiptDocuments(std::set<int32_t>* items, std::string* error) {
  switch (OpenTableForReading(Table::kDocuments, error)) {
    case ReadOpening::kMissing:
      return true;
    case ReadOpening::kFailed:
      return false;
    case ReadOpening::kOpened:
      break;
  }
  const bool ok = ReadEachRecord(
      Table::kDocuments, "DOC:REFERENCE",
      [&] {
        if (MatchKey(Text("DOC:KIND")) == "RECEIPT")
          items->insert(static_cast<int32_t>(Number("DOC:ITEM_REFERENCE")));
      },
      error);
  CloseTable(Table::kDocuments);
  return ok;
}

bool Gather(std::vector<ReportRow>* rows, std::string* error) {
  std::set<int32_t> receipts;
  if (!ReceiptDocuments(&receipts, error)) return false;
  std::map<int32_t, int32_t> last_seen;
  if (!ReadLastSeen(&last_seen, error)) return false;
  std::map<int64_t, std::string> insurers;
  std::vector<CoveragePolicy> policies;
  std::vector<CoverageItem> items;
  const bool ok =
      ReadEachRecord(
          Table::kInsuranceCompany, "INS:REF",
          [&] { insurers[static_cast<int64_t>(Number("INS:REFERENCE"))] = Trimmed("INS:COMPANY"); },
          error) &&
      ReadEachRecord(
          Table::kPolicy, "POL:REFERENCE",
          [&] {
            CoveragePolicy p;
            p.reference = Trimmed("POL:POLICY_REFERENCE");
            auto found = insurers.find(static_cast<int64_t>(Number("POL:INSURER_CODE")));
            p.insurer = found != insurers.end() ? found->second : Trimmed("POL:INSURER");
            p.start = static_cast<int32_t>(Number("POL:START_INSURANCE"));
            p.expires = static_cast<int32_t>(Number("POL:POLICY_EXPIRES"));
            p.limit_cents = Cents("POL:SINGLE_ITEM_LIMIT");
            p.cover_cents = Cents("POL:TOTAL_COVER");
            policies.push_back(std::move(p));
          },
          error) &&
      ReadEachRecord(
          Table::kItems, "ITE:CODE",
          [&] {
            CoverageItem item;
            item.code = static_cast<int32_t>(Number("ITE:ITEM_CODE"));
            item.description = Trimmed("ITE:ITEM");
            item.policy = Trimmed("ITE:POLICY_REFERENCE");
            item.cents = Cents("ITE:PRICE_PAID");
            item.photographed = Checked("ITE:PHOTOGRAPHED");
            // A receipt kept among the item's documents serves as well as
            // the box saying a copy was sent.
            item.receipt_copy = Checked("ITE:COPY_OF_RECIEPT") || receipts.contains(item.code);
            auto seen = last_seen.find(item.code);
            if (seen != last_seen.end()) item.last_seen = seen->second;
            items.push_back(std::move(item));
          },
          error);
  if (!ok) return false;
  *rows = CoverageRows(policies, items, format::Today(), !last_seen.empty());
  return true;
}

}  // namespace

const ReportHook kCoverageHook{kVariables, kTables, &Gather};

std::vector<ReportRow> CoverageRows(const std::vector<CoveragePolicy>& policies,
                                    const std::vector<CoverageItem>& items, int32_t today,
                                    bool checked) {
  std::vector<ReportRow> rows;
  if (policies.empty() && items.empty()) return rows;
  // Policy references are unique by the primary key, so each item has at
  // most one policy.
  std::map<std::string, std::vector<const CoverageItem*>> covered;
  for (const CoveragePolicy& p : policies) covered.try_emplace(MatchKey(p.reference));
  std::vector<const CoverageItem*> uninsured;
  for (const CoverageItem& item : items) {
    auto it = covered.find(MatchKey(item.policy));
    if (item.policy.empty() || it == covered.end()) {
      uninsured.push_back(&item);
    } else {
      it->second.push_back(&item);
    }
  }
  for (const CoveragePolicy& p : policies)
    PolicyRows(p, covered[MatchKey(p.reference)], today, &rows);

  rows.push_back(Heading("ITEMS NOT INSURED (NO POLICY, OR ONE THAT DOES NOT EXIST)"));
  int64_t uninsured_cents = 0;
  for (const CoverageItem* item : uninsured) {
    uninsured_cents += item->cents;
    rows.push_back(
        ItemRow(kCovItemBand, *item, item->policy.empty() ? "no policy" : "no such policy"));
  }
  rows.push_back(Total("UNINSURED ITEMS: " + std::to_string(uninsured.size()) + "   VALUE:",
                       Money(uninsured_cents)));

  rows.push_back(
      Heading("ITEMS WITHOUT A PHOTOGRAPH OR A COPY OF THE RECEIPT SENT TO THE INSURER"));
  int missing = 0;
  for (const CoverageItem& item : items) {
    if (item.photographed && item.receipt_copy) continue;
    std::string note = !item.photographed && !item.receipt_copy ? "no photograph, no receipt copy"
                       : !item.photographed                     ? "no photograph"
                                                                : "no receipt copy";
    rows.push_back(ItemRow(kCovItemBand, item, std::move(note)));
    ++missing;
  }
  rows.push_back(Total("ITEMS A CLAIM WOULD STALL ON: " + std::to_string(missing), ""));
  UnseenRows(items, today, checked, &rows);
  return rows;
}

}  // namespace vorsandt::app
