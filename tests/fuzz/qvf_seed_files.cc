#include "tests/fuzz/qvf_seed_files.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "runtime/env/fault_env.h"
#include "runtime/format/locale.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/container.h"
#include "storage/qvf/internal_error.h"
#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/shared_file.h"
#include "storage/qvf/table/table.h"
#include "storage/qvf/table/testing_files.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::fuzz {
namespace {

using qvf::Container;
using qvf::Tree;

std::string Key(uint32_t n) {
  std::string k(4, '\0');
  for (int i = 0; i < 4; ++i) k[i] = static_cast<char>(n >> (24 - 8 * i));
  return k;
}

// `count` entries with 4-byte keys and data of varying length.
bool Fill(Container* c, int from, int count) {
  Tree tree(c);
  for (int i = from; i < from + count; ++i) {
    if (tree.Insert(Key(static_cast<uint32_t>(i * 7)) + std::string(i % 60, 'a' + i % 26), 4) != 0)
      return false;
  }
  return true;
}

}  // namespace

std::map<std::string, std::string> MakeQvfSeeds() {
  std::map<std::string, std::string> seeds;
  // A failure here leaves a seed out (the caller counts them) instead of
  // stopping the program.
  qvf::InternalErrorHandler previous = qvf::SetInternalErrorHandler([](int) {});
  {
    env::FaultEnv env;
    Container c(&env);
    if (c.Open(kQvfPath, Container::kCreate) == 0 && Tree(&c).EnsureRoot() == 0 && c.Close() == 0)
      seeds["empty.qvf"] = env.Contents(kQvfPath);
  }
  {
    env::FaultEnv env;
    Container c(&env);
    if (c.Open(kQvfPath, Container::kCreate) == 0 && Fill(&c, 0, 20) && c.Close() == 0)
      seeds["one_page.qvf"] = env.Contents(kQvfPath);
  }
  {
    env::FaultEnv env;
    Container c(&env);
    if (c.Open(kQvfPath, Container::kCreate) == 0 && Fill(&c, 0, 700) && c.Close() == 0)
      seeds["tree.qvf"] = env.Contents(kQvfPath);
  }
  {
    // The second save stops once its log is committed: opening the file
    // must copy the log home (or read through it).
    env::FaultEnv env;
    Container c(&env);
    if (c.Open(kQvfPath, Container::kCreate) == 0 && Fill(&c, 0, 40) && c.Save() == 0 &&
        Fill(&c, 40, 30) && c.SavePhase1() == 0) {
      seeds["committed_log.qvf"] = env.Contents(kQvfPath);
    }
    (void)c.Discard();  // only the file images taken above matter
  }
  {
    format::ResetLocale();
    env::FaultEnv env;
    {
      qvf::FileRegistry registry(qvf::TreeStoreOpener(&env), qvf::EnvFileRemover(&env));
      bool ok = true;
      for (const char* name : kQvfTables) {
        std::unique_ptr<qvf::Table> t;
        if (qvf::Table::Open(&registry, name, qvf::testing::SampleTableDefinition(), true, {}, &t) != 0) {
          ok = false;
          break;
        }
        for (int16_t code = 1; code <= 12 && ok; ++code) {
          char rec[10];
          std::memcpy(rec, &code, 2);
          std::memcpy(rec + 2, code % 2 ? "odd     " : "even    ", 8);
          ok = t->Add(reinterpret_cast<uint8_t*>(rec), {std::string(code * 15, 'n')}) == 0;
        }
      }
      if (!ok) {
        qvf::SetInternalErrorHandler(previous);
        return seeds;
      }
    }
    seeds["tables.qvf"] = env.Contents(kQvfPath);
  }
  qvf::SetInternalErrorHandler(previous);
  return seeds;
}

}  // namespace vorsandt::fuzz
