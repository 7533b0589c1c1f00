// The operation rules table and the check every driver runs before it
// performs an operation. The table is the contract between the application
// and its drivers about which state each operation needs, forbids and leaves.
#ifndef VORSANDT_RUNTIME_FILES_RULES_H_
#define VORSANDT_RUNTIME_FILES_RULES_H_

#include <cstdint>

namespace vorsandt::files {

// State flags of a driver block.
inline constexpr uint32_t kStateOpen = 0x01;
inline constexpr uint32_t kStateCurrent = 0x02;      // a current record exists
inline constexpr uint32_t kStateTransaction = 0x04;  // inside a transaction
inline constexpr uint32_t kStateHeld = 0x08;
inline constexpr uint32_t kStateLocked = 0x10;
inline constexpr uint32_t kStateSequence = 0x20;     // a reading sequence is established
inline constexpr uint32_t kStateWrite = 0x40;
inline constexpr uint32_t kStateExclusive = 0x80;

// After-flags of a rules row.
inline constexpr uint32_t kAfterResetsError = 0x01;
inline constexpr uint32_t kAfterReleasesBlock = 0x02;
inline constexpr uint32_t kAfterRemembersSequence = 0x04;

struct RuleRow {
  uint32_t after;
  uint32_t requires_state;
  uint32_t forbids_state;
  uint32_t sets;
  uint32_t clears;
  uint32_t clears_on_failure;
};

// The row of `op`; codes outside 1..79 get a row of zeros.
const RuleRow& RuleFor(int32_t op);

// The rules check: 0 when `op` may run in `state`, else the error code to
// post, or kFailSilently (-1) for a failure that posts nothing.
int32_t CheckRules(int32_t op, uint32_t state);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_RULES_H_
