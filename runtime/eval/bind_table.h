// The bind table: every name an expression may use.
//
// Procedures bind their record fields (and may bind procedures) by name before
// they compile filters; the built-in functions and the keywords AND, OR, XOR
// and NOT are entered whenever the table is empty. Names compare without
// regard to letter case, folded through the locale's upper-case table.
// Binding a name again replaces its entry. Compiled expressions copy what they
// need from an entry, so rebinding or clearing never leaves a compiled tree
// pointing at a freed entry; the variables themselves (record buffers) must
// outlive the trees that read them.
//
// The table is process-wide runtime state, touched only by the thread that
// holds the run permission.
#ifndef VORSANDT_RUNTIME_EVAL_BIND_TABLE_H_
#define VORSANDT_RUNTIME_EVAL_BIND_TABLE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/eval/values.h"

namespace vorsandt::eval {

// A typed reference to a variable in memory, usually a field of a record
// buffer. Evaluation reads the live bytes each time.
struct VariableRef {
  uint8_t* address = nullptr;
  // Field type code: 1 byte, 2 short, 3 unsigned short, 6 long, 7 unsigned
  // long, 8 4-byte real, 9 8-byte real, 10 and 11 packed decimal, 18 fixed
  // text (blank padded), 19 NUL-terminated text, 20 length-prefixed text.
  uint8_t type = 0;
  // Bytes of one element: the text length, or the packed decimal's byte count.
  uint32_t size = 0;
  uint8_t places = 0;     // decimal places of a packed decimal
  uint32_t elements = 1;  // > 1 for an array; subscripts pick an element
};

// True for the type codes above, with a size that fits the type.
bool IsSupportedVariable(const VariableRef& ref);

// Value class of a field type: codes up to 6 integer, 7 to 17 real, 18 up text.
ValueClass ClassOfType(uint8_t type);

// Reading one element (0-based; out of range reads as 0 or an empty text).
int32_t ReadInteger(const VariableRef& ref, uint32_t element);
double ReadReal(const VariableRef& ref, uint32_t element);
std::string ReadText(const VariableRef& ref, uint32_t element);

// A procedure bound for expressions. It is called with its arguments on the
// text stack, the first argument on top, and pops them itself. A procedure
// whose result class is text pushes its result on the text stack; any other
// returns its result.
using BoundProcedure = std::function<double(int argument_count)>;

enum EntryKind : uint8_t {
  kVariableEntry = 1,
  kKeywordEntry = 4,
  kFunctionEntry = 6,
};

struct BindEntry {
  std::string name;  // as bound
  EntryKind kind = kVariableEntry;
  // Variables.
  VariableRef variable;
  ValueClass value_class = kInteger;
  // Keywords: the operator code.
  uint8_t op = 0;
  // Functions: function number 0 is a bound procedure.
  uint8_t max_args = 0;
  uint8_t function = 0;
  ValueClass result = kInteger;
  std::shared_ptr<const BoundProcedure> procedure;
};

class BindTable {
 public:
  static constexpr size_t kMaxNameLength = 100;
  // Bound procedures get their arguments through the text stack, which holds
  // 32 texts; one slot stays free for the result.
  static constexpr int kMaxProcedureArgs = 31;

  // The entry for `name`, or nullptr. Enters the built-ins first when the
  // table is empty.
  const BindEntry* Lookup(std::string_view name);

  // Binds a variable; false (and nothing bound) for an unsupported reference
  // or an empty name. Names are cut to 100 characters.
  bool BindVariable(std::string_view name, const VariableRef& ref);
  // Binds a procedure of at most kMaxProcedureArgs arguments.
  bool BindProcedure(std::string_view name, int max_args, ValueClass result,
                     BoundProcedure procedure);
  // Used by the built-in registration.
  void BindFunction(std::string_view name, int max_args, int function, ValueClass result);
  void BindKeyword(std::string_view name, uint8_t op);

  void Clear() { entries_.clear(); }
  size_t Size() const { return entries_.size(); }

 private:
  BindEntry& Slot(std::string_view name);
  void EnsureBuiltins();

  // Keyed by the case-folded name, so that the order never depends on a case
  // table that may change after the entry was made.
  std::map<std::string, BindEntry, std::less<>> entries_;
};

// The folded (upper-case) form of a name.
std::string FoldName(std::string_view name);

// The table of the procedure running now (a part of its files::ThreadState).
BindTable& Bindings();

// The interface procedures use.
// Pops the name from the text stack and binds `ref` under it.
bool Bind(const VariableRef& ref);
bool BindVariable(std::string_view name, const VariableRef& ref);
bool BindShort(std::string_view name, int16_t* field);
bool BindLong(std::string_view name, int32_t* field);
bool BindDecimal(std::string_view name, uint8_t* field, uint8_t bytes, uint8_t places);
bool BindString(std::string_view name, char* field, uint32_t length);
bool BindProcedure(std::string_view name, int max_args, ValueClass result,
                   BoundProcedure procedure);
// Removes every binding; the built-ins return on next use.
void ClearBindings();

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_BIND_TABLE_H_
