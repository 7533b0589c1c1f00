#include "app/exchange/csv.h"

namespace vorsandt::exchange {

namespace {

// Length of the line break at `i`: 2 for CRLF, 1 for LF or a CR alone, 0
// when there is none.
size_t BreakAt(std::string_view text, size_t i) {
  if (text[i] == '\n') return 1;
  if (text[i] != '\r') return 0;
  return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

// Grammar (RFC 4180, with LF and a CR alone accepted as line breaks):
//   file     := [BOM] record (break record)* blank-line*
//   record   := field ("," field)*
//   field    := quoted | plain
//   quoted   := '"' (any byte but '"' | '""')* '"'
//   plain    := (any byte but ',' '"' CR LF)*
//   break    := CRLF | LF | CR
// A blank line (nothing, or only blanks and tabs, outside quotes) is no
// record: at the end of the text it is skipped, elsewhere it is an error, as
// is a quote inside a plain field, anything but a comma or a break after a
// closing quote, or a quoted field still open at the end.
bool ParseCsv(std::string_view text, std::vector<CsvRow>* rows, std::string* error,
              int* error_line) {
  rows->clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  enum class State { kFieldStart, kPlain, kQuoted, kQuoteInQuoted };
  State state = State::kFieldStart;
  int line = 1;
  CsvRow row;
  row.line = 1;
  std::string field;
  bool blank_so_far = true;  // the current line holds only blanks and tabs
  int first_blank_line = 0;  // the first blank line not yet followed by a row
  auto fail = [&](const char* message, int at) {
    *error = message;
    *error_line = at;
    return false;
  };
  auto next_row = [&] {
    row = CsvRow();
    row.line = line;  // already advanced past the break
    field.clear();
    blank_so_far = true;
  };
  // Ends the record at a break or at the end of the text; a blank line is
  // noted instead.
  auto end_row = [&] {
    if (blank_so_far && row.fields.empty()) {
      if (first_blank_line == 0) first_blank_line = row.line;
      return true;
    }
    if (first_blank_line != 0) return fail("a blank line before the last row", first_blank_line);
    row.fields.push_back(std::move(field));
    rows->push_back(std::move(row));
    return true;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const size_t line_break = BreakAt(text, i);
    switch (state) {
      case State::kFieldStart:
      case State::kPlain:
        if (c == '"') {
          if (state == State::kPlain) return fail("a quote inside an unquoted field", line);
          state = State::kQuoted;
          blank_so_far = false;
        } else if (c == ',') {
          row.fields.push_back(std::move(field));
          field.clear();
          state = State::kFieldStart;
          blank_so_far = false;
        } else if (line_break > 0) {
          i += line_break - 1;
          ++line;
          if (!end_row()) return false;
          next_row();
          state = State::kFieldStart;
        } else {
          field += c;
          state = State::kPlain;
          blank_so_far = blank_so_far && IsBlank(c);
        }
        break;
      case State::kQuoted:
        if (c == '"') {
          state = State::kQuoteInQuoted;
        } else {
          // A CRLF counts once, at its LF.
          if (c == '\n' || (c == '\r' && line_break == 1)) ++line;
          field += c;
        }
        break;
      case State::kQuoteInQuoted:
        if (c == '"') {
          field += '"';
          state = State::kQuoted;
        } else if (c == ',') {
          row.fields.push_back(std::move(field));
          field.clear();
          state = State::kFieldStart;
        } else if (line_break > 0) {
          i += line_break - 1;
          ++line;
          if (!end_row()) return false;
          next_row();
          state = State::kFieldStart;
        } else {
          return fail("text after the closing quote of a field", line);
        }
        break;
    }
  }
  if (state == State::kQuoted) return fail("a quoted field is not closed", row.line);
  // A last record without its line break (nothing after the last break is
  // a blank line).
  return end_row();
}

namespace {

void AppendCsvField(std::string_view value, std::string* out) {
  const bool quote = value.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())));
  if (!quote) {
    out->append(value);
    return;
  }
  *out += '"';
  for (char c : value) {
    if (c == '"') *out += '"';
    *out += c;
  }
  *out += '"';
}

}  // namespace

std::string CsvField(std::string_view value) {
  std::string out;
  AppendCsvField(value, &out);
  return out;
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string out;
  AppendCsvLine(fields, &out);
  return out;
}

void AppendCsvLine(const std::vector<std::string>& fields, std::string* out) {
  // A lone empty field is quoted so that its line is not a blank line.
  if (fields.size() == 1 && fields[0].empty()) {
    out->append("\"\"\r\n");
    return;
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) *out += ',';
    AppendCsvField(fields[i], out);
  }
  out->append("\r\n");
}

}  // namespace vorsandt::exchange
