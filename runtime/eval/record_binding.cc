#include "runtime/eval/record_binding.h"

#include <string>
#include <vector>

#include "runtime/eval/bind_table.h"
#include "runtime/files/layout.h"

namespace vorsandt::eval {

int32_t BindLayout(std::span<const uint8_t> layout, uint8_t* record, uint32_t record_length) {
  std::vector<files::FieldInfo> fields;
  int32_t status = files::ParseLayout(layout, &fields);
  if (status != 0) return status;
  for (const files::FieldInfo& field : fields) {
    if (field.element_count == 0 || field.type == files::kTypeGroup) continue;
    // The whole field, every element included, must lie inside the record.
    if (static_cast<uint64_t>(field.offset) + field.size > record_length) continue;
    VariableRef ref;
    ref.address = record + field.offset;
    ref.type = field.type;
    ref.size = field.size / field.element_count;
    ref.places = field.decimals;
    ref.elements = field.element_count;
    BindVariable(field.name, ref);  // unsupported kinds are refused there
  }
  return 0;
}

int32_t BindRecord(files::FileRecord* file) {
  files::FileRecord* instance = files::InstanceOf(file);
  int32_t status = BindLayout(std::span<const uint8_t>(instance->layout, instance->layout_size),
                              instance->buffer, instance->record_length);
  if (status != 0) return status;
  for (uint8_t i = 0; i < instance->memo_count && i < instance->memo_buffers.size(); ++i) {
    const files::MemoDecl* memo = instance->memos[i];
    std::vector<char>& buffer = instance->memo_buffers[i];
    if (buffer.empty()) continue;
    std::string name = memo->name_length >= 0
                           ? std::string(memo->name, static_cast<size_t>(memo->name_length))
                           : std::string(memo->name);
    BindString(name, buffer.data(), static_cast<uint32_t>(buffer.size()));
  }
  return 0;
}

}  // namespace vorsandt::eval
