#include "app/report/claim_pack.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/documents/document_store.h"
#include "app/documents/pdf_pages.h"
#include "app/frame/main_frame.h"
#include "app/inventory/inventory_check.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "images/decode.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
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

// The kinds of document an insurer asks for with a claim.
constexpr std::string_view kPackedKinds[] = {"RECEIPT", "WARRANTY", "VALUATION"};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// What is known of the stored file of `doc`: a picture that decodes, a PDF,
// or the reason it cannot be shown.
void Examine(PackDocument* doc) {
  if (doc->file.empty()) {
    doc->problem = "the record names no file.";
    return;
  }
  if (!IsStoredName(doc->file)) {
    doc->problem = doc->file + " is not a name inside the " + kDocumentsFolder + " folder.";
    return;
  }
  const std::string path = StoredPath(doc->file);
  env::Env& env = *env::Env::Default();
  // Decoded at about the size a page shows it (6 by 6 inches at 300 dpi).
  images::DecodeResult decoded =
      images::DecodeImageFile(env, path, {.target_width = 1800, .target_height = 1800});
  if (decoded.ok()) {
    doc->picture = path;
    return;
  }
  std::unique_ptr<env::File> file;
  if (const int rc = env.Open(path, env::kOpenReadOnly, &file); rc != 0) {
    doc->problem = rc == ENOENT ? "the file is not in the documents folder"
                                : std::string("the file cannot be read: ") + std::strerror(rc);
    return;
  }
  char bytes[5] = {};
  size_t got = 0;
  if (file->ReadAt(0, bytes, sizeof bytes, &got) != 0 || std::string_view(bytes, got) != "%PDF-") {
    doc->problem = "it is neither a picture the program can read nor a PDF";
    return;
  }
  std::string why;
  doc->pdf_pages = PdfPageCount(path, &why);
  if (doc->pdf_pages <= 0) {
    doc->problem = doc->pdf_pages == 0 ? "the PDF has no pages" : "the PDF cannot be read: " + why;
    doc->pdf_pages = 0;
  }
}

// The item's documents of the kinds the pack holds, read from DOCUMENTS by
// the item's code (ITEMS' buffer); a folder without DOCUMENTS has none.
void GatherDocuments(ClaimPackFacts* facts) {
  std::string why;
  switch (OpenTableForReading(Table::kDocuments, &why)) {
    case ReadOpening::kMissing:
      return;
    case ReadOpening::kFailed:
      facts->documents_problem = why;
      return;
    case ReadOpening::kOpened:
      break;
  }
  const double item = files::ReadNumber(FieldBytesOf("ITE:ITEM_CODE")).value_or(0);
  files::FileRecord* table = File(Table::kDocuments);
  files::WriteNumber(FieldBytesOf("DOC:ITEM_REFERENCE"), item, files::Overflow::kSaturate);
  files::SetKeyValue(table, KeyNamed("DOC:ITEM"));
  for (;;) {
    files::Next(table);
    const int code = files::Errors().Code();
    if (code == files::kRecordNotAvailable) break;
    if (code != files::kNoError) {
      facts->documents_problem = "DOCUMENTS cannot be read: " + files::Errors().Text();
      break;
    }
    if (files::ReadNumber(FieldBytesOf("DOC:ITEM_REFERENCE")).value_or(0) != item) break;
    PackDocument doc;
    doc.kind = Upper(Shown("DOC:KIND"));
    if (std::find(std::begin(kPackedKinds), std::end(kPackedKinds), doc.kind) ==
        std::end(kPackedKinds))
      continue;
    doc.description = Shown("DOC:DESCRIPTION");
    doc.date = Shown("DOC:DATE");
    doc.file = Shown("DOC:FILE");
    Examine(&doc);
    facts->documents.push_back(std::move(doc));
  }
  files::Errors().Clear();
  CloseTable(Table::kDocuments);
}

// When the item was last seen in an inventory check: insurers ask how
// recent the inventory is.
std::string LastSeenText(int32_t item) {
  std::map<int32_t, int32_t> last_seen;
  std::string why;
  if (!ReadLastSeen(&last_seen, &why)) return "not known (" + why + ")";
  auto found = last_seen.find(item);
  if (found == last_seen.end()) return "never seen in an inventory check";
  return format::Format(static_cast<double>(found->second), "@D6");
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
  facts.item.push_back({"Last seen", LastSeenText(static_cast<int32_t>(item_code))});
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
  GatherDocuments(&facts);
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

std::vector<std::string> DocumentProblems(const ClaimPackFacts& facts);
std::vector<std::string> PdfDocuments(const ClaimPackFacts& facts);

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
  std::vector<std::string> problems = DocumentProblems(facts);
  size_t missing = problems.size();
  // The pack is already whole without them: pages that cannot be added
  // leave it so, and the message says why.
  if (std::vector<std::string> pdfs = PdfDocuments(facts); !pdfs.empty()) {
    std::string why_not;
    if (!AppendPdfPages(env::Env::Default(), file, pdfs, &why_not)) {
      problems.push_back("the pages of the PDF documents could not be added: " + why_not);
      missing += pdfs.size();
    }
  }
  if (!problems.empty()) {
    std::string what = std::to_string(missing) + " of the item's documents";
    if (!facts.photo_problem.empty()) {
      what = "the photograph of the item and " + what;
      problems.insert(problems.begin(), facts.photo_problem);
    }
    std::string reasons;
    for (std::string& p : problems) {
      if (p.ends_with('.')) p.pop_back();
      reasons += (reasons.empty() ? "" : "; ") + p;
    }
    reasons += '.';
    WarningMessage(MessageId::kClaimPackNoDocuments, file, what, reasons);
  } else if (facts.photo_problem.empty()) {
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

// "RECEIPT, Till receipt, 3/11/2025, documents/till.pdf": what names a
// document on its page and in the list.
std::string Naming(const PackDocument& doc) {
  std::string text = doc.kind;
  for (const std::string* part : {&doc.description, &doc.date}) {
    if (!part->empty()) text += ", " + *part;
  }
  return text + ", " + (doc.file.empty() ? std::string("no file") : StoredPath(doc.file));
}

// The documents' section lists them all, with the reason for each one that
// is missing and the page count of each PDF (whose pages the file gets
// after these rows are printed); each picture then has a page of its own
// (its section's heading, its name, the picture scaled to fit), so that the
// pack can be handed over as it is.
void DocumentRows(const ClaimPackFacts& facts, std::vector<ReportRow>* rows) {
  if (facts.documents.empty() && facts.documents_problem.empty()) return;
  Section list(rows, "THE ITEM'S DOCUMENTS");
  if (!facts.documents_problem.empty())
    list.Add(kPackRemarkBand, kPackText, "THE DOCUMENTS ARE MISSING: " + facts.documents_problem);
  const size_t count = facts.documents.size();
  for (size_t i = 0; i < count; ++i) {
    const PackDocument& doc = facts.documents[i];
    const std::string number = std::to_string(i + 1);
    if (doc.problem.empty()) {
      list.Add(kPackTextBand, kPackText, "Document " + number + ": " + Naming(doc));
      if (doc.pdf_pages > 0) {
        list.Add(kPackTextBand, kPackText,
                 "    " + std::to_string(doc.pdf_pages) +
                     (doc.pdf_pages == 1 ? " page" : " pages") + " at the end of the pack");
      }
    } else {
      list.Add(kPackRemarkBand, kPackText, "DOCUMENT " + number + " IS MISSING: " + Naming(doc));
      list.Add(kPackTextBand, kPackText, "    " + doc.problem);
    }
  }
  for (size_t i = 0; i < count; ++i) {
    const PackDocument& doc = facts.documents[i];
    if (doc.picture.empty()) continue;
    Section page(rows, "DOCUMENT " + std::to_string(i + 1) + " OF " + std::to_string(count) + ": " +
                           doc.kind);
    page.Add(kPackDocumentBand, kPackText, Naming(doc));
    rows->back().values[kPackPicture] = doc.picture;
  }
}

// The stored files of the PDF documents, in the pack's order.
std::vector<std::string> PdfDocuments(const ClaimPackFacts& facts) {
  std::vector<std::string> paths;
  for (const PackDocument& doc : facts.documents) {
    if (doc.problem.empty() && doc.pdf_pages > 0) paths.push_back(StoredPath(doc.file));
  }
  return paths;
}

// The reasons the pack lacks something, for the message after writing;
// empty when it lacks nothing but, at most, the photograph.
std::vector<std::string> DocumentProblems(const ClaimPackFacts& facts) {
  std::vector<std::string> problems;
  if (!facts.documents_problem.empty()) problems.push_back(facts.documents_problem);
  for (const PackDocument& doc : facts.documents) {
    if (!doc.problem.empty()) problems.push_back(Naming(doc) + ": " + doc.problem);
  }
  return problems;
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
  DocumentRows(facts, &rows);
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
