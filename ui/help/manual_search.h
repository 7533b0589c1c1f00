// The help window's search: the sections that hold every word asked for.
//
// A word matches a word of the section that begins with it, in any case
// ("print" finds "Printer"), so that a reader need not guess the exact
// form. Sections are ranked by how often the words occur, a hit in the
// title counting as many in the text; equal ones keep the manual's order.
// The contents page only lists chapters and is never a result.
#ifndef VORSANDT_UI_HELP_MANUAL_SEARCH_H_
#define VORSANDT_UI_HELP_MANUAL_SEARCH_H_

#include <string>
#include <string_view>
#include <vector>

#include "ui/help/manual.h"

namespace vorsandt::help {

struct SearchHit {
  size_t section = 0;
  int score = 0;
};

// Best first; empty when `query` has no words.
std::vector<SearchHit> Search(const Manual& manual, std::string_view query);

// The words of a text as the search compares them: lowercase runs of
// letters and digits (bytes of other scripts count as letters), with
// Markdown's link targets and HTML tags left out.
std::vector<std::string> SearchWords(std::string_view markdown);

}  // namespace vorsandt::help

#endif  // VORSANDT_UI_HELP_MANUAL_SEARCH_H_
