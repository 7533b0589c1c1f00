#include "runtime/files/field_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace vorsandt::files {
namespace {

template <typename T>
T Load(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void Put(uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

template <typename T>
double Read(const uint8_t* at) {
  return static_cast<double>(Load<T>(at));
}

// A whole number into a field of type T, rounded half away from zero.
template <typename T>
bool PutWhole(uint8_t* at, double value, Overflow overflow) {
  const double lo = static_cast<double>(std::numeric_limits<T>::lowest());
  const double hi = static_cast<double>(std::numeric_limits<T>::max());
  if (overflow == Overflow::kSaturate) {
    Put(at, std::isnan(value) ? T{0} : static_cast<T>(std::llround(std::clamp(value, lo, hi))));
    return true;
  }
  const double rounded = std::round(value);
  if (!(rounded >= lo && rounded <= hi)) return false;
  Put(at, static_cast<T>(rounded));
  return true;
}

bool PutSReal(uint8_t* at, double value, Overflow overflow) {
  if (overflow == Overflow::kRefuse && std::fabs(value) > std::numeric_limits<float>::max())
    return false;
  Put(at, static_cast<float>(value));
  return true;
}

bool PutReal(uint8_t* at, double value, Overflow) {
  Put(at, value);
  return true;
}

// Every type code: its name, whether it is a single value a user can see or
// type, and for the fixed-size numbers how one is read and written.
struct TypeEntry {
  uint8_t code;
  std::string_view name;  // with "(code)" for the kinds held as another type
  bool scalar;
  double (*read)(const uint8_t*) = nullptr;
  bool (*write)(uint8_t*, double, Overflow) = nullptr;
};

constexpr TypeEntry kTypes[] = {
    {kTypeByte, "BYTE", true, Read<uint8_t>, PutWhole<uint8_t>},
    {kTypeShort, "SHORT", true, Read<int16_t>, PutWhole<int16_t>},
    {kTypeUShort, "USHORT", true, Read<uint16_t>, PutWhole<uint16_t>},
    {kTypeLongKind4, "LONG(4)", false, Read<int32_t>, PutWhole<int32_t>},
    {kTypeLongKind5, "LONG(5)", false, Read<int32_t>, PutWhole<int32_t>},
    {kTypeLong, "LONG", true, Read<int32_t>, PutWhole<int32_t>},
    {kTypeULong, "ULONG", true, Read<uint32_t>, PutWhole<uint32_t>},
    {kTypeSReal, "SREAL", true, Read<float>, PutSReal},
    {kTypeDouble, "REAL", true, Read<double>, PutReal},
    {kTypeDecimal, "DECIMAL", true},
    {kTypePDecimal, "PDECIMAL", true},
    {kTypeSRealKind13, "SREAL(13)", false, Read<float>, PutSReal},
    {kTypeRealKind14, "REAL(14)", false, Read<double>, PutReal},
    {kTypeString, "STRING", true},
    {kTypeCString, "CSTRING", true},
    {kTypePString, "PSTRING", true},
    {kTypeGroup, "GROUP", false},
};

const TypeEntry* EntryOf(uint8_t type) {
  for (const TypeEntry& e : kTypes) {
    if (e.code == type) return &e;
  }
  return nullptr;
}

// The 2n-1 digits of a packed decimal, most significant first.
std::string PackedDigits(std::span<const uint8_t> bytes) {
  std::string digits;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) digits += static_cast<char>('0' + std::min(bytes[i] >> 4, 9));
    digits += static_cast<char>('0' + std::min(bytes[i] & 0x0F, 9));
  }
  return digits;
}

// `digits` (2n-1 of them) and the sign into the nibbles of `bytes`.
void PutPackedDigits(std::string_view digits, bool negative, std::span<uint8_t> bytes) {
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  for (size_t k = 0; k < digits.size(); ++k) {
    const size_t nibble = k + 1;
    const auto d = static_cast<uint8_t>(digits[k] - '0');
    bytes[nibble / 2] |= nibble % 2 == 0 ? static_cast<uint8_t>(d << 4) : d;
  }
  if (negative) bytes[0] |= 0xF0;
}

}  // namespace

std::string_view TypeName(uint8_t type) {
  const TypeEntry* e = EntryOf(type);
  return e != nullptr ? e->name : std::string_view();
}

std::optional<uint8_t> TypeFromName(std::string_view name) {
  for (const TypeEntry& e : kTypes) {
    if (e.name.size() != name.size() || e.name.find('(') != std::string_view::npos) continue;
    bool same = true;
    for (size_t i = 0; same && i < name.size(); ++i) {
      same = e.name[i] == (name[i] >= 'a' && name[i] <= 'z' ? name[i] - 'a' + 'A' : name[i]);
    }
    if (same) return e.code;
  }
  return std::nullopt;
}

bool IsTextType(uint8_t type) {
  return type == kTypeString || type == kTypeCString || type == kTypePString;
}
bool IsPackedType(uint8_t type) { return type == kTypeDecimal || type == kTypePDecimal; }
bool IsWholeType(uint8_t type) { return type >= kTypeByte && type <= kTypeULong; }
bool IsNumberType(uint8_t type) { return FixedTypeSize(type) != 0 || IsPackedType(type); }

bool IsScalarType(uint8_t type) {
  const TypeEntry* e = EntryOf(type);
  return e != nullptr && e->scalar;
}

std::optional<double> ReadNumber(const FieldBytes& f) {
  if (f.at == nullptr) return std::nullopt;
  if (IsPackedType(f.type))
    return ReadPackedDecimal(std::span<const uint8_t>(f.at, f.size), f.places);
  const TypeEntry* e = EntryOf(f.type);
  if (e == nullptr || e->read == nullptr) return std::nullopt;
  return e->read(f.at);
}

std::optional<std::string_view> TextIn(const FieldBytes& f) {
  if (f.at == nullptr) return std::nullopt;
  const char* chars = reinterpret_cast<const char*>(f.at);
  switch (f.type) {
    case kTypeString:
      return std::string_view(chars, f.size);
    case kTypeCString: {
      const void* end = std::memchr(chars, 0, f.size);
      return std::string_view(chars,
                              end == nullptr ? f.size : static_cast<const char*>(end) - chars);
    }
    case kTypePString:
      if (f.size == 0) return std::string_view();
      return std::string_view(chars + 1, std::min<size_t>(f.at[0], f.size - 1));
    default:
      return std::nullopt;
  }
}

std::optional<std::string> ReadText(const FieldBytes& f) {
  if (std::optional<std::string_view> text = TextIn(f)) return std::string(*text);
  return std::nullopt;
}

bool WriteNumber(const FieldBytes& f, double value, Overflow overflow) {
  if (f.at == nullptr) return false;
  if (IsPackedType(f.type)) {
    std::span<uint8_t> bytes(f.at, f.size);
    if (overflow == Overflow::kSaturate) {
      WritePackedDecimal(value, f.places, bytes);
      return true;
    }
    // Written to a copy first: a value that needs more digits than the
    // field has must not leave the field's largest value behind.
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    if (!WritePackedDecimal(value, f.places, copy)) return false;
    std::copy(copy.begin(), copy.end(), bytes.begin());
    return true;
  }
  const TypeEntry* e = EntryOf(f.type);
  return e != nullptr && e->write != nullptr && e->write(f.at, value, overflow);
}

bool WriteText(const FieldBytes& f, std::string_view text) {
  uint8_t* at = f.at;
  if (at == nullptr || !IsTextType(f.type)) return false;
  if (f.type == kTypeString) {
    std::memset(at, ' ', f.size);
    std::memcpy(at, text.data(), std::min<size_t>(text.size(), f.size));
    return true;
  }
  if (f.size == 0) return true;
  std::memset(at, 0, f.size);
  if (f.type == kTypeCString) {
    std::memcpy(at, text.data(), std::min<size_t>(text.size(), f.size - 1));
    return true;
  }
  const size_t n = std::min<size_t>({text.size(), f.size - 1, 255});
  at[0] = static_cast<uint8_t>(n);
  std::memcpy(at + 1, text.data(), n);
  return true;
}

double ReadPackedDecimal(std::span<const uint8_t> bytes, int places) {
  if (bytes.empty()) return 0;
  // Digits are gathered as an integer first so that the scaling by the places
  // happens once, which keeps values such as 12.34 exact to the last bit that
  // a division can give.
  double digits = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) {
      int high = bytes[i] >> 4;
      digits = digits * 10 + (high > 9 ? 9 : high);
    }
    int low = bytes[i] & 0x0F;
    digits = digits * 10 + (low > 9 ? 9 : low);
  }
  double value = places > 0 ? digits / std::pow(10.0, places) : digits;
  return (bytes[0] >> 4) != 0 ? -value : value;
}

bool WritePackedDecimal(double value, int places, std::span<uint8_t> bytes) {
  if (bytes.empty()) return false;
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  if (std::isnan(value)) return false;
  bool negative = value < 0;
  const size_t digit_count = bytes.size() * 2 - 1;
  // Scale to whole units of the last place and round half away from zero.
  // The nudge makes decimal halves that binary cannot hold exactly (2.675 is
  // 2.67499999...) round the way they are written.
  const int scale = places < 0 ? 0 : places;
  double scaled = std::fabs(value) * std::pow(10.0, scale);
  double rounded = std::round(scaled + scaled * 1e-13);
  char buffer[400];
  int length = std::isfinite(rounded) ? std::snprintf(buffer, sizeof buffer, "%.0f", rounded) : -1;
  std::string digits;
  bool fits = length > 0 && length < static_cast<int>(sizeof buffer);
  if (fits) {
    digits.assign(buffer, static_cast<size_t>(length));
    size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? std::string() : digits.substr(first);
    fits = digits.size() <= digit_count;
  }
  if (!fits) digits.assign(digit_count, '9');
  digits.insert(0, digit_count - digits.size(), '0');
  bool is_zero = digits.find_first_not_of('0') == std::string::npos;
  PutPackedDigits(digits, negative && !is_zero, bytes);
  return fits;
}

std::string PackedToText(std::span<const uint8_t> bytes, int places) {
  if (bytes.empty()) return "0";
  const bool negative = (bytes[0] >> 4) != 0;
  const std::string digits = PackedDigits(bytes);
  const size_t shown = std::min<size_t>(places < 0 ? 0 : places, digits.size());
  std::string whole = digits.substr(0, digits.size() - shown);
  const size_t first = whole.find_first_not_of('0');
  whole = first == std::string::npos ? "0" : whole.substr(first);
  std::string out = negative ? "-" : "";
  out += whole;
  if (shown > 0) {
    out.push_back('.');
    out.append(digits, digits.size() - shown, shown);
  }
  return out;
}

PackedTextError TextToPacked(std::string_view text, int places, std::span<uint8_t> bytes) {
  if (bytes.empty()) return PackedTextError::kTooLarge;
  bool negative = false;
  std::string_view rest = text;
  if (!rest.empty() && rest.front() == '-') {
    negative = true;
    rest.remove_prefix(1);
  }
  std::string_view whole = rest, fraction;
  if (size_t dot = rest.find('.'); dot != std::string_view::npos) {
    whole = rest.substr(0, dot);
    fraction = rest.substr(dot + 1);
    if (fraction.empty()) return PackedTextError::kBadNumber;
  }
  if (text.empty()) whole = "0";
  if (whole.empty()) return PackedTextError::kBadNumber;
  for (std::string_view part : {whole, fraction}) {
    for (char c : part) {
      if (c < '0' || c > '9') return PackedTextError::kBadNumber;
    }
  }
  const size_t total = bytes.size() * 2 - 1;
  const size_t kept = std::min<size_t>(places < 0 ? 0 : places, total);
  if (fraction.size() > kept) return PackedTextError::kTooManyPlaces;
  const size_t first = whole.find_first_not_of('0');
  whole = first == std::string_view::npos ? std::string_view() : whole.substr(first);
  if (whole.size() > total - kept) return PackedTextError::kTooLarge;
  std::string digits(total - kept - whole.size(), '0');
  digits += whole;
  digits += fraction;
  digits.append(kept - fraction.size(), '0');
  PutPackedDigits(digits, negative, bytes);
  return PackedTextError::kNone;
}

}  // namespace vorsandt::files
