// The fields of the application's records as text, and back: the values the
// qvf tool's export writes and its import reads, and the program's list export.
//
//   SHORT, LONG   plain integers ("-12")
//   DECIMAL       the digits with "." and exactly the field's places ("-3.50")
//   date fields   (LONG fields with a date picture) YYYY-MM-DD; empty for no
//                 date (0); a value that is no valid day number is written as
//                 its plain number so that nothing is lost
//   STRING        the text without trailing blanks
//   memo          the text without trailing blanks (a NUL byte inside is
//                 kept; one at the end is refused, as it reads back as padding)
// Text is UTF-8 here and the ANSI set (Windows-1252) in records. On the way
// in an empty number is 0, a decimal may have fewer places than the field.
#ifndef VORSANDT_APP_EXCHANGE_RECORD_TEXT_H_
#define VORSANDT_APP_EXCHANGE_RECORD_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"

namespace vorsandt::exchange {

// Does a LONG field hold a date (its picture is a date picture)?
bool IsDateField(const app::FieldDef& field);

// The full names of a table's columns: its fields in declaration order, then
// its memos ("CLA:NOTES").
std::vector<std::string> ColumnNames(const app::TableDef& def);

// One field of `record` as text.
std::string FieldToText(const app::FieldDef& field, const uint8_t* record);
// Stores `text` into the field; "" on success, else the error text.
std::string TextToField(const app::FieldDef& field, std::string_view text, uint8_t* record);

// A memo buffer (ANSI, blank-padded) as text, and text into a memo buffer of
// `buffer->size()` bytes ("" or the error text).
std::string MemoToText(std::string_view memo);
std::string TextToMemo(const files::MemoDecl& memo, std::string_view text,
                       std::vector<char>* buffer);

// Record and memo buffers to the values of one row, and back.
std::vector<std::string> RecordToValues(const app::TableDef& def, const uint8_t* record,
                                        const std::vector<std::vector<char>>& memos);
std::string ValuesToRecord(const app::TableDef& def, const std::vector<std::string>& values,
                           uint8_t* record, std::vector<std::vector<char>>* memos);

// UTF-8 text to ANSI: false with the error text for text that is not UTF-8
// or holds a character the ANSI set has not.
bool Utf8ToAnsi(std::string_view utf8, std::string* ansi, std::string* error);

}  // namespace vorsandt::exchange

#endif  // VORSANDT_APP_EXCHANGE_RECORD_TEXT_H_
