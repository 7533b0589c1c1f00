// A second program that keeps saving known states, for the test of a backup
// taken meanwhile: each save is one transaction over ITEMS and POLICY that
// sets ITE:RECEIPT_REFERENCE of every item and POL:EXTRA_BENEFITS of every
// policy to "GEN n", n counting the saves from 1. Any state a reader can
// catch between saves therefore has one generation in every record of both
// tables; a torn snapshot would show two.
//
//   saving_writer_host DIR READY STOP
// Works in the data folder DIR; creates the file READY after its first
// save, and ends when the file STOP exists, printing the saves made. It
// pauses 10 ms between saves.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/dictionary/dictionary.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace {

using vorsandt::app::Table;
namespace files = vorsandt::files;

bool Failed(const char* what) {
  std::fprintf(stderr, "saving_writer_host: %s: error %d\n", what, files::Errors().Code());
  return false;
}

// Every record of `t` gets `text` in `field`.
bool MarkEvery(Table t, const char* field, const std::string& text) {
  files::FileRecord* f = vorsandt::app::File(t);
  const vorsandt::app::FieldDef* def = vorsandt::app::FieldNamed(field);
  files::SetFile(f);
  for (;;) {
    files::Next(f);
    if (files::Errors().Code() == files::kRecordNotAvailable) return true;
    if (files::Errors().Code() != 0) return Failed("next");
    uint8_t* bytes = files::InstanceOf(f)->buffer + def->offset;
    std::memset(bytes, ' ', def->size);
    std::memcpy(bytes, text.data(), std::min<size_t>(text.size(), def->size));
    files::Put(f);
    if (files::Errors().Code() != 0) return Failed("put");
  }
}

bool Save(int generation) {
  files::FileRecord* items = vorsandt::app::File(Table::kItems);
  files::FileRecord* policy = vorsandt::app::File(Table::kPolicy);
  if (files::Logout(30, {items, policy}) != 0) return Failed("logout");
  const std::string text = "GEN " + std::to_string(generation);
  if (!MarkEvery(Table::kItems, "ITE:RECEIPT_REFERENCE", text) ||
      !MarkEvery(Table::kPolicy, "POL:EXTRA_BENEFITS", text)) {
    files::Rollback();
    return false;
  }
  files::Commit();
  return files::Errors().Code() == 0 || Failed("commit");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || chdir(argv[1]) != 0) {
    std::fprintf(stderr, "usage: saving_writer_host DIR READY STOP\n");
    return 2;
  }
  vorsandt::app::InitDictionary(&vorsandt::qvf::QvfEntry);
  for (Table t : {Table::kItems, Table::kPolicy}) {
    files::Open(vorsandt::app::File(t), files::kModeReadWrite);
    if (files::Errors().Code() != 0) return Failed("open") ? 0 : 1;
  }
  vorsandt::env::Env* env = vorsandt::env::Env::Default();
  int saves = 0;
  while (!env->Exists(argv[3])) {
    if (!Save(saves + 1)) return 1;
    // A short pause between saves, as between two users' changes: a tight
    // loop would let no other process at the tables at all.
    env->SleepMs(10);
    if (++saves == 1) {
      std::unique_ptr<vorsandt::env::File> ready;
      env->Open(argv[2], vorsandt::env::kOpenCreate, &ready);
    }
  }
  std::printf("%d saves\n", saves);
  return 0;
}
