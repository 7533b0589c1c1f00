#include "ui/engine/field_variable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "runtime/eval/bind_table.h"
#include "runtime/files/field_codec.h"
#include "runtime/format/format.h"
#include "runtime/format/picture.h"
#include "ui/engine/window.h"

namespace vorsandt::ui {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool Shown(const files::FieldInfo& f) {
  return files::IsScalarType(f.type) && f.element_count == 1 && f.size > 0;
}

class FieldVariable : public UseVariable {
 public:
  // Either `file` (the calling thread's instance is used) or `record`.
  FieldVariable(files::FileRecord* file, uint8_t* record, files::FieldInfo field)
      : file_(file), record_(record), field_(std::move(field)) {}

  std::string Get() const override {
    eval::VariableRef ref = Ref();
    if (!numeric()) return eval::ReadText(ref, 0);
    // Whole numbers that fit an int32 read as such; unsigned longs, reals
    // and packed decimals through a double, which holds each exactly.
    bool whole = files::IsWholeType(field_.type) && field_.type != files::kTypeULong;
    if (whole) return std::to_string(eval::ReadInteger(ref, 0));
    return format::NumberText(eval::ReadReal(ref, 0));
  }

  void Set(std::string_view text) override { Store(text, nullptr); }

  bool numeric() const override { return files::IsNumberType(field_.type); }

  std::string Show(std::string_view picture) const override {
    return Formatter().Format(Get(), picture.empty() ? OwnPicture() : picture, numeric());
  }

  bool Accept(std::string_view typed, std::string_view picture) override {
    std::string_view pic = picture.empty() ? OwnPicture() : picture;
    if (!numeric()) return Store(Formatter().Deformat(typed, pic, false), nullptr);
    std::optional<format::Picture> compiled = Compiled(pic);
    return Store(typed, compiled ? &*compiled : nullptr);
  }

  Refusal WhyRefused(std::string_view typed, std::string_view picture) const override {
    if (!numeric()) return Refusal::kNone;  // text fields take any text
    std::optional<format::Picture> compiled = Compiled(picture.empty() ? OwnPicture() : picture);
    const format::Picture* pic = compiled ? &*compiled : nullptr;
    std::optional<double> value = Number(typed, pic);
    if (!value) {
      if (pic != nullptr && pic->kind == format::PictureKind::kDate) return Refusal::kNotADate;
      if (pic != nullptr && pic->kind == format::PictureKind::kTime) return Refusal::kNotATime;
      return Refusal::kNotANumber;
    }
    // Tried on a copy of the field's bytes: the record stays as it is.
    std::vector<uint8_t> scratch(Bytes(), Bytes() + field_.size);
    files::FieldBytes bytes{field_.type, scratch.data(), field_.size, field_.decimals};
    if (files::WriteNumber(bytes, *value, files::Overflow::kRefuse)) return Refusal::kNone;
    return *value < 0 ? Refusal::kTooSmall : Refusal::kTooLarge;
  }

 private:
  std::string_view OwnPicture() const {
    // Only fixed strings carry a picture in the layout; the others carry
    // their declared text there.
    return field_.type == files::kTypeString ? std::string_view(field_.picture)
                                             : std::string_view();
  }

  static std::optional<format::Picture> Compiled(std::string_view picture) {
    if (picture.empty()) return std::nullopt;
    return format::CompilePicture(picture);
  }

  uint8_t* Bytes() const {
    uint8_t* record = file_ != nullptr ? files::InstanceOf(file_)->buffer : record_;
    return record + field_.offset;
  }

  eval::VariableRef Ref() const {
    eval::VariableRef ref;
    ref.address = Bytes();
    ref.type = field_.type;
    ref.size = field_.size;
    ref.places = field_.decimals;
    return ref;
  }

  // Text fields take `text` as it is; numeric fields read it through
  // `picture` (null: a plain number). False when nothing was stored.
  bool Store(std::string_view text, const format::Picture* picture) {
    files::FieldBytes bytes{field_.type, Bytes(), field_.size, field_.decimals};
    if (files::WriteText(bytes, text)) return true;
    std::optional<double> value = Number(text, picture);
    return value && files::WriteNumber(bytes, *value, files::Overflow::kRefuse);
  }

  // The number a text shows; nullopt when it shows none.
  static std::optional<double> Number(std::string_view text, const format::Picture* picture) {
    bool blank = text.find_first_not_of(' ') == std::string_view::npos;
    if (blank) return 0.0;
    bool digit = false;
    for (char c : text) digit = digit || (c >= '0' && c <= '9');
    bool dated = picture != nullptr && (picture->kind == format::PictureKind::kDate ||
                                        picture->kind == format::PictureKind::kTime);
    // A date may name its month ("MAR 5, 2024"); anything else needs digits.
    if (!digit && !dated) return std::nullopt;
    if (picture != nullptr && picture->TakesText()) picture = nullptr;
    double value = format::DeformatNumber(text);
    if (picture != nullptr) {
      format::Deformatted read = format::Deformat(text, picture);
      // A date beyond the calendar (31 February) would be stored as another
      // day (3 March): the entry refuses it instead.
      if (read.carried) return std::nullopt;
      value = read.number;
    }
    if (!std::isfinite(value)) return std::nullopt;
    // Dates and times read as -1 (a day or time part out of range) or 0
    // (nothing recognisable in text that is not blank) are not values.
    if (dated && value <= 0) return std::nullopt;
    return value;
  }

  files::FileRecord* file_;
  uint8_t* record_;
  files::FieldInfo field_;
};

// A text memo: a blank-padded buffer of its maximum size beside the record
// (a new instance's buffer holds zero bytes until something is read).
class MemoVariable : public UseVariable {
 public:
  MemoVariable(files::FileRecord* file, size_t index) : file_(file), index_(index) {}

  std::string Get() const override {
    const std::vector<char>* buffer = Buffer();
    if (buffer == nullptr) return {};
    std::string text(buffer->begin(), buffer->end());
    if (size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
  }

  void Set(std::string_view text) override {
    std::vector<char>* buffer = Buffer();
    if (buffer == nullptr) return;
    // Longer text than the memo holds is cut; the rest is blanks.
    std::fill(buffer->begin(), buffer->end(), ' ');
    std::copy_n(text.begin(), std::min(text.size(), buffer->size()), buffer->begin());
  }

 private:
  std::vector<char>* Buffer() const {
    files::FileRecord* instance = files::InstanceOf(file_);
    return index_ < instance->memo_buffers.size() ? &instance->memo_buffers[index_] : nullptr;
  }

  files::FileRecord* file_;
  size_t index_;
};

std::string MemoName(const files::MemoDecl& memo) {
  return memo.name_length >= 0 ? std::string(memo.name, static_cast<size_t>(memo.name_length))
                               : std::string(memo.name);
}

}  // namespace

std::vector<files::FieldInfo> RecordFields(const files::FileRecord& file) {
  std::vector<files::FieldInfo> fields;
  if (file.layout == nullptr || file.layout_size == 0) return fields;
  if (files::ParseLayout(std::span<const uint8_t>(file.layout, file.layout_size), &fields) != 0) {
    fields.clear();
  }
  return fields;
}

std::optional<files::FieldInfo> FindField(const files::FileRecord& file, std::string_view name) {
  std::string wanted = Upper(name);
  for (files::FieldInfo& f : RecordFields(file)) {
    if (Upper(f.name) == wanted) return std::move(f);
  }
  return std::nullopt;
}

std::unique_ptr<UseVariable> BindField(files::FileRecord* file, std::string_view name) {
  if (file == nullptr) return nullptr;
  std::optional<files::FieldInfo> field = FindField(*file, name);
  if (!field || !Shown(*field) || field->offset + field->size > file->record_length) return nullptr;
  return std::make_unique<FieldVariable>(file, nullptr, std::move(*field));
}

std::unique_ptr<UseVariable> BindField(uint8_t* record, uint32_t record_length,
                                       const files::FieldInfo& field) {
  if (record == nullptr || !Shown(field) || field.offset + field.size > record_length)
    return nullptr;
  return std::make_unique<FieldVariable>(nullptr, record, field);
}

int BindRecord(Window& window, files::FileRecord* file) {
  if (file == nullptr) return 0;
  int bound = 0;
  std::vector<files::FieldInfo> fields = RecordFields(*file);
  for (const std::string& name : window.UseNames()) {
    std::string wanted = Upper(name);
    bool found = false;
    for (const files::FieldInfo& f : fields) {
      if (Upper(f.name) != wanted || !Shown(f) || f.offset + f.size > file->record_length) continue;
      if (window.Bind(name, std::make_unique<FieldVariable>(file, nullptr, f)) > 0) ++bound;
      found = true;
      break;
    }
    // Text memos (not binary ones) are edited as text too.
    for (uint8_t i = 0; !found && file->memos != nullptr && i < file->memo_count; ++i) {
      const files::MemoDecl* memo = file->memos[i];
      if (memo == nullptr || memo->flags != 0 || Upper(MemoName(*memo)) != wanted) continue;
      if (window.Bind(name, std::make_unique<MemoVariable>(file, i)) > 0) ++bound;
      found = true;
    }
  }
  return bound;
}

}  // namespace vorsandt::ui
