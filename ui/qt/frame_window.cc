#include "ui/qt/frame_window.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <algorithm>

#include "ui/engine/events.h"
#include "ui/qt/mappings.h"

namespace vorsandt::ui::qt {
namespace {

constexpr char kGeometryKey[] = "frame/geometry";
// How much of the available screen the frame takes at its first start.
constexpr int kFirstStartPercent = 80;
// How far a second copy of a window opens from the first.
constexpr int kCopyOffset = 24;

class DesktopMenuStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == QStyle::SH_Menu_AllowActiveAndDisabled) return 1;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

}  // namespace

void UseDesktopMenuStyle() { QApplication::setStyle(new DesktopMenuStyle()); }

QString FileDialogFilter(std::string_view mask) {
  QStringList parts = ToQt(mask).split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
  }
  if (filters.isEmpty()) filters << QStringLiteral("All files (*)");
  return filters.join(QStringLiteral(";;"));
}

FrameWindow::FrameWindow(InputSink sink, QWidget* parent)
    : QMainWindow(parent), sink_(std::move(sink)) {
  mdi_ = new QMdiArea(this);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  statusBar()->setSizeGripEnabled(true);
  base_ = BaseUnitsOf(font());
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
    if (last_active_ != nullptr && last_active_ != sub) {
      if (auto* view = qobject_cast<WindowView*>(last_active_->widget())) view->SetActive(false);
    }
    last_active_ = sub;
    if (sub != nullptr) {
      if (auto* view = qobject_cast<WindowView*>(sub->widget())) view->SetActive(true);
    }
  });
}

FrameWindow::~FrameWindow() {
  // Child windows go first, one by one: the client area must not outlive
  // them half-destroyed.
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    if (auto* view = qobject_cast<WindowView*>(sub->widget())) view->AllowClose();
    mdi_->removeSubWindow(sub);
    delete sub;
  }
}

void FrameWindow::Send(const Input& input) {
  if (sink_ == nullptr || frame_id_ == 0) return;
  // A menu item or the close box acts on the program after what was typed
  // into the focused entry of a child window has reached its procedure:
  // Exit must know that a form was changed.
  const bool acts = input.type == Input::Type::kAccept || input.type == Input::Type::kClose;
  for (QWidget* w = acts ? QApplication::focusWidget() : nullptr; w != nullptr;
       w = w->parentWidget()) {
    if (auto* view = qobject_cast<WindowView*>(w)) {
      view->CompleteEdit();
      break;
    }
  }
  sink_(frame_id_, input);
}

void FrameWindow::OpenFrame(const WindowState& state) {
  frame_id_ = state.id;
  state_ = WindowState();
  setFont(FontFor(state.font, QApplication::font()));
  base_ = BaseUnitsOf(font());
  bool restored = false;
  if (remember_geometry_) {
    QSettings settings;
    restored = restoreGeometry(settings.value(kGeometryKey).toByteArray());
  }
  if (!restored) {
    // The first start takes most of the screen, centred: the browses and
    // forms are larger than the frame's definition, which was drawn for a
    // smaller screen.
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    QSize size(area.width() * kFirstStartPercent / 100, area.height() * kFirstStartPercent / 100);
    if (state.at.w != kNotGiven && state.at.h != kNotGiven) {
      size = size.expandedTo(QSize(ToPixelsX(state.at.w, base_), ToPixelsY(state.at.h, base_)));
    }
    size = size.boundedTo(area.size());
    resize(size);
    move(area.center() - QPoint(size.width() / 2, size.height() / 2));
  }
  ApplyFrame(state);
  show();
}

void FrameWindow::ApplyFrame(const WindowState& state) {
  if (state.caption != state_.caption || windowTitle().isEmpty())
    setWindowTitle(ToQt(state.caption));
  if (!SameMenus(state.menus, state_.menus)) {
    BuildMenuBar(
        menuBar(), state.menus,
        [this](int number) {
          Input in;
          in.type = Input::Type::kAccept;
          in.field = number;
          Send(in);
        },
        &window_menu_);
    window_list_.clear();
    if (window_menu_)
      connect(window_menu_, &QMenu::aboutToShow, this, &FrameWindow::FillWindowMenu);
  }
  // Status zones as permanent labels at the right; the left part shows the
  // highlighted menu item's message.
  size_t count = 0;
  for (const auto& [zone, text] : state.status) {
    if (count >= zones_.size()) {
      auto* label = new QLabel(this);
      statusBar()->addPermanentWidget(label);
      zones_.push_back(label);
    }
    zones_[count]->setText(ToQt(text));
    zones_[count]->setVisible(!text.empty());
    ++count;
  }
  for (size_t i = count; i < zones_.size(); ++i) zones_[i]->hide();
  state_ = state;
}

void FrameWindow::CloseFrame() {
  if (remember_geometry_ && frame_id_ != 0) {
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
  }
  frame_id_ = 0;
  hide();
}

QStringList FrameWindow::StatusZones() const {
  QStringList out;
  for (QLabel* z : zones_) {
    if (z->isVisibleTo(this)) out << z->text();
  }
  return out;
}

QMdiSubWindow* FrameWindow::AddChild(WindowView* view) {
  QMdiSubWindow* sub = mdi_->addSubWindow(view);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->adjustSize();
  // Never larger than the client area: a window that does not fit scrolls
  // its controls instead (and a browse's list shrinks with it).
  sub->resize(sub->size().boundedTo(mdi_->viewport()->size()));
  sub->show();
  mdi_->setActiveSubWindow(sub);
  return sub;
}

void FrameWindow::KeepInside(QMdiSubWindow* sub) const {
  const QSize area = mdi_->viewport()->size();
  if (area.isEmpty() || sub->isMinimized() || sub->isMaximized()) return;
  QRect r = sub->geometry();
  r.setSize(r.size().boundedTo(area));
  r.moveLeft(std::clamp(r.left(), 0, area.width() - r.width()));
  r.moveTop(std::clamp(r.top(), 0, area.height() - r.height()));
  if (r != sub->geometry()) sub->setGeometry(r);
}

void FrameWindow::OffsetFromCopies(QMdiSubWindow* sub, const std::string& label) const {
  // A second copy of a window would open exactly over the first: it steps
  // down and right until no copy is at its place (and wraps to the top left
  // corner of the client area when it would leave it).
  const QSize area = mdi_->viewport()->size();
  for (int guard = 0; guard < 32; ++guard) {
    bool taken = false;
    for (QMdiSubWindow* other : mdi_->subWindowList()) {
      auto* view = qobject_cast<WindowView*>(other->widget());
      if (other == sub || view == nullptr || view->state().label != label) continue;
      if (other->pos() == sub->pos()) taken = true;
    }
    if (!taken) return;
    QPoint next = sub->pos() + QPoint(kCopyOffset, kCopyOffset);
    if (next.x() + sub->width() > area.width() || next.y() + sub->height() > area.height()) {
      next = QPoint(guard == 0 ? 0 : kCopyOffset * (guard % 4), 0);
    }
    sub->move(next);
  }
}

void FrameWindow::Tile() {
  mdi_->tileSubWindows();
  for (QMdiSubWindow* sub : mdi_->subWindowList()) KeepInside(sub);
}

void FrameWindow::Cascade() {
  mdi_->cascadeSubWindows();
  for (QMdiSubWindow* sub : mdi_->subWindowList()) KeepInside(sub);
}

void FrameWindow::FillWindowMenu() {
  for (QAction* a : window_list_) {
    window_menu_->removeAction(a);
    a->deleteLater();
  }
  window_list_.clear();
  const QList<QMdiSubWindow*> subs = mdi_->subWindowList(QMdiArea::CreationOrder);
  if (subs.isEmpty()) return;
  window_list_.push_back(window_menu_->addSeparator());
  int n = 0;
  for (QMdiSubWindow* sub : subs) {
    ++n;
    QString title = sub->windowTitle();
    title.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QString text = n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(title) : title;
    QAction* a = window_menu_->addAction(text);
    a->setCheckable(true);
    a->setChecked(sub == mdi_->activeSubWindow());
    a->setStatusTip(QStringLiteral("Activate this window"));
    connect(a, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
      if (sub) {
        if (sub->isMinimized()) sub->showNormal();
        mdi_->setActiveSubWindow(sub);
      }
    });
    window_list_.push_back(a);
  }
}

void FrameWindow::ArrangeIcons() {
  int x = 0;
  int bottom = mdi_->viewport()->height();
  for (QMdiSubWindow* sub : mdi_->subWindowList(QMdiArea::CreationOrder)) {
    if (!sub->isMinimized()) continue;
    QSize size = sub->size();
    if (x > 0 && x + size.width() > mdi_->viewport()->width()) {
      x = 0;
      bottom -= size.height();
    }
    sub->move(x, bottom - size.height());
    x += size.width();
  }
}

QRect FrameWindow::WorkspaceOnScreen() const {
  if (!isVisible()) return QRect();
  QWidget* area = mdi_->viewport();
  return QRect(area->mapToGlobal(QPoint(0, 0)), area->size());
}

void FrameWindow::StandardAction(int action) {
  QWidget* focus = QApplication::focusWidget();
  if (auto* spin = qobject_cast<QAbstractSpinBox*>(focus)) focus = spin->findChild<QLineEdit*>();
  auto* line = qobject_cast<QLineEdit*>(focus);
  auto* text = qobject_cast<QPlainTextEdit*>(focus);
  switch (action) {
    case action::kWindowList:
      break;  // the Window menu lists the windows itself
    case action::kTile: Tile(); break;
    case action::kCascade: Cascade(); break;
    case action::kArrangeIcons: ArrangeIcons(); break;
    // The clipboard works on the control that has the focus; the edited
    // text reaches the engine when the control completes, as if typed.
    case action::kCut:
      if (line) line->cut();
      if (text) text->cut();
      break;
    case action::kCopy:
      if (line) line->copy();
      if (text) text->copy();
      break;
    case action::kPaste:
      if (line) line->paste();
      if (text) text->paste();
      break;
    default:
      break;
  }
}

void FrameWindow::closeEvent(QCloseEvent* event) {
  if (frame_id_ == 0) {
    event->accept();
    return;
  }
  // The close box asks MAIN; the engine closes the frame and its children.
  event->ignore();
  Input in;
  in.type = Input::Type::kClose;
  Send(in);
}

void FrameWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
    Input in;
    in.type = Input::Type::kKey;
    in.value = key::kF1;
    Send(in);
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void FrameWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::ActivationChange) return;
  bool active = isActiveWindow();
  if (active && !active_ && active_once_) {
    Input in;
    in.type = Input::Type::kGainFocus;
    Send(in);
  }
  if (active) active_once_ = true;
  active_ = active;
}

}  // namespace vorsandt::ui::qt
