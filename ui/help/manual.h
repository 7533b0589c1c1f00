// The user manual as the help window reads it: Markdown chapters in the
// order of the contents page, each cut into sections at its anchor lines.
//
// The manual is a folder of Markdown files. `index.md` is the contents: a
// list of links `[Title](file.md)`, one a line, whose order is the order of
// the chapters. A line holding only `<a id="NAME"></a>` starts a section
// called NAME (the program names windows' sections as help_topic.h says);
// the section runs to the next such line. Its title is its first heading.
// Text before a chapter's first anchor is a section without a name of its
// own; anchors with nothing between them name one section.
//
// No toolkit and no files: the caller reads the files (the Qt platform
// through the toolkit, tests from a string table), so the reader is the
// same for the program, its tests and the manual's coverage check.
#ifndef VORSANDT_UI_HELP_MANUAL_H_
#define VORSANDT_UI_HELP_MANUAL_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::help {

inline constexpr char kIndexFile[] = "index.md";

struct Section {
  std::vector<std::string> anchors;  // its names; empty for a chapter's opening text
  std::string title;                 // its first heading; else its chapter's title
  std::string markdown;              // its text, without the anchor lines
  size_t chapter = 0;                // index into Manual::chapters()
};

struct Chapter {
  std::string file;              // "backups.md"; the contents are kIndexFile
  std::string title;             // the link's text in the contents
  std::vector<size_t> sections;  // indexes into Manual::sections(), in order
};

// A link from a section to a page of the manual ("backups.md#restore",
// "#restore", "backups.md"); links to the web, pictures and other files are
// not the manual's.
struct Link {
  size_t from = 0;  // the section it is in
  std::string target;
};

class Manual {
 public:
  // The text of a file of the manual's folder, or nullopt when it cannot be read.
  using ReadFile = std::function<std::optional<std::string>(const std::string& file)>;

  // Reads the contents and every chapter it lists. Chapter 0 is the
  // contents page itself. What could not be read, and names given twice, are
  // in problems(); a manual without contents has no chapters.
  static Manual Load(const ReadFile& read);

  const std::vector<Chapter>& chapters() const { return chapters_; }
  const std::vector<Section>& sections() const { return sections_; }
  const std::vector<std::string>& problems() const { return problems_; }
  bool empty() const { return chapters_.empty(); }

  // The section named `anchor` (any case), or nullopt.
  std::optional<size_t> Find(std::string_view anchor) const;
  // The first section of a chapter.
  std::optional<size_t> ChapterStart(std::string_view file) const;
  // Where a link in section `from` leads: a named section of the file it
  // names (of `from`'s chapter for "#name"), or the start of that file.
  // Nullopt when it leads to no page of the manual, or to a name the file
  // named does not hold.
  std::optional<size_t> Resolve(size_t from, std::string_view target) const;
  // Every link to a page of the manual, in reading order.
  std::vector<Link> Links() const;

 private:
  void AddChapter(std::string file, std::string title, const std::string& text);

  std::vector<Chapter> chapters_;
  std::vector<Section> sections_;
  std::vector<std::string> problems_;
};

// The anchor a line names when it holds nothing but `<a id="NAME"></a>` (or
// `name=`), else empty.
std::string AnchorOfLine(std::string_view line);

// The targets of the Markdown links in `markdown` (not of its pictures), in order.
std::vector<std::string> LinkTargets(std::string_view markdown);

// True for a link target that leads to a page of the manual: no scheme
// ("https:", "mailto:"), and a Markdown file or a "#name" of this page.
bool IsManualLink(std::string_view target);

}  // namespace vorsandt::help

#endif  // VORSANDT_UI_HELP_MANUAL_H_
