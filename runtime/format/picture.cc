// The picture compiler: a recursive-descent parser over the picture text.
// No construct of the picture language nests, so the descent is at most three
// calls deep; the text length is capped instead (kMaxPictureTextLength).
#include "runtime/format/picture.h"

#include <string>

#include "runtime/format/locale.h"

namespace vorsandt::format {
namespace {

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

// Layouts of date and time pictures in a small notation:
//   M m   month digit (upper case: first digit blank when not significant)
//   D d   day digit
//   y     year digit
//   N     month-name letter
//   H h   hour digit;  n minute digit;  s second digit;  X AM/PM letter
//   / . - : ,   replaceable separator shown as itself
//   _     replaceable separator shown as a blank
//   ' '   literal blank;  \c  literal c
constexpr const char* kDateLayouts[17] = {
    nullptr,         "Mm/dd/yy",   "Mm/dd/yyyy", "NNN Dd,yyyy", "NNNNNNNNNNNN Dd, yyyy",
    "Dd/mm/yy",      "Dd/mm/yyyy", "Dd_NNN_yy",  "Dd_NNN_yyyy", "yy/mm/dd",
    "yyyy/mm/dd",    "yymmdd",     "yyyymmdd",   "mm/yy",       "mm/yyyy",
    "yy/mm",         "yyyy/mm",
};
constexpr const char* kTimeLayouts[7] = {
    nullptr, "Hh:nn", "Hhnn", "Hh:nnXM", "Hh:nn:ss", "Hhnnss", "Hh:nn:ssXM",
};

class Compiler {
 public:
  explicit Compiler(std::string_view text) : text_(text) {}

  // picture := [ "@" ] ( number | scientific | date | time | pattern | keyin | text )
  std::optional<Picture> Compile() {
    if (text_.size() > kMaxPictureTextLength) return std::nullopt;
    Accept('@');
    if (AtEnd()) return std::nullopt;
    char kind = Next();
    bool ok = false;
    switch (kind) {
      case 'N':
      case 'n':
        ok = ParseNumber();
        break;
      case 'E':
      case 'e':
        ok = ParseScientific();
        break;
      case 'D':
      case 'd':
        ok = ParseDateOrTime(PictureKind::kDate);
        break;
      case 'T':
      case 't':
        ok = ParseDateOrTime(PictureKind::kTime);
        break;
      case 'P':
      case 'p':
        ok = ParsePattern(kind);
        break;
      case 'K':
      case 'k':
        ok = ParseKeyIn(kind);
        break;
      case 'S':
      case 's':
        ok = ParseText();
        break;
      default:
        ok = false;
    }
    if (!ok || !AtEnd()) return std::nullopt;
    if (picture_.kind != PictureKind::kText) {
      picture_.width = 0;
      for (const auto& p : picture_.positions) {
        if (p.code != kImpliedPoint && p.code != kKeyStop) ++picture_.width;
      }
    }
    if (picture_.width < 1 || picture_.width > kMaxPictureWidth) return std::nullopt;
    if (picture_.positions.size() > static_cast<size_t>(kMaxPictureEntries)) return std::nullopt;
    return picture_;
  }

 private:
  bool AtEnd() const { return at_ >= text_.size(); }
  char Peek(size_t ahead = 0) const {
    return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
  }
  char Next() { return text_[at_++]; }
  bool Accept(char c) {
    if (AtEnd() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  void Add(char ch, PositionCode code) { picture_.positions.push_back({ch, code}); }

  // count := digit { digit }   (at most three digits; the value is returned,
  // -1 when there is none)
  int ParseCount() {
    int value = -1;
    int digits = 0;
    while (IsDigitChar(Peek())) {
      if (++digits > 3) return -2;
      value = (value < 0 ? 0 : value * 10) + (Next() - '0');
    }
    return value;
  }

  // blank_flag := [ "B" | "b" ]
  void ParseBlankFlag() {
    if (Accept('B') || Accept('b')) picture_.blank_when_zero = true;
  }

  // currency := "$" | "~" { any character but "~" } "~"
  bool ParseCurrency(std::string* currency) {
    if (Accept('$')) {
      currency->assign(1, '$');
      return true;
    }
    if (!Accept('~')) return true;
    size_t close = text_.find('~', at_);
    if (close == std::string_view::npos || close == at_) return false;
    *currency = std::string(text_.substr(at_, close - at_));
    at_ = close + 1;
    return true;
  }

  // separators := [ sepchar [ sepchar ] ] [ count ]
  // sepchar    := "." | "`" | "_" | "V" | "v"
  // With two sepchars the first groups the digits and the second marks the
  // decimals; a single one marks the decimals (a lone "_" groups by blanks).
  bool ParseSeparators(char* group, char* decimal, int* decimals) {
    auto is_sep = [](char c) { return c == '.' || c == '`' || c == '_' || c == 'V' || c == 'v'; };
    auto shown = [](char c) { return c == '`' ? ',' : c == '_' ? ' ' : c; };
    *group = 0;
    *decimal = 0;
    *decimals = 0;
    if (!is_sep(Peek())) return true;
    char first = Next();
    if (is_sep(Peek())) {
      char second = Next();
      if (first == 'V' || first == 'v' || second == '_') return false;
      *group = shown(first);
      *decimal = (second == 'V' || second == 'v') ? 'V' : shown(second);
    } else if (first == '_') {
      *group = ' ';
    } else {
      *decimal = (first == 'V' || first == 'v') ? 'V' : shown(first);
    }
    if (*decimal != 0) {
      int count = ParseCount();
      if (count == -2) return false;
      *decimals = count < 0 ? 0 : count;
    }
    return true;
  }

  // number := "N" [ currency ] [ "-" | "(" ] [ "0" | "_" | "*" ] count
  //           separators [ "-" | ")" ] [ currency ] blank_flag
  bool ParseNumber() {
    picture_.kind = PictureKind::kNumber;
    std::string lead_currency;
    std::string trail_currency;
    if (!ParseCurrency(&lead_currency)) return false;
    char lead_sign = 0;
    if (Peek() == '-' || Peek() == '(') lead_sign = Next();
    char fill = 0;
    // A fill character is one of the three directly before the width digits.
    if ((Peek() == '0' && IsDigitChar(Peek(1))) || Peek() == '_' || Peek() == '*') fill = Next();
    int width = ParseCount();
    if (width < 1) return false;
    char group = 0;
    char decimal = 0;
    int decimals = 0;
    if (!ParseSeparators(&group, &decimal, &decimals)) return false;
    char trail_sign = 0;
    if (lead_sign == '(') {
      if (!Accept(')')) return false;
      trail_sign = ')';
    } else if (lead_sign == 0 && Accept('-')) {
      trail_sign = '-';
    }
    if (lead_currency.empty() && !ParseCurrency(&trail_currency)) return false;
    ParseBlankFlag();

    if (group == 0) {
      if (fill == '*') group = '*';
      else if (fill == '0' || fill == '_') group = 0;
      else group = decimal == ',' ? '.' : ',';
    }
    int fixed = static_cast<int>(lead_currency.size() + trail_currency.size()) +
                (lead_sign ? 1 : 0) + (trail_sign ? 1 : 0) +
                (decimal != 0 && decimal != 'V' ? 1 : 0) + decimals;
    int integer_positions = width - fixed;
    if (integer_positions < 0 || integer_positions + decimals < 1) return false;

    for (char c : lead_currency) Add(c, kCurrency);
    if (lead_sign) Add(lead_sign, kSignPosition);
    AddIntegerDigits(integer_positions, fill, group);
    if (decimal == 'V') {
      Add('.', kImpliedPoint);
    } else if (decimal != 0) {
      Add(decimal, kDecimalPoint);
    }
    for (int i = 0; i < decimals; ++i) Add('0', kDigitZero);
    if (trail_sign) Add(trail_sign, kSignPosition);
    for (char c : trail_currency) Add(c, kCurrency);
    return true;
  }

  // Integer positions, built from the right: groups of three digits with a
  // separator between groups. The units digit always shows (0 when the value
  // has no integer part); the others show the fill.
  void AddIntegerDigits(int count, char fill, char group) {
    std::vector<Position> reversed;
    int in_group = 0;
    char fill_shown = fill == '*' ? '*' : ' ';
    for (int i = 0; i < count; ++i) {
      if (group != 0 && in_group == 3) {
        reversed.push_back({group, kGroupSeparator});
        in_group = 0;
        continue;
      }
      if (i == 0 || fill == '0') {
        reversed.push_back({'0', kDigitZero});
      } else {
        reversed.push_back({fill_shown, kDigitBlank});
      }
      ++in_group;
    }
    picture_.positions.insert(picture_.positions.end(), reversed.rbegin(), reversed.rend());
  }

  // scientific := "E" count separators blank_flag
  // Layout: sign, integer digits, point, decimals, "e", exponent sign and three
  // exponent digits in the last five positions.
  bool ParseScientific() {
    picture_.kind = PictureKind::kScientific;
    int width = ParseCount();
    if (width < 1) return false;
    char group = 0;
    char decimal = 0;
    int decimals = 0;
    if (!ParseSeparators(&group, &decimal, &decimals)) return false;
    ParseBlankFlag();
    int integer_positions =
        width - 1 - (decimal != 0 && decimal != 'V' ? 1 : 0) - decimals - 5;
    if (integer_positions < 1) return false;
    Add('-', kSignPosition);
    for (int i = 0; i < integer_positions; ++i)
      Add(i + 1 == integer_positions ? '0' : ' ', i + 1 == integer_positions ? kDigitZero
                                                                               : kDigitBlank);
    if (decimal == 'V') {
      Add('.', kImpliedPoint);
    } else if (decimal != 0) {
      Add(decimal, kDecimalPoint);
    }
    for (int i = 0; i < decimals; ++i) Add('0', kDigitZero);
    Add('e', kLiteral);
    Add('+', kSignPosition);
    for (int i = 0; i < 3; ++i) Add('0', kDigitZero);
    return true;
  }

  // date := "D" [ "0" | "_" | "*" ] count [ "." | "-" | "_" | "`" ] blank_flag
  // time := "T" [ "0" | "_" | "*" ] count [ "." | "-" | "_" | "`" ] blank_flag
  bool ParseDateOrTime(PictureKind kind) {
    picture_.kind = kind;
    char fill = 0;
    if ((Peek() == '0' || Peek() == '_' || Peek() == '*') && IsDigitChar(Peek(1))) fill = Next();
    if (fill == '_') fill = ' ';
    int number = ParseCount();
    char separator = 0;
    if (Peek() == '.' || Peek() == '-' || Peek() == '_' || Peek() == '`') {
      char c = Next();
      separator = c == '_' ? ' ' : c == '`' ? ',' : c;
    }
    ParseBlankFlag();
    std::string layout;
    const RegionalSettings& regional = CurrentLocale().regional;
    if (kind == PictureKind::kDate) {
      if (number >= 1 && number <= 16) layout = kDateLayouts[number];
      else if (number == 17 || number == 18) {
        bool long_form = number == 18;
        layout = LayoutFromDateForm(long_form ? regional.long_date : regional.short_date,
                                    long_form);
        // A form without date parts falls back to the built-in form.
        if (layout.empty()) {
          RegionalSettings defaults;
          layout = LayoutFromDateForm(long_form ? defaults.long_date : defaults.short_date,
                                      long_form);
        }
      } else {
        return false;
      }
    } else {
      if (number >= 1 && number <= 6) layout = kTimeLayouts[number];
      else if (number == 7 || number == 8) layout = LayoutFromTimeSettings(regional, number == 8);
      else return false;
    }
    if (layout.empty()) return false;
    return AddLayout(layout, kind, fill, separator);
  }

  static bool IsSeparatorChar(char c) {
    return c == '/' || c == '.' || c == '-' || c == ':' || c == ',';
  }

  bool AddLayout(const std::string& layout, PictureKind kind, char fill, char separator) {
    bool date = kind == PictureKind::kDate;
    for (size_t i = 0; i < layout.size(); ++i) {
      char c = layout[i];
      // Only the first letter of a run may be upper case; it shows a blank
      // when the digit is not significant.
      char lead = (c >= 'A' && c <= 'Z') ? ' ' : '0';
      char shown = fill != 0 ? fill : lead;
      switch (c) {
        case 'M':
        case 'm':
          Add(date ? shown : 'M', date ? kMonthDigit : kAmPm);
          break;
        case 'D':
        case 'd':
          Add(shown, kDayDigit);
          break;
        case 'y':
          Add(shown, kYearDigit);
          break;
        case 'N':
          Add(' ', kMonthName);
          break;
        case 'H':
        case 'h':
          Add(shown, kHourDigit);
          break;
        case 'n':
          Add(shown, kMinuteDigit);
          break;
        case 's':
          Add(shown, kSecondDigit);
          break;
        case 'X':
          Add('A', kAmPm);
          break;
        case '_':
          Add(separator ? separator : ' ', kDateTimeSeparator);
          break;
        case '\\':
          if (++i < layout.size()) Add(layout[i], kLiteral);
          break;
        default:
          if (IsSeparatorChar(c)) Add(separator ? separator : c, kDateTimeSeparator);
          else Add(c, kLiteral);
      }
    }
    return true;
  }

  // The locale's date form: d, M and y runs in the form's order, text in
  // single quotes passed over as literal text; weekday names (ddd, dddd) and
  // the text next to them are left out.
  static std::string LayoutFromDateForm(std::string_view form, bool long_form) {
    struct Token {
      bool part;
      std::string text;
    };
    std::vector<Token> tokens;
    auto add_literal = [&tokens](const std::string& text) {
      if (tokens.empty() || tokens.back().part) tokens.push_back({false, ""});
      tokens.back().text += text;
    };
    for (size_t i = 0; i < form.size() && i < 256;) {
      char c = form[i];
      if (c == '\'') {
        size_t close = form.find('\'', i + 1);
        if (close == i + 1) {  // '' is a quote character
          add_literal("\\'");
          i += 2;
          continue;
        }
        std::string_view quoted = form.substr(i + 1, close == std::string_view::npos
                                                         ? std::string_view::npos
                                                         : close - i - 1);
        std::string literal;
        for (char q : quoted) {
          if (q == ' ') literal += ' ';
          else if (IsSeparatorChar(q)) literal += q;
          else literal += std::string("\\") + q;
        }
        add_literal(literal);
        i = close == std::string_view::npos ? form.size() : close + 1;
        continue;
      }
      if (c == 'd' || c == 'M' || c == 'y') {
        size_t run = 0;
        while (i + run < form.size() && form[i + run] == c) ++run;
        // A weekday (ddd, dddd) gives an empty part.
        const char* part = "";
        if (c == 'd') part = run == 1 ? "Dd" : run == 2 ? "dd" : "";
        if (c == 'M') {
          if (run >= 4 || (long_form && run <= 2)) part = "NNNNNNNNNNNN";
          else if (run == 3) part = "NNN";
          else part = run == 1 ? "Mm" : "mm";
        }
        if (c == 'y') part = run <= 2 ? "yy" : "yyyy";
        tokens.push_back({true, std::string(part)});
        i += run;
        continue;
      }
      if (c == ' ') add_literal("_");
      else if (IsSeparatorChar(c)) add_literal(std::string(1, c));
      else add_literal(std::string("\\") + c);
      ++i;
    }
    // Drop weekdays with the text that joins them to the date.
    std::vector<Token> kept;
    for (size_t i = 0; i < tokens.size(); ++i) {
      if (tokens[i].part && tokens[i].text.empty()) {
        if (i + 1 < tokens.size() && !tokens[i + 1].part) ++i;
        else if (!kept.empty() && !kept.back().part) kept.pop_back();
        continue;
      }
      kept.push_back(tokens[i]);
    }
    while (!kept.empty() && !kept.front().part) kept.erase(kept.begin());
    while (!kept.empty() && !kept.back().part) kept.pop_back();
    std::string layout;
    for (const auto& token : kept) layout += token.text;
    return layout;
  }

  // @T7 shows hours and minutes, @T8 seconds as well; a 12-hour clock adds
  // the AM/PM texts.
  static std::string LayoutFromTimeSettings(const RegionalSettings& regional, bool with_seconds) {
    std::string separator = regional.s_time.empty() ? ":" : regional.s_time.substr(0, 1);
    if (!IsSeparatorChar(separator[0])) separator = "\\" + separator;
    std::string layout = regional.i_tlzero ? "hh" : "Hh";
    layout += separator + "nn";
    if (with_seconds) layout += separator + "ss";
    if (regional.i_time == 0) layout += "XM";
    return layout;
  }

  // pattern := "P" { "#" | "<" | other character } "P" blank_flag
  // (closed by the same letter that opened it)
  bool ParsePattern(char open) {
    picture_.kind = PictureKind::kPattern;
    while (!AtEnd() && Peek() != open) {
      char c = Next();
      if (c == '#') Add('0', kDigitZero);
      else if (c == '<') Add(' ', kDigitBlank);
      else Add(c, kLiteral);
    }
    if (!Accept(open)) return false;
    ParseBlankFlag();
    return true;
  }

  // keyin := "K" { "#" | "<" | "@" | "^" | "_" | "?" | "|" | "\" character
  //               | other character } "K"
  bool ParseKeyIn(char open) {
    picture_.kind = PictureKind::kKeyIn;
    while (!AtEnd() && Peek() != open) {
      char c = Next();
      switch (c) {
        case '#': Add('0', kDigitZero); break;
        case '<': Add(' ', kDigitBlank); break;
        case '@': Add(' ', kKeyLetter); break;
        case '^': Add(' ', kKeyUpper); break;
        case '_': Add(' ', kKeyLower); break;
        case '?': Add(' ', kKeyAny); break;
        case '|': Add('|', kKeyStop); break;
        case '\\':
          if (AtEnd()) return false;
          Add(Next(), kLiteral);
          break;
        default: Add(c, kLiteral);
      }
    }
    return Accept(open);
  }

  // text := "S" count
  bool ParseText() {
    picture_.kind = PictureKind::kText;
    int width = ParseCount();
    if (width < 1) return false;
    picture_.width = width;
    return true;
  }

  std::string_view text_;
  size_t at_ = 0;
  Picture picture_;
};

}  // namespace

std::vector<uint8_t> Picture::Encode() const {
  std::vector<uint8_t> bytes;
  bytes.push_back(static_cast<uint8_t>((static_cast<uint8_t>(kind) & 7) |
                                       (blank_when_zero ? 8 : 0)));
  bytes.push_back(static_cast<uint8_t>(width));
  for (const auto& p : positions) {
    bytes.push_back(static_cast<uint8_t>(p.ch));
    bytes.push_back(p.code);
  }
  return bytes;
}

std::optional<Picture> Picture::Decode(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0 || bytes.size() > kMaxCompiledSize)
    return std::nullopt;
  Picture picture;
  if ((bytes[0] & 7) > static_cast<uint8_t>(PictureKind::kKeyIn)) return std::nullopt;
  picture.kind = static_cast<PictureKind>(bytes[0] & 7);
  picture.blank_when_zero = (bytes[0] & 8) != 0;
  picture.width = bytes[1];
  if (picture.width == 0) return std::nullopt;
  int shown = 0;
  for (size_t i = 2; i < bytes.size(); i += 2) {
    uint8_t code = bytes[i + 1];
    if (code > kKeyStop || code == 18 || code == 21) return std::nullopt;
    picture.positions.push_back({static_cast<char>(bytes[i]), static_cast<PositionCode>(code)});
    if (code != kImpliedPoint && code != kKeyStop) ++shown;
  }
  if (picture.kind == PictureKind::kText ? !picture.positions.empty() : shown != picture.width)
    return std::nullopt;
  return picture;
}

std::optional<Picture> CompilePicture(std::string_view text) { return Compiler(text).Compile(); }

}  // namespace vorsandt::format
