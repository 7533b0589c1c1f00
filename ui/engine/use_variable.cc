#include "ui/engine/use_variable.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "runtime/format/format.h"
#include "runtime/format/picture.h"

namespace vorsandt::ui {
namespace {

class TextVariable : public UseVariable {
 public:
  TextVariable(std::string* text, size_t size) : text_(text), size_(size) {}
  std::string Get() const override { return *text_; }
  void Set(std::string_view text) override {
    // Fixed-length fields keep their length: cut and blank-pad.
    if (size_ > 0) {
      std::string value(text.substr(0, size_));
      value.resize(size_, ' ');
      *text_ = std::move(value);
    } else {
      *text_ = std::string(text);
    }
  }

 private:
  std::string* text_;
  size_t size_;
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

class LongVariable : public UseVariable {
 public:
  explicit LongVariable(int32_t* value) : value_(value) {}
  std::string Get() const override { return std::to_string(*value_); }
  void Set(std::string_view text) override {
    text = Trim(text);
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    (void)ptr;
    // Text that is not a number stores 0, as an empty entry does.
    if (ec != std::errc()) v = 0;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    *value_ = static_cast<int32_t>(v);
  }
  bool numeric() const override { return true; }

 private:
  int32_t* value_;
};

class RealVariable : public UseVariable {
 public:
  explicit RealVariable(double* value) : value_(value) {}
  std::string Get() const override {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", *value_);
    return buf;
  }
  void Set(std::string_view text) override {
    std::string s(Trim(text));
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    *value_ = (end == s.c_str()) ? 0.0 : v;
  }
  bool numeric() const override { return true; }

 private:
  double* value_;
};

std::unique_ptr<DisplayFormatter>& Installed() {
  static std::unique_ptr<DisplayFormatter> formatter = std::make_unique<DisplayFormatter>();
  return formatter;
}

}  // namespace

std::unique_ptr<UseVariable> BindText(std::string* text, size_t size) {
  return std::make_unique<TextVariable>(text, size);
}
std::unique_ptr<UseVariable> BindLong(int32_t* value) {
  return std::make_unique<LongVariable>(value);
}
std::unique_ptr<UseVariable> BindReal(double* value) {
  return std::make_unique<RealVariable>(value);
}

std::string DisplayFormatter::Format(std::string_view value, std::string_view picture,
                                     bool numeric) const {
  std::optional<format::Picture> compiled;
  if (!picture.empty()) compiled = format::CompilePicture(picture);
  if (!compiled) {
    // No picture (or one that does not compile): the value as it is.
    if (numeric) return std::string(Trim(value));
    std::string_view v = value;
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return std::string(v);
  }
  std::string shown = numeric && !compiled->TakesText()
                          ? format::Format(format::DeformatNumber(value), *compiled)
                          : format::Format(value, *compiled);
  // Text pictures pad to their width; the padding is not part of what shows.
  if (compiled->TakesText()) {
    while (!shown.empty() && shown.back() == ' ') shown.pop_back();
  }
  return shown;
}

std::string DisplayFormatter::Deformat(std::string_view text, std::string_view picture,
                                       bool numeric) const {
  std::optional<format::Picture> compiled;
  if (!picture.empty()) compiled = format::CompilePicture(picture);
  if (!compiled) return numeric ? std::string(Trim(text)) : std::string(text);
  // A string shown through a text picture keeps what was typed; every other
  // picture gives back the value it shows (key-in text, or a number).
  if (!numeric && compiled->kind == format::PictureKind::kText) return std::string(text);
  return format::Deformat(text, &*compiled).text;
}

std::string UseVariable::Show(std::string_view picture) const {
  return Formatter().Format(Get(), picture, numeric());
}

bool UseVariable::Accept(std::string_view typed, std::string_view picture) {
  Set(Formatter().Deformat(typed, picture, numeric()));
  return true;
}

Refusal UseVariable::WhyRefused(std::string_view, std::string_view) const { return Refusal::kNone; }

const DisplayFormatter& Formatter() { return *Installed(); }

}  // namespace vorsandt::ui
