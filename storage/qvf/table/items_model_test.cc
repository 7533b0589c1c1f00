// The ITEMS table of the application, driven by thousands of random adds,
// rewrites and deletes and checked after every step against a model: the
// records themselves, their count, and the order of every key, computed from
// the field values without the key encoder. The file is checked by the page
// walk and the table check at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

#include "app/dictionary/dictionary.h"
#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "runtime/format/locale.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "storage/qvf/table/table.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf {
namespace {

constexpr size_t kItemLength = 406;
using Image = std::string;

int32_t NoDriver(int32_t, files::AccessObject*, const files::Args&) { return 0; }

// Field offsets and sizes of ITEMS.
struct Field {
  size_t offset, size;
};
constexpr Field kCode{0, 2}, kPolicy{2, 30}, kItem{32, 60}, kSerial{92, 30}, kLocation{312, 30};

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}
std::string Get(const Image& r, Field f) { return r.substr(f.offset, f.size); }
int16_t CodeOf(const Image& r) {
  int16_t v;
  std::memcpy(&v, r.data(), 2);
  return v;
}
bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// The value of each key of ITEMS as the model sees it; nullopt when the
// record is left out (every key is optional).
using Value = std::tuple<int, std::string, std::string>;
std::optional<Value> KeyValue(int k, const Image& r) {
  switch (k) {
    case 0:
      if (CodeOf(r) == 0) return std::nullopt;
      return Value{CodeOf(r), "", ""};
    case 1:
      if (Blank(Get(r, kLocation)) && Blank(Get(r, kItem))) return std::nullopt;
      return Value{0, Upper(Get(r, kLocation)), Upper(Get(r, kItem))};
    case 2:
      if (Blank(Get(r, kPolicy))) return std::nullopt;
      return Value{0, Upper(Get(r, kPolicy)), ""};
    case 3:
      if (Blank(Get(r, kItem))) return std::nullopt;
      return Value{0, Upper(Get(r, kItem)), ""};
    default:
      if (Blank(Get(r, kSerial))) return std::nullopt;
      return Value{0, Upper(Get(r, kSerial)), ""};
  }
}

class ItemsModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    format::ResetLocale();
    app::InitDictionary(&NoDriver);
    ASSERT_EQ(DefinitionFromDeclaration(*app::File(app::Table::kItems), &def_), 0);
    registry_ = std::make_unique<FileRegistry>(TreeStoreOpener(&env_), EnvFileRemover(&env_));
  }

  std::string Pick(std::mt19937& rng, std::initializer_list<const char*> choices) {
    auto it = choices.begin();
    std::advance(it, rng() % choices.size());
    return *it;
  }

  Image RandomItem(std::mt19937& rng) {
    Image r(kItemLength, ' ');
    auto put = [&](Field f, const std::string& v) { r.replace(f.offset, v.size(), v); };
    int16_t code = static_cast<int16_t>(rng() % 8 == 0 ? 0 : rng() % 400 + 1);
    std::memcpy(r.data(), &code, 2);
    put(kPolicy, Pick(rng, {"", "", "HOME-1", "home-1", "Car 7", "ZZ"}));
    put(kItem, Pick(rng, {"", "Desk", "DESK", "desk lamp", "Piano", "TV", "tv", "Bicycle"}));
    put(kSerial, Pick(rng, {"", "", "", "SN-1", "sn-1", "X9", "A"}));
    put(kLocation, Pick(rng, {"", "Attic", "ATTIC", "Garage", "Kitchen", "kitchen"}));
    int32_t date = static_cast<int32_t>(rng() % 80000);
    std::memcpy(r.data() + 122, &date, 4);
    r[126] = static_cast<char>(rng() % 2 ? 0x00 : 0xF0);  // price sign nibble
    return r;
  }

  // A code that another record (not `self`) already has.
  bool CodeTaken(const Image& r, uint32_t self) {
    if (CodeOf(r) == 0) return false;
    for (const auto& [n, image] : model_) {
      if (n != self && CodeOf(image) == CodeOf(r)) return true;
    }
    return false;
  }

  void CheckAgainstModel(Table& t, const std::string& when) {
    SCOPED_TRACE(when);
    // Records.
    std::map<uint32_t, Image> stored;
    std::string prefix = KindPrefix(t.id(), kEntryData);
    std::string at = prefix;
    for (;;) {
      std::optional<StoredEntry> e;
      ASSERT_EQ(t.store().Find(Search::kNextAfter, at, &e), 0);
      if (!e || e->key.compare(0, prefix.size(), prefix) != 0) break;
      stored[ReadId4(e->key.substr(5))] = e->data;
      at = e->key;
    }
    ASSERT_EQ(stored, model_);
    Counter c;
    ASSERT_EQ(t.ReadCounter(kTableCounter, &c), 0);
    ASSERT_EQ(c.count, model_.size());
    // Every key's order.
    for (int k = 0; k < 5; ++k) {
      std::vector<std::pair<Value, uint32_t>> expected;
      for (const auto& [n, image] : model_) {
        if (auto v = KeyValue(k, image)) expected.push_back({*v, n});
      }
      std::sort(expected.begin(), expected.end());
      std::vector<uint32_t> want, got;
      for (const auto& [v, n] : expected) want.push_back(n);
      std::string key_prefix = KindPrefix(t.id(), static_cast<uint8_t>(k));
      at = key_prefix;
      for (;;) {
        std::optional<StoredEntry> e;
        ASSERT_EQ(t.store().Find(Search::kNextAfter, at, &e), 0);
        if (!e || e->key.compare(0, key_prefix.size(), key_prefix) != 0) break;
        got.push_back(KeyEntryRecord(t.keys()[k], e->key, e->data));
        at = e->key;
      }
      ASSERT_EQ(got, want) << "key " << k;
      ASSERT_EQ(t.ReadCounter(static_cast<uint8_t>(k), &c), 0);
      ASSERT_EQ(c.count, want.size()) << "key " << k;
    }
  }

  env::FaultEnv env_;
  std::unique_ptr<FileRegistry> registry_;
  TableDefinition def_;
  std::map<uint32_t, Image> model_;
};

TEST_F(ItemsModelTest, RandomAddsRewritesAndDeletesMatchTheModel) {
  std::mt19937 rng(20261208);
  std::unique_ptr<Table> t;
  ASSERT_EQ(Table::Open(registry_.get(), "ITEMS", def_, true, {}, &t), 0);
  int refused = 0;
  for (int step = 0; step < 2500; ++step) {
    std::string when = "step " + std::to_string(step);
    unsigned op = rng() % 10;
    if (model_.empty() || op < 5 || (op < 7 && model_.size() < 50)) {
      Image r = RandomItem(rng);
      bool taken = CodeTaken(r, 0);
      int rc = t->Add(reinterpret_cast<const uint8_t*>(r.data()), {});
      if (taken) {
        ASSERT_EQ(rc, files::kCreatesDuplicateKey) << when;
        ++refused;
      } else {
        ASSERT_EQ(rc, 0) << when;
        model_[t->current()] = r;
      }
    } else {
      auto it = model_.begin();
      std::advance(it, rng() % model_.size());
      uint32_t n = it->first;
      Image buf(kItemLength, '\0');
      ASSERT_EQ(t->Read(n, reinterpret_cast<uint8_t*>(buf.data()), nullptr), 0) << when;
      ASSERT_EQ(buf, it->second) << when;
      if (op < 8) {
        Image r = RandomItem(rng);
        // Sometimes only a field outside every key changes.
        if (rng() % 4 == 0) {
          r = buf;
          r[200] = static_cast<char>('a' + rng() % 26);
        }
        bool taken = CodeTaken(r, n);
        int rc = t->Rewrite(reinterpret_cast<const uint8_t*>(r.data()), {});
        if (taken) {
          ASSERT_EQ(rc, files::kCreatesDuplicateKey) << when;
          ++refused;
        } else {
          ASSERT_EQ(rc, 0) << when;
          it->second = r;
        }
      } else {
        ASSERT_EQ(t->Delete(), 0) << when;
        model_.erase(it);
      }
    }
    // The driver saves at the end of every call.
    ASSERT_EQ(t->store().Save(), 0) << when;
    CheckAgainstModel(*t, when);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(refused, 10);
  t.reset();
  std::vector<std::string> faults;
  ASSERT_TRUE(CheckFile(&env_, "ITEMS.QVF", &faults));
  EXPECT_EQ(faults, std::vector<std::string>{});
  faults.clear();
  EXPECT_EQ(CheckTablesCommand(&env_, "ITEMS.QVF", &faults), 0);
  EXPECT_EQ(faults, std::vector<std::string>{});
  // Reopened, the file still holds the model.
  ASSERT_EQ(Table::Open(registry_.get(), "ITEMS", def_, false, {}, &t), 0);
  CheckAgainstModel(*t, "reopened");
}

TEST_F(ItemsModelTest, CaseVariantsOfAUniqueValueAreOneValue) {
  // LOCATIONS' primary key compares without case: the second is refused.
  app::InitDictionary(&NoDriver);
  TableDefinition locations;
  ASSERT_EQ(DefinitionFromDeclaration(*app::File(app::Table::kLocations), &locations), 0);
  std::unique_ptr<Table> t;
  ASSERT_EQ(Table::Open(registry_.get(), "LOCATIONS", locations, true, {}, &t), 0);
  std::string a(30, ' '), b(30, ' ');
  a.replace(0, 5, "Attic");
  b.replace(0, 5, "ATTIC");
  ASSERT_EQ(t->Add(reinterpret_cast<const uint8_t*>(a.data()), {}), 0);
  EXPECT_EQ(t->Add(reinterpret_cast<const uint8_t*>(b.data()), {}), files::kCreatesDuplicateKey);
}

}  // namespace
}  // namespace vorsandt::qvf
