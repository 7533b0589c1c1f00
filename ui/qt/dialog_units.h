// Dialog units: window definitions place controls in units of the window
// font. One horizontal unit is a quarter of the font's average character
// width, one vertical unit an eighth of its height, so a window laid out for
// one font keeps its proportions in another.
#ifndef VORSANDT_UI_QT_DIALOG_UNITS_H_
#define VORSANDT_UI_QT_DIALOG_UNITS_H_

#include <cstdint>

#include "ui/engine/definition.h"

namespace vorsandt::ui::qt {

// The two base units of a font, in pixels, and how much a window widens or
// heightens them so that every text of its definition fits its control (in
// thousandths: 1000 keeps the font's own units).
struct BaseUnits {
  int width = 6;    // average width of the letters A-Z and a-z
  int height = 13;  // line height
  int stretch_x = 1000;
  int stretch_y = 1000;
};

// The average width of the 52 letters from their total advance, rounded the
// way the definitions were measured.
int AverageLetterWidth(int total_advance_of_52_letters);

// Pixels of a horizontal or vertical length in dialog units (rounded to the
// nearest pixel, halves away from zero).
int ToPixelsX(int32_t units, const BaseUnits& base);
int ToPixelsY(int32_t units, const BaseUnits& base);
// Dialog units of a pixel length (inverse of the above, rounded).
int ToUnitsX(int pixels, const BaseUnits& base);
int ToUnitsY(int pixels, const BaseUnits& base);

// A definition rectangle in pixels. Values that are not given (kNotGiven) stay
// kNotGiven: the caller takes a natural size or default place for them.
Rect ToPixels(const Rect& units, const BaseUnits& base);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_DIALOG_UNITS_H_
