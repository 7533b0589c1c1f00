#include "ui/qt/qt_platform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QScreen>
#include <QUrl>
#include <algorithm>

#include "ui/qt/list_control.h"
#include "ui/qt/mappings.h"
#include "ui/qt/popup_text.h"

namespace vorsandt::ui::qt {
namespace {

// Counts a modal interaction as waiting for the user while it is shown.
class AwaitingScope {
 public:
  explicit AwaitingScope(std::atomic<int>& count) : count_(count) { ++count_; }
  ~AwaitingScope() { --count_; }
  AwaitingScope(const AwaitingScope&) = delete;
  AwaitingScope& operator=(const AwaitingScope&) = delete;

 private:
  std::atomic<int>& count_;
};

// Pixels a desktop's window frame takes around a window (its caption twice).
constexpr int kFrameRoom = 24;

}  // namespace

QtPlatform::QtPlatform()
    : gui_(this),
      frame_(new FrameWindow([this](WindowId id, const Input& in) { Deliver(id, in); })) {}

QtPlatform::~QtPlatform() {
  gui_.Shutdown();
  // Windows still open when the program ends (their close was not served
  // before the loop stopped) are remembered as they are now.
  for (auto& [id, view] : views_) {
    if (!view) continue;
    auto* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget());
    ForgetOnClose(id, sub != nullptr ? static_cast<QWidget*>(sub) : view.data());
  }
  for (auto& [id, view] : views_) {
    if (view) view->AllowClose();
  }
  delete frame_;  // its children (the sub-windows) with it
  for (auto& [id, view] : views_) delete view.data();
}

void QtPlatform::SetInputSink(InputSink sink) { sink_ = std::move(sink); }

void QtPlatform::Deliver(WindowId id, const Input& input) {
  // The user's choice of tab is remembered as soon as it is made: the
  // window's next snapshot may not be served before the program ends.
  if (input.type == Input::Type::kSelectTab) {
    auto it = shown_.find(id);
    if (it != shown_.end() && it->second.sheet == input.field) {
      Shown& shown = it->second;
      if (shown.chosen == 0) shown.before = shown.tab;
      shown.chosen = shown.tab = input.value;
    }
  }
  if (sink_) sink_(id, input);
}

WindowView* QtPlatform::View(WindowId id) const {
  auto it = views_.find(id);
  return it == views_.end() ? nullptr : it->second.data();
}

QWidget* QtPlatform::Owner(WindowId id) const {
  if (WindowView* view = View(id)) return view->window();
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return frame_->isVisible() ? frame_ : nullptr;
}

// ---------------------------------------------------------------------------
// Snapshots.

void QtPlatform::WindowOpened(const WindowState& state) {
  // The opener waits until the window is on the screen: its lists have then
  // told the engine how many rows they show (that input is queued before the
  // open-window event, which the engine posts after this returns), so a
  // browse's first page already has the size the user sees.
  gui_.Call<bool>([this, state] {
    Open(state);
    return true;
  });
}

void QtPlatform::WindowChanged(const WindowState& state) {
  gui_.Post([this, state] { Change(state); });
}

void QtPlatform::WindowClosed(WindowId id) {
  gui_.Post([this, id] { Close(id); });
}

// ---------------------------------------------------------------------------
// Remembered windows.

namespace {

// The sheet of a browse (a window holding a sheet and a list): its tabs choose
// the browse's order, which the user expects back. Null for other windows.
const ControlState* BrowseSheet(const WindowState& state) {
  const ControlState* sheet = nullptr;
  bool list = false;
  for (const ControlState& c : state.controls) {
    if (c.kind == Kind::kSheet && sheet == nullptr) sheet = &c;
    if (c.kind == Kind::kList) list = true;
  }
  return list ? sheet : nullptr;
}

QList<QRect> ScreenAreas() {
  QList<QRect> areas;
  for (QScreen* screen : QGuiApplication::screens()) areas << screen->availableGeometry();
  return areas;
}

}  // namespace

void QtPlatform::Remember(const WindowState& state) {
  auto it = shown_.find(state.id);
  if (it == shown_.end()) return;
  const ControlState* sheet = BrowseSheet(state);
  if (sheet == nullptr) return;
  // The remembered tab is chosen once the procedure has taken its open-window
  // event and drawn the window (its first change), so that the browse hears
  // the switch as it would hear the user's.
  if (it->second.pending_tab != 0) {
    int tab = it->second.pending_tab;
    it->second.pending_tab = 0;
    if (tab != sheet->value) {
      Input in;
      in.type = Input::Type::kSelectTab;
      in.field = sheet->field;
      in.value = tab;
      Deliver(state.id, in);
    }
  }
  Shown& shown = it->second;
  if (shown.chosen != 0) {
    if (sheet->value == shown.before && shown.before != shown.chosen) return;
    shown.chosen = 0;
  }
  shown.tab = sheet->value;
}

void QtPlatform::PlaceRemembered(const WindowState& state, QWidget* window) {
  Shown& shown = shown_[state.id];
  shown.label = state.label;
  if (const ControlState* sheet = BrowseSheet(state)) {
    shown.sheet = sheet->field;
    shown.tab = sheet->value;
    shown.pending_tab = memory_.Tab(state.label).value_or(0);
  }
  if (WindowView* view = View(state.id)) {
    for (int field : view->Fields()) {
      auto* list = qobject_cast<ListControl*>(view->ControlWidget(field));
      if (list == nullptr) continue;
      std::vector<int> widths = memory_.ColumnWidths(state.label, field);
      for (int& w : widths) w = w > 0 ? ToPixelsX(w, view->base()) : 0;
      if (!widths.empty()) list->SetUserWidths(widths);
    }
  }
  std::optional<QRect> saved = memory_.Geometry(state.label);
  if (!saved) return;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(window)) {
    if (auto* given = qobject_cast<WindowView*>(sub->widget())) given->KeepGivenSize();
  } else if (auto* given = qobject_cast<WindowView*>(window)) {
    given->KeepGivenSize();
  }
  // A child lies inside the frame's workspace, a window on one of the screens;
  // either may have shrunk since (a monitor removed, the frame made smaller).
  QList<QRect> areas;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(window); sub && sub->mdiArea()) {
    areas << sub->mdiArea()->viewport()->rect();
  } else {
    areas = ScreenAreas();
  }
  window->setGeometry(PulledOnto(*saved, areas));
}

void QtPlatform::ForgetOnClose(WindowId id, QWidget* window) {
  auto it = shown_.find(id);
  if (it == shown_.end()) return;
  if (window != nullptr && !window->isMinimized() && !window->isMaximized()) {
    memory_.SaveGeometry(it->second.label, window->geometry());
  }
  if (it->second.tab != 0) memory_.SaveTab(it->second.label, it->second.tab);
  // The window is either the view or the frame's child window around it.
  auto* view = qobject_cast<WindowView*>(window);
  if (auto* sub = qobject_cast<QMdiSubWindow*>(window))
    view = qobject_cast<WindowView*>(sub->widget());
  if (view != nullptr) {
    for (int field : view->Fields()) {
      auto* list = qobject_cast<ListControl*>(view->ControlWidget(field));
      if (list == nullptr) continue;
      std::vector<int> widths = list->UserWidths();
      for (int& w : widths) w = w > 0 ? std::max(1, ToUnitsX(w, view->base())) : 0;
      memory_.SaveColumnWidths(it->second.label, field, widths);
    }
  }
  shown_.erase(it);
}

// ---------------------------------------------------------------------------
// Windows.

void QtPlatform::Open(const WindowState& state) {
  if (state.frame) {
    frame_->OpenFrame(state);
    return;
  }
  if (Caller caller = CurrentCaller(); caller.view != nullptr) callers_[state.id] = caller;
  auto* view = new WindowView(state, [this](WindowId id, const Input& in) { Deliver(id, in); });
  views_[state.id] = view;
  const BaseUnits& base = view->base();
  bool placed = state.at.x != kNotGiven && state.at.y != kNotGiven;
  QPoint at(placed ? ToPixelsX(state.at.x, base) : 0, placed ? ToPixelsY(state.at.y, base) : 0);
  if (state.child && frame_->HasFrame() && !state.modal) {
    QMdiSubWindow* sub = frame_->AddChild(view);
    if (placed) sub->move(at);
    // A window of charts or pages opens over the room the frame gives its
    // windows, or larger where its controls need more.
    if (state.fill) {
      const QSize room = frame_->mdiArea()->viewport()->size();
      sub->setGeometry(QRect(QPoint(0, 0), sub->size().expandedTo(room)));
    }
    PlaceRemembered(state, sub);
    frame_->KeepInside(sub);
    frame_->OffsetFromCopies(sub, state.label);
    return;
  }
  if (state.modal) {
    // A modal window keeps the others from input until it closes.
    view->setParent(Owner(0), Qt::Dialog);
    view->setWindowModality(Qt::ApplicationModal);
  } else {
    view->setWindowFlag(Qt::Window);
  }
  // At its designed size, but never larger than the screen it opens on (with
  // room for the desktop's window frame): what does not fit scrolls or
  // shrinks with the window.
  QScreen* screen =
      frame_->isVisible() && frame_->screen() ? frame_->screen() : QGuiApplication::primaryScreen();
  QSize size = view->sizeHint();
  if (screen != nullptr) {
    size = size.boundedTo(screen->availableGeometry().size() - QSize(kFrameRoom, kFrameRoom * 2));
  }
  const QRect workspace = frame_->WorkspaceOnScreen();
  if (state.fill && frame_->isVisible() && workspace.isValid()) {
    // A page viewer opens over the room the frame gives its windows, or
    // larger where its buttons need more (at a large scale), kept on the
    // screen.
    QRect at(workspace.topLeft(), size.expandedTo(workspace.size()));
    if (screen != nullptr) {
      const QRect room = screen->availableGeometry();
      at.moveRight(std::min(at.right(), room.right()));
      at.moveBottom(std::min(at.bottom(), room.bottom()));
      at.moveLeft(std::max(at.left(), room.left()));
      at.moveTop(std::max(at.top(), room.top()));
    }
    view->setGeometry(at);
    PlaceRemembered(state, view);
    view->show();
    view->activateWindow();
    return;
  }
  view->resize(size);
  if (placed) {
    QWidget* parent = frame_->isVisible() ? frame_ : nullptr;
    view->move(parent ? parent->geometry().topLeft() + at : at);
  } else if (frame_->isVisible()) {
    view->move(frame_->geometry().center() - view->rect().center());
  }
  PlaceRemembered(state, view);
  view->show();
  view->activateWindow();
}

void QtPlatform::Change(const WindowState& state) {
  if (state.frame && state.id == frame_->frame_id()) {
    frame_->ApplyFrame(state);
    return;
  }
  if (WindowView* view = View(state.id)) {
    view->Apply(state);
    Remember(state);
  }
}

void QtPlatform::Close(WindowId id) {
  if (id == frame_->frame_id()) {
    frame_->CloseFrame();
    return;
  }
  auto it = views_.find(id);
  if (it == views_.end()) return;
  QPointer<WindowView> view = it->second;
  const bool was_active = view != nullptr && ActiveView() == view;
  views_.erase(it);
  if (!view) {
    shown_.erase(id);
    callers_.erase(id);
    return;
  }
  auto* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget());
  ForgetOnClose(id, sub != nullptr ? static_cast<QWidget*>(sub) : view.data());
  if (help_ != nullptr && help_->parentWidget() == view) MoveHelpUnder(frame_);
  view->AllowClose();
  if (sub) {
    ReturnToCaller(id, was_active);
    sub->close();  // deletes itself and the view
  } else {
    view->close();
    view->deleteLater();
    // The desktop settles who is active once the window has gone; the
    // caller asks for the activation after that.
    QMetaObject::invokeMethod(
        this, [this, id, was_active] { ReturnToCaller(id, was_active); }, Qt::QueuedConnection);
  }
}

WindowView* QtPlatform::ActiveView() const {
  QWidget* active = QApplication::activeWindow();
  // Some desktops report no active window while one has the keyboard.
  if (active == nullptr && QApplication::focusWidget() != nullptr)
    active = QApplication::focusWidget()->window();
  for (const auto& [id, view] : views_) {
    if (view && view->isWindow() && view == active) return view;
  }
  if (QMdiSubWindow* sub = frame_->mdiArea()->activeSubWindow())
    return qobject_cast<WindowView*>(sub->widget());
  return nullptr;
}

void QtPlatform::ReturnToCaller(WindowId id, bool was_active) {
  auto it = callers_.find(id);
  if (it == callers_.end()) return;
  Caller caller = it->second;
  callers_.erase(it);
  // A window that closes in the background leaves the user where they are.
  if (was_active) Reactivate(caller);
}

QtPlatform::Caller QtPlatform::CurrentCaller() const {
  Caller caller;
  caller.view = ActiveView();
  QWidget* focus = QApplication::focusWidget();
  if (caller.view != nullptr && caller.view->isAncestorOf(focus)) caller.focus = focus;
  return caller;
}

void QtPlatform::Reactivate(const Caller& caller) {
  if (caller.view == nullptr) return;
  // A child caller is activated before a closing child goes, so that the
  // client area never activates (and tells) some other child in between.
  if (auto* sub = qobject_cast<QMdiSubWindow*>(caller.view->parentWidget())) {
    if (!frame_->isActiveWindow()) frame_->activateWindow();
    frame_->mdiArea()->setActiveSubWindow(sub);
  } else {
    caller.view->activateWindow();
  }
  if (caller.focus != nullptr && caller.focus->isVisible() && caller.focus->isEnabled()) {
    caller.focus->setFocus(Qt::ActiveWindowFocusReason);
  }
}

// ---------------------------------------------------------------------------
// Modal calls.

int QtPlatform::ShowMessage(const MessageRequest& request) {
  int dismissed = EscapeAnswer(request.buttons, request.default_button);
  std::optional<int> answer = gui_.Call<int>([this, request, dismissed] {
    const Caller caller = CurrentCaller();
    QMessageBox box(ToMessageIcon(request.icon), ToQt(request.caption), ToQt(request.text),
                    ToStandardButtons(request.buttons), Owner(request.owner));
    if (request.buttons & request.default_button)
      box.setDefaultButton(ToStandardButton(request.default_button));
    box.setEscapeButton(ToStandardButton(dismissed));
    for (const ButtonCaption& c : request.captions) {
      if (QAbstractButton* b = box.button(ToStandardButton(c.button))) b->setText(ToQt(c.text));
    }
    {
      AwaitingScope waiting(awaiting_user_);
      box.exec();
    }
    // Once the box has gone, the window it spoke for takes the keys again.
    QMetaObject::invokeMethod(
        this, [this, caller] { Reactivate(caller); }, Qt::QueuedConnection);
    int chosen = FromStandardButton(box.standardButton(box.clickedButton()));
    return chosen != 0 ? chosen : dismissed;
  });
  return answer.value_or(dismissed);
}

int QtPlatform::ShowPopup(WindowId owner, const std::string& text, int x, int y) {
  std::optional<int> chosen = gui_.Call<int>([this, owner, text, x, y] {
    QMenu menu(Owner(owner));
    for (const PopupItem& item : ParsePopupText(text)) {
      if (item.separator) {
        menu.addSeparator();
        continue;
      }
      QAction* a = menu.addAction(ToQt(item.text));
      a->setEnabled(!item.disabled);
      a->setData(item.number);
    }
    QPoint pos = QCursor::pos();
    WindowView* view = View(owner);
    if (x != INT32_MIN && y != INT32_MIN && view != nullptr) {
      pos = view->mapToGlobal(QPoint(ToPixelsX(x, view->base()), ToPixelsY(y, view->base())));
    }
    AwaitingScope waiting(awaiting_user_);
    QAction* picked = menu.exec(pos);
    return picked ? picked->data().toInt() : 0;
  });
  return chosen.value_or(0);
}

std::optional<std::string> QtPlatform::ChooseFile(const FileRequest& request) {
  auto chosen =
      gui_.Call<std::optional<std::string>>([this, request]() -> std::optional<std::string> {
        QString filter = FileDialogFilter(request.mask);
        // A bare name starts in the folder this kind of file was last chosen
        // from (pictures from the photo folder, lists into the export folder).
        QString start = ToQt(request.file_name);
        QString folder = memory_.Folder(request.mask);
        if (!folder.isEmpty() && !start.contains(QLatin1Char('/'))) {
          start = start.isEmpty() ? folder : folder + QLatin1Char('/') + start;
        }
        AwaitingScope waiting(awaiting_user_);
        QString name = request.save ? QFileDialog::getSaveFileName(
                                          Owner(request.owner), ToQt(request.title), start, filter)
                                    : QFileDialog::getOpenFileName(
                                          Owner(request.owner), ToQt(request.title), start, filter);
        if (name.isEmpty()) return std::nullopt;
        memory_.SaveFolder(request.mask, QFileInfo(name).absolutePath());
        return FromQt(name);
      });
  return chosen.value_or(std::nullopt);
}

bool QtPlatform::PrinterSetup(WindowId owner) {
  return gui_
      .Call<bool>([this, owner] {
        AwaitingScope waiting(awaiting_user_);
        bool chosen = false;
        if (print_dialog_) {
          chosen = print_dialog_(printer_, Owner(owner));
        } else {
          QPrintDialog dialog(&printer_, Owner(owner));
          dialog.setWindowTitle(QStringLiteral("Print Setup"));
          // Setup chooses the printer (or a PDF file) and its paper;
          // what to print is the report's business.
          dialog.setOptions(QAbstractPrintDialog::PrintToFile);
          chosen = dialog.exec() == QDialog::Accepted;
        }
        if (chosen) {
          printer_chosen_ = true;
          last_job_failed_ = false;
        }
        return chosen;
      })
      .value_or(false);
}

bool QtPlatform::OpenDocument(const std::string& file) {
  const QString path = QFileInfo(ToQt(file)).absoluteFilePath();
  return gui_.Call<bool>([path] { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); })
      .value_or(false);
}

void QtPlatform::ShowHelp(const HelpRequest& request) {
  gui_.Post([this, request] { OpenHelp(request); });
}

void QtPlatform::OpenHelp(const HelpRequest& request) {
  if (help_ == nullptr) {
    const QStringList folders = ManualFolders();
    const QString folder = FindManual(folders);
    if (folder.isEmpty()) {
      if (no_manual_box_ != nullptr) {
        no_manual_box_->raise();
        return;
      }
      auto* box =
          new QMessageBox(QMessageBox::Information, QStringLiteral("VORSANDT Help"),
                          QStringLiteral("The manual was not found. It was looked for in:\n%1")
                              .arg(folders.join(QLatin1Char('\n'))),
                          QMessageBox::Ok, Owner(request.owner));
      box->setAttribute(Qt::WA_DeleteOnClose);
      box->setWindowModality(Qt::NonModal);
      box->show();
      no_manual_box_ = box;
      return;
    }
    // Beside the frame and closed with it, never in its way.
    help_ = new HelpWindow(folder, frame_);
  }
  // A modal window keeps input from every window but its own: help asked
  // for while one is open hangs under it until it closes (see Close).
  QWidget* modal = QApplication::activeModalWidget();
  MoveHelpUnder(modal != nullptr ? modal : frame_);
  if (request.search) {
    help_->ShowSearch(ToQt(request.search_text));
  } else {
    help_->ShowTopic(QString::fromStdString(request.topic));
  }
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void QtPlatform::MoveHelpUnder(QWidget* owner) {
  if (help_ == nullptr || owner == nullptr || help_->parentWidget() == owner) return;
  const bool shown = help_->isVisible();
  const QRect at = help_->geometry();
  help_->setParent(owner, Qt::Window);
  help_->setGeometry(at);
  if (shown) help_->show();
}

void QtPlatform::StandardAction(WindowId /*window*/, int action) {
  gui_.Post([this, action] { frame_->StandardAction(action); });
}

void QtPlatform::Shutdown() { gui_.Shutdown(); }

// The settings are read and written on the toolkit's thread, with the
// windows' own places.
std::string QtPlatform::Recall(const std::string& key) {
  return gui_.Call<std::string>([this, key] { return memory_.Value(key); }).value_or(std::string());
}

void QtPlatform::Remember(const std::string& key, const std::string& value) {
  gui_.Call<bool>([this, key, value] {
    memory_.SaveValue(key, value);
    return true;
  });
}

}  // namespace vorsandt::ui::qt
