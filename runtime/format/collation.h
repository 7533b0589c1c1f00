// The collation sequence used when texts are compared.
//
// Each character set has a weight table (a permutation of 0-255). Text is
// compared through the table of the character set in force: with the OEM set
// the OEM table is used.
#ifndef VORSANDT_RUNTIME_FORMAT_COLLATION_H_
#define VORSANDT_RUNTIME_FORMAT_COLLATION_H_

#include <cstdint>
#include <string_view>

#include "runtime/format/locale.h"

namespace vorsandt::format {

// The weight of `c` in the table in force.
uint8_t CollationWeight(char c);

// Compares two texts character by character by weight over their common
// length; the rest of the longer text is compared with blanks, so trailing
// blanks never matter. Returns <0, 0 or >0.
int CompareText(std::string_view a, std::string_view b);
// As CompareText, with both texts upper-cased as they are compared (what
// comparing their ToUpperText forms gives, without making them).
int CompareText(std::string_view a, std::string_view b, bool fold_case);

// Builds both tables from a list of characters in collation order, written in
// the character set in force. The listed characters take, in list order, the
// weights their own codes would have had; every other character keeps its
// code. An empty list gives every character its own code.
void SetCollationSequence(Locale* locale, std::string_view sequence);
// Orders the characters 2-254 by the C library's collation of the process
// locale (a stable insertion sort), for both tables.
void SetSystemCollation(Locale* locale);

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_COLLATION_H_
