#include "ui/engine/column_format.h"

#include <cctype>

namespace vorsandt::ui {
namespace {

// A list never has anywhere near this many columns; the cap keeps a
// malformed string from building an unbounded vector.
constexpr size_t kMaxColumns = 255;
constexpr int kMaxWidth = 100000;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  // format := column { column }
  ColumnFormatResult Format() {
    ColumnFormatResult result;
    if (text_.empty()) return Fail(result, "a column width");
    while (pos_ < text_.size()) {
      if (result.columns.size() >= kMaxColumns) return Fail(result, "at most 255 columns");
      Column column;
      if (!ParseColumn(column)) return Fail(result, expected_);
      result.columns.push_back(std::move(column));
    }
    result.ok = true;
    return result;
  }

 private:
  ColumnFormatResult& Fail(ColumnFormatResult& result, const std::string& what) {
    result.columns.clear();
    result.ok = false;
    result.error_offset = pos_;
    result.error = "expected " + what;
    return result;
  }

  bool Expect(const char* what) {
    expected_ = what;
    return false;
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  // column := width justify { modifier } [ header ] [ picture ]
  bool ParseColumn(Column& column) {
    if (!ParseWidth(column.width)) return false;
    if (!ParseJustify(column.justify)) return Expect("a justification letter L, C or R");
    ParseModifiers(column);
    if (Peek() == '~' && !ParseHeader(column)) return false;
    if (Peek() == '@' && !ParsePicture(column)) return false;
    // Modifiers written after the header or picture are not part of the
    // format; anything but the next column's width is an error.
    if (!AtEnd() && !std::isdigit(static_cast<unsigned char>(Peek()))) {
      return Expect("the next column's width");
    }
    return true;
  }

  // width := digit { digit }
  bool ParseWidth(int& width) {
    if (!std::isdigit(static_cast<unsigned char>(Peek()))) return Expect("a column width");
    width = 0;
    while (std::isdigit(static_cast<unsigned char>(Peek()))) {
      width = width * 10 + (Peek() - '0');
      if (width > kMaxWidth) return Expect("a width of at most 100000");
      ++pos_;
    }
    return true;
  }

  // justify := "L" | "C" | "R"
  bool ParseJustify(char& justify) {
    char c = Peek();
    if (c == 'L' || c == 'C' || c == 'R') {
      justify = c;
      ++pos_;
      return true;
    }
    return false;
  }

  // modifier := "|" | "M" | "*" | "T"
  void ParseModifiers(Column& column) {
    for (;;) {
      switch (Peek()) {
        case '|':
          column.separator = true;
          break;
        case 'M':
          column.resizable = true;
          break;
        case '*':
          column.icons = true;
          break;
        case 'T':
          column.tree = true;
          break;
        default:
          return;
      }
      ++pos_;
    }
  }

  // header := "~" { any but "~" } "~" [ justify ]
  bool ParseHeader(Column& column) {
    size_t open = pos_++;  // "~"
    size_t end = text_.find('~', pos_);
    if (end == std::string_view::npos) {
      pos_ = open;  // point at the unclosed "~"
      return Expect("\"~\" closing the header");
    }
    column.has_header = true;
    column.header = std::string(text_.substr(pos_, end - pos_));
    pos_ = end + 1;
    char justify = 0;
    if (ParseJustify(justify)) column.header_justify = justify;
    return true;
  }

  // picture := "@" { any but "@" } "@"
  bool ParsePicture(Column& column) {
    size_t open = pos_++;  // "@"
    size_t end = text_.find('@', pos_);
    if (end == std::string_view::npos || end == pos_) {
      bool empty = end == pos_;
      pos_ = open;  // point at the opening "@"
      return Expect(empty ? "a picture between the \"@\"s" : "\"@\" closing the picture");
    }
    column.picture = std::string(text_.substr(pos_, end - pos_));
    pos_ = end + 1;
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::string expected_;
};

}  // namespace

ColumnFormatResult ParseColumnFormat(std::string_view text) { return Parser(text).Format(); }

}  // namespace vorsandt::ui
