// Small helpers shared by FORMAT and DEFORMAT over compiled positions.
#ifndef VORSANDT_RUNTIME_FORMAT_POSITIONS_H_
#define VORSANDT_RUNTIME_FORMAT_POSITIONS_H_

#include <cstddef>
#include <vector>

#include "runtime/format/picture.h"

namespace vorsandt::format::internal {

inline bool IsDigitPosition(PositionCode code) {
  return code == kDigitZero || code == kDigitBlank;
}
inline bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

// The number of digit positions after the (shown or implied) decimal point.
inline int CountDecimals(const Picture& picture) {
  int decimals = 0;
  bool after_point = false;
  for (const auto& p : picture.positions) {
    if (p.code == kDecimalPoint || p.code == kImpliedPoint) after_point = true;
    else if (after_point && IsDigitPosition(p.code)) ++decimals;
    else if (after_point) break;
  }
  return decimals;
}

// The length of the run of positions with the same code that starts at `k`.
inline size_t RunLength(const std::vector<Position>& pos, size_t k) {
  size_t run = 1;
  while (k + run < pos.size() && pos[k + run].code == pos[k].code) ++run;
  return run;
}

}  // namespace vorsandt::format::internal

#endif  // VORSANDT_RUNTIME_FORMAT_POSITIONS_H_
