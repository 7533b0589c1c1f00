#include "ui/engine/thread_codes.h"

namespace vorsandt::ui {
namespace {

thread_local int32_t t_request = 0;
thread_local int32_t t_response = 0;

}  // namespace

int32_t& RequestCode() { return t_request; }
int32_t& ResponseCode() { return t_response; }

}  // namespace vorsandt::ui
