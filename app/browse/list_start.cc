#include "app/browse/list_start.h"

#include <utility>

namespace vorsandt::app {
namespace {

// Per thread: a browse's thread has its own record buffers, and the request
// concerns the record read into them.
thread_local bool open_at_buffered_record = false;

}  // namespace

void OpenNextListAtBufferedRecord() { open_at_buffered_record = true; }

bool TakeOpenAtBufferedRecord() { return std::exchange(open_at_buffered_record, false); }

}  // namespace vorsandt::app
