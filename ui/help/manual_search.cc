#include "ui/help/manual_search.h"

#include <algorithm>
#include <cctype>

namespace vorsandt::help {
namespace {

// A hit in a title counts as this many in the text.
constexpr int kTitleWeight = 10;

bool WordByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 0x80;
}

// The text a reader sees: without "(target)" after "]" and without tags.
std::string VisibleText(std::string_view markdown) {
  std::string text;
  for (size_t i = 0; i < markdown.size(); ++i) {
    char c = markdown[i];
    if (c == ']' && i + 1 < markdown.size() && markdown[i + 1] == '(') {
      size_t end = markdown.find_first_of(")\n", i + 2);
      if (end != std::string_view::npos && markdown[end] == ')') {
        text.push_back(' ');
        i = end;
        continue;
      }
    }
    if (c == '<') {
      size_t end = markdown.find_first_of(">\n", i + 1);
      bool tag =
          end != std::string_view::npos && markdown[end] == '>' && i + 1 < markdown.size() &&
          (std::isalpha(static_cast<unsigned char>(markdown[i + 1])) || markdown[i + 1] == '/');
      if (tag) {
        text.push_back(' ');
        i = end;
        continue;
      }
    }
    text.push_back(c);
  }
  return text;
}

int Occurrences(const std::vector<std::string>& words, const std::string& prefix) {
  return static_cast<int>(std::count_if(
      words.begin(), words.end(), [&](const std::string& w) { return w.starts_with(prefix); }));
}

}  // namespace

std::vector<std::string> SearchWords(std::string_view markdown) {
  std::vector<std::string> words;
  std::string word;
  for (char ch : VisibleText(markdown)) {
    auto c = static_cast<unsigned char>(ch);
    if (WordByte(c)) {
      word.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : ch);
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::vector<SearchHit> Search(const Manual& manual, std::string_view query) {
  std::vector<std::string> wanted = SearchWords(query);
  std::vector<SearchHit> hits;
  if (wanted.empty()) return hits;
  const std::vector<Section>& sections = manual.sections();
  for (size_t i = 0; i < sections.size(); ++i) {
    if (sections[i].chapter == 0) continue;
    std::vector<std::string> title = SearchWords(sections[i].title);
    std::vector<std::string> body = SearchWords(sections[i].markdown);
    int score = 0;
    bool all = true;
    for (const std::string& w : wanted) {
      int in_title = Occurrences(title, w), in_body = Occurrences(body, w);
      if (in_title + in_body == 0) {
        all = false;
        break;
      }
      score += kTitleWeight * in_title + in_body;
    }
    if (all) hits.push_back(SearchHit{i, score});
  }
  std::stable_sort(hits.begin(), hits.end(),
                   [](const SearchHit& a, const SearchHit& b) { return a.score > b.score; });
  return hits;
}

}  // namespace vorsandt::help
