// The tree list's keys: the arrows open and close nodes on the list itself,
// while Ctrl+Right, Ctrl+Left and the double click go to the engine, which
// turns the keys a tree alerts into its alert event instead of a move.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTreeWidget>

#include "ui/qt/list_control.h"

namespace vorsandt::ui::qt {
namespace {

class TreeListKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ControlState c;
    c.field = 1;
    c.kind = Kind::kList;
    c.at = {0, 0, 200, 80};
    Column column;
    column.width = 190;
    column.tree = true;
    column.icons = true;
    c.columns = {column};
    // The root, an open location with one item, a closed location, a leaf.
    c.rows = {ListRow{{"LOCATION"}, 0}, ListRow{{"Kitchen"}, -1}, ListRow{{"ITEM:-  Kettle"}, 2},
              ListRow{{"Bathroom"}, -1}, ListRow{{"Attic"}, 1}};
    list_ = std::make_unique<ListControl>(
        c, BaseUnits{6, 13}, [this](const Input& in) { inputs_.push_back(in); }, nullptr);
    list_->resize(300, 200);
    list_->show();
    QApplication::processEvents();
  }

  // Makes `row` (from 1) current, then presses `key` on the list.
  void Press(int row, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTreeWidget* table = list_->table();
    table->setCurrentItem(table->topLevelItem(row - 1));
    inputs_.clear();
    QTest::keyClick(table, key, modifiers);
  }

  std::unique_ptr<ListControl> list_;
  std::vector<Input> inputs_;
};

TEST_F(TreeListKeysTest, ArrowsOpenAClosedNodeAndCloseAnOpenOne) {
  Press(4, Qt::Key_Right);
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kExpand);
  EXPECT_EQ(inputs_[0].value, 4);
  Press(2, Qt::Key_Left);
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kContract);
  EXPECT_EQ(inputs_[0].value, 2);
  // Nothing to open on a leaf, nothing to close on a closed node.
  Press(5, Qt::Key_Right);
  for (const Input& in : inputs_) EXPECT_NE(in.type, Input::Type::kExpand);
  Press(4, Qt::Key_Left);
  for (const Input& in : inputs_) EXPECT_NE(in.type, Input::Type::kContract);
}

TEST_F(TreeListKeysTest, CtrlArrowsAndDoubleClickAreKeysForTheEngine) {
  Press(4, Qt::Key_Right, Qt::ControlModifier);
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kKey);
  EXPECT_EQ(inputs_[0].value, key::kCtrl + key::kRight);
  Press(2, Qt::Key_Left, Qt::ControlModifier);
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kKey);
  EXPECT_EQ(inputs_[0].value, key::kCtrl + key::kLeft);

  QTreeWidget* table = list_->table();
  inputs_.clear();
  QRect text = table->visualItemRect(table->topLevelItem(3));
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {},
                     QPoint(text.left() + 80, text.center().y()));
  bool double_click = false;
  for (const Input& in : inputs_) {
    EXPECT_NE(in.type, Input::Type::kExpand);
    double_click = double_click || (in.type == Input::Type::kKey && in.value == key::kMouseLeft2);
  }
  EXPECT_TRUE(double_click);
}

}  // namespace
}  // namespace vorsandt::ui::qt
