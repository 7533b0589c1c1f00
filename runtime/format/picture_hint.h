// How a value is typed under a picture, in words for a message that tells the
// user what an entry expects: the parts of a date or time picture in their
// order ("day/month/year", "hours:minutes") and one value shown through the
// picture as an example ("4/07/96", "14:30", "1,234.50").
#ifndef VORSANDT_RUNTIME_FORMAT_PICTURE_HINT_H_
#define VORSANDT_RUNTIME_FORMAT_PICTURE_HINT_H_

#include <string>

#include "runtime/format/picture.h"

namespace vorsandt::format {

// The parts of a date or time picture, named in the order they are typed,
// with the picture's own separators between them and a blank where the
// picture has none ("day/month/year", "month name day,year", "year month
// day", "hours:minutes AM/PM"). Empty for the other kinds.
std::string LayoutInWords(const Picture& picture);

// A value shown through the picture without its surrounding blanks: 4 July
// 1996 for dates, 2:30 in the afternoon for times, 1234.5 for numbers with
// decimals, 1234 for whole ones and 25 for patterns. Empty for text and key-in pictures, or
// when the example does not fit the picture.
std::string ExampleOf(const Picture& picture);

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_PICTURE_HINT_H_
