// Comma-separated values as RFC 4180 describes them: fields separated by
// commas, records by CRLF, LF or CR, fields holding a comma, a quote or a line
// break enclosed in quotes with their quotes doubled.
//
// The parser is a small state machine over bytes (the text is UTF-8, whose
// multi-byte sequences never contain a comma, a quote or a line break), so it
// handles a record of any length without recursion.
#ifndef VORSANDT_APP_EXCHANGE_CSV_H_
#define VORSANDT_APP_EXCHANGE_CSV_H_

#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::exchange {

struct CsvRow {
  int line = 0;  // the line of the text the row starts on, from 1
  std::vector<std::string> fields;
};

// Parses all of `text`. A UTF-8 byte order mark at the start is skipped; the
// last record may end without a line break; a CR alone is a line break too.
// Blank lines at the end are no records; a blank line before a record is an
// error. Returns true, or false with the error text and the line it was found
// on.
bool ParseCsv(std::string_view text, std::vector<CsvRow>* rows, std::string* error,
              int* error_line);

// One field as it is written: quoted when it holds a comma, a quote, a CR or
// an LF (or begins or ends with a blank or a tab, so that no reader trims it
// and a row of one such field is not a blank line).
std::string CsvField(std::string_view value);
// A whole record, ending with CRLF.
std::string CsvLine(const std::vector<std::string>& fields);
// The same appended to `out` (an export writes every record into one text).
void AppendCsvLine(const std::vector<std::string>& fields, std::string* out);

}  // namespace vorsandt::exchange

#endif  // VORSANDT_APP_EXCHANGE_CSV_H_
