#include "ui/qt/dialog_units.h"

#include <cstdlib>

namespace vorsandt::ui::qt {
namespace {

// a * b / c rounded to nearest, halves away from zero, without overflow for
// the sizes definitions use.
int MulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  int64_t p = a * b;
  int64_t q = (std::llabs(p) * 2 + c) / (2 * c);
  return static_cast<int>(p < 0 ? -q : q);
}

}  // namespace

int AverageLetterWidth(int total_advance_of_52_letters) {
  return (total_advance_of_52_letters + 26) / 52;
}

// The stretch multiplies the unit: a stretched window is the same window
// drawn larger, every control in proportion.
int ToPixelsX(int32_t units, const BaseUnits& base) {
  return MulDiv(units, int64_t{base.width} * base.stretch_x, 4000);
}
int ToPixelsY(int32_t units, const BaseUnits& base) {
  return MulDiv(units, int64_t{base.height} * base.stretch_y, 8000);
}
int ToUnitsX(int pixels, const BaseUnits& base) {
  return MulDiv(pixels, 4000, int64_t{base.width} * base.stretch_x);
}
int ToUnitsY(int pixels, const BaseUnits& base) {
  return MulDiv(pixels, 8000, int64_t{base.height} * base.stretch_y);
}

Rect ToPixels(const Rect& units, const BaseUnits& base) {
  auto map = [](int32_t v, int (*f)(int32_t, const BaseUnits&), const BaseUnits& b) {
    return v == kNotGiven ? kNotGiven : f(v, b);
  };
  Rect r;
  r.x = map(units.x, ToPixelsX, base);
  r.y = map(units.y, ToPixelsY, base);
  r.w = map(units.w, ToPixelsX, base);
  r.h = map(units.h, ToPixelsY, base);
  return r;
}

}  // namespace vorsandt::ui::qt
