#include "report/report_layout.h"

#include <gtest/gtest.h>

#include <map>

#include "ui/engine/report_page.h"

namespace vorsandt::ui {
namespace {

// The bands of a one-report definition whose detail band holds `controls`
// (YAML list items, indented for the band).
Node DetailBand(const std::string& controls, const std::string& band_at = "") {
  std::string text =
      "resource: LAYOUT_RSC\nid: T$LAYOUT\nstructures:\n  - report: L$REPORT\n    bands:\n"
      "      - detail:\n";
  if (!band_at.empty()) text += "        at: " + band_at + "\n";
  text += "        controls:\n" + controls;
  ParseResult parsed = ParseDefinition(text, "layout.yaml");
  EXPECT_TRUE(parsed.ok()) << (parsed.error ? parsed.error->ToString() : "");
  if (!parsed.ok()) return Node();
  return parsed.resource->structures.at(0).children.at(0);
}

PageFont Plain() { return PageFont{"Sans Serif", 10, false, kDefaultColour}; }

BandValues From(std::map<std::string, BandValue> values) {
  return [values](const Node& control) -> std::optional<BandValue> {
    auto it = values.find(control.use->variable);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

std::vector<PageItem> Lay(const Node& band, const BandValues& values = {}) {
  std::vector<PageItem> items;
  LayoutBand(band, 1000, 2000, 6000, Plain(), values, items);
  return items;
}

TEST(ReportLayoutTest, NaturalTextSizeFollowsTheFontSize) {
  PageFont ten = Plain();
  PageFont twenty = ten;
  twenty.size = 20;
  // 10 points = 138.9 thousandths; a line is 1.2 of that, a character 0.6.
  EXPECT_EQ(TextHeight(ten), 167);
  EXPECT_EQ(TextHeight(twenty), 333);
  EXPECT_EQ(TextWidth("ABCD", ten), 333);
  EXPECT_EQ(TextWidth("", ten), 0);
  // Texts are Windows-1252: every byte is a character.
  EXPECT_EQ(TextWidth("\xC4"
                      "BCD",
                      ten),
            TextWidth("ABCD", ten));
}

struct PlaceCase {
  const char* name;
  std::string controls;
  // Expected (x, y, w, h) of the first and second item.
  int32_t first[4];
  int32_t second[4];
};

class NotGivenPositions : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(NotGivenPositions, AreResolvedFromThePreviousControl) {
  const PlaceCase& c = GetParam();
  std::vector<PageItem> items = Lay(DetailBand(c.controls));
  ASSERT_GE(items.size(), 2u);
  const int32_t* want[2] = {c.first, c.second};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(items[i].x, want[i][0]);
    EXPECT_EQ(items[i].y, want[i][1]);
    EXPECT_EQ(items[i].w, want[i][2]);
    EXPECT_EQ(items[i].h, want[i][3]);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NotGivenPositions,
    ::testing::Values(
        // Everything given: band origin (1000, 2000) is added.
        PlaceCase{"given",
                  "          - string: AB\n            at: [10, 20, 300, 100]\n"
                  "          - string: CD\n            at: [500, 60, 200, 50]\n",
                  {1010, 2020, 300, 100},
                  {1500, 2060, 200, 50}},
        // No position at all: the first at the band's corner, the next right
        // after it on the same line; natural sizes.
        PlaceCase{"none",
                  "          - string: ABCD\n          - string: EF\n",
                  {1000, 2000, 333, 167},
                  {1333, 2000, 167, 167}},
        // x not given follows the previous control's right edge, y is kept.
        PlaceCase{"x only",
                  "          - string: AB\n            at: [100, 300, 400, default]\n"
                  "          - string: EF\n            at: [default, default, 50, default]\n",
                  {1100, 2300, 400, 167},
                  {1500, 2300, 50, 167}},
        // A line without a width runs to the band's right edge.
        PlaceCase{"line",
                  "          - line:\n            at: [1000, 50, default, default]\n"
                  "          - line:\n            at: [0, 80, 100, 0]\n",
                  {2000, 2050, 5000, 0},
                  {1000, 2080, 100, 0}},
        // Boxes: one text line square; images one inch.
        PlaceCase{"box and image",
                  "          - box:\n          - image: logo.png\n",
                  {1000, 2000, 167, 167},
                  {1167, 2000, 1000, 1000}}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name) {
        if (ch == ' ') ch = '_';
      }
      return name;
    });

TEST(ReportLayoutTest, VariableStringsShowTheirValueThroughThePicture) {
  Node band = DetailBand(
      "          - value: name\n            picture: \"@s5\"\n            at: [0, 0, default, "
      "default]\n"
      "          - value: amount\n            picture: \"@n-10.2\"\n            at: [2000, 0, "
      "default, default]\n"
      "          - value: missing\n            at: [4000, 0, default, default]\n");
  std::vector<PageItem> items =
      Lay(band, From({{"name", {"Abcdefgh", false}}, {"amount", {"-1234.5", true}}}));
  ASSERT_EQ(items.size(), 2u) << "an unbound variable shows nothing";
  EXPECT_EQ(items[0].text, "Abcde");
  EXPECT_EQ(items[1].text, " -1,234.50");
  EXPECT_EQ(items[1].x, 3000);
}

TEST(ReportLayoutTest, CheckBoxIsASquareCrossedWhenItsVariableIsSet) {
  Node band = DetailBand(
      "          - check: ETCHED\n            use: etched\n            at: [0, 0, default, "
      "default]\n");
  std::vector<PageItem> set = Lay(band, From({{"etched", {"1", true}}}));
  ASSERT_EQ(set.size(), 4u);
  EXPECT_EQ(set[0].type, PageItem::Type::kBox);
  EXPECT_EQ(set[1].type, PageItem::Type::kLine);
  EXPECT_EQ(set[2].type, PageItem::Type::kLine);
  EXPECT_EQ(set[3].type, PageItem::Type::kText);
  EXPECT_EQ(set[3].text, "ETCHED");
  EXPECT_GT(set[3].x, set[0].x + set[0].w) << "the text stands right of the square";

  for (const char* clear : {"0", "", "  ", "0.00"}) {
    std::vector<PageItem> items = Lay(band, From({{"etched", {clear, false}}}));
    ASSERT_EQ(items.size(), 2u) << "value \"" << clear << "\"";
    EXPECT_EQ(items[0].type, PageItem::Type::kBox);
    EXPECT_EQ(items[1].text, "ETCHED");
  }
}

TEST(ReportLayoutTest, HiddenControlsAndScreenOnlyKindsAreNotPrinted) {
  Node band = DetailBand(
      "          - string: shown\n"
      "          - string: secret\n            hidden: true\n"
      "          - button: OK\n"
      "          - list: \"80L~A~@s10@\"\n");
  std::vector<PageItem> items = Lay(band);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].text, "shown");
}

TEST(ReportLayoutTest, ControlFontsOverrideTheReportFont) {
  Node band = DetailBand(
      "          - string: Big\n            font: {name: Courier, size: 20, weight: 700}\n"
      "          - string: plain\n");
  std::vector<PageItem> items = Lay(band);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].font, (PageFont{"Courier", 20, true, kDefaultColour}));
  EXPECT_EQ(items[0].h, 333);
  EXPECT_EQ(items[1].font, Plain());
}

TEST(ReportLayoutTest, BandHeightIsItsOwnOrTheLowestControlBottom) {
  EXPECT_EQ(BandHeight(DetailBand("          - string: A\n", "[0, 0, 6000, 300]"), Plain(), {}),
            300);
  EXPECT_EQ(BandHeight(DetailBand("          - string: A\n", "[0, 0, 6000, -5]"), Plain(), {}), 0);
  EXPECT_EQ(BandHeight(DetailBand("          - string: A\n            at: [0, 400, 10, 20]\n"
                                  "          - string: B\n            at: [0, 100, 10, 50]\n"),
                       Plain(), {}),
            420);
  // A text without a height takes one line.
  EXPECT_EQ(BandHeight(DetailBand("          - string: A\n            at: [0, 100, 10, default]\n"),
                       Plain(), {}),
            267);
}

TEST(ReportLayoutTest, WildPositionsDoNotWrapAround) {
  Node band = DetailBand(
      "          - string: A\n            at: [2147483647, 2147483647, 10, 10]\n"
      "          - string: B\n");
  std::vector<PageItem> items = Lay(band);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].x, INT32_MAX);
  EXPECT_EQ(items[0].y, INT32_MAX);
  EXPECT_EQ(items[1].x, INT32_MAX);
  EXPECT_GT(BandHeight(band, Plain(), {}), 0);
}

TEST(ReportPageTextTest, OneLinePerItemWithTextsEscaped) {
  Page page;
  page.report = "R$REPORT";
  page.number = 3;
  PageItem text;
  text.type = PageItem::Type::kText;
  text.x = 10;
  text.y = 20;
  text.w = 30;
  text.h = 40;
  text.text = "say \"hi\"\\\nnext\x01";
  text.font = PageFont{"Sans", 8, true, 0xFF};
  PageItem line;
  line.type = PageItem::Type::kLine;
  line.w = 100;
  PageItem box;
  box.type = PageItem::Type::kBox;
  box.fill = 0x00FF00;
  PageItem image;
  image.type = PageItem::Type::kImage;
  image.text = "a b.png";
  page.items = {text, line, box, image};
  EXPECT_EQ(PageToText(page),
            "page 3 R$REPORT 8500x11000\n"
            "text 10,20 30x40 \"say \\\"hi\\\"\\\\\\nnext\\x01\" font \"Sans\" 8 bold colour "
            "0x000000FF\n"
            "line 0,0 100x0\n"
            "box 0,0 0x0 colour default fill 0x0000FF00\n"
            "image 0,0 0x0 \"a b.png\"\n");
}

}  // namespace
}  // namespace vorsandt::ui
