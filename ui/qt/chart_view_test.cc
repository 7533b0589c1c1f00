// Chart controls and pages in a window view: a click or the keys choose a
// bar, labels are set to fit their chart, and a page image takes its own
// paper's proportions.
#include "ui/qt/chart_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBarCategoryAxis>
#include <QKeyEvent>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "images/metafile_recorder.h"
#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {
namespace {

Chart Rooms(bool vertical = false) {
  Chart chart;
  chart.title = "Value by location";
  chart.clickable = true;
  chart.vertical = vertical;
  for (const char* name : {"Kitchen", "Study", "Loft"}) {
    ChartBar bar;
    bar.label = name;
    bar.value = 100;
    bar.value_text = "100.00";
    chart.bars.push_back(bar);
  }
  return chart;
}

TEST(ChartViewTest, CategoriesMapToBarsInTheChartsOrder) {
  // Lying bars are drawn from the bottom: the first bar is the last category.
  EXPECT_EQ(BarOfCategory(Rooms(), 0), 3);
  EXPECT_EQ(BarOfCategory(Rooms(), 2), 1);
  EXPECT_EQ(BarOfCategory(Rooms(), 3), 0) << "the empty row above a marked chart's bars";
  // Standing bars begin after an empty place and end before one.
  EXPECT_EQ(BarOfCategory(Rooms(true), 0), 0);
  EXPECT_EQ(BarOfCategory(Rooms(true), 1), 1);
  EXPECT_EQ(BarOfCategory(Rooms(true), 3), 3);
  EXPECT_EQ(BarOfCategory(Rooms(true), 4), 0);
}

TEST(ChartViewTest, LabelsGetSmallerOrGoOnTwoLinesWhereTheChartIsSmall) {
  Chart chart = Rooms();
  chart.bars[0].label = "A location with a very long name indeed, longer than most";
  QFont font = QApplication::font();
  font.setPointSizeF(10);
  const LabelPlan roomy = PlanLabels(chart, font, QSizeF(2000, 600));
  EXPECT_EQ(roomy.font.pointSizeF(), 10);
  EXPECT_EQ(roomy.lines, LabelLines(3, false));
  // Narrow and tall: the long label cannot fit at any size read with ease,
  // so it goes on two lines; the short ones stay on one.
  const LabelPlan narrow = PlanLabels(chart, font, QSizeF(300, 600));
  EXPECT_LT(narrow.font.pointSizeF(), 10);
  EXPECT_EQ(narrow.lines, (LabelLines{true, false, false}));
  // Narrow and low: no room for two lines either; the name is cut instead.
  const LabelPlan low = PlanLabels(chart, font, QSizeF(300, 120));
  EXPECT_EQ(low.lines, LabelLines(3, false));
  EXPECT_GT(low.width, 0);
}

WindowState ChartWindow() {
  WindowState s;
  s.id = 3;
  s.caption = "Summary";
  s.at = Rect{kNotGiven, kNotGiven, 300, 200};
  ControlState c;
  c.field = 1;
  c.kind = Kind::kChart;
  c.at = Rect{4, 4, 292, 170};
  c.chart = Rooms();
  s.controls.push_back(c);
  return s;
}

TEST(ChartViewTest, KeysWalkTheBarsAndEnterChoosesOne) {
  std::vector<Input> inputs;
  WindowView view(ChartWindow(), [&](WindowId, const Input& in) { inputs.push_back(in); });
  view.show();
  QApplication::processEvents();
  auto* chart = dynamic_cast<ChartControl*>(view.ControlWidget(1));
  ASSERT_NE(chart, nullptr);
  chart->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(chart->current(), 1) << "the focus stands on the first bar";
  inputs.clear();
  QTest::keyClick(chart, Qt::Key_Down);
  QTest::keyClick(chart, Qt::Key_Down);
  QTest::keyClick(chart, Qt::Key_Down);  // no bar beyond the last
  EXPECT_EQ(chart->current(), 3);
  QTest::keyClick(chart, Qt::Key_Up);
  QTest::keyClick(chart, Qt::Key_Return);
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs[0].type, Input::Type::kSelectRow);
  EXPECT_EQ(inputs[0].field, 1);
  EXPECT_EQ(inputs[0].value, 2);
}

TEST(ChartViewTest, AChartOnlyToLookAtTakesNoFocusAndNoKeys) {
  WindowState s = ChartWindow();
  s.controls[0].chart.clickable = false;
  std::vector<Input> inputs;
  WindowView view(s, [&](WindowId, const Input& in) { inputs.push_back(in); });
  view.show();
  QApplication::processEvents();
  auto* chart = dynamic_cast<ChartControl*>(view.ControlWidget(1));
  ASSERT_NE(chart, nullptr);
  EXPECT_EQ(chart->focusPolicy(), Qt::NoFocus);
}

// A page image of `inches` across and down, as the report engine writes one.
std::string PageImage(const std::string& name, double width, double height) {
  constexpr int kInch = 300;
  images::MetafileRecorder r({0, 0, static_cast<int32_t>(width * kInch),
                              static_cast<int32_t>(height * kInch)},
                             kInch);
  r.Rectangle(10, 10, 100, 100);
  const std::vector<uint8_t> bytes = r.Finish();
  const std::string file = (std::filesystem::temp_directory_path() / name).string();
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return file;
}

// A page viewer drawn for a letter page: a box framing the page's picture.
WindowState PageWindow(const std::string& page) {
  WindowState s;
  s.id = 4;
  s.caption = "Print Preview";
  s.at = Rect{kNotGiven, kNotGiven, 300, 260};
  ControlState box;
  box.field = 1;
  box.kind = Kind::kBox;
  box.at = Rect{100, 20, 170, 220};
  ControlState image = box;
  image.field = 2;
  image.kind = Kind::kImage;
  image.text = page;
  s.controls = {box, image};
  return s;
}

double Proportion(const QWidget* w) { return static_cast<double>(w->width()) / w->height(); }

TEST(ChartViewTest, APageTakesItsOwnPapersProportions) {
  const std::string a4 = PageImage("chart_view_test_a4.wmf", 8.27, 11.69);
  const std::string letter = PageImage("chart_view_test_letter.wmf", 8.5, 11);
  for (const auto& [file, proportion] : {std::pair{a4, 8.27 / 11.69}, std::pair{letter, 8.5 / 11}}) {
    WindowView view(PageWindow(file), [](WindowId, const Input&) {});
    view.show();
    view.resize(view.width() + 200, view.height() + 300);
    QApplication::processEvents();
    EXPECT_NEAR(Proportion(view.ControlWidget(1)), proportion, 0.02) << file << ": the frame";
    EXPECT_NEAR(Proportion(view.ControlWidget(2)), proportion, 0.02) << file << ": the page";
  }
  std::remove(a4.c_str());
  std::remove(letter.c_str());
}

}  // namespace
}  // namespace vorsandt::ui::qt
