#include "storage/qvf/internal_error.h"

#include <utility>

#include "runtime/files/error_state.h"

namespace vorsandt::qvf {
namespace {

InternalErrorHandler& Handler() {
  static InternalErrorHandler* handler = new InternalErrorHandler();
  return *handler;
}

}  // namespace

std::string InternalErrorText(int check) {
  return "Internal error : qvfbt line " + std::to_string(check);
}

InternalErrorHandler SetInternalErrorHandler(InternalErrorHandler handler) {
  return std::exchange(Handler(), std::move(handler));
}

void InternalError(int check) {
  if (Handler()) {
    Handler()(check);
    return;
  }
  // The stop can come from deep inside the storage, with the file registry's
  // lock held: the process ends without running any cleanup that might wait
  // for it (see RuntimeErrorImmediate).
  files::Errors().RuntimeErrorImmediate(0, InternalErrorText(check));
}

}  // namespace vorsandt::qvf
