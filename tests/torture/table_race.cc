// table_race: one of several processes that meet a missing table at the
// same moment, as program instances starting in a new data folder do.
//
//   table_race DIR ID ROWS
//       in DIR, opens LOCATIONS the way the program opens a table on first
//       use (open; when the table is missing, create it unless another
//       process has made it meanwhile, and open again), then adds ROWS
//       locations named "W<ID>-<n>", each saved by its own call.
//
// Exit status: 0 every row was reported added, 1 an operation failed (its
// error code on stderr), 2 bad usage. run_torture.sh (scenario
// create_race) exports the table afterwards and compares it with the rows
// every process was told it added.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/dictionary/dictionary.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace {

using vorsandt::files::Errors;

int Failed(const char* what) {
  std::fprintf(stderr, "table_race: %s: error %d\n", what, Errors().Code());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || chdir(argv[1]) != 0) {
    std::fprintf(stderr, "usage: table_race DIR ID ROWS\n");
    return 2;
  }
  const std::string id = argv[2];
  const int rows = std::atoi(argv[3]);
  namespace files = vorsandt::files;
  vorsandt::app::InitDictionary(&vorsandt::qvf::QvfEntry);
  files::FileRecord* f = vorsandt::app::File(vorsandt::app::Table::kLocations);
  files::Open(f);
  if (Errors().Code() == files::kFileNotFound) {
    files::CreateIfMissing(f);
    if (Errors().Code() != 0) return Failed("create");
    files::Open(f);
  }
  if (Errors().Code() != 0) return Failed("open");
  uint8_t* buffer = files::RecordBuffer(f);
  for (int n = 0; n < rows; ++n) {
    const std::string name = "W" + id + "-" + std::to_string(n);
    std::memset(buffer, ' ', f->record_length);
    std::memcpy(buffer, name.data(), name.size());
    files::Add(f);
    if (Errors().Code() != 0) return Failed("add");
  }
  files::Close(f);
  return Errors().Code() == 0 ? 0 : Failed("close");
}
