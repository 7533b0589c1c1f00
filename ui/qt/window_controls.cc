// How a control of a window definition becomes its widget: the kind of
// widget, its texts, font and tip, and the inputs it sends. Placing and
// sizing the controls are in window_view.cc and window_resize.cc.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
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
#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {
namespace {

// How long typing rests before an immediate entry is completed: long enough
// to span the gap between keys of a word, short enough to feel at once.
constexpr int kTypingPause = 180;  // milliseconds

}  // namespace

std::string PictureFile(const ControlState& c) {
  std::string file = c.text.empty() ? c.image : c.text;
  file.erase(file.find_last_not_of(' ') + 1);
  return file;
}

void WindowView::CreateControl(const ControlState& c) {
  ControlView view;
  view.state = c;
  view.at = c.at;
  if (QWidget* w = CreateWidget(c, view); w != nullptr) DressControl(c, view, w);
  if (c.kind == Kind::kImage) view.picture = PictureFile(c);
  controls_[c.field] = view;
}

QWidget* WindowView::CreateWidget(const ControlState& c, ControlView& view) {
  switch (c.kind) {
    case Kind::kString:
    case Kind::kVarString: {
      auto* label = new QLabel(canvas_);
      label->setTextFormat(Qt::PlainText);
      return label;
    }
    case Kind::kPrompt:
      return new QLabel(canvas_);
    case Kind::kButton:
    case Kind::kEntry:
    case Kind::kTextBox:
    case Kind::kCheck:
    case Kind::kSpin:
      return CreateInput(c);
    case Kind::kProgress:
      return new QProgressBar(canvas_);
    case Kind::kGroup:
      return new QGroupBox(canvas_);
    case Kind::kBox:
      return new ShapeArea(Kind::kBox, {}, canvas_);
    case Kind::kLine: {
      auto* f = new QFrame(canvas_);
      f->setFrameShape(c.at.h == 0 || c.at.h == kNotGiven ? QFrame::HLine : QFrame::VLine);
      f->setFrameShadow(QFrame::Sunken);
      return f;
    }
    case Kind::kImage:
      return CreateImage(c, view);
    case Kind::kRegion: {
      auto accept = Acceptor(c.field);
      return new ShapeArea(
          Kind::kRegion, [accept] { accept(std::nullopt); }, canvas_);
    }
    case Kind::kList:
      if (c.drop > 0) {
        return new DropList(
            c, [this](const Input& in) { Send(in); }, canvas_);
      }
    {
      auto* list = new ListControl(
          c, base_, [this](const Input& in) { Send(in); }, canvas_);
      connect(list, &ListControl::ColumnsWantRoom, this, [this, list] { WidenFor(list); });
      return list;
    }
    case Kind::kSheet:
      return CreateSheet(c, view);
    case Kind::kChart: {
      // A click on a bar (or Enter on the bar the keys stand on) chooses it.
      const int field = c.field;
      auto* chart = new ChartControl(
          [this, field](int bar) {
            Input in;
            in.type = Input::Type::kSelectRow;
            in.field = field;
            in.value = bar;
            Send(in);
          },
          canvas_);
      chart->Apply(c.chart);
      return chart;
    }
    case Kind::kTab:
    default:
      return nullptr;  // tabs live in their sheet's tab bar
  }
}

QWidget* WindowView::CreateInput(const ControlState& c) {
  auto accept = Acceptor(c.field);
  switch (c.kind) {
    case Kind::kButton: {
      auto* b = new QPushButton(canvas_);
      b->setAutoDefault(false);
      connect(b, &QPushButton::clicked, this, [accept] { accept(std::nullopt); });
      return b;
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
      if (c.immediate) {
        // A search box answers at each short pause in the typing rather
        // than at every key, so fast typing is not slowed by searches.
        auto* pause = new QTimer(e);
        pause->setSingleShot(true);
        pause->setInterval(kTypingPause);
        connect(pause, &QTimer::timeout, this, finish);
        connect(e, &QLineEdit::textEdited, pause, [pause] { pause->start(); });
        connect(e, &QLineEdit::returnPressed, pause, &QTimer::stop);
      }
      return e;
    }
    case Kind::kTextBox: {
      auto* t = new QPlainTextEdit(canvas_);
      t->setTabChangesFocus(true);
      return t;
    }
    case Kind::kCheck: {
      auto* box = new QCheckBox(canvas_);
      connect(box, &QCheckBox::clicked, this,
              [accept](bool on) { accept(std::string(on ? "1" : "0")); });
      return box;
    }
    case Kind::kSpin: {
      auto* spin = new QSpinBox(canvas_);
      connect(spin, &QSpinBox::editingFinished, this, [this, spin, accept] {
        if (applying_) return;
        accept(std::to_string(spin->value()));
      });
      return spin;
    }
    default:
      return nullptr;
  }
}

QWidget* WindowView::CreateImage(const ControlState& c, ControlView& view) {
  // An image larger than its window (a zoomed page) scrolls in its part of
  // the window.
  const Rect& at = c.at;
  const int ww = units_.width();
  const int wh = units_.height();
  if (at.x != kNotGiven && at.y != kNotGiven && at.w != kNotGiven && at.h != kNotGiven &&
      (at.x + at.w > ww || at.y + at.h > wh)) {
    view.scroller = new QScrollArea(canvas_);
    view.scroller->setFrameShape(QFrame::StyledPanel);
    view.scroller->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* picture = new PictureView();
    view.scroller->setWidget(picture);
    view.scroller->viewport()->installEventFilter(this);
    return picture;
  }
  return new PictureView(canvas_);  // its file is set once it is placed
}

QWidget* WindowView::CreateSheet(const ControlState& c, ControlView& view) {
  const int field = c.field;
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
  return frame;
}

void WindowView::DressControl(const ControlState& c, ControlView& view, QWidget* w) {
  const int field = c.field;
  // A control's own font (a list in a fixed-pitch face, a large title)
  // overrides the window's before the control is measured and placed.
  if (c.font) w->setFont(ScreenFontFor(c.font, QApplication::font()));
  view.widget = w;
  view.outer = view.scroller != nullptr ? static_cast<QWidget*>(view.scroller) : w;
  bool natural = c.kind == Kind::kString || c.kind == Kind::kPrompt || c.kind == Kind::kVarString;
  if (auto* label = qobject_cast<QLabel*>(w); label && natural) label->setText(ToQt(c.text));
  if (auto* button = qobject_cast<QPushButton*>(w)) button->setText(ToQt(c.text));
  if (auto* box = qobject_cast<QCheckBox*>(w)) box->setText(ToQt(c.text));
  if (auto* group = qobject_cast<QGroupBox*>(w)) group->setTitle(ToQt(c.text));
  PlaceControl(view);
  // Decoded at the size it was placed at, not the widget's default size.
  if (auto* picture = qobject_cast<PictureView*>(w)) picture->SetFile(PictureFile(c));
  if (c.kind == Kind::kGroup || c.kind == Kind::kSheet || c.kind == Kind::kBox) view.outer->lower();
  if (c.kind == Kind::kRegion) w->raise();
  if (auto* list = qobject_cast<ListControl*>(w)) {
    Watch(list->table(), field);
  } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) {
    Watch(spin, field);
  } else {
    Watch(w, field);
  }
  if (view.tabs) Watch(view.tabs, field);
  view.design = view.outer->geometry();
}

}  // namespace vorsandt::ui::qt
