// The help window: the user manual (ui/help) read beside the program.
//
// A window of its own over the frame, never modal: the contents (chapters,
// and under each the sections of its windows) and a search on two tabs
// beside the page, which shows one section at a time as Markdown. Links
// between sections and chapters open in the window itself; links to the web
// go to the desktop's browser. Back returns to the section shown before
// (Alt+Left too); Esc closes the window. The platform keeps one and moves it
// to each new topic.
#ifndef VORSANDT_UI_QT_HELP_WINDOW_H_
#define VORSANDT_UI_QT_HELP_WINDOW_H_

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStringList>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QWidget>
#include <optional>
#include <vector>

#include "ui/help/manual.h"

namespace vorsandt::ui::qt {

// Where the manual is looked for, in order: the folder VORSANDT_MANUAL_DIR
// names (only there, when it is set); the source tree's docs/manual when the
// program runs from its build folder; the installed
// <prefix>/share/doc/vorsandt/manual beside the program's bin folder.
QStringList ManualFolders();
// The first of `folders` holding the manual's contents page; empty when none.
QString FindManual(const QStringList& folders);

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  // Reads the manual in `folder` (see FindManual).
  explicit HelpWindow(const QString& folder, QWidget* parent = nullptr);

  // Shows the section named `topic`; the contents, with a note, when the
  // manual has none of that name.
  void ShowTopic(const QString& topic);
  // Shows the search tab with `text` searched (the last search when empty).
  void ShowSearch(const QString& text = QString());

  // For checks: the parts of the window and the section shown.
  QTextBrowser* page() const { return page_; }
  QTreeWidget* contents() const { return contents_; }
  QLineEdit* searchLine() const { return search_line_; }
  QListWidget* results() const { return results_; }
  QTabWidget* tabs() const { return tabs_; }
  QLabel* note() const { return note_; }
  QString ShownTitle() const;
  const help::Manual& manual() const { return manual_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // The page would take Alt+Left for a history of its own, which it has not.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildContents();
  QWidget* BuildSearch();
  void Show(size_t section, bool remember = true);
  void OpenLink(const QUrl& url);
  void RunSearch();
  void ShowResult(QListWidgetItem* item);
  void Back();

  QString folder_;
  help::Manual manual_;
  QTabWidget* tabs_;
  QTreeWidget* contents_;
  QLineEdit* search_line_ = nullptr;
  QListWidget* results_ = nullptr;
  QTextBrowser* page_;
  QLabel* note_;
  QToolButton* back_;
  std::optional<size_t> shown_;
  std::vector<size_t> history_;  // sections shown before, the last most recent
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_HELP_WINDOW_H_
