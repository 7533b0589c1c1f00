#include "ui/help/manual.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace vorsandt::help {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool IsFence(std::string_view line) {
  line = Trim(line);
  return line.starts_with("```") || line.starts_with("~~~");
}

// The text of an ATX heading ("## Backups ##" is "Backups"), or nullopt.
std::optional<std::string> HeadingOf(std::string_view line) {
  line = Trim(line);
  size_t hashes = 0;
  while (hashes < line.size() && line[hashes] == '#') ++hashes;
  if (hashes == 0 || hashes > 6) return std::nullopt;
  if (hashes < line.size() && line[hashes] != ' ' && line[hashes] != '\t') return std::nullopt;
  std::string_view text = Trim(line.substr(hashes));
  while (!text.empty() && text.back() == '#') text.remove_suffix(1);
  std::string title;
  for (char c : Trim(text)) {
    if (c != '*' && c != '`') title.push_back(c);
  }
  return title;
}

bool Blank(const std::string& markdown) { return Trim(markdown).empty(); }

// The chapter files the contents list, in order: the first link to a
// Markdown file on each line of a list.
std::vector<std::pair<std::string, std::string>> ListedChapters(std::string_view index) {
  std::vector<std::pair<std::string, std::string>> chapters;
  std::set<std::string> seen;
  for (std::string_view line : Lines(index)) {
    line = Trim(line);
    size_t marker = 0;
    while (marker < line.size() && std::isdigit(static_cast<unsigned char>(line[marker]))) ++marker;
    bool numbered = marker > 0 && marker < line.size() && line[marker] == '.';
    bool bullet = !line.empty() && (line[0] == '-' || line[0] == '*' || line[0] == '+');
    if (!numbered && !bullet) continue;
    size_t open = line.find('['), close = line.find("](", open);
    if (open == std::string_view::npos || close == std::string_view::npos) continue;
    size_t end = line.find(')', close);
    if (end == std::string_view::npos) continue;
    std::string file(line.substr(close + 2, end - close - 2));
    if (!IsManualLink(file) || file.front() == '#') continue;
    file = file.substr(0, file.find('#'));
    if (file.starts_with("./")) file.erase(0, 2);
    if (file == kIndexFile || !seen.insert(file).second) continue;
    chapters.emplace_back(file, std::string(Trim(line.substr(open + 1, close - open - 1))));
  }
  return chapters;
}

}  // namespace

std::string AnchorOfLine(std::string_view line) {
  line = Trim(line);
  for (std::string_view attribute : {"<a id=", "<a name="}) {
    if (!line.starts_with(attribute) || !line.ends_with("</a>")) continue;
    std::string_view rest = line.substr(attribute.size());
    if (rest.empty() || (rest[0] != '"' && rest[0] != '\'')) return {};
    size_t end = rest.find(rest[0], 1);
    if (end == std::string_view::npos) return {};
    std::string_view after = Trim(rest.substr(end + 1));
    if (after != "></a>" && after != "/></a>") return {};
    return std::string(rest.substr(1, end - 1));
  }
  return {};
}

bool IsManualLink(std::string_view target) {
  if (target.empty()) return false;
  size_t colon = target.find(':');
  if (colon != std::string_view::npos && colon < target.find_first_of("/#")) return false;
  if (target.front() == '#') return target.size() > 1;
  std::string file = Lower(target.substr(0, target.find('#')));
  return file.ends_with(".md");
}

std::vector<std::string> LinkTargets(std::string_view markdown) {
  // Code blocks show text as it is: links in them are not links.
  std::string text;
  bool fenced = false;
  for (std::string_view line : Lines(markdown)) {
    if (IsFence(line)) fenced = !fenced;
    if (!fenced) text.append(line);
    text.push_back('\n');
  }
  std::vector<std::string> targets;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '[' || (i > 0 && text[i - 1] == '!')) continue;
    size_t close = text.find(']', i + 1);
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != '(') continue;
    size_t end = text.find_first_of(")\n", close + 2);
    if (end == std::string::npos || text[end] != ')') continue;
    std::string_view target = Trim(std::string_view(text).substr(close + 2, end - close - 2));
    // "<a b.md>" may hold blanks; otherwise a blank starts the link's title.
    if (size_t gt = target.find('>'); target.starts_with('<') && gt != std::string_view::npos) {
      target = target.substr(1, gt - 1);
    } else {
      target = target.substr(0, target.find_first_of(" \t"));
    }
    targets.emplace_back(target);
    i = end;
  }
  return targets;
}

Manual Manual::Load(const ReadFile& read) {
  Manual manual;
  std::optional<std::string> index = read(kIndexFile);
  if (!index) {
    manual.problems_.push_back(std::string("the contents ") + kIndexFile + " cannot be read");
    return manual;
  }
  manual.AddChapter(kIndexFile, "Contents", *index);
  for (auto& [file, title] : ListedChapters(*index)) {
    std::optional<std::string> text = read(file);
    if (!text) {
      manual.problems_.push_back("the chapter " + file + " cannot be read");
      continue;
    }
    manual.AddChapter(file, title, *text);
  }
  // A name given twice would make every link to it ambiguous.
  std::set<std::string> names;
  for (const Section& s : manual.sections_) {
    for (const std::string& a : s.anchors) {
      if (!names.insert(Lower(a)).second)
        manual.problems_.push_back("the name " + a + " is given twice (again in " +
                                   manual.chapters_[s.chapter].file + ")");
    }
  }
  return manual;
}

void Manual::AddChapter(std::string file, std::string title, const std::string& text) {
  const size_t chapter = chapters_.size();
  chapters_.push_back(Chapter{std::move(file), std::move(title), {}});
  std::vector<Section> sections(1);
  bool fenced = false;
  for (std::string_view line : Lines(text)) {
    if (IsFence(line)) fenced = !fenced;
    std::string anchor = fenced ? std::string() : AnchorOfLine(line);
    if (anchor.empty()) {
      sections.back().markdown.append(line).push_back('\n');
      continue;
    }
    if (!Blank(sections.back().markdown)) sections.emplace_back();
    sections.back().anchors.push_back(std::move(anchor));
  }
  // Every section is titled by its first heading, so the contents and the
  // search name it as its readers see it.
  for (Section& s : sections) {
    s.chapter = chapter;
    for (std::string_view line : Lines(s.markdown)) {
      if (std::optional<std::string> heading = HeadingOf(line); heading && !heading->empty()) {
        s.title = *heading;
        break;
      }
    }
    if (s.title.empty()) s.title = chapters_[chapter].title;
    chapters_[chapter].sections.push_back(sections_.size());
    sections_.push_back(std::move(s));
  }
}

std::optional<size_t> Manual::Find(std::string_view anchor) const {
  const std::string want = Lower(anchor);
  for (size_t i = 0; i < sections_.size(); ++i) {
    for (const std::string& a : sections_[i].anchors) {
      if (Lower(a) == want) return i;
    }
  }
  return std::nullopt;
}

std::optional<size_t> Manual::ChapterStart(std::string_view file) const {
  for (const Chapter& c : chapters_) {
    if (c.file == file && !c.sections.empty()) return c.sections.front();
  }
  return std::nullopt;
}

std::optional<size_t> Manual::Resolve(size_t from, std::string_view target) const {
  if (from >= sections_.size() || !IsManualLink(target)) return std::nullopt;
  size_t hash = target.find('#');
  std::string_view file = target.substr(0, hash);
  if (file.starts_with("./")) file.remove_prefix(2);
  if (file.empty()) file = chapters_[sections_[from].chapter].file;
  std::optional<size_t> start = ChapterStart(file);
  if (!start || hash == std::string_view::npos) return start;
  std::optional<size_t> named = Find(target.substr(hash + 1));
  if (!named || sections_[*named].chapter != sections_[*start].chapter) return std::nullopt;
  return named;
}

std::vector<Link> Manual::Links() const {
  std::vector<Link> links;
  for (size_t i = 0; i < sections_.size(); ++i) {
    for (std::string& target : LinkTargets(sections_[i].markdown)) {
      if (IsManualLink(target)) links.push_back(Link{i, std::move(target)});
    }
  }
  return links;
}

}  // namespace vorsandt::help
