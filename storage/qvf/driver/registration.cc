#include "storage/qvf/driver/registration.h"

namespace vorsandt::qvf {

const std::vector<int32_t>& DeclaredOperations() {
  static const std::vector<int32_t> ops = [] {
    std::vector<int32_t> v;
    auto range = [&v](int32_t from, int32_t to) {
      for (int32_t op = from; op <= to; ++op) v.push_back(op);
    };
    range(1, 34);
    range(36, 38);
    range(40, 50);
    v.push_back(52);
    v.push_back(54);
    range(56, 58);
    range(60, 67);
    range(75, 78);
    return v;
  }();
  return ops;
}

const std::vector<uint8_t>& DeclaredTypes() {
  static const std::vector<uint8_t> types = {1, 2, 3, 6, 7, 8, 9, 10, 18, 19, 20, 21, 22, 23, 26};
  return types;
}

void FillRegistration(files::DriverEntry entry, files::Registration* reg) {
  reg->driver_name = kDriverName;
  reg->library_name = kLibraryName;
  reg->notice = "";
  reg->description = kDriverDescription;
  reg->entry = entry;
  // Tables take part in transactions, can commit and roll back, and are
  // locked before a transaction begins and unlocked when it ends.
  reg->caps = files::Capabilities{true, true, true, true, true};
  reg->operations = DeclaredOperations();
  reg->types = DeclaredTypes();
}

}  // namespace vorsandt::qvf
