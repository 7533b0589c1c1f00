// Reading whole tables a record at a time, for what sums or lists every
// record (the coverage check, the summary): each record lands in its
// table's buffer on the calling thread, where its fields are read.
#ifndef VORSANDT_APP_MESSAGES_RECORD_READING_H_
#define VORSANDT_APP_MESSAGES_RECORD_READING_H_

#include <functional>
#include <string>
#include <string_view>

#include "app/dictionary/dictionary.h"
#include "runtime/files/field_codec.h"

namespace vorsandt::app {

// Reads every record of `table` (open on this thread) in the order of the
// key named `key`, calling `take` after each. False, with `error` naming the
// table and why, on a read error; the error state is clear afterwards.
bool ReadEachRecord(Table table, std::string_view key, const std::function<void()>& take,
                    std::string* error);

// The field `name` ("ITE:PRICE_PAID") where it lies in its table's record
// buffer on this thread. The name must be one of the dictionary's.
files::FieldBytes BufferField(std::string_view name);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_MESSAGES_RECORD_READING_H_
