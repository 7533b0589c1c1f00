#include "ui/help/manual.h"

#include <gtest/gtest.h>

#include <map>

#include "ui/help/manual_search.h"

namespace vorsandt::help {
namespace {

// A small manual: contents, a chapter of two window sections, a chapter
// with opening text and a code block, and a link to a chapter that is not there.
const std::map<std::string, std::string> kFiles = {
    {"index.md",
     "<a id=\"contents\"></a>\n"
     "# VORSANDT Manual\n\n"
     "1. [Getting Started](start.md)\n"
     "2. [Browsing Items](browse.md)\n"
     "* [Getting Started again](start.md)\n"
     "- [Missing](missing.md)\n"
     "See [the web](https://example.org/x.md) and [an alias](./browse.md#items-form).\n"},
    {"start.md",
     "Opening words before any name.\n\n"
     "<a id=\"getting-started\"></a>\n"
     "<a id=\"first-steps\"></a>\n"
     "## First **Steps**\n"
     "Open the inventory from [the browse](browse.md#items-browse). Printing\n"
     "needs a printer; see [Forms](browse.md) and [here](#first-steps).\n"
     "```\n"
     "<a id=\"not-an-anchor\"></a>\n"
     "[not a link](nowhere.md)\n"
     "```\n"
     "![a picture](../screenshots/main.png)\n"},
    {"browse.md",
     "<a id='items-browse'></a>\n"
     "# The Item Browse\n"
     "Lists every item. A long link [over two\nlines](start.md \"titled\").\n"
     "Printer, printers, printing: print a list.\n\n"
     "<a id=\"items-form\"></a>\n"
     "## Item Form\n"
     "Change an item. Print it. Delete takes its claims with it.\n"
     "[wrong file](start.md#items-form) [no name](#nothing-here)\n"
     "<a id=\"getting-started\"></a>\n"
     "No heading here.\n"},
};

Manual Fixture() {
  return Manual::Load([](const std::string& file) -> std::optional<std::string> {
    auto it = kFiles.find(file);
    if (it == kFiles.end()) return std::nullopt;
    return it->second;
  });
}

TEST(ManualTest, ChaptersFollowTheContentsAndSectionsTheAnchors) {
  Manual manual = Fixture();
  ASSERT_EQ(manual.chapters().size(), 3u);
  EXPECT_EQ(manual.chapters()[0].file, "index.md");
  EXPECT_EQ(manual.chapters()[1].file, "start.md");
  EXPECT_EQ(manual.chapters()[1].title, "Getting Started");
  EXPECT_EQ(manual.chapters()[2].title, "Browsing Items");
  // Opening text, then one section with two names (the fenced anchor is text).
  const Chapter& start = manual.chapters()[1];
  ASSERT_EQ(start.sections.size(), 2u);
  const Section& opening = manual.sections()[start.sections[0]];
  EXPECT_TRUE(opening.anchors.empty());
  EXPECT_EQ(opening.title, "Getting Started");
  const Section& steps = manual.sections()[start.sections[1]];
  EXPECT_EQ(steps.anchors, (std::vector<std::string>{"getting-started", "first-steps"}));
  EXPECT_EQ(steps.title, "First Steps");
  EXPECT_EQ(steps.markdown.find("<a id=\"getting-started\">"), std::string::npos);
  EXPECT_NE(steps.markdown.find("not-an-anchor"), std::string::npos);
  // Single quotes name a section too; a section without a heading takes its chapter's title.
  const Chapter& browse = manual.chapters()[2];
  ASSERT_EQ(browse.sections.size(), 3u);
  EXPECT_EQ(manual.sections()[browse.sections[0]].title, "The Item Browse");
  EXPECT_EQ(manual.sections()[browse.sections[2]].title, "Browsing Items");
}

TEST(ManualTest, ProblemsNameUnreadableChaptersAndNamesGivenTwice) {
  Manual manual = Fixture();
  EXPECT_EQ(
      manual.problems(),
      (std::vector<std::string>{"the chapter missing.md cannot be read",
                                "the name getting-started is given twice (again in browse.md)"}));
  Manual none = Manual::Load([](const std::string&) { return std::nullopt; });
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.problems(), (std::vector<std::string>{"the contents index.md cannot be read"}));
}

TEST(ManualTest, LinksResolveToSectionsOfTheFileTheyName) {
  Manual manual = Fixture();
  size_t steps = *manual.Find("FIRST-STEPS");
  size_t browse = *manual.Find("items-browse");
  size_t form = *manual.Find("items-form");
  EXPECT_EQ(manual.Resolve(steps, "browse.md#items-browse"), browse);
  EXPECT_EQ(manual.Resolve(steps, "browse.md"), browse);
  EXPECT_EQ(manual.Resolve(steps, "#first-steps"), steps);
  EXPECT_EQ(manual.Resolve(steps, "./browse.md#items-form"), form);
  EXPECT_EQ(manual.Resolve(steps, "start.md"), manual.chapters()[1].sections[0]);
  EXPECT_FALSE(manual.Resolve(form, "start.md#items-form"));  // the name is in another file
  EXPECT_FALSE(manual.Resolve(form, "#nothing-here"));
  EXPECT_FALSE(manual.Resolve(form, "missing.md"));
  EXPECT_FALSE(manual.Resolve(form, "https://example.org/x.md"));
  EXPECT_FALSE(manual.Find("not-an-anchor"));

  std::vector<std::string> targets;
  for (const Link& link : manual.Links()) targets.push_back(link.target);
  EXPECT_EQ(targets, (std::vector<std::string>{"start.md", "browse.md", "start.md", "missing.md",
                                               "./browse.md#items-form", "browse.md#items-browse",
                                               "browse.md", "#first-steps", "start.md",
                                               "start.md#items-form", "#nothing-here"}));
}

TEST(ManualTest, AnchorLinesAndLinkTargets) {
  EXPECT_EQ(AnchorOfLine("  <a id=\"backups\"></a> "), "backups");
  EXPECT_EQ(AnchorOfLine("<a name=\"old-style\"></a>"), "old-style");
  EXPECT_EQ(AnchorOfLine("<a id=\"x\"></a> and text"), "");
  EXPECT_EQ(AnchorOfLine("<a id=\"x\">text</a>"), "");
  EXPECT_EQ(AnchorOfLine("<a id=\"open"), "");
  EXPECT_EQ(LinkTargets("[a](b.md) ![pic](p.png) [c](<d e.md>) [f] (g.md) [h](i.md \"t\")"),
            (std::vector<std::string>{"b.md", "d e.md", "i.md"}));
  EXPECT_TRUE(IsManualLink("a.md#b"));
  EXPECT_TRUE(IsManualLink("#b"));
  EXPECT_FALSE(IsManualLink("#"));
  EXPECT_FALSE(IsManualLink("mailto:someone@example.org"));
  EXPECT_FALSE(IsManualLink("../screenshots/main.png"));
}

TEST(ManualSearchTest, SectionsWithEveryWordBestFirst) {
  Manual manual = Fixture();
  auto titles = [&](std::string_view query) {
    std::vector<std::string> out;
    for (const SearchHit& hit : Search(manual, query))
      out.push_back(manual.sections()[hit.section].title);
    return out;
  };
  // "print" begins printer, printers, printing: the browse has the most.
  EXPECT_EQ(titles("PRINT"),
            (std::vector<std::string>{"The Item Browse", "First Steps", "Item Form"}));
  EXPECT_EQ(titles("print delete"), (std::vector<std::string>{"Item Form"}));
  // Title words weigh more than words of the text.
  EXPECT_EQ(titles("item"),
            (std::vector<std::string>{"The Item Browse", "Item Form", "Browsing Items"}));
  // Link targets, tags and the contents page are not searched.
  EXPECT_TRUE(titles("example").empty());
  EXPECT_TRUE(titles("screenshots").empty());
  EXPECT_EQ(titles("manual"), std::vector<std::string>{});
  EXPECT_TRUE(titles("  ,;  ").empty());
  EXPECT_EQ(SearchWords("A [Link](x.md) <b>bold</b> Grüße"),
            (std::vector<std::string>{"a", "link", "bold", "grüße"}));
}

}  // namespace
}  // namespace vorsandt::help
