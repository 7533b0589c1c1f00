// Packed decimal fields as records hold them.
//
// A field of n bytes holds 2n-1 decimal digits, most significant first, one
// per nibble; the high nibble of the first byte is the sign (0 positive, any
// other value negative; 0xF is written). The decimal places are part of the
// field's declaration, not of the bytes.
#ifndef VORSANDT_RUNTIME_EVAL_PACKED_DECIMAL_H_
#define VORSANDT_RUNTIME_EVAL_PACKED_DECIMAL_H_

#include <cstdint>
#include <span>

namespace vorsandt::eval {

// The value of the field. A nibble above 9 is read as 9 so that a damaged
// record still gives a finite number. An empty span is 0.
double ReadPackedDecimal(std::span<const uint8_t> bytes, int places);

// Stores `value` rounded to `places` decimals. Returns false (and stores the
// largest value of the field's sign) when the value needs more digits than
// the field has; NaN stores 0 and returns false.
bool WritePackedDecimal(double value, int places, std::span<uint8_t> bytes);

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_PACKED_DECIMAL_H_
