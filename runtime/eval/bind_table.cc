#include "runtime/eval/bind_table.h"

#include <cstring>

#include "runtime/eval/builtins.h"
#include "runtime/eval/format_bridge.h"
#include "runtime/eval/packed_decimal.h"
#include "runtime/files/text_stack.h"

namespace vorsandt::eval {

namespace {

// Bytes of one element of a fixed-size number type, 0 for other types.
uint32_t FixedSize(uint8_t type) {
  switch (type) {
    case 1:
      return 1;
    case 2:
    case 3:
      return 2;
    case 6:
    case 7:
    case 8:
      return 4;
    case 9:
      return 8;
    default:
      return 0;
  }
}

template <typename T>
T Load(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

const uint8_t* ElementAddress(const VariableRef& ref, uint32_t element) {
  if (ref.address == nullptr || element >= ref.elements) return nullptr;
  return ref.address + static_cast<size_t>(element) * ref.size;
}

}  // namespace

bool IsSupportedVariable(const VariableRef& ref) {
  if (ref.address == nullptr || ref.elements == 0) return false;
  uint32_t fixed = FixedSize(ref.type);
  if (fixed != 0) return ref.size == fixed;
  switch (ref.type) {
    case 10:
    case 11:
      return ref.size >= 1 && ref.size <= 16;
    case 18:
    case 19:
    case 20:
      return ref.size >= 1;
    default:
      return false;
  }
}

ValueClass ClassOfType(uint8_t type) {
  if (type <= 6) return kInteger;
  if (type <= 17) return kReal;
  return kText;
}

double ReadReal(const VariableRef& ref, uint32_t element) {
  const uint8_t* at = ElementAddress(ref, element);
  if (at == nullptr) return 0;
  switch (ref.type) {
    case 1:
      return *at;
    case 2:
      return Load<int16_t>(at);
    case 3:
      return Load<uint16_t>(at);
    case 6:
      return Load<int32_t>(at);
    case 7:
      return Load<uint32_t>(at);
    case 8:
      return Load<float>(at);
    case 9:
      return Load<double>(at);
    case 10:
    case 11:
      return ReadPackedDecimal(std::span<const uint8_t>(at, ref.size), ref.places);
    default:
      return TextToReal(ReadText(ref, element));
  }
}

int32_t ReadInteger(const VariableRef& ref, uint32_t element) {
  const uint8_t* at = ElementAddress(ref, element);
  if (at == nullptr) return 0;
  switch (ref.type) {
    case 1:
      return *at;
    case 2:
      return Load<int16_t>(at);
    case 3:
      return Load<uint16_t>(at);
    case 6:
      return Load<int32_t>(at);
    default:
      return RoundToInteger(ReadReal(ref, element));
  }
}

std::string ReadText(const VariableRef& ref, uint32_t element) {
  const uint8_t* at = ElementAddress(ref, element);
  if (at == nullptr) return std::string();
  const char* chars = reinterpret_cast<const char*>(at);
  switch (ref.type) {
    case 18:
      return std::string(chars, ref.size);
    case 19: {
      const void* end = std::memchr(chars, 0, ref.size);
      size_t length = end == nullptr ? ref.size : static_cast<const char*>(end) - chars;
      return std::string(chars, length);
    }
    case 20: {
      size_t length = std::min<size_t>(*at, ref.size - 1);
      return std::string(chars + 1, length);
    }
    default:
      if (ClassOfType(ref.type) == kInteger) return IntegerToText(ReadInteger(ref, element));
      return RealToText(ReadReal(ref, element));
  }
}

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(bridge::UpperChar(static_cast<unsigned char>(c)));
  return folded;
}

BindEntry& BindTable::Slot(std::string_view name) {
  std::string_view cut = name.substr(0, kMaxNameLength);
  BindEntry& entry = entries_[FoldName(cut)];
  entry = BindEntry();
  entry.name = std::string(cut);
  return entry;
}

void BindTable::EnsureBuiltins() {
  if (!entries_.empty()) return;
  for (const BuiltinInfo& info : Builtins()) {
    BindFunction(info.name, info.max_args, info.number, info.result);
  }
  BindKeyword("AND", 17);
  BindKeyword("NOT", 16);
  BindKeyword("OR", 18);
  BindKeyword("XOR", 19);
}

const BindEntry* BindTable::Lookup(std::string_view name) {
  EnsureBuiltins();
  if (name.size() > kMaxNameLength) return nullptr;
  auto it = entries_.find(FoldName(name));
  return it == entries_.end() ? nullptr : &it->second;
}

bool BindTable::BindVariable(std::string_view name, const VariableRef& ref) {
  if (name.empty() || !IsSupportedVariable(ref)) return false;
  EnsureBuiltins();
  BindEntry& entry = Slot(name);
  entry.kind = kVariableEntry;
  entry.variable = ref;
  entry.value_class = ClassOfType(ref.type);
  return true;
}

bool BindTable::BindProcedure(std::string_view name, int max_args, ValueClass result,
                              BoundProcedure procedure) {
  if (name.empty() || max_args < 0 || max_args > kMaxProcedureArgs || !procedure) return false;
  EnsureBuiltins();
  BindEntry& entry = Slot(name);
  entry.kind = kFunctionEntry;
  entry.max_args = static_cast<uint8_t>(max_args);
  entry.function = kBoundProcedure;
  entry.result = result;
  entry.procedure = std::make_shared<const BoundProcedure>(std::move(procedure));
  return true;
}

void BindTable::BindFunction(std::string_view name, int max_args, int function, ValueClass result) {
  BindEntry& entry = Slot(name);
  entry.kind = kFunctionEntry;
  entry.max_args = static_cast<uint8_t>(max_args);
  entry.function = static_cast<uint8_t>(function);
  entry.result = result;
}

void BindTable::BindKeyword(std::string_view name, uint8_t op) {
  BindEntry& entry = Slot(name);
  entry.kind = kKeywordEntry;
  entry.op = op;
}

BindTable& Bindings() {
  static BindTable table;
  return table;
}

bool Bind(const VariableRef& ref) {
  std::optional<std::string> name = files::Texts().Pop();
  if (!name) return false;
  return Bindings().BindVariable(*name, ref);
}

bool BindVariable(std::string_view name, const VariableRef& ref) {
  return Bindings().BindVariable(name, ref);
}

bool BindShort(std::string_view name, int16_t* field) {
  return BindVariable(name, VariableRef{reinterpret_cast<uint8_t*>(field), 2, 2, 0, 1});
}

bool BindLong(std::string_view name, int32_t* field) {
  return BindVariable(name, VariableRef{reinterpret_cast<uint8_t*>(field), 6, 4, 0, 1});
}

bool BindDecimal(std::string_view name, uint8_t* field, uint8_t bytes, uint8_t places) {
  return BindVariable(name, VariableRef{field, 10, bytes, places, 1});
}

bool BindString(std::string_view name, char* field, uint32_t length) {
  return BindVariable(name, VariableRef{reinterpret_cast<uint8_t*>(field), 18, length, 0, 1});
}

bool BindProcedure(std::string_view name, int max_args, ValueClass result,
                   BoundProcedure procedure) {
  return Bindings().BindProcedure(name, max_args, result, std::move(procedure));
}

void ClearBindings() { Bindings().Clear(); }

}  // namespace vorsandt::eval
