#include "app/report/claim_pack.h"

#include <cctype>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/frame/main_frame.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "images/decode.h"
#include "runtime/env/env.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/operations.h"
#include "runtime/format/format.h"
#include "ui/engine/engine.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {
namespace {

// A labelled field of the pack; a label of "" continues the line above
// (address lines) and is left out when blank.
struct PackField {
  const char* label;
  const char* field;
};

constexpr PackField kClaimFields[] = {
    {"Claim reference", "CLA:CLAIM_REFERENCE"},
    {"Insurer's claim reference", "CLA:INSURERS_REFERENCE"},
    {"Date of claim", "CLA:DATE_OF_CLAIM"},
    {"Claim status", "CLA:CLAIM_STATUS"},
    {"Police crime reference", "CLA:POLICE_CRIME_REFERENCE"},
    {"Date reported to the police", "CLA:DATE_REPORTED_TO_POLICE"},
};
constexpr PackField kItemFields[] = {
    {"Item code", "ITE:ITEM_CODE"},         {"Description", "ITE:ITEM"},
    {"Serial number", "ITE:SERIAL_NUMBER"}, {"Purchase date", "ITE:DATE_BOUGHT"},
    {"Price paid", "ITE:PRICE_PAID"},       {"Receipt", "ITE:RECEIPT_REFERENCE"},
    {"Supplier", "ITE:SUPPLIER"},           {"Manufacturer", "ITE:MANUFACTURER"},
    {"Location", "ITE:LOCATION"},
};
constexpr PackField kPolicyFields[] = {
    {"Policy reference", "POL:POLICY_REFERENCE"},
    {"Kind of policy", "POL:POLICY_TYPE"},
    {"Start", "POL:START_INSURANCE"},
    {"Expires", "POL:POLICY_EXPIRES"},
    {"Excess", "POL:EXCESS"},
    {"Single item limit", "POL:SINGLE_ITEM_LIMIT"},
    {"Total cover", "POL:TOTAL_COVER"},
};
constexpr PackField kInsurerFields[] = {
    {"Insurer", "INS:COMPANY"}, {"Contact", "INS:CONTACT"},   {"Telephone", "INS:TELEPHONE"},
    {"Fax", "INS:FAX"},         {"Address", "INS:ADDRESS_1"}, {"", "INS:ADDRESS_2"},
    {"", "INS:ADDRESS_3"},      {"", "INS:ADDRESS_4"},
};

constexpr const char* kVariables[kPackVarCount] = {"CP:HEADING", "CP:LABEL", "CP:VALUE", "CP:TEXT",
                                                   "CP:PICTURE"};
constexpr Table kLookedUp[] = {Table::kItems, Table::kPolicy, Table::kInsuranceCompany};

// The rows are always given (RenderReportRows), so the hook gathers nothing;
// it names the variables and the tables the run opens.
const ReportHook kPackHook{kVariables, kLookedUp, nullptr};
const ReportDef kPackReport{
    "claimpack",     "ClaimPack", "CLAIMPACK$REPORT", "",      Table::kClaim,
    "CLA:CLAIM_REF", {},          kPackFieldBand,     "CLAIM", &kPackHook};

// Dates are shown with the century, as an insurer's forms ask.
constexpr char kDatePicture[] = "@D6";

files::FieldBytes FieldBytesOf(std::string_view name) {
  Table t;
  const FieldDef* f = FieldNamed(name);
  if (f == nullptr || !TableOfName(name, &t)) return {};
  return {f->type, files::RecordBuffer(File(t)) + f->offset, f->size, f->places};
}

std::string Trimmed(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  text.erase(0, text.find_first_not_of(' '));
  return text;
}

// A field's value as the pack shows it: texts trimmed, dates by kDatePicture
// (blank when none), amounts by their picture, other numbers plainly.
std::string Shown(const char* name) {
  const FieldDef* def = FieldNamed(name);
  const files::FieldBytes bytes = FieldBytesOf(name);
  if (def == nullptr || bytes.at == nullptr) return {};
  if (files::IsTextType(bytes.type)) return Trimmed(files::ReadText(bytes).value_or(""));
  const double value = files::ReadNumber(bytes).value_or(0);
  const std::string_view picture = def->picture;
  if (picture.starts_with("@D"))
    return value == 0 ? "" : Trimmed(format::Format(value, kDatePicture));
  if (files::IsPackedType(bytes.type)) return Trimmed(format::Format(value, def->picture));
  return std::to_string(std::llround(value));
}

std::vector<PackLine> Lines(std::span<const PackField> fields) {
  std::vector<PackLine> lines;
  for (const PackField& f : fields) {
    std::string value = Shown(f.field);
    if (f.label[0] == '\0' && value.empty()) continue;
    lines.push_back({f.label, std::move(value)});
  }
  return lines;
}

// Finds the record of `table` whose key `key` holds what `set` puts in its
// key field; false when there is none.
template <typename Set>
bool Find(Table table, const char* key, const char* field, Set set) {
  set(FieldBytesOf(field));
  files::GetByKey(File(table), KeyNamed(key));
  const bool found = files::Errors().Code() == 0;
  files::Errors().Clear();
  return found;
}
bool FindNumber(Table table, const char* key, const char* field, double value) {
  return Find(table, key, field, [value](const files::FieldBytes& b) {
    files::WriteNumber(b, value, files::Overflow::kSaturate);
  });
}

std::string Notes() {
  files::FileRecord* claim = files::InstanceOf(File(Table::kClaim));
  if (claim->memo_buffers.empty()) return {};
  const std::vector<char>& memo = claim->memo_buffers[0];
  std::string text(memo.begin(), memo.end());
  text.erase(text.find_last_not_of(std::string_view(" \0", 2)) + 1);
  return text;
}

// Why the photograph `file` cannot be shown, or "" when it can.
std::string PhotoProblem(const std::string& file) {
  if (file.empty()) return "the item names no picture file.";
  // At about the size the pack shows it (two inches at 300 dpi), so that a
  // large photograph is not decoded whole just to be checked.
  images::DecodeResult decoded = images::DecodeImageFile(
      *env::Env::Default(), file, {.target_width = 600, .target_height = 600});
  if (decoded.ok()) return {};
  return file + ": " + decoded.Message();
}

// What the pack holds for the claim in CLAIM's buffer, or nullopt after the
// message that says why there is no pack. The looked-up tables are open.
std::optional<ClaimPackFacts> Gather() {
  ClaimPackFacts facts;
  facts.claim = Lines(kClaimFields);
  facts.notes = Notes();
  const double item_code = files::ReadNumber(FieldBytesOf("CLA:ITEM_REFERENCE")).value_or(0);
  if (item_code == 0 || !FindNumber(Table::kItems, "ITE:CODE", "ITE:ITEM_CODE", item_code)) {
    WarningMessage(MessageId::kClaimPackNoItem, Shown("CLA:CLAIM_REFERENCE"),
                   Shown("CLA:ITEM_REFERENCE"));
    return std::nullopt;
  }
  facts.item = Lines(kItemFields);
  const std::string policy = Shown("ITE:POLICY_REFERENCE");
  const bool insured = !policy.empty() &&
                       Find(Table::kPolicy, "POL:REFERENCE", "POL:POLICY_REFERENCE",
                            [&policy](const files::FieldBytes& b) { files::WriteText(b, policy); });
  if (!insured) {
    WarningMessage(MessageId::kClaimPackNoPolicy, Shown("ITE:ITEM_CODE"), Shown("ITE:ITEM"),
                   policy);
    return std::nullopt;
  }
  const std::string picture = Shown("ITE:PICTURE");
  facts.photo_problem = PhotoProblem(picture);
  if (facts.photo_problem.empty()) facts.picture = picture;
  facts.policy = Lines(kPolicyFields);
  const double insurer = files::ReadNumber(FieldBytesOf("POL:INSURER_CODE")).value_or(0);
  if (insurer != 0 && FindNumber(Table::kInsuranceCompany, "INS:REF", "INS:REFERENCE", insurer)) {
    facts.insurer = Lines(kInsurerFields);
  } else {
    facts.insurer = {{"Insurer", Shown("POL:INSURER")}};
    facts.insurer_problem = "The insurer's contact details are not on file (insurer code " +
                            std::to_string(std::llround(insurer)) + ").";
  }
  return facts;
}

// Rows of one section: each carries the section's heading, which the
// report's group break prints above the first.
class Section {
 public:
  Section(std::vector<ReportRow>* rows, std::string heading)
      : rows_(rows), heading_(std::move(heading)) {}
  void Add(ClaimPackBand band, ClaimPackVar var, std::string text,
           std::string value = std::string()) {
    ReportRow row;
    row.band = band;
    row.values.resize(kPackVarCount);
    row.values[kPackHeading] = heading_;
    row.values[var] = std::move(text);
    if (band == kPackFieldBand) row.values[kPackValue] = std::move(value);
    rows_->push_back(std::move(row));
  }
  void AddLines(const std::vector<PackLine>& lines) {
    for (const PackLine& line : lines) {
      Add(kPackFieldBand, kPackLabel, line.label.empty() ? "" : line.label + ":", line.value);
    }
  }

 private:
  std::vector<ReportRow>* rows_;
  std::string heading_;
};

// `text` cut into lines of at most `width` characters, at blanks where it can.
std::vector<std::string> Wrapped(std::string_view text, size_t width) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    while (line.size() > width) {
      size_t cut = line.rfind(' ', width);
      if (cut == std::string_view::npos || cut == 0) cut = width;
      lines.emplace_back(line.substr(0, cut));
      line.remove_prefix(cut);
      line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    }
    lines.emplace_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

// Writes the page images as `file`, whole or not at all (the platform
// writes it beside the name first and renames it); `error` says why not.
bool DeliverPdf(const std::vector<std::string>& pages, const std::string& file,
                std::string* error) {
  if (pages.empty()) return false;
  return ui::Engine::Current()->platform().WritePdf(pages, file, error);
}

// The reason in `error` ("cannot write F: No space left on device") as a
// sentence of the message that already names the file.
std::string Reason(const std::string& file, std::string error) {
  const std::string named = "cannot write " + file + ": ";
  if (error.starts_with(named)) error.erase(0, named.size());
  if (error.empty()) return "The pages could not be drawn";
  error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
  return error;
}

std::optional<std::string> AskForFile(const std::string& name) {
  ui::FileRequest request;
  request.title = "Save the Claim Pack";
  request.mask = "PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*";
  request.file_name = name;
  request.save = true;
  std::optional<std::string> chosen = ui::Engine::Current()->ChooseFile(request);
  if (!chosen || chosen->empty()) return std::nullopt;
  return chosen;
}

bool Write(const std::string& file, const ClaimPackFacts& facts) {
  std::string error, why;
  if (!RenderReportRows(
          kPackReport, ClaimPackRows(facts),
          [&file, &why](const std::vector<std::string>& pages) {
            return DeliverPdf(pages, file, &why);
          },
          &error)) {
    WarningMessage(MessageId::kClaimPackError, file, Reason(file, why.empty() ? error : why));
    return false;
  }
  if (facts.photo_problem.empty()) {
    WarningMessage(MessageId::kClaimPackWritten, file);
  } else {
    WarningMessage(MessageId::kClaimPackNoPhotograph, file, facts.photo_problem);
  }
  return true;
}

// The procedure the claim form calls with its claim in CLAIM's buffer.
void ClaimPack() {
  ui::RequestCode() = 0;
  ui::ResponseCode() = ui::response::kCancelled;
  const std::string name = "claim-" + Shown("CLA:CLAIM_REFERENCE") + ".pdf";
  if (WriteClaimPack(name, true)) ui::ResponseCode() = ui::response::kCompleted;
}

}  // namespace

VORSANDT_PROCEDURE(ClaimPack);

std::vector<ReportRow> ClaimPackRows(const ClaimPackFacts& facts, size_t notes_width) {
  std::vector<ReportRow> rows;
  Section(&rows, "THE CLAIM").AddLines(facts.claim);
  Section notes(&rows, "NOTES");
  std::vector<std::string> lines = Wrapped(facts.notes, notes_width);
  if (lines.empty()) lines.emplace_back("(none)");
  for (std::string& line : lines) notes.Add(kPackTextBand, kPackText, std::move(line));
  Section item(&rows, "THE ITEM CLAIMED FOR");
  item.AddLines(facts.item);
  if (facts.photo_problem.empty()) {
    item.Add(kPackPictureBand, kPackPicture, facts.picture);
  } else {
    item.Add(kPackRemarkBand, kPackText, "THE PHOTOGRAPH IS MISSING: " + facts.photo_problem);
  }
  Section(&rows, "THE POLICY").AddLines(facts.policy);
  Section insurer(&rows, "THE INSURER");
  insurer.AddLines(facts.insurer);
  if (!facts.insurer_problem.empty())
    insurer.Add(kPackRemarkBand, kPackText, facts.insurer_problem);
  return rows;
}

bool WriteClaimPack(std::string file, bool ask) {
  for (Table t : kLookedUp) OpenTable(t);
  bool written = false;
  if (std::optional<ClaimPackFacts> facts = Gather()) {
    std::optional<std::string> chosen = ask ? AskForFile(file) : std::optional(file);
    if (chosen) written = Write(*chosen, *facts);
  }
  for (Table t : kLookedUp) CloseTable(t);
  return written;
}

bool WriteClaimPackOf(int32_t claim, const std::string& file, std::string* error) {
  // Only read: the tables are opened for reading first (a folder the user
  // may only read serves, and nothing is created), and the pack's own
  // openings below only count them.
  std::vector<Table> opened;
  auto close_all = [&opened] {
    for (Table t : opened) CloseTable(t);
  };
  bool claims_on_file = true;
  for (Table t : {Table::kClaim, Table::kItems, Table::kPolicy, Table::kInsuranceCompany}) {
    std::string why;
    switch (OpenTableForReading(t, &why)) {
      case ReadOpening::kOpened:
        opened.push_back(t);
        break;
      case ReadOpening::kMissing:
        if (t == Table::kClaim) {
          claims_on_file = false;
        } else if (claims_on_file && error->empty()) {
          *error = std::string("the table ") + Def(t).label + ".QVF is not in the data folder";
        }
        break;
      case ReadOpening::kFailed:
        if (error->empty()) *error = why;
        break;
    }
  }
  if (!claims_on_file) error->clear();
  const bool found = claims_on_file && error->empty() &&
                     FindNumber(Table::kClaim, "CLA:CLAIM_REF", "CLA:CLAIM_REFERENCE", claim);
  bool written = false;
  if (!found && error->empty()) {
    *error = "claim " + std::to_string(claim) + " is not on file";
  } else if (found) {
    written = WriteClaimPack(file, false);
  }
  close_all();
  return written;
}

bool WritePagesPdf(const std::vector<std::string>& pages, const std::string& file,
                   std::string* error) {
  return DeliverPdf(pages, file, error);
}

}  // namespace vorsandt::app
