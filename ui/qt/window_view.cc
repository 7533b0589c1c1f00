#include "ui/qt/window_view.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "ui/qt/chart_view.h"
#include "ui/qt/drop_list.h"
#include "ui/qt/layout_check.h"
#include "ui/qt/list_control.h"
#include "ui/qt/mappings.h"
#include "ui/qt/picture_view.h"
#include "ui/qt/report_render.h"
#include "ui/qt/shape_area.h"

namespace vorsandt::ui::qt {
namespace {

constexpr int kDefaultWidthUnits = 300;
constexpr int kDefaultHeightUnits = 200;

bool SameMenu(const MenuState& a, const MenuState& b) {
  return a.number == b.number && a.text == b.text && a.message == b.message &&
         a.separator == b.separator && a.disabled == b.disabled &&
         a.standard_action == b.standard_action && SameMenus(a.items, b.items);
}

void AddItems(QMenu* menu, const std::vector<MenuState>& items,
              const std::function<void(int)>& chosen, QMenu** window_menu) {
  for (const MenuState& item : items) {
    if (item.separator) {
      menu->addSeparator();
      continue;
    }
    if (!item.items.empty()) {
      QMenu* sub = menu->addMenu(ToQt(item.text));
      sub->menuAction()->setStatusTip(ToQt(item.message));
      sub->setEnabled(!item.disabled);
      if (item.standard_action == action::kWindowList && window_menu) *window_menu = sub;
      AddItems(sub, item.items, chosen, window_menu);
      continue;
    }
    QAction* a = menu->addAction(ToQt(item.text));
    a->setStatusTip(ToQt(item.message));
    // In the frame and its child windows the desktop carries the shortcut
    // out; a window of its own hands the key to the engine, which chooses
    // the item for it.
    if (!item.shortcut.empty()) a->setShortcut(QKeySequence(ToQt(item.shortcut)));
    a->setEnabled(!item.disabled);
    a->setData(item.number);
    int number = item.number;
    QObject::connect(a, &QAction::triggered, menu, [chosen, number] { chosen(number); });
  }
}
}  // namespace

void BuildMenuBar(QMenuBar* bar, const std::vector<MenuState>& menus,
                  const std::function<void(int)>& chosen, QMenu** window_menu) {
  bar->clear();
  if (window_menu) *window_menu = nullptr;
  for (const MenuState& m : menus) {
    if (m.separator) continue;
    if (m.items.empty() && m.number != 0) {
      // A bare item on the bar itself.
      QAction* a = bar->addAction(ToQt(m.text));
      a->setStatusTip(ToQt(m.message));
      a->setEnabled(!m.disabled);
      a->setData(m.number);
      int number = m.number;
      QObject::connect(a, &QAction::triggered, bar, [chosen, number] { chosen(number); });
      continue;
    }
    QMenu* menu = bar->addMenu(ToQt(m.text));
    menu->menuAction()->setStatusTip(ToQt(m.message));
    menu->setEnabled(!m.disabled);
    if (m.standard_action == action::kWindowList && window_menu) *window_menu = menu;
    AddItems(menu, m.items, chosen, window_menu);
  }
}

bool SameMenus(const std::vector<MenuState>& a, const std::vector<MenuState>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!SameMenu(a[i], b[i])) return false;
  }
  return true;
}

namespace {

// The canvas's scroll area passes keys on to the window: the engine, not the
// scroll area, decides what the navigation keys do.
class CanvasScroll : public QScrollArea {
 public:
  using QScrollArea::QScrollArea;
  void SetDesign(QSize size) {
    design_ = size;
    updateGeometry();
  }
  // The designed client size: a scroll area would otherwise offer a
  // fraction of the screen, and the window would open cut down.
  QSize sizeHint() const override { return design_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override { event->ignore(); }

 private:
  QSize design_;
};

// How far the main control of a window may shrink with it: half its size.
constexpr int kShrinkDivisor = 2;
// The most a window's dialog units are widened for its texts.
constexpr int kMostStretch = 4000;

}  // namespace

WindowView::WindowView(const WindowState& state, InputSink sink, QWidget* parent)
    : QWidget(parent), state_(state), sink_(std::move(sink)) {
  setFont(ScreenFontFor(state.font, QApplication::font()));
  base_ = BaseUnitsOf(font());
  setWindowTitle(ToQt(state.caption));
  // The window takes the focus when given it (a window without a control
  // that takes one still hears its keys), never from a click: a click on
  // its blank canvas or on a sheet's tab must leave the focus on the
  // control that had it, so typing into a list still locates in it.
  setFocusPolicy(Qt::TabFocus);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (!state.menus.empty()) {
    menu_bar_ = new QMenuBar(this);
    BuildMenuBar(
        menu_bar_, state.menus,
        [this](int number) {
          Input in;
          in.type = Input::Type::kAccept;
          in.field = number;
          Send(in);
        },
        nullptr);
    layout->setMenuBar(menu_bar_);
  }
  // The canvas sits in a scroll area so that a window made smaller than its
  // controls allow (by the user, or to fit the frame) scrolls instead of
  // cutting them off.
  scroll_ = new CanvasScroll(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  scroll_->setFocusPolicy(Qt::NoFocus);
  canvas_ =
      new QWidget(this);  // measured in the window's font before it moves into the scroll area
  canvas_->installEventFilter(this);
  layout->addWidget(scroll_, 1);
  status_ = new QLabel(this);
  status_->setFrameShape(QFrame::StyledPanel);
  status_->hide();
  layout->addWidget(status_);

  units_ = QSize(state.at.w == kNotGiven ? kDefaultWidthUnits : state.at.w,
                 state.at.h == kNotGiven ? kDefaultHeightUnits : state.at.h);
  for (const ControlState& c : state.controls) CreateControl(c);
  AdaptToContents();
  for (auto& [field, view] : controls_) PlaceControl(view);
  FitTexts();
  scroll_->setWidget(canvas_);
  // A prompt's access letter moves the focus to the control after it.
  for (auto& [field, view] : controls_) {
    if (view.state.kind != Kind::kPrompt) continue;
    auto next = controls_.upper_bound(field);
    if (next != controls_.end() && next->second.widget != nullptr) {
      QWidget* target = next->second.widget;
      if (auto* list = qobject_cast<ListControl*>(target)) target = list->table();
      static_cast<QLabel*>(view.widget)->setBuddy(target);
    }
  }
  Apply(state);
  // The designed size, whatever the screen: a window of its own is fitted
  // to the screen by whoever shows it (the toolkit would cut it to two
  // thirds of the screen), a child to the frame.
  resize(sizeHint());
}

void WindowView::FitTexts() {
  SetDesign();
  // Each pass widens the units by the largest shortfall; rounding can leave
  // a pixel short, which the next pass takes up.
  for (int pass = 0; pass < 4; ++pass) {
    int stretch_x = base_.stretch_x;
    int stretch_y = base_.stretch_y;
    for (const TextRoom& room : TextRooms(*this)) {
      // A heading that does not fit widens its own column (the list scrolls
      // sideways), not the whole window.
      if (room.what.startsWith(QLatin1String("column"))) continue;
      if (room.has.width() > 0 && room.need.width() > room.has.width()) {
        int64_t s = (int64_t{base_.stretch_x} * room.need.width() + room.has.width() - 1) /
                    room.has.width();
        stretch_x = std::max<int>(stretch_x, static_cast<int>(s) + (pass > 0 ? 5 : 0));
      }
      if (room.has.height() > 0 && room.need.height() > room.has.height()) {
        int64_t s = (int64_t{base_.stretch_y} * room.need.height() + room.has.height() - 1) /
                    room.has.height();
        stretch_y = std::max<int>(stretch_y, static_cast<int>(s) + (pass > 0 ? 5 : 0));
      }
    }
    stretch_x = std::min(stretch_x, kMostStretch);
    stretch_y = std::min(stretch_y, kMostStretch);
    if (stretch_x == base_.stretch_x && stretch_y == base_.stretch_y) break;
    base_.stretch_x = stretch_x;
    base_.stretch_y = stretch_y;
    for (auto& [field, view] : controls_) {
      if (auto* list = qobject_cast<ListControl*>(view.widget)) list->SetBase(base_);
      PlaceControl(view);
    }
    SetDesign();
  }
}

void WindowView::SetDesign() {
  const int w = units_.width();
  const int h = units_.height();
  design_size_ = QSize(ToPixelsX(w, base_), ToPixelsY(h, base_));
  // A control the definition puts inside the window stays inside it when
  // its place and size round up to one more pixel than the window's.
  for (auto& [field, view] : controls_) {
    const Rect& at = view.at;
    if (view.outer == nullptr || at.x == kNotGiven || at.y == kNotGiven) continue;
    int right = at.x + (at.w == kNotGiven ? 0 : at.w);
    int bottom = at.y + (at.h == kNotGiven ? 0 : at.h);
    if (right > w || bottom > h) continue;
    QRect r = view.outer->geometry();
    if (at.w == kNotGiven || at.h == kNotGiven) continue;  // natural sizes are the text's business
    design_size_ = design_size_.expandedTo(QSize(r.right() + 1, r.bottom() + 1));
  }
  for (auto& [field, view] : controls_) {
    if (view.outer) view.design = view.outer->geometry();
  }
  // The main control may give up half its size when the window shrinks.
  QSize least = design_size_;
  std::vector<const ControlView*> growers = Growers();
  if (!growers.empty()) {
    const QRect& main = growers.front()->design;
    least -= QSize(main.width() / kShrinkDivisor, main.height() / kShrinkDivisor);
  } else if (HasPages()) {
    // Pages scale with the window: it may shrink to half its size.
    least = design_size_ / kShrinkDivisor;
  }
  canvas_->setMinimumSize(least);
  canvas_->resize(design_size_);
  static_cast<CanvasScroll*>(scroll_)->SetDesign(design_size_);
}

void WindowView::Place(QWidget* widget, const Rect& at, bool natural_size) {
  Rect px = ToPixels(at, base_);
  QSize natural = widget->sizeHint();
  int w = px.w != kNotGiven && !natural_size ? px.w : (px.w != kNotGiven ? px.w : natural.width());
  int h = px.h != kNotGiven ? px.h : natural.height();
  widget->setGeometry(px.x == kNotGiven ? 0 : px.x, px.y == kNotGiven ? 0 : px.y, std::max(w, 0),
                      std::max(h, 0));
}

void WindowView::Watch(QWidget* widget, int field) {
  watched_[widget] = field;
  widget->installEventFilter(this);
}

std::function<void(std::optional<std::string>)> WindowView::Acceptor(int field) {
  return [this, field](std::optional<std::string> text) {
    Input in;
    in.type = Input::Type::kAccept;
    in.field = field;
    if (text) {
      in.text = *text;
      in.has_text = true;
    }
    Send(in);
  };
}

void WindowView::PlaceControl(ControlView& view) {
  const ControlState& c = view.state;
  if (view.outer == nullptr) return;
  if (c.kind == Kind::kLine) {
    Rect at = view.at;
    if (at.h == 0) at.h = 2;
    if (at.w == 0) at.w = 1;
    Place(view.widget, at, false);
    return;
  }
  if (view.scroller != nullptr) {
    // The scroll area takes the control's part of the window; the picture
    // in it fills the area's width, keeping its proportions.
    Rect px = ToPixels(view.at, base_);
    int ww = ToPixelsX(units_.width(), base_);
    int wh = ToPixelsY(units_.height(), base_);
    QRect area(px.x, px.y, std::max(1, std::min(px.w, ww - px.x)),
               std::max(1, std::min(px.h, wh - px.y)));
    view.scroller->setGeometry(area);
    view.inner = QSize(px.w, px.h);
    ScaleScrolledPicture(view);
    return;
  }
  bool natural = c.kind == Kind::kString || c.kind == Kind::kPrompt || c.kind == Kind::kVarString;
  Place(view.widget, view.at, natural);
}

void WindowView::AdaptToContents() {
  // A control the definition lets run past its sheet (or group) or past the
  // window would be cut off: the sheet, and the window, widen (or lengthen)
  // to hold it with a margin. Nothing else moves. A scrolled image is meant
  // to be larger than its window.
  auto right = [](const Rect& r) { return r.x + r.w; };
  auto bottom = [](const Rect& r) { return r.y + r.h; };
  auto given = [](const Rect& r) {
    return r.x != kNotGiven && r.y != kNotGiven && r.w != kNotGiven && r.h != kNotGiven;
  };
  for (auto& [field, view] : controls_) {
    if (view.scroller != nullptr || !given(view.at)) continue;
    for (int p = view.state.parent, guard = 0; p != 0 && guard < 64; ++guard) {
      auto parent = controls_.find(IsTabId(p) ? SheetOfTab(p) : p);
      if (parent == controls_.end()) break;
      Rect& at = parent->second.at;
      if (given(at) && (parent->second.state.kind == Kind::kSheet ||
                        parent->second.state.kind == Kind::kGroup)) {
        if (right(view.at) + kContentMargin > right(at))
          at.w = right(view.at) + kContentMargin - at.x;
        if (bottom(view.at) + kContentMargin > bottom(at))
          at.h = bottom(view.at) + kContentMargin - at.y;
      }
      p = parent->second.state.parent;
    }
  }
  // The lists on a widened sheet's tabs take the width it gained: a form's
  // child list shows more of its columns rather than leave the room empty.
  for (auto& [field, view] : controls_) {
    if (view.state.kind != Kind::kList || view.state.drop > 0 || !given(view.at)) continue;
    int p = view.state.parent;
    if (!IsTabId(p)) continue;
    auto sheet = controls_.find(SheetOfTab(p));
    if (sheet == controls_.end() || !given(sheet->second.at)) continue;
    const Rect& now = sheet->second.at;
    const Rect& was = sheet->second.state.at;
    int gained = right(now) - right(was);
    if (gained > 0 && right(view.at) + kContentMargin <= right(was)) view.at.w += gained;
  }
  for (auto& [field, view] : controls_) {
    if (view.scroller != nullptr || !given(view.at)) continue;
    // Only what runs past the window widens it: a control that the
    // definition ends exactly at the window's edge is left there.
    if (right(view.at) > units_.width()) units_.setWidth(right(view.at) + kContentMargin);
    if (bottom(view.at) > units_.height()) units_.setHeight(bottom(view.at) + kContentMargin);
  }
}

void WindowView::ScaleScrolledPicture(ControlView& view) {
  if (view.scroller == nullptr || view.inner.isEmpty()) return;
  int bar = view.scroller->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view.scroller);
  int frame = 2 * view.scroller->frameWidth();
  int width = std::max(1, view.scroller->width() - frame - bar);
  width = static_cast<int>(width * Zoom());
  int height =
      static_cast<int>(int64_t{view.inner.height()} * width / std::max(1, view.inner.width()));
  view.widget->resize(width, std::max(1, height));
}

bool WindowView::Shown(int field) const {
  auto it = controls_.find(field);
  if (it == controls_.end()) return false;
  if (it->second.state.hidden) return false;
  int parent = it->second.state.parent;
  int child = field;
  for (int guard = 0; parent != 0 && guard < 64; ++guard) {
    auto p = controls_.find(parent);
    if (p == controls_.end()) break;
    if (p->second.state.hidden) return false;
    // Only the chosen tab's controls show.
    if (p->second.state.kind == Kind::kSheet && IsTabId(child) &&
        TabIndexOf(child) != p->second.state.value) {
      return false;
    }
    child = parent;
    parent = p->second.state.parent;
  }
  return true;
}

void WindowView::ApplyControl(ControlView& view, const ControlState& c) {
  view.state = c;
  QWidget* w = view.widget;
  if (c.kind == Kind::kTab) {
    auto sheet = controls_.find(c.parent);
    if (sheet != controls_.end() && sheet->second.tabs) {
      // The tab bar's place of a tab is its place in the sheet.
      const int index = TabIndexOf(c.field) - 1;
      sheet->second.tabs->setTabText(index, ToQt(c.text));
      sheet->second.tabs->setTabEnabled(index, !c.disabled);
      sheet->second.tabs->setTabVisible(index, !c.hidden);
    }
    return;
  }
  if (w == nullptr) return;
  w->setEnabled(!c.disabled);
  if (!c.tip.empty() || !w->toolTip().isEmpty()) w->setToolTip(ToQt(c.tip));
  QString text = ToQt(c.text);
  switch (c.kind) {
    case Kind::kString:
    case Kind::kVarString:
    case Kind::kPrompt:
      if (static_cast<QLabel*>(w)->text() != text) static_cast<QLabel*>(w)->setText(text);
      break;
    case Kind::kButton: {
      auto* b = static_cast<QPushButton*>(w);
      b->setText(text);
      b->setDefault(c.default_button);
      break;
    }
    case Kind::kEntry: {
      auto* e = static_cast<QLineEdit*>(w);
      // A text the user is typing is not overwritten by an older snapshot.
      if (!e->isModified() && e->text() != text) e->setText(text);
      break;
    }
    case Kind::kTextBox: {
      auto* t = static_cast<QPlainTextEdit*>(w);
      if (!t->document()->isModified() && t->toPlainText() != text) {
        t->setPlainText(text);
        t->document()->setModified(false);
      }
      break;
    }
    case Kind::kCheck: {
      auto* box = static_cast<QCheckBox*>(w);
      box->setText(text);
      box->setChecked(c.value != 0);
      break;
    }
    case Kind::kSpin: {
      auto* spin = static_cast<QSpinBox*>(w);
      spin->setRange(0, c.upper > 0 ? c.upper : 999999);
      bool ok = false;
      int v = text.trimmed().toInt(&ok);
      if (ok && !spin->hasFocus()) spin->setValue(v);
      break;
    }
    case Kind::kProgress: {
      auto* bar = static_cast<QProgressBar*>(w);
      bar->setRange(0, c.upper > 0 ? c.upper : 100);
      bar->setValue(std::clamp(c.value, 0, c.upper > 0 ? c.upper : 100));
      break;
    }
    case Kind::kGroup:
      static_cast<QGroupBox*>(w)->setTitle(text);
      break;
    case Kind::kList:
      if (auto* drop = qobject_cast<DropList*>(w)) {
        drop->Apply(c);
      } else {
        static_cast<ListControl*>(w)->Apply(c);
      }
      break;
    case Kind::kBox:
    case Kind::kRegion:
      static_cast<ShapeArea*>(w)->SetColours(c.colours);
      break;
    case Kind::kImage:
      if (PictureFile(c) != view.picture) {
        view.picture = PictureFile(c);
        static_cast<PictureView*>(w)->SetFile(view.picture);
      }
      break;
    case Kind::kChart:
      static_cast<ChartControl*>(w)->Apply(c.chart);
      break;
    case Kind::kSheet:
      if (view.tabs && c.value >= 1 && c.value <= view.tabs->count())
        view.tabs->setCurrentIndex(c.value - 1);
      break;
    default:
      break;
  }
}

void WindowView::Apply(const WindowState& state) {
  applying_ = true;
  if (state.caption != state_.caption) setWindowTitle(ToQt(state.caption));
  if (menu_bar_ && !SameMenus(state.menus, state_.menus)) {
    BuildMenuBar(
        menu_bar_, state.menus,
        [this](int number) {
          Input in;
          in.type = Input::Type::kAccept;
          in.field = number;
          Send(in);
        },
        nullptr);
  }
  state_ = state;
  for (const ControlState& c : state.controls) {
    auto it = controls_.find(c.field);
    if (it != controls_.end()) ApplyControl(it->second, c);
  }
  // Visibility after every control is known: it depends on parents and tabs.
  const int had = active_ ? FieldOf(QApplication::focusWidget()) : 0;
  for (auto& [field, view] : controls_) {
    if (view.outer) view.outer->setVisible(Shown(field));
  }
  // Moved by the user, as a Tab key would: the procedure hears it.
  const int refocus = state.focus == focus_ || state.focus == 0 ? FocusAfterHiddenTab(had) : 0;
  QString status;
  for (const auto& [zone, text] : state.status) {
    if (text.empty()) continue;
    if (!status.isEmpty()) status += QStringLiteral("   ");
    status += ToQt(text);
  }
  status_->setText(status);
  status_->setVisible(!status.isEmpty());
  // Which pages show decides how large each may be.
  if (canvas_->isVisible() && HasPages() && Growers().empty()) Stretch();
  if (state.focus != 0 && state.focus != focus_) {
    focus_ = state.focus;
    // A window in the background does not take the focus (in the frame that
    // would activate it); it gets it when the user returns to it.
    if (active_) {
      FocusControl(focus_);
    } else {
      focus_pending_ = true;
    }
  }
  applying_ = false;
  if (QWidget* w = KeyWidget(refocus)) w->setFocus(Qt::TabFocusReason);
}

QWidget* WindowView::KeyWidget(int field) const {
  QWidget* w = ControlWidget(field);
  if (auto* list = qobject_cast<ListControl*>(w)) return list->table();
  return w;
}

void WindowView::FocusControl(int field) {
  QWidget* w = KeyWidget(field);
  if (w == nullptr || !w->isEnabled()) return;
  bool was = applying_;
  applying_ = true;  // the engine chose it: no focus input back
  w->setFocus(Qt::OtherFocusReason);
  applying_ = was;
}

QWidget* WindowView::ControlWidget(int field) const {
  auto it = controls_.find(field);
  return it == controls_.end() ? nullptr : it->second.widget;
}

QWidget* WindowView::OuterWidget(int field) const {
  auto it = controls_.find(field);
  return it == controls_.end() ? nullptr : it->second.outer;
}

QTabBar* WindowView::TabsOf(int field) const {
  auto it = controls_.find(field);
  return it == controls_.end() ? nullptr : it->second.tabs;
}

const ControlState* WindowView::Control(int field) const {
  auto it = controls_.find(field);
  return it == controls_.end() ? nullptr : &it->second.state;
}

std::vector<int> WindowView::Fields() const {
  std::vector<int> out;
  for (const auto& [field, view] : controls_) {
    if (view.widget != nullptr) out.push_back(field);
  }
  return out;
}

int WindowView::FieldOf(const QWidget* widget) const {
  for (const QWidget* w = widget; w != nullptr && w != this; w = w->parentWidget()) {
    auto it = watched_.find(w);
    if (it != watched_.end()) return it->second;
    for (const auto& [field, view] : controls_) {
      if (view.widget == w) return field;
    }
  }
  return 0;
}

void WindowView::Send(const Input& input) {
  if (sink_) sink_(state_.id, input);
}

void WindowView::CompleteEdit() {
  // What is typed in the focused control reaches the procedure before a key
  // or the close box does, so that it knows the record was changed.
  QWidget* focused = QApplication::focusWidget();
  auto it = watched_.find(focused);
  if (it == watched_.end()) return;
  if (auto* e = qobject_cast<QLineEdit*>(focused); e && e->isModified()) {
    emit e->editingFinished();
  } else if (auto* t = qobject_cast<QPlainTextEdit*>(focused); t && t->document()->isModified()) {
    t->document()->setModified(false);
    Input in;
    in.type = Input::Type::kAccept;
    in.field = it->second;
    in.text = FromQt(t->toPlainText());
    in.has_text = true;
    Send(in);
  }
}

void WindowView::SendKey(int field, int code, const QString& text) {
  CompleteEdit();
  Input in;
  in.type = Input::Type::kKey;
  in.field = field;
  in.value = code;
  in.text = FromQt(text);
  Send(in);
}

void WindowView::SetActive(bool active) {
  if (active && !active_ && active_once_) {
    Input in;
    in.type = Input::Type::kGainFocus;
    Send(in);
  }
  if (active) active_once_ = true;
  active_ = active;
  if (active && focus_pending_) {
    focus_pending_ = false;
    FocusControl(focus_);
  }
}

bool WindowView::Alerted(int field, int code) const {
  if (code == 0) return false;
  auto has = [code](const std::vector<int>& keys) {
    return std::find(keys.begin(), keys.end(), code) != keys.end();
  };
  auto it = controls_.find(field);
  if (it != controls_.end() && has(it->second.state.alert_keys)) return true;
  return has(state_.alert_keys);
}

bool WindowView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == canvas_ && event->type() == QEvent::Resize) {
    Stretch();
    return false;
  }
  if (event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if ((wheel->modifiers() & Qt::ControlModifier) && wheel->angleDelta().y() != 0) {
      ZoomImage(wheel->angleDelta().y() > 0 ? 1 : -1);
      return true;
    }
  }
  auto it = watched_.find(watched);
  if (it != watched_.end()) {
    int field = it->second;
    if (event->type() == QEvent::KeyPress) {
      // A key alerted on the control or the window belongs to the procedure:
      // the control never sees it (an alerted letter is not typed).
      auto* key = static_cast<QKeyEvent*>(event);
      int code = KeyCode(key->key(), key->modifiers());
      if (Alerted(field, code)) {
        SendKey(field, code, key->text());
        return true;
      }
    } else if (event->type() == QEvent::MouseButtonDblClick ||
               event->type() == QEvent::MouseButtonPress) {
      // Mouse actions can be alerted like keys: a double click, the right
      // button. (Lists report their own.)
      auto* mouse = static_cast<QMouseEvent*>(event);
      int code = 0;
      if (event->type() == QEvent::MouseButtonDblClick && mouse->button() == Qt::LeftButton) {
        code = key::kMouseLeft2;
      } else if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::RightButton) {
        code = key::kMouseRight;
      }
      if (code != 0 && Alerted(field, code)) {
        SendKey(field, code, QString());
        return true;
      }
    } else if (event->type() == QEvent::FocusIn && !applying_ && field != focus_) {
      focus_ = field;
      Input in;
      in.type = Input::Type::kFocus;
      in.field = field;
      Send(in);
    } else if (event->type() == QEvent::FocusOut && !applying_) {
      // A text box is complete when the focus leaves it.
      if (auto* t = qobject_cast<QPlainTextEdit*>(watched); t && t->document()->isModified()) {
        t->document()->setModified(false);
        Input in;
        in.type = Input::Type::kAccept;
        in.field = field;
        in.text = FromQt(t->toPlainText());
        in.has_text = true;
        Send(in);
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void WindowView::keyPressEvent(QKeyEvent* event) {
  // Keys no control used: Enter (the default button), function keys and
  // control combinations go to the engine, which knows the alerted keys.
  int code = KeyCode(event->key(), event->modifiers());
  int field = FieldOf(QApplication::focusWidget());
  // Esc presses the window's Cancel or Close where the engine knows one.
  bool engine_key = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                    event->key() == Qt::Key_Escape ||
                    (event->key() >= Qt::Key_F1 && event->key() <= Qt::Key_F24) ||
                    (event->modifiers() & Qt::ControlModifier) || Alerted(field, code);
  if (!Alerted(field, code) && ZoomKey(event)) {
    event->accept();
    return;
  }
  if (code != 0 && engine_key) {
    SendKey(field, code, event->text());
    event->accept();
    return;
  }
  // Keys no control took scroll a zoomed page.
  if (event->modifiers() == Qt::NoModifier && ScrollImage(event)) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void WindowView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Windows of their own follow the desktop's activation; child windows in
  // the frame are told by the frame.
  if (event->type() == QEvent::ActivationChange && isWindow()) SetActive(isActiveWindow());
}

void WindowView::closeEvent(QCloseEvent* event) {
  if (close_allowed_) {
    event->accept();
    return;
  }
  // The close box asks the procedure; the engine closes the window.
  event->ignore();
  CompleteEdit();
  Input in;
  in.type = Input::Type::kClose;
  Send(in);
}

}  // namespace vorsandt::ui::qt
