#include "runtime/eval/bind_table.h"

#include <cstring>
#include <optional>
#include <utility>

#include "runtime/eval/builtins.h"
#include "runtime/eval/format_bridge.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/text_stack.h"
#include "runtime/files/thread_state.h"

namespace vorsandt::eval {

namespace {

const uint8_t* ElementAddress(const VariableRef& ref, uint32_t element) {
  if (ref.address == nullptr || element >= ref.elements) return nullptr;
  return ref.address + static_cast<size_t>(element) * ref.size;
}

files::FieldBytes ElementBytes(const VariableRef& ref, uint32_t element) {
  return {ref.type, const_cast<uint8_t*>(ElementAddress(ref, element)), ref.size, ref.places};
}

}  // namespace

bool IsSupportedVariable(const VariableRef& ref) {
  if (ref.address == nullptr || ref.elements == 0 || !files::IsScalarType(ref.type)) return false;
  if (uint32_t fixed = files::FixedTypeSize(ref.type); fixed != 0) return ref.size == fixed;
  if (files::IsPackedType(ref.type)) return ref.size >= 1 && ref.size <= 16;
  return ref.size >= 1;
}

ValueClass ClassOfType(uint8_t type) {
  if (type <= files::kTypeLong) return kInteger;
  if (type < files::kTypeString) return kReal;
  return kText;
}

double ReadReal(const VariableRef& ref, uint32_t element) {
  files::FieldBytes bytes = ElementBytes(ref, element);
  if (bytes.at == nullptr) return 0;
  if (std::optional<double> number = files::ReadNumber(bytes)) return *number;
  if (files::IsTextType(ref.type)) return TextToReal(ReadText(ref, element));
  return 0;
}

int32_t ReadInteger(const VariableRef& ref, uint32_t element) {
  files::FieldBytes bytes = ElementBytes(ref, element);
  if (bytes.at == nullptr) return 0;
  // Whole numbers of up to 32 signed bits are exact; the rest round.
  if (files::IsWholeType(ref.type) && ref.type != files::kTypeULong)
    return static_cast<int32_t>(files::ReadNumber(bytes).value_or(0));
  return RoundToInteger(ReadReal(ref, element));
}

std::string ReadText(const VariableRef& ref, uint32_t element) {
  files::FieldBytes bytes = ElementBytes(ref, element);
  if (bytes.at == nullptr) return std::string();
  if (std::optional<std::string> text = files::ReadText(bytes)) return std::move(*text);
  if (!files::IsNumberType(ref.type)) return std::string();
  if (ClassOfType(ref.type) == kInteger) return IntegerToText(ReadInteger(ref, element));
  return RealToText(ReadReal(ref, element));
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

BindTable& Bindings() { return files::CurrentThreadState().Part<BindTable>(); }

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
