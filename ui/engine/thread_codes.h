// The request and response codes through which a procedure tells the one it
// calls what to do, and learns how it ended. They are per thread: a procedure
// started on a new thread begins with both at 0, and procedures called
// directly share their caller's.
#ifndef VORSANDT_UI_ENGINE_THREAD_CODES_H_
#define VORSANDT_UI_ENGINE_THREAD_CODES_H_

#include <cstdint>

namespace vorsandt::ui {

namespace request {
inline constexpr int32_t kInsert = 1;
inline constexpr int32_t kChange = 2;
inline constexpr int32_t kDelete = 3;
inline constexpr int32_t kSelect = 4;
}  // namespace request

namespace response {
inline constexpr int32_t kCompleted = 1;
inline constexpr int32_t kCancelled = 2;
}  // namespace response

int32_t& RequestCode();
int32_t& ResponseCode();

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_THREAD_CODES_H_
