#include "runtime/format/picture_hint.h"

#include "runtime/format/dates.h"
#include "runtime/format/format.h"
#include "runtime/format/positions.h"

namespace vorsandt::format {
namespace {

const char* PartName(PositionCode code) {
  switch (code) {
    case kMonthDigit:
      return "month";
    case kDayDigit:
      return "day";
    case kYearDigit:
      return "year";
    case kMonthName:
      return "month name";
    case kHourDigit:
      return "hours";
    case kMinuteDigit:
      return "minutes";
    case kSecondDigit:
      return "seconds";
    case kAmPm:
      return "AM/PM";
    default:
      return nullptr;
  }
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string LayoutInWords(const Picture& picture) {
  if (picture.kind != PictureKind::kDate && picture.kind != PictureKind::kTime) return {};
  std::string out;
  bool part_last = false;  // the text ends with a part's name
  for (size_t k = 0; k < picture.positions.size();) {
    const Position& p = picture.positions[k];
    const size_t run = internal::RunLength(picture.positions, k);
    if (const char* name = PartName(p.code)) {
      // Two parts with nothing between them are told apart by a blank.
      if (part_last) out += ' ';
      out += name;
      part_last = true;
      k += run;
      continue;
    }
    // Separators and literals stand as the picture shows them, one by one.
    out += p.ch;
    part_last = false;
    ++k;
  }
  return Trimmed(out);
}

std::string ExampleOf(const Picture& picture) {
  double value = 0;
  switch (picture.kind) {
    case PictureKind::kDate:
      value = DateFromParts(7, 4, 1996);
      break;
    case PictureKind::kTime:
      value = TimeFromParts(14, 30, 0, 0);
      break;
    case PictureKind::kPattern:
      value = 25;  // a pattern's digits are few: a percentage, a code
      break;
    case PictureKind::kText:
    case PictureKind::kKeyIn:
      return {};
    default:
      value = internal::CountDecimals(picture) > 0 ? 1234.5 : 1234;
  }
  std::string shown = Trimmed(Format(value, picture));
  if (shown.empty() || shown.find('#') != std::string::npos) return {};
  return shown;
}

}  // namespace vorsandt::format
