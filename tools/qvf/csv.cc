#include "tools/qvf/csv.h"

namespace vorsandt::tools {

// Grammar (RFC 4180, with LF accepted as a line break):
//   file     := [BOM] record (break record)* [break]
//   record   := field ("," field)*
//   field    := quoted | plain
//   quoted   := '"' (any byte but '"' | '""')* '"'
//   plain    := (any byte but ',' '"' LF, and CR only when not before LF)*
//   break    := CRLF | LF
// A quote inside a plain field, or anything but a comma or a break after a
// closing quote, is an error, as is a quoted field still open at the end.
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
  bool row_open = false;  // has the current record any byte yet?
  auto end_field = [&] {
    row.fields.push_back(std::move(field));
    field.clear();
  };
  auto end_row = [&] {
    end_field();
    rows->push_back(std::move(row));
    row = CsvRow();
    row.line = line;  // already advanced past the break
    row_open = false;
  };
  auto fail = [&](const char* message) {
    *error = message;
    *error_line = line;
    return false;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool crlf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    switch (state) {
      case State::kFieldStart:
      case State::kPlain:
        if (c == '"') {
          if (state == State::kPlain) return fail("a quote inside an unquoted field");
          state = State::kQuoted;
          row_open = true;
        } else if (c == ',') {
          end_field();
          state = State::kFieldStart;
          row_open = true;
        } else if (c == '\n' || crlf) {
          if (crlf) ++i;
          ++line;
          end_row();
          state = State::kFieldStart;
        } else {
          field += c;
          state = State::kPlain;
          row_open = true;
        }
        break;
      case State::kQuoted:
        if (c == '"') {
          state = State::kQuoteInQuoted;
        } else {
          if (c == '\n') ++line;
          field += c;
        }
        break;
      case State::kQuoteInQuoted:
        if (c == '"') {
          field += '"';
          state = State::kQuoted;
        } else if (c == ',') {
          end_field();
          state = State::kFieldStart;
        } else if (c == '\n' || crlf) {
          if (crlf) ++i;
          ++line;
          end_row();
          state = State::kFieldStart;
        } else {
          return fail("text after the closing quote of a field");
        }
        break;
    }
  }
  if (state == State::kQuoted) {
    *error = "a quoted field is not closed";
    *error_line = row.line;
    return false;
  }
  // A last record without its line break.
  if (row_open) end_row();
  return true;
}

std::string CsvField(std::string_view value) {
  const bool quote = value.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  if (!quote) return std::string(value);
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string CsvLine(const std::vector<std::string>& fields) {
  // A lone empty field is quoted so that its line is not a blank line.
  if (fields.size() == 1 && fields[0].empty()) return "\"\"\r\n";
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    out += CsvField(fields[i]);
  }
  out += "\r\n";
  return out;
}

}  // namespace vorsandt::tools
