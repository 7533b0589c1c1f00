// What the native table driver tells the file layer about itself: its names,
// the operation codes it answers and the field type codes it accepts.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_REGISTRATION_H_
#define VORSANDT_STORAGE_QVF_DRIVER_REGISTRATION_H_

#include <cstdint>
#include <vector>

#include "runtime/files/driver.h"

namespace vorsandt::qvf {

inline constexpr char kDriverName[] = "VELOCARA";
inline constexpr char kLibraryName[] = "RIDAD16.DLL";
inline constexpr char kDriverDescription[] = "Velocara (QVF) Driver 1.00";

// The 65 declared operation codes (the entry also answers 73 and 79, and 74
// with 0 before anything else).
const std::vector<int32_t>& DeclaredOperations();
// The 15 field type codes records of this driver may use.
const std::vector<uint8_t>& DeclaredTypes();

// Fills `reg` with the texts, codes, capabilities (all five transaction
// capabilities) and `entry`.
void FillRegistration(files::DriverEntry entry, files::Registration* reg);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_REGISTRATION_H_
