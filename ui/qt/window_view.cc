#include "ui/qt/window_view.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt/drop_list.h"
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
  return a.number == b.number && a.text == b.text && a.message == b.message && a.separator == b.separator &&
         a.disabled == b.disabled && a.standard_action == b.standard_action && SameMenus(a.items, b.items);
}

void AddItems(QMenu* menu, const std::vector<MenuState>& items, const std::function<void(int)>& chosen,
              QMenu** window_menu) {
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
    a->setEnabled(!item.disabled);
    a->setData(item.number);
    int number = item.number;
    QObject::connect(a, &QAction::triggered, menu, [chosen, number] { chosen(number); });
  }
}

// An image control's file: the text a procedure set (a report page's image),
// else the definition's file, without the blanks of a fixed-length field.
std::string PictureFile(const ControlState& c) {
  std::string file = c.text.empty() ? c.image : c.text;
  file.erase(file.find_last_not_of(' ') + 1);
  return file;
}

}  // namespace

void BuildMenuBar(QMenuBar* bar, const std::vector<MenuState>& menus, const std::function<void(int)>& chosen,
                  QMenu** window_menu) {
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

WindowView::WindowView(const WindowState& state, InputSink sink, QWidget* parent)
    : QWidget(parent), state_(state), sink_(std::move(sink)) {
  setFont(FontFor(state.font, QApplication::font()));
  base_ = BaseUnitsOf(font());
  setWindowTitle(ToQt(state.caption));
  setFocusPolicy(Qt::StrongFocus);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (!state.menus.empty()) {
    menu_bar_ = new QMenuBar(this);
    BuildMenuBar(menu_bar_, state.menus, [this](int number) {
      Input in;
      in.type = Input::Type::kAccept;
      in.field = number;
      Send(in);
    }, nullptr);
    layout->setMenuBar(menu_bar_);
  }
  canvas_ = new QWidget(this);
  int w = state.at.w == kNotGiven ? kDefaultWidthUnits : state.at.w;
  int h = state.at.h == kNotGiven ? kDefaultHeightUnits : state.at.h;
  design_size_ = QSize(ToPixelsX(w, base_), ToPixelsY(h, base_));
  canvas_->setMinimumSize(design_size_);
  canvas_->installEventFilter(this);
  layout->addWidget(canvas_, 1);
  status_ = new QLabel(this);
  status_->setFrameShape(QFrame::StyledPanel);
  status_->hide();
  layout->addWidget(status_);

  for (const ControlState& c : state.controls) CreateControl(c);
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

void WindowView::CreateControl(const ControlState& c) {
  ControlView view;
  view.state = c;
  int field = c.field;
  auto accept = [this, field](std::optional<std::string> text) {
    Input in;
    in.type = Input::Type::kAccept;
    in.field = field;
    if (text) {
      in.text = *text;
      in.has_text = true;
    }
    Send(in);
  };
  QWidget* w = nullptr;
  switch (c.kind) {
    case Kind::kString:
    case Kind::kVarString: {
      auto* label = new QLabel(canvas_);
      label->setTextFormat(Qt::PlainText);
      w = label;
      break;
    }
    case Kind::kPrompt:
      w = new QLabel(canvas_);
      break;
    case Kind::kButton: {
      auto* b = new QPushButton(canvas_);
      b->setAutoDefault(false);
      connect(b, &QPushButton::clicked, this, [accept] { accept(std::nullopt); });
      w = b;
      break;
    }
    case Kind::kEntry: {
      auto* e = new QLineEdit(canvas_);
      // A string picture is as wide as its variable: typing stops there.
      if (int width = StringPictureWidth(c.picture); width > 0) e->setMaxLength(width);
      auto finish = [this, e, accept] {
        if (applying_ || !e->isModified()) return;
        e->setModified(false);
        accept(FromQt(e->text()));
      };
      connect(e, &QLineEdit::editingFinished, this, finish);
      // Enter completes the entry first; the key itself then reaches the
      // window (the line edit passes it on), which hands it to the engine.
      connect(e, &QLineEdit::returnPressed, this, finish);
      w = e;
      break;
    }
    case Kind::kTextBox: {
      auto* t = new QPlainTextEdit(canvas_);
      t->setTabChangesFocus(true);
      w = t;
      break;
    }
    case Kind::kCheck: {
      auto* box = new QCheckBox(canvas_);
      connect(box, &QCheckBox::clicked, this, [accept](bool on) { accept(std::string(on ? "1" : "0")); });
      w = box;
      break;
    }
    case Kind::kSpin: {
      auto* spin = new QSpinBox(canvas_);
      connect(spin, &QSpinBox::editingFinished, this, [this, spin, accept] {
        if (applying_) return;
        accept(std::to_string(spin->value()));
      });
      w = spin;
      break;
    }
    case Kind::kProgress:
      w = new QProgressBar(canvas_);
      break;
    case Kind::kGroup: {
      auto* g = new QGroupBox(canvas_);
      w = g;
      break;
    }
    case Kind::kBox:
      w = new ShapeArea(Kind::kBox, {}, canvas_);
      break;
    case Kind::kLine: {
      auto* f = new QFrame(canvas_);
      f->setFrameShape(c.at.h == 0 || c.at.h == kNotGiven ? QFrame::HLine : QFrame::VLine);
      f->setFrameShadow(QFrame::Sunken);
      Rect at = c.at;
      if (at.h == 0) at.h = 2;
      if (at.w == 0) at.w = 1;
      Place(f, at, false);
      w = f;
      break;
    }
    case Kind::kImage: {
      w = new PictureView(canvas_);  // its file is set once it is placed
      break;
    }
    case Kind::kRegion:
      w = new ShapeArea(Kind::kRegion, [accept] { accept(std::nullopt); }, canvas_);
      break;
    case Kind::kList: {
      if (c.drop > 0) {
        w = new DropList(c, [this](const Input& in) { Send(in); }, canvas_);
      } else {
        w = new ListControl(c, base_, [this](const Input& in) { Send(in); }, canvas_);
      }
      break;
    }
    case Kind::kSheet: {
      auto* frame = new QFrame(canvas_);
      frame->setFrameShape(QFrame::StyledPanel);
      auto* tabs = new QTabBar(frame);
      tabs->setDrawBase(false);
      for (const ControlState& t : state_.controls) {
        if (t.kind == Kind::kTab && t.parent == field) tabs->addTab(ToQt(t.text));
      }
      tabs->move(0, 0);
      tabs->adjustSize();
      connect(tabs, &QTabBar::currentChanged, this, [this, field](int index) {
        if (applying_ || index < 0) return;
        Input in;
        in.type = Input::Type::kSelectTab;
        in.field = field;
        in.value = index + 1;
        Send(in);
      });
      view.tabs = tabs;
      w = frame;
      break;
    }
    case Kind::kTab:
    default:
      break;  // tabs live in their sheet's tab bar
  }
  if (w != nullptr) {
    // A control's own font (a list in a fixed-pitch face, a large title)
    // overrides the window's before the control is measured and placed.
    if (c.font) w->setFont(FontFor(c.font, font()));
    if (c.kind != Kind::kLine) {
      bool natural = c.kind == Kind::kString || c.kind == Kind::kPrompt || c.kind == Kind::kVarString;
      if (auto* label = qobject_cast<QLabel*>(w); label && natural) label->setText(ToQt(c.text));
      Place(w, c.at, natural);
    }
    // Decoded at the size it was placed at, not the widget's default size.
    if (auto* picture = qobject_cast<PictureView*>(w)) picture->SetFile(PictureFile(c));
    if (c.kind == Kind::kGroup || c.kind == Kind::kSheet || c.kind == Kind::kBox) w->lower();
    if (c.kind == Kind::kRegion) w->raise();
    if (auto* list = qobject_cast<ListControl*>(w)) {
      Watch(list->table(), field);
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) {
      Watch(spin, field);
    } else {
      Watch(w, field);
    }
    if (view.tabs) Watch(view.tabs, field);
    view.design = w->geometry();
  }
  view.widget = w;
  if (c.kind == Kind::kImage) view.picture = PictureFile(c);
  controls_[field] = view;
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
    case Kind::kSheet:
      if (view.tabs && c.value >= 1 && c.value <= view.tabs->count()) view.tabs->setCurrentIndex(c.value - 1);
      break;
    default:
      break;
  }
}

void WindowView::Apply(const WindowState& state) {
  applying_ = true;
  if (state.caption != state_.caption) setWindowTitle(ToQt(state.caption));
  if (menu_bar_ && !SameMenus(state.menus, state_.menus)) {
    BuildMenuBar(menu_bar_, state.menus, [this](int number) {
      Input in;
      in.type = Input::Type::kAccept;
      in.field = number;
      Send(in);
    }, nullptr);
  }
  state_ = state;
  for (const ControlState& c : state.controls) {
    auto it = controls_.find(c.field);
    if (it != controls_.end()) ApplyControl(it->second, c);
  }
  // Visibility after every control is known: it depends on parents and tabs.
  for (auto& [field, view] : controls_) {
    if (view.widget) view.widget->setVisible(Shown(field));
  }
  QString status;
  for (const auto& [zone, text] : state.status) {
    if (text.empty()) continue;
    if (!status.isEmpty()) status += QStringLiteral("   ");
    status += ToQt(text);
  }
  status_->setText(status);
  status_->setVisible(!status.isEmpty());
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
}

void WindowView::FocusControl(int field) {
  QWidget* w = ControlWidget(field);
  if (w == nullptr) return;
  if (auto* list = qobject_cast<ListControl*>(w)) w = list->table();
  if (!w->isEnabled()) return;
  bool was = applying_;
  applying_ = true;  // the engine chose it: no focus input back
  w->setFocus(Qt::OtherFocusReason);
  applying_ = was;
}

QWidget* WindowView::ControlWidget(int field) const {
  auto it = controls_.find(field);
  return it == controls_.end() ? nullptr : it->second.widget;
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

void WindowView::Stretch() {
  // The page list is the largest list whose rows its procedure supplies page
  // by page: a browse then shows as many rows as the window has room for.
  const ControlView* page = nullptr;
  for (const auto& [field, view] : controls_) {
    if (view.state.kind != Kind::kList || !view.state.paged || view.state.drop > 0) continue;
    if (!qobject_cast<ListControl*>(view.widget)) continue;
    auto area = [](const QRect& r) { return r.width() * r.height(); };
    if (page == nullptr || area(view.design) > area(page->design)) page = &view;
  }
  if (page == nullptr) return;
  int dx = std::max(0, canvas_->width() - design_size_.width());
  int dy = std::max(0, canvas_->height() - design_size_.height());
  const QRect list = page->design;
  for (auto& [field, view] : controls_) {
    if (view.widget == nullptr || view.state.kind == Kind::kLine) continue;
    QRect r = view.design;
    if (&view == page || r.contains(list)) {
      // The list and what frames it (its sheet, a group) grow.
      r.setWidth(r.width() + dx);
      r.setHeight(r.height() + dy);
    } else {
      if (r.top() >= list.bottom()) r.translate(0, dy);
      if (r.left() >= list.right()) r.translate(dx, 0);
    }
    if (view.widget->geometry() != r) view.widget->setGeometry(r);
  }
}

bool WindowView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == canvas_ && event->type() == QEvent::Resize) {
    Stretch();
    return false;
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
  bool engine_key = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                    (event->key() >= Qt::Key_F1 && event->key() <= Qt::Key_F24) ||
                    (event->modifiers() & Qt::ControlModifier) || Alerted(field, code);
  if (code != 0 && engine_key) {
    SendKey(field, code, event->text());
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
