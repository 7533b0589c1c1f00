#include "app/exchange/record_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <span>

#include "runtime/files/field_codec.h"
#include "runtime/files/layout.h"
#include "runtime/format/charset.h"
#include "runtime/format/dates.h"

namespace vorsandt::exchange {
namespace {

// `s` without the `padding` characters at its end (a view into `s`).
std::string_view TrimmedRight(std::string_view s, std::string_view padding = " ") {
  const size_t end = s.find_last_not_of(padding);
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

std::string AnsiToUtf8Text(std::string_view ansi) { return format::AnsiToUtf8(ansi); }

std::string Named(const app::FieldDef& field, const std::string& what) {
  return std::string(field.name) + ": " + what;
}

std::string Quoted(std::string_view text) {
  std::string out(1, '"');
  out.append(text);
  out.push_back('"');
  return out;
}

// Where a dictionary field lies in `record`.
files::FieldBytes BytesOf(const app::FieldDef& field, const uint8_t* record) {
  return {field.type, const_cast<uint8_t*>(record) + field.offset, field.size, field.places};
}

std::string DecimalToText(const app::FieldDef& field, const uint8_t* record) {
  return files::PackedToText(std::span<const uint8_t>(record + field.offset, field.size),
                             field.places);
}

// decimal := ["-"] digit+ ["." digit+]
std::string TextToDecimal(const app::FieldDef& field, std::string_view text, uint8_t* record) {
  const size_t places = std::min<size_t>(field.places, field.size * 2 - 1);
  switch (files::TextToPacked(text, field.places,
                              std::span<uint8_t>(record + field.offset, field.size))) {
    case files::PackedTextError::kNone:
      return "";
    case files::PackedTextError::kTooManyPlaces:
      return Named(field,
                   "more than " + std::to_string(places) + " decimal places in " + Quoted(text));
    case files::PackedTextError::kTooLarge:
      return Named(field, "number too large: " + Quoted(text));
    case files::PackedTextError::kBadNumber:
      break;
  }
  return Named(field, "bad number " + Quoted(text));
}

template <typename Int>
std::string TextToInteger(const app::FieldDef& field, std::string_view text, Int* out) {
  if (text.empty()) {
    *out = 0;
    return "";
  }
  std::string_view digits = text.front() == '-' ? text.substr(1) : text;
  Int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (digits.empty() || digits.front() < '0' || digits.front() > '9' ||
      end != text.data() + text.size()) {
    return Named(field, "bad number " + Quoted(text));
  }
  if (ec != std::errc()) return Named(field, "number out of range: " + Quoted(text));
  *out = value;
  return "";
}

// date := digit{4} "-" digit{2} "-" digit{2}
bool ParseIsoDate(std::string_view text, int32_t* day_number) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  int parts[3] = {0, 0, 0};
  const size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
  for (int p = 0; p < 3; ++p) {
    for (size_t i = starts[p]; i < starts[p] + lengths[p]; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      parts[p] = parts[p] * 10 + (text[i] - '0');
    }
  }
  const int year = parts[0], month = parts[1], day = parts[2];
  // DATE() carries days beyond the month into the next; a file's date must
  // name a real day instead.
  if (year < 1801 || year > 2099 || month < 1 || month > 12 || day < 1 ||
      day > format::DaysInMonth(month, year)) {
    return false;
  }
  int32_t n = format::DateFromParts(month, day, year);
  if (n < 0) return false;
  *day_number = n;
  return true;
}

void AppendUtf8(char32_t cp, std::string* out) { *out += format::CodePointToUtf8(cp); }

}  // namespace

bool IsDateField(const app::FieldDef& field) {
  return field.type == files::kTypeLong && field.picture != nullptr && field.picture[0] == '@' &&
         (field.picture[1] == 'D' || field.picture[1] == 'd');
}

std::vector<std::string> ColumnNames(const app::TableDef& def) {
  std::vector<std::string> names;
  for (const app::FieldDef& f : def.fields) names.emplace_back(f.name);
  for (const files::MemoDecl* m : def.memos) {
    names.emplace_back(m->name_length < 0 ? std::string(m->name)
                                          : std::string(m->name, m->name_length));
  }
  return names;
}

std::string FieldToText(const app::FieldDef& field, const uint8_t* record) {
  const files::FieldBytes bytes = BytesOf(field, record);
  switch (field.type) {
    case files::kTypeShort:
      return std::to_string(static_cast<int16_t>(files::ReadNumber(bytes).value_or(0)));
    case files::kTypeLong: {
      const auto v = static_cast<int32_t>(files::ReadNumber(bytes).value_or(0));
      if (IsDateField(field)) {
        if (v == 0) return "";
        format::DateParts parts;
        if (format::IsValidDay(v) && format::PartsFromDate(v, &parts)) {
          char text[16];
          std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.year, parts.month, parts.day);
          return text;
        }
      }
      return std::to_string(v);
    }
    case files::kTypeDecimal:
      return DecimalToText(field, record);
    default:
      // Seen in place and converted once: an export converts every text
      // field of every record.
      return AnsiToUtf8Text(TrimmedRight(files::TextIn(bytes).value_or(std::string_view())));
  }
}

std::string TextToField(const app::FieldDef& field, std::string_view text, uint8_t* record) {
  const files::FieldBytes bytes = BytesOf(field, record);
  switch (field.type) {
    case files::kTypeShort: {
      int16_t v = 0;
      if (std::string e = TextToInteger(field, text, &v); !e.empty()) return e;
      files::WriteNumber(bytes, v, files::Overflow::kRefuse);
      return "";
    }
    case files::kTypeLong: {
      int32_t v = 0;
      if (IsDateField(field) && text.find('-', 1) != std::string_view::npos) {
        if (!ParseIsoDate(text, &v)) return Named(field, "bad date " + Quoted(text));
      } else if (std::string e = TextToInteger(field, text, &v); !e.empty()) {
        return IsDateField(field) ? Named(field, "bad date " + Quoted(text)) : e;
      }
      files::WriteNumber(bytes, v, files::Overflow::kRefuse);
      return "";
    }
    case files::kTypeDecimal:
      return TextToDecimal(field, text, record);
    default: {
      std::string ansi, error;
      if (!Utf8ToAnsi(text, &ansi, &error)) return Named(field, error);
      if (ansi.size() > field.size) {
        return Named(field, "text of " + std::to_string(ansi.size()) +
                                " characters is longer than the field's " +
                                std::to_string(field.size));
      }
      files::WriteText(bytes, ansi);
      return "";
    }
  }
}

// A memo buffer is padded with blanks once written, and holds NUL bytes where
// it was never written: both are padding at its end. A NUL before the last
// other character is the memo's own and is kept.
std::string MemoToText(std::string_view memo) {
  return AnsiToUtf8Text(TrimmedRight(memo, std::string_view(" \0", 2)));
}

std::string TextToMemo(const files::MemoDecl& memo, std::string_view text,
                       std::vector<char>* buffer) {
  const std::string name =
      memo.name_length < 0 ? std::string(memo.name) : std::string(memo.name, memo.name_length);
  std::string ansi, error;
  if (!Utf8ToAnsi(text, &ansi, &error)) return name + ": " + error;
  // Trailing NULs would read back as padding: refused rather than lost.
  const size_t last = ansi.find_last_not_of(' ');
  if (last != std::string::npos && ansi[last] == '\0') {
    return name + ": the text ends in a NUL byte, which the memo cannot keep";
  }
  const size_t room = std::min<size_t>(buffer->size(), memo.max_size);
  if (ansi.size() > room) {
    return name + ": text of " + std::to_string(ansi.size()) +
           " characters is longer than the memo's " + std::to_string(room);
  }
  std::fill(buffer->begin(), buffer->end(), ' ');
  std::memcpy(buffer->data(), ansi.data(), ansi.size());
  return "";
}

std::vector<std::string> RecordToValues(const app::TableDef& def, const uint8_t* record,
                                        const std::vector<std::vector<char>>& memos) {
  std::vector<std::string> values;
  for (const app::FieldDef& f : def.fields) values.push_back(FieldToText(f, record));
  for (size_t i = 0; i < def.memos.size(); ++i) {
    values.push_back(i < memos.size() ? MemoToText({memos[i].data(), memos[i].size()}) : "");
  }
  return values;
}

std::string ValuesToRecord(const app::TableDef& def, const std::vector<std::string>& values,
                           uint8_t* record, std::vector<std::vector<char>>* memos) {
  const size_t columns = def.fields.size() + def.memos.size();
  if (values.size() != columns) {
    return std::to_string(values.size()) + " columns where the table has " +
           std::to_string(columns);
  }
  std::memset(record, ' ', def.record_length);
  for (size_t i = 0; i < def.fields.size(); ++i) {
    if (std::string e = TextToField(def.fields[i], values[i], record); !e.empty()) return e;
  }
  for (size_t i = 0; i < def.memos.size(); ++i) {
    if (i >= memos->size()) return "no buffer for memo " + std::string(def.memos[i]->name);
    const std::string& text = values[def.fields.size() + i];
    if (std::string e = TextToMemo(*def.memos[i], text, &(*memos)[i]); !e.empty()) return e;
  }
  return "";
}

// utf8 := (0x00-0x7F | C2-DF cont | E0-EF cont cont | F0-F4 cont cont cont)*
// with overlong forms, surrogates and code points above 10FFFF refused.
bool Utf8ToAnsi(std::string_view utf8, std::string* ansi, std::string* error) {
  ansi->clear();
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      cp = lead & 0x07;
    } else {
      *error = "the text is not UTF-8";
      return false;
    }
    if (i + extra >= utf8.size() && extra > 0) {
      *error = "the text is not UTF-8";
      return false;
    }
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<uint8_t>(utf8[i + k]);
      if ((c & 0xC0) != 0x80) {
        *error = "the text is not UTF-8";
        return false;
      }
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      *error = "the text is not UTF-8";
      return false;
    }
    const int byte = format::UnicodeToAnsi(cp);
    if (byte < 0) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
      std::string shown;
      AppendUtf8(cp, &shown);
      *error =
          "the character " + shown + " (" + code + ") cannot be held by the records' character set";
      return false;
    }
    *ansi += static_cast<char>(byte);
    i += 1 + extra;
  }
  return true;
}

}  // namespace vorsandt::exchange
