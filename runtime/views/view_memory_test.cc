// Views over a table of the in-memory test driver: physical order, positions
// of that driver, and a driver that brings a view engine of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/eval/record_binding.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/testing/memory_driver.h"
#include "runtime/views/view_engine.h"

namespace vorsandt::views {
namespace {

using files::Errors;

int32_t Code() { return Errors().Code(); }

int g_engine_calls = 0;
int32_t OwnEngine(int32_t op, files::AccessObject*, const files::Args&) {
  ++g_engine_calls;
  Errors().Clear();
  return op == files::kOpNext ? 7 : 0;
}
int32_t DriverWithEngine(int32_t op, files::AccessObject* object, const files::Args& args) {
  if (op == files::kOpViewEngine) return 4242;
  return files::testing::MemoryEntry(op, object, args);
}

class MemoryViewTest : public ::testing::Test {
 protected:
  explicit MemoryViewTest(files::DriverEntry entry = &files::testing::MemoryEntry)
      : layout_(files::LayoutBuilder().Long(0, "MEM:ID").String(4, "MEM:NAME", 10).Finish()),
        buffer_(14),
        file_(entry, "MEMVIEW", 7, files::kAttrCreate, 14, layout_.data(), layout_.size(), nullptr,
              0, nullptr, 0, buffer_.data()),
        view_layout_(ViewLayoutBuilder().LevelAllFields({}).Finish()),
        list_{&file_, nullptr, 0},
        view_(view_layout_.data(), view_layout_.size(), &list_) {}

  void SetUp() override {
    files::testing::ResetMemoryFiles();
    files::Create(&file_);
    files::Open(&file_);
    ASSERT_EQ(Code(), 0);
    for (int32_t id = 1; id <= 5; ++id) {
      std::memcpy(buffer_.data(), &id, 4);
      std::memcpy(buffer_.data() + 4, "name      ", 10);
      files::Add(&file_);
    }
    eval::BindRecord(&file_);
    files::SetFile(&file_);
  }
  void TearDown() override {
    if (Inspect(&view_).open) files::Close(&view_);
    files::Close(&file_);
  }
  int32_t Id() {
    int32_t id;
    std::memcpy(&id, buffer_.data(), 4);
    return id;
  }

  std::vector<uint8_t> layout_;
  std::vector<uint8_t> buffer_;
  files::FileRecord file_;
  std::vector<uint8_t> view_layout_;
  ViewFileList list_;
  ViewRecord view_;
};

TEST_F(MemoryViewTest, PhysicalOrderWithAFilterAndItsPositions) {
  files::SetFilter(&view_, 31928, "MEM:ID > 2");
  files::Open(&view_, files::kModeViewDefault);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(Inspect(&view_).key_number, 0);
  EXPECT_EQ(Inspect(&view_).range_components, 0);
  files::Next(&view_);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(Id(), 3);
  const std::string position = files::Position(&view_);
  ASSERT_EQ(position.substr(0, 4), std::string(4, '\0'));
  files::Next(&view_);
  files::Next(&view_);
  EXPECT_EQ(Id(), 5);
  files::Next(&view_);
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  files::Reset(&view_, position);
  ASSERT_EQ(Code(), 0);
  files::Next(&view_);
  EXPECT_EQ(Id(), 4);
  // No keys: a key number other than 0 is not a position of this view.
  std::string keyed = position;
  keyed[0] = 1;
  files::Reset(&view_, keyed);
  EXPECT_EQ(Code(), files::kUnknownErrorPosted);
}

class OwnEngineTest : public MemoryViewTest {
 protected:
  OwnEngineTest() : MemoryViewTest(&DriverWithEngine) {}
};

TEST_F(OwnEngineTest, ADriversOwnEngineServesTheViewUntilClose) {
  RegisterViewEngine(4242, &OwnEngine);
  g_engine_calls = 0;
  files::Open(&view_, files::kModeViewDefault);
  EXPECT_EQ(view_.Send(files::kOpNext), 7);
  files::Close(&view_);
  EXPECT_EQ(g_engine_calls, 3);
  EXPECT_EQ(view_.installed, nullptr);
  EXPECT_FALSE(Inspect(&view_).open);
}

}  // namespace
}  // namespace vorsandt::views
