#include "ui/engine/definition.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vorsandt::ui {
namespace {

constexpr char kReportPair[] = R"(resource: ZELTA040_RSC
id: ZELTAR3$ZELTA040
structures:
  - report: PRINTPOL:REFERENCE$REPORT
    at: [1000, 1000, 6000, 9000]
    font: {name: Arial, size: 10}
    bands:
      - header:
        at: [0, 0, 6000, 500]
        controls:
          - string: Policy
            at: [0, 0, default, default]
      - break:
        use: {variable: POL:INSURER, type: string, size: 20}
        bands:
          - header:
            at: [0, 0, 6000, 300]
          - detail:
            at: [0, 0, 6000, 250]
            controls:
              - value: POL:POLICY_REFERENCE
                picture: "@s30"
                at: [0, 0, 2000, 250]
              - line:
                at: [0, 240, 6000, 0]
          - footer:
            at: [0, 0, 6000, 300]
      - form:
        at: [0, 0, 6000, 9000]
  - window: PRINTPOL:REFERENCE$PROGRESSWINDOW
    caption: Progress...
    timer: 1
    at: [default, default, 142, 59]
    controls:
      - progress:
        at: [15, 15, 111, 12]
        upper: 100
      - string: ""
        at: [0, 3, 141, 10]
      - button: Cancel
        at: [45, 42, 50, 15]
)";

TEST(DefinitionTest, ReportAndItsProgressWindowShareOneResource) {
  ParseResult r = ParseDefinition(kReportPair, "pair.yaml");
  ASSERT_TRUE(r.ok()) << r.error->ToString();
  const Resource& res = *r.resource;
  ASSERT_EQ(res.structures.size(), 2u);
  EXPECT_EQ(res.structures[0].kind, Kind::kReport);
  EXPECT_EQ(res.structures[1].kind, Kind::kWindow);
  const Node* report = res.Find("PRINTPOL:REFERENCE$REPORT");
  const Node* progress = res.Find("PRINTPOL:REFERENCE$PROGRESSWINDOW");
  ASSERT_NE(report, nullptr);
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(report, &res.structures[0]);
  EXPECT_EQ(progress, &res.structures[1]);
  EXPECT_EQ(res.Find("PRINTPOL:REFERENCE$report"), nullptr);  // labels match exactly

  // The group break nests its bands and carries the break variable.
  const Node& brk = report->children[1];
  EXPECT_EQ(brk.kind, Kind::kGroupBreak);
  ASSERT_TRUE(brk.use.has_value());
  EXPECT_EQ(brk.use->variable, "POL:INSURER");
  EXPECT_EQ(brk.use->type, 18);
  EXPECT_EQ(brk.use->size, 20u);
  ASSERT_EQ(brk.children.size(), 3u);
  EXPECT_EQ(brk.children[1].kind, Kind::kDetailBand);
  const Node& value = brk.children[1].children[0];
  EXPECT_EQ(value.kind, Kind::kVarString);
  EXPECT_EQ(value.use->variable, "POL:POLICY_REFERENCE");
  EXPECT_EQ(value.picture, "@s30");
  EXPECT_EQ(brk.children[1].children[1].at.h, 0);  // a horizontal line

  // Report controls are numbered in declaration order across the bands.
  EXPECT_EQ(report->children[0].children[0].number, 1);
  EXPECT_EQ(value.number, 2);
  // The progress window's own controls start again at 1.
  EXPECT_EQ(progress->children[0].number, 1);
  EXPECT_EQ(progress->children[2].number, 3);
  EXPECT_EQ(progress->timer, 1);
}

TEST(DefinitionTest, NotGivenPositionsAndListWithoutUse) {
  const char* text = R"(resource: T_RSC
id: M$T
structures:
  - window: P$W
    controls:
      - list: "126L|M~POLICY REFERENCE~@s30@"
        at: [4, 4, default, default]
      - sheet:
        tabs:
          - tab: First
            controls:
              - entry: X
                picture: "@s10"
          - tab: Second
      - button: OK
        default: true
        alert: [45, 46]
)";
  ParseResult r = ParseDefinition(text, "t.yaml");
  ASSERT_TRUE(r.ok()) << r.error->ToString();
  const Node& w = r.resource->structures[0];
  EXPECT_EQ(w.at.x, kNotGiven);
  EXPECT_EQ(w.at.w, kNotGiven);
  const Node& list = w.children[0];
  EXPECT_EQ(list.at.x, 4);
  EXPECT_EQ(list.at.w, kNotGiven);
  EXPECT_EQ(static_cast<uint32_t>(list.at.h), 0x80000000u);
  EXPECT_FALSE(list.use.has_value());
  ASSERT_EQ(list.columns.size(), 1u);
  EXPECT_EQ(list.columns[0].header, "POLICY REFERENCE");
  // Depth-first numbering that passes over the tabs: list 1, sheet 2, the
  // entry on the first tab 3, button 4; tabs have no number.
  const Node& sheet = w.children[1];
  EXPECT_EQ(sheet.number, 2);
  EXPECT_EQ(sheet.children[0].number, 0);
  EXPECT_EQ(sheet.children[0].children[0].number, 3);
  EXPECT_EQ(sheet.children[0].children[0].use->variable, "X");
  EXPECT_EQ(sheet.children[1].number, 0);
  EXPECT_EQ(w.children[2].number, 4);
  EXPECT_EQ(w.children[2].alert_keys, (std::vector<int32_t>{45, 46}));
}

TEST(DefinitionTest, EveryRecordKindHasItsFields) {
  const char* text = R"(resource: ALL_RSC
id: M$ALL
structures:
  - window: ALL$WINDOW
    caption: Everything
    icon: APPICON
    font: {name: MS Sans Serif, size: 8, colour: 0x00FF00, weight: 400}
    at: [1, 2, 300, 200]
    timer: 50
    menubar:
      - menu: "&Menu"
        items:
          - item: "&Item"
            number: -1
            message: An item
          - separator: "Item&9"
            number: -2
          - menu: "&Sub"
            items:
              - item: Deep
                number: -3
    controls:
      - string: Fixed
        font: {name: Arial, size: 12}
      - prompt: "&Prompt"
      - entry: E:FIELD
        picture: "@n-10.2"
        tip: Entry tip
      - button: Go
        default: true
      - check: Check
        use: {variable: C:FLAG, type: string, size: 1}
      - group: Group caption
        controls:
          - box:
            colours: [0xFF, 0x00]
          - line:
            at: [0, 5, 50, 0]
      - list: "10L@s10@"
        use: L:ROW
        tip: List tip
      - sheet:
        tabs:
          - tab: Tab one
            controls:
              - image: PHOTO.JPG
              - region:
                colours: [1, 2]
      - textbox: C:NOTES
        tip: Notes
      - spin: PAGE
        picture: "@n3"
        upper: 12
      - progress:
        upper: 100
      - value: V:X
        picture: "@s5"
  - report: ALL$REPORT
    font: {name: Arial, size: 10}
    bands:
      - header:
      - break:
        use: {variable: B:KEY, type: long, size: 4}
        bands:
          - break:
            use: B:INNER
            bands:
              - detail:
                controls:
                  - value: D:X
          - footer:
      - footer:
      - form:
)";
  ParseResult r = ParseDefinition(text, "all.yaml");
  ASSERT_TRUE(r.ok()) << r.error->ToString();
  const Node& w = r.resource->structures[0];
  EXPECT_EQ(w.icon, "APPICON");
  EXPECT_EQ(w.font->colour, 0x00FF00u);
  EXPECT_EQ(w.font->weight, 400u);
  EXPECT_EQ(w.timer, 50);
  const Node& menu = w.menu_bar->children[0];
  EXPECT_TRUE(menu.children[1].separator);
  EXPECT_EQ(menu.children[1].text, "Item&9");
  EXPECT_EQ(menu.children[2].kind, Kind::kMenu);
  EXPECT_EQ(menu.children[2].children[0].number, -3);

  std::vector<Kind> kinds;
  ForEachControl(w, [&](const Node& n) { kinds.push_back(n.kind); });
  EXPECT_EQ(kinds,
            (std::vector<Kind>{Kind::kString, Kind::kPrompt, Kind::kEntry, Kind::kButton,
                               Kind::kCheck, Kind::kGroup, Kind::kBox, Kind::kLine, Kind::kList,
                               Kind::kSheet, Kind::kImage, Kind::kRegion, Kind::kTextBox,
                               Kind::kSpin, Kind::kProgress, Kind::kVarString}));
  const auto& c = w.children;
  EXPECT_EQ(c[0].font->name, "Arial");
  EXPECT_EQ(c[2].use->variable, "E:FIELD");
  EXPECT_EQ(c[2].picture, "@n-10.2");
  EXPECT_EQ(c[2].tip, "Entry tip");
  EXPECT_TRUE(c[3].default_button);
  EXPECT_EQ(c[4].use->size, 1u);
  EXPECT_EQ(c[5].text, "Group caption");
  EXPECT_EQ(c[5].children[0].colours[0], 0xFFu);
  EXPECT_EQ(c[6].use->variable, "L:ROW");
  EXPECT_EQ(c[7].children[0].children[0].image, "PHOTO.JPG");
  EXPECT_EQ(c[8].use->variable, "C:NOTES");
  EXPECT_EQ(c[9].upper, 12);
  EXPECT_EQ(c[11].number, 16);  // the tab took none

  const Node& report = r.resource->structures[1];
  ASSERT_EQ(report.children.size(), 4u);
  EXPECT_EQ(report.children[0].kind, Kind::kHeaderBand);
  EXPECT_EQ(report.children[3].kind, Kind::kFormBand);
  const Node& outer = report.children[1];
  EXPECT_EQ(outer.use->type, 6);
  EXPECT_EQ(outer.children[0].kind, Kind::kGroupBreak);
  EXPECT_EQ(outer.children[0].use->variable, "B:INNER");
  EXPECT_EQ(outer.children[0].children[0].children[0].use->variable, "D:X");
}

struct BadDefinition {
  const char* name;
  const char* text;
  int line;
  const char* message_part;
};

TEST(DefinitionTest, BadDefinitionsNameResourceAndLine) {
  const BadDefinition cases[] = {
      {"missing label", "resource: B_RSC\nid: M$B\nstructures:\n  - window:\n    caption: X\n", 4,
       "window: missing label"},
      {"label without $", "resource: B_RSC\nid: M$B\nstructures:\n  - window: NODOLLAR\n", 4,
       "not of the form PROCEDURE$NAME"},
      {"broken column format",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    controls:\n      - list: "
       "\"126X~A~\"\n",
       6, "broken column format string \"126X~A~\" at character 4"},
      {"unknown control kind",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    controls:\n      - button: "
       "OK\n      - dial: X\n",
       7, "unknown control kind \"dial\""},
      {"unknown key", "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    colour: 3\n", 5,
       "unknown key \"colour\" in window"},
      {"bad number",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    at: [1, 2, x, 4]\n", 5,
       "\"x\" is not a number"},
      {"id without $", "resource: B_RSC\nid: MB\nstructures:\n  - window: P$W\n", 2,
       "has no \"$\""},
      {"duplicate label",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n  - window: P$W\n", 5,
       "defined twice"},
      {"item among controls",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    controls:\n      - item: X\n",
       6, "item cannot stand in the controls of a window"},
      {"positive menu number",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    menubar:\n      - menu: A\n    "
       "    number: 3\n",
       7, "menu numbers are negative"},
      {"drop on a button",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    controls:\n      - button: "
       "OK\n        drop: 5\n",
       7, "only a list can drop down"},
      {"drop of no rows",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    controls:\n      - list: "
       "\"20L@s5@\"\n        drop: 0\n",
       7, "drop: rows from 1 to 255"},
      {"field equate twice",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    controls:\n      - button: "
       "OK\n        use: \"?OK\"\n      - button: Cancel\n        use: \"?OK\"\n",
       8, "field equate \"?OK\" is used twice in P$W"},
      {"tab among controls",
       "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    controls:\n      - tab: X\n", 6,
       "tab cannot stand in the controls of a window"},
      {"yaml syntax", "resource: B_RSC\nid: M$B\nstructures:\n  - window: [P$W\n", 5, ""},
  };
  for (const BadDefinition& c : cases) {
    ParseResult r = ParseDefinition(c.text, "bad.yaml");
    ASSERT_FALSE(r.ok()) << c.name;
    EXPECT_EQ(r.error->line, c.line) << c.name << ": " << r.error->ToString();
    EXPECT_NE(r.error->message.find(c.message_part), std::string::npos)
        << c.name << ": " << r.error->ToString();
    std::string shown = r.error->ToString();
    EXPECT_EQ(shown.rfind("bad.yaml:" + std::to_string(c.line) + ": ", 0), 0u) << shown;
    if (c.line > 2) {
      EXPECT_NE(shown.find("B_RSC: "), std::string::npos) << shown;
    }
  }
}

// A tab is known by its place in its sheet, which a tab id holds in a byte.
TEST(DefinitionTest, ASheetHoldsAtMost255Tabs) {
  auto sheet = [](int tabs) {
    std::string text =
        "resource: B_RSC\nid: M$B\nstructures:\n  - window: P$W\n    controls:\n"
        "      - sheet:\n        tabs:\n";
    for (int i = 0; i < tabs; ++i) text += "          - tab: T\n";
    return ParseDefinition(text, "tabs.yaml");
  };
  EXPECT_TRUE(sheet(kMaxTabs).ok());
  ParseResult r = sheet(kMaxTabs + 1);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error->message.find("at most 255"), std::string::npos) << r.error->ToString();
}

TEST(DefinitionTest, ControlsAreNamedByVariableOrFieldEquate) {
  ParseResult r = ParseDefinition(R"(resource: N_RSC
id: M$N
structures:
  - window: P$W
    controls:
      - entry: POL:REFERENCE
      - button: OK
        use: "?OK"
      - string: plain
)",
                                  "names.yaml");
  ASSERT_TRUE(r.ok()) << r.error->ToString();
  const std::vector<Node>& c = r.resource->structures[0].children;
  EXPECT_EQ(UseName(c[0]), "POL:REFERENCE");
  EXPECT_EQ(UseName(c[1]), "?OK");
  EXPECT_FALSE(c[1].use.has_value());  // an equate binds no variable
  EXPECT_EQ(UseName(c[2]), "");
  Node copy = r.resource->structures[0];
  EXPECT_EQ(copy.children[1].equate, "?OK");
}

TEST(DefinitionTest, DropListsAreListsWithTheirDropDepth) {
  const char* text = R"(resource: D_RSC
id: M$D
structures:
  - window: P$W
    controls:
      - list: "40L@s10@"
        use: COLOUR
        drop: 6
      - list: "40L@s10@"
        drop: true
      - list: "40L@s10@"
)";
  ParseResult r = ParseDefinition(text, "drop.yaml");
  ASSERT_TRUE(r.ok()) << r.error->ToString();
  const auto& c = r.resource->structures[0].children;
  EXPECT_EQ(c[0].kind, Kind::kList);
  EXPECT_EQ(c[0].drop, 6);
  EXPECT_EQ(c[1].drop, 8);
  EXPECT_EQ(c[2].drop, 0);  // a plain list
  Node copy = r.resource->structures[0];
  EXPECT_EQ(copy.children[0].drop, 6);
}

TEST(DefinitionTest, DeepNestingIsRejectedNotOverflowed) {
  std::string text = "resource: D_RSC\nid: M$D\nstructures:\n  - window: P$W\n    controls:\n";
  std::string indent = "      ";
  for (int i = 0; i < 60; ++i) {
    text += indent + "- group: G\n" + indent + "  controls:\n";
    indent += "    ";
  }
  text += indent + "- button: OK\n";
  ParseResult r = ParseDefinition(text, "deep.yaml");
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error->message.find("nested too deeply"), std::string::npos);
}

TEST(DefinitionTest, GarbageNeverCrashes) {
  const char* inputs[] = {"",
                          "[]",
                          "42",
                          "resource: [a]",
                          "structures: {a: b}",
                          "\x01\x02\xff",
                          ":::",
                          "- - -",
                          "resource: X_RSC\nid: A$X\nstructures:\n  - 7\n",
                          "resource: X_RSC\nid: A$X\nstructures:\n  - {[a]: b}\n"};
  for (const char* in : inputs) {
    ParseResult r = ParseDefinition(in, "garbage.yaml");
    EXPECT_FALSE(r.ok()) << in;
    EXPECT_TRUE(r.error.has_value());
  }
}

// Random damage to a real definition: every result is a definition or an
// error with a message, never a crash or a hang.
TEST(DefinitionTest, MutatedDefinitionsNeverCrash) {
  std::ifstream in(std::string(VORSANDT_RESOURCES_DIR) + "/zelta001.yaml");
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string original = ss.str();
  ASSERT_FALSE(original.empty());
  std::mt19937 rng(12345);
  const std::string alphabet = ":-[]{}\"'#&|~@$ \n\t0123456789xL*!%>";
  int errors = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string text = original;
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      size_t at = rng() % text.size();
      switch (rng() % 3) {
        case 0:
          text[at] = alphabet[rng() % alphabet.size()];
          break;
        case 1:
          text.erase(at, 1 + rng() % 20);
          break;
        default:
          text.insert(at, text.substr(rng() % text.size(), 1 + rng() % 40));
          break;
      }
    }
    ParseResult r = ParseDefinition(text, "mutated.yaml");
    if (!r.ok()) {
      ++errors;
      EXPECT_FALSE(r.error->message.empty());
    }
  }
  EXPECT_GT(errors, 0);
}

// Every definition under resources/, parsed: its file name and the result.
std::vector<std::pair<std::string, ParseResult>> ParsedResourceFiles() {
  std::vector<std::pair<std::string, ParseResult>> out;
  DIR* dir = opendir(VORSANDT_RESOURCES_DIR);
  if (dir == nullptr) return out;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name.size() < 5 || name.substr(name.size() - 5) != ".yaml") continue;
    std::ifstream in(std::string(VORSANDT_RESOURCES_DIR) + "/" + name);
    std::stringstream ss;
    ss << in.rdbuf();
    out.emplace_back(name, ParseDefinition(ss.str(), name));
  }
  closedir(dir);
  return out;
}

// Every definition the program embeds parses, and its resource name matches
// its window id so that the lookup can find it.
TEST(DefinitionTest, EveryDefinitionUnderResourcesLoads) {
  int files = 0;
  for (const auto& [name, r] : ParsedResourceFiles()) {
    ASSERT_TRUE(r.ok()) << r.error->ToString();
    const Resource& res = *r.resource;
    std::string after = res.id.substr(res.id.find('$') + 1);
    for (char& c : after) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(after + "_RSC", res.name) << name;
    for (const Node& s : res.structures) {
      EXPECT_TRUE(s.kind == Kind::kWindow || s.kind == Kind::kReport) << name;
      EXPECT_NE(s.label.find('$'), std::string::npos) << name;
    }
    ++files;
  }
  EXPECT_GE(files, 2);
}

// The access letter "&" marks in a text ("&&" is an ampersand), lower case;
// 0 for none.
char AccessLetter(std::string_view text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
  }
  return 0;
}

// Which texts answer which Alt+letter in one scope: "x: A, B" per letter
// taken twice or more.
using Scope = std::map<char, std::vector<std::string>>;
std::string Clashes(const Scope& scope) {
  std::string out;
  for (const auto& [letter, texts] : scope) {
    if (texts.size() < 2) continue;
    out += std::string(1, letter) + ":";
    for (const std::string& t : texts) out += " \"" + t + "\"";
    out += "; ";
  }
  return out;
}

void Take(Scope* scope, const Node& node) {
  if (char letter = AccessLetter(node.text)) (*scope)[letter].push_back(node.text);
}

// A window's controls answer Alt+letter together, the tabs of its sheets
// too; the controls on one tab only while it is shown, so two tabs may use
// one letter, but not a tab and what is always there. Each menu's items
// answer among themselves, a menu bar's menus among themselves.
void CollectControls(const Node& node, Scope* always, std::vector<Scope>* tabs) {
  for (const Node& child : node.children) {
    if (child.kind == Kind::kTab) {
      Take(always, child);
      Scope on_tab;
      std::vector<Scope> nested;
      CollectControls(child, &on_tab, &nested);
      tabs->push_back(on_tab);
      for (Scope& n : nested) {
        for (auto& [letter, texts] : on_tab)
          n[letter].insert(n[letter].end(), texts.begin(), texts.end());
        tabs->push_back(n);
      }
      continue;
    }
    if (IsControlKind(child.kind)) Take(always, child);
    CollectControls(child, always, tabs);
  }
}
void CheckMenus(const Node& menu, const std::string& where, std::vector<std::string>* faults) {
  Scope items;
  for (const Node& item : menu.children) {
    if ((item.kind != Kind::kMenu && item.kind != Kind::kMenuItem) || item.separator) continue;
    Take(&items, item);
    if (item.kind == Kind::kMenu) CheckMenus(item, where + " > " + item.text, faults);
  }
  if (std::string c = Clashes(items); !c.empty()) faults->push_back(where + ": " + c);
}

TEST(DefinitionTest, NoTwoControlsOfAWindowShareAnAccessLetter) {
  std::vector<std::string> faults;
  int windows = 0;
  for (const auto& [name, r] : ParsedResourceFiles()) {
    ASSERT_TRUE(r.ok()) << r.error->ToString();
    for (const Node& s : r.resource->structures) {
      if (s.kind != Kind::kWindow) continue;
      ++windows;
      Scope always;
      std::vector<Scope> tabs;
      CollectControls(s, &always, &tabs);
      const std::string where = name + " " + s.label;
      std::set<std::string> clashes;
      if (std::string c = Clashes(always); !c.empty()) clashes.insert(c);
      for (Scope& tab : tabs) {
        for (auto& [letter, texts] : always) {
          tab[letter].insert(tab[letter].end(), texts.begin(), texts.end());
        }
        if (std::string c = Clashes(tab); !c.empty()) clashes.insert(c);
      }
      for (const std::string& c : clashes) faults.push_back(where + ": " + c);
      if (s.menu_bar) CheckMenus(*s.menu_bar, where + " menu bar", &faults);
    }
  }
  EXPECT_GE(windows, 30);
  std::string all;
  for (const std::string& f : faults) all += f + "\n";
  EXPECT_TRUE(faults.empty()) << all;
}

TEST(DefinitionTest, AccessLetters) {
  EXPECT_EQ(AccessLetter("&Print"), 'p');
  EXPECT_EQ(AccessLetter("Pre&vious Page"), 'v');
  EXPECT_EQ(AccessLetter("Fish && &Chips"), 'c');
  EXPECT_EQ(AccessLetter("Fish && Chips"), 0);
  EXPECT_EQ(AccessLetter("Close"), 0);
  EXPECT_EQ(AccessLetter("Trailing&"), 0);
}

}  // namespace
}  // namespace vorsandt::ui
