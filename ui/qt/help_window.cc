#include "ui/qt/help_window.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTextBlock>
#include <QVBoxLayout>

#include "ui/help/manual_search.h"

namespace vorsandt::ui::qt {
namespace {

constexpr int kSectionRole = Qt::UserRole + 1;
// The window's first size as parts of the screen it opens on.
constexpr double kWidthPart = 0.52, kHeightPart = 0.85;
constexpr int kMaxWidth = 980;
// The contents take this part of the window's width.
constexpr double kContentsPart = 0.36;

std::optional<std::string> ReadManualFile(const QString& folder, const std::string& file) {
  QFile in(QDir(folder).filePath(QString::fromStdString(file)));
  if (!in.open(QIODevice::ReadOnly)) return std::nullopt;
  return in.readAll().toStdString();
}

// The manual is UTF-8, whatever the records' character set.
QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
std::string FromUtf8(const QString& text) { return text.toUtf8().toStdString(); }

bool Under(const QString& path, const QString& folder) {
  QString p = QFileInfo(path).canonicalFilePath(), f = QFileInfo(folder).canonicalFilePath();
  return !f.isEmpty() && (p == f || p.startsWith(f + QLatin1Char('/')));
}

}  // namespace

QStringList ManualFolders() {
  // A folder the user names is the only place: a wrong name should show.
  QString named = qEnvironmentVariable("VORSANDT_MANUAL_DIR");
  if (!named.isEmpty()) return {named};
  QStringList folders;
  const QString program = QCoreApplication::applicationDirPath();
#if defined(VORSANDT_SOURCE_DIR) && defined(VORSANDT_BINARY_DIR)
  if (Under(program, QStringLiteral(VORSANDT_BINARY_DIR)))
    folders << QStringLiteral(VORSANDT_SOURCE_DIR "/docs/manual");
#endif
#ifdef VORSANDT_INSTALLED_MANUAL
  folders << QDir::cleanPath(program + QStringLiteral("/" VORSANDT_INSTALLED_MANUAL));
#endif
  return folders;
}

QString FindManual(const QStringList& folders) {
  for (const QString& folder : folders) {
    if (QFileInfo(QDir(folder).filePath(QString::fromUtf8(help::kIndexFile))).isFile())
      return QFileInfo(folder).canonicalFilePath();
  }
  return QString();
}

HelpWindow::HelpWindow(const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      folder_(folder),
      manual_(help::Manual::Load(
          [folder](const std::string& file) { return ReadManualFile(folder, file); })) {
  setWindowTitle(QStringLiteral("VORSANDT Help"));
  setAttribute(Qt::WA_QuitOnClose, false);
  tabs_ = new QTabWidget(this);
  contents_ = new QTreeWidget(tabs_);
  contents_->setHeaderHidden(true);
  contents_->setColumnCount(1);
  tabs_->addTab(contents_, QStringLiteral("&Contents"));
  tabs_->addTab(BuildSearch(), QStringLiteral("&Search"));
  page_ = new QTextBrowser(this);
  page_->setOpenLinks(false);
  page_->installEventFilter(this);
  page_->setSearchPaths({folder_});
  page_->document()->setBaseUrl(QUrl::fromLocalFile(folder_ + QLatin1Char('/')));
  back_ = new QToolButton(this);
  back_->setText(QStringLiteral("&Back"));
  back_->setShortcut(QKeySequence::Back);
  back_->setToolTip(QStringLiteral("The section shown before (Alt+Left)"));
  back_->setEnabled(false);
  note_ = new QLabel(this);
  note_->setWordWrap(true);
  note_->hide();
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->addWidget(tabs_);
  splitter->addWidget(page_);
  splitter->setStretchFactor(1, 1);
  auto* top = new QHBoxLayout;
  top->addWidget(back_);
  top->addWidget(note_, 1);
  top->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(splitter, 1);
  connect(page_, &QTextBrowser::anchorClicked, this, &HelpWindow::OpenLink);
  // The search tab is for typing: its words take the keys at once.
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab == 1) search_line_->setFocus(Qt::TabFocusReason);
  });
  connect(back_, &QToolButton::clicked, this, &HelpWindow::Back);
  connect(contents_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item != nullptr) Show(item->data(0, kSectionRole).toULongLong());
  });
  BuildContents();
  QScreen* screen =
      parent != nullptr && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    QRect room = screen->availableGeometry();
    resize(std::min(kMaxWidth, static_cast<int>(room.width() * kWidthPart)),
           static_cast<int>(room.height() * kHeightPart));
    move(room.right() - width() - room.width() / 40, room.top() + room.height() / 20);
  }
  splitter->setSizes(
      {static_cast<int>(width() * kContentsPart), static_cast<int>(width() * (1 - kContentsPart))});
}

QWidget* HelpWindow::BuildSearch() {
  auto* panel = new QWidget(this);
  auto* prompt = new QLabel(QStringLiteral("&Words to look for:"), panel);
  search_line_ = new QLineEdit(panel);
  search_line_->setClearButtonEnabled(true);
  prompt->setBuddy(search_line_);
  results_ = new QListWidget(panel);
  // Titles are long: each result takes the lines it needs.
  results_->setWordWrap(true);
  results_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  results_->setResizeMode(QListView::Adjust);
  results_->setAlternatingRowColors(true);
  auto* layout = new QVBoxLayout(panel);
  layout->addWidget(prompt);
  layout->addWidget(search_line_);
  layout->addWidget(results_, 1);
  connect(search_line_, &QLineEdit::textChanged, this, &HelpWindow::RunSearch);
  connect(search_line_, &QLineEdit::returnPressed, this, [this] {
    if (results_->count() > 0) ShowResult(results_->item(0));
  });
  connect(results_, &QListWidget::itemActivated, this, &HelpWindow::ShowResult);
  connect(results_, &QListWidget::itemClicked, this, &HelpWindow::ShowResult);
  return panel;
}

void HelpWindow::BuildContents() {
  for (const help::Chapter& chapter : manual_.chapters()) {
    if (chapter.sections.empty()) continue;
    auto* item = new QTreeWidgetItem(contents_, {Utf8(chapter.title)});
    item->setToolTip(0, item->text(0));
    item->setData(0, kSectionRole, static_cast<qulonglong>(chapter.sections.front()));
    for (size_t i = 1; i < chapter.sections.size(); ++i) {
      const help::Section& s = manual_.sections()[chapter.sections[i]];
      auto* child = new QTreeWidgetItem(item, {Utf8(s.title)});
      child->setToolTip(0, child->text(0));
      child->setData(0, kSectionRole, static_cast<qulonglong>(chapter.sections[i]));
    }
  }
}

void HelpWindow::ShowTopic(const QString& topic) {
  tabs_->setCurrentWidget(contents_);
  std::optional<size_t> section = manual_.Find(FromUtf8(topic));
  if (section) {
    Show(*section);
    return;
  }
  if (std::optional<size_t> contents = manual_.ChapterStart(help::kIndexFile)) Show(*contents);
  note_->setText(
      manual_.empty()
          ? QStringLiteral("The manual in %1 has no contents page.").arg(folder_)
          : QStringLiteral("The manual has no section \u201c%1\u201d; here are its contents.")
                .arg(topic));
  note_->show();
}

void HelpWindow::ShowSearch(const QString& text) {
  tabs_->setCurrentIndex(1);
  if (!text.isEmpty()) search_line_->setText(text);
  search_line_->setFocus(Qt::OtherFocusReason);
  search_line_->selectAll();
  if (!shown_) {
    if (std::optional<size_t> usage = manual_.Find("using-help")) Show(*usage);
  }
}

QString HelpWindow::ShownTitle() const {
  return shown_ ? Utf8(manual_.sections()[*shown_].title) : QString();
}

void HelpWindow::Show(size_t section, bool remember) {
  if (section >= manual_.sections().size()) return;
  note_->hide();
  if (shown_ && *shown_ != section && remember) history_.push_back(*shown_);
  back_->setEnabled(!history_.empty());
  if (shown_ != section) {
    shown_ = section;
    page_->setMarkdown(Utf8(manual_.sections()[section].markdown));
  }
  // The contents follow the page, whichever way it was reached.
  QSignalBlocker quiet(contents_);
  for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
    if ((*it)->data(0, kSectionRole).toULongLong() != section) continue;
    if ((*it)->parent() != nullptr) (*it)->parent()->setExpanded(true);
    contents_->setCurrentItem(*it);
    contents_->scrollToItem(*it);
    break;
  }
}

void HelpWindow::OpenLink(const QUrl& url) {
  if (!url.scheme().isEmpty() && !url.isLocalFile()) {
    QDesktopServices::openUrl(url);
    return;
  }
  QString target =
      url.isLocalFile() ? QDir(folder_).relativeFilePath(url.toLocalFile()) : url.toString();
  if (url.isLocalFile() && url.hasFragment()) target += QLatin1Char('#') + url.fragment();
  std::optional<size_t> section =
      shown_ ? manual_.Resolve(*shown_, FromUtf8(target)) : std::nullopt;
  if (section) {
    Show(*section);
    return;
  }
  note_->setText(QStringLiteral("This link leads to no page of the manual: %1").arg(target));
  note_->show();
}

void HelpWindow::RunSearch() {
  results_->clear();
  for (const help::SearchHit& hit : help::Search(manual_, FromUtf8(search_line_->text()))) {
    const help::Section& s = manual_.sections()[hit.section];
    QString chapter = Utf8(manual_.chapters()[s.chapter].title);
    QString text = Utf8(s.title);
    if (chapter != text) text += QStringLiteral(" \u2014 ") + chapter;
    auto* item = new QListWidgetItem(text, results_);
    item->setToolTip(text);
    item->setData(kSectionRole, static_cast<qulonglong>(hit.section));
  }
}

void HelpWindow::ShowResult(QListWidgetItem* item) {
  if (item == nullptr) return;
  Show(item->data(kSectionRole).toULongLong());
  // The first word looked for is marked where it first occurs.
  std::vector<std::string> words = help::SearchWords(FromUtf8(search_line_->text()));
  if (words.empty()) return;
  page_->moveCursor(QTextCursor::Start);
  page_->find(Utf8(words.front()));
}

void HelpWindow::Back() {
  if (history_.empty()) return;
  size_t previous = history_.back();
  history_.pop_back();
  Show(previous, false);
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == page_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Back)) {
    Back();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace vorsandt::ui::qt
