// The claim pack: what an insurer asks for with a claim, as one PDF file.
//
// The pack holds the claim (references, dates, status) with its notes, the
// item claimed for (description, serial number, purchase date, price paid,
// receipt, supplier, maker) with its photograph, the policy it is insured
// under, and the insurer's contact details. It is printed by the report
// engine (CLAIMPACK$REPORT) from rows worked out here, and its page images
// are written as a PDF through the platform.
//
// The claim is the one in CLAIM's record buffer, as the claim form shows it
// (unsaved changes and notes included). A claim whose item is not on file,
// or whose item's policy is not, gets no pack: the message says which, and
// nothing is written. A photograph that is not named, missing or cannot be
// decoded does not stop the pack: the pack says the photograph is missing
// and why, and so does the message after writing. An insurer not on file
// leaves the name the policy holds and a line saying the contact details
// are not on file. The item's RECEIPT, WARRANTY and VALUATION documents
// follow: pictures on pages of their own, then the pages of the PDF ones as
// they are; one whose file is missing, unreadable or neither a picture nor a
// PDF does not stop the pack either: the pack names it and why, and so does
// the message.
#ifndef VORSANDT_APP_REPORT_CLAIM_PACK_H_
#define VORSANDT_APP_REPORT_CLAIM_PACK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/report/report_procedure.h"

namespace vorsandt::app {

// The detail bands of CLAIMPACK$REPORT, inside the group break on
// CP:HEADING whose header shows each section's heading.
enum ClaimPackBand : int {
  kPackFieldBand = 2,  // a label and its value (CP:LABEL, CP:VALUE)
  kPackTextBand,       // one line of the notes (CP:TEXT)
  kPackPictureBand,    // the photograph (CP:PICTURE names its file)
  kPackRemarkBand,     // something missing, said in bold (CP:TEXT)
  kPackDocumentBand,   // a page of one document: its name (CP:TEXT) above its picture
                       // (CP:PICTURE), scaled to fit the page
};

// The report's variables, in the order of ReportRow::values.
enum ClaimPackVar : int {
  kPackHeading,
  kPackLabel,
  kPackValue,
  kPackText,
  kPackPicture,
  kPackVarCount
};

// A labelled value of the pack.
struct PackLine {
  std::string label;
  std::string value;
};

// One of the item's RECEIPT, WARRANTY and VALUATION documents.
struct PackDocument {
  std::string kind;
  std::string description;
  std::string date;     // as the pack shows dates ("" when none)
  std::string file;     // the stored name in the documents folder
  std::string picture;  // the file to place, when it decodes as a picture
  int pdf_pages = 0;    // a PDF document's pages, put after the pack's own
  std::string problem;  // why it is missing ("" when it is there)
};

// What the pack holds, worked out from the tables.
struct ClaimPackFacts {
  std::vector<PackLine> claim;
  std::string notes;  // the claim's notes, lines apart by CR LF or LF
  std::vector<PackLine> item;
  std::string picture;        // the photograph's file (when it decodes)
  std::string photo_problem;  // why the photograph is missing ("" when it is there)
  std::vector<PackLine> policy;
  std::vector<PackLine> insurer;
  std::string insurer_problem;          // why the contact details are missing
  std::vector<PackDocument> documents;  // in the order of their references
  std::string documents_problem;        // why DOCUMENTS could not be read
};

// The printed rows of `facts`, each naming its section: labelled values, the notes wrapped
// at `notes_width` characters, the photograph or the remark why it is
// missing; then the documents listed, each missing one named with the
// reason, and each picture on a page of its own, scaled to fit. The pages of
// the PDF documents are not rows: WriteClaimPack appends them to the file.
std::vector<ReportRow> ClaimPackRows(const ClaimPackFacts& facts, size_t notes_width = 85);

// The pack of the claim in CLAIM's record buffer written as the PDF file
// `file` (written beside it first and renamed, so that it appears whole;
// a `file` that is a device, a pipe or a folder is refused, and the message
// after a failure says why),
// on the calling procedure thread, with the messages above and, after
// writing, "written" or "written without the photograph". False when no
// pack was written. `ask` first offers the save-file dialog with `file` as
// the name; cancelling it writes nothing.
bool WriteClaimPack(std::string file, bool ask);

// The command line's pack: claim `claim` read by its reference, written to
// `file` without asking. The tables are only read (OpenTableForReading):
// none is created, and a folder the user may only read serves. False when the claim is not on file
// (said in `error`) or no pack was written (said by the messages).
bool WriteClaimPackOf(int32_t claim, const std::string& file, std::string* error);

// The page images `pages` written as the PDF file `file`: beside it first,
// then renamed over it, so that it appears whole or not at all (what the
// pack itself is written with; the report preview saves through it too).
// False, with `file` left as it was and `error` (when given) saying why,
// when it could not be written.
bool WritePagesPdf(const std::vector<std::string>& pages, const std::string& file,
                   std::string* error = nullptr);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_REPORT_CLAIM_PACK_H_
