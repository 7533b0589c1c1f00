// Field values as the view engine moves them between record buffers: copying
// a parent's field into a child's key component, the lowest and highest
// values a key component can take, comparing in key order, and clearing a
// record to blanks and zeros.
#ifndef VORSANDT_RUNTIME_VIEWS_FIELD_VALUES_H_
#define VORSANDT_RUNTIME_VIEWS_FIELD_VALUES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/files/layout.h"

namespace vorsandt::views {

bool IsTextField(const files::FieldInfo& f);

// The value of a field as text (texts raw, numbers in decimal) or as a number.
std::string FieldText(const files::FieldInfo& f, const uint8_t* record);
double FieldNumber(const files::FieldInfo& f, const uint8_t* record);

// Stores a text or a number into a field of `record`, converting to the
// field's type (texts blank padded or cut, numbers rounded to the type).
void StoreText(const files::FieldInfo& f, uint8_t* record, const std::string& text);
void StoreNumber(const files::FieldInfo& f, uint8_t* record, double value);

// Copies the value of `from` in `src` into `to` in `dst`.
void CopyField(const files::FieldInfo& from, const uint8_t* src, const files::FieldInfo& to,
               uint8_t* dst);

// Sets a key component to the lowest (or highest) value it can take in key
// order; `no_case` for components of keys that ignore letter case.
void StoreExtreme(const files::FieldInfo& f, uint8_t* record, bool highest, bool no_case);

// Compares two field values in key order: texts through the collation
// sequence (upper-cased first when `no_case`), trailing blanks ignored;
// numbers numerically; a text against a number as numbers. Returns <0, 0, >0.
int CompareFields(const files::FieldInfo& a, const uint8_t* ra, const files::FieldInfo& b,
                  const uint8_t* rb, bool no_case);

// Every field blank (fixed texts) or zero (numbers and other texts).
void ClearRecord(const std::vector<files::FieldInfo>& fields, uint8_t* record, uint32_t length);

}  // namespace vorsandt::views

#endif  // VORSANDT_RUNTIME_VIEWS_FIELD_VALUES_H_
