// How a window follows its size: the main control grows and shrinks with the
// window (a browse's list then reports the rows that fit, so its page size
// follows), report pages scale to the room they have, and a zoomed page
// scrolls by key. The rest of the window's life is in window_view.cc.
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "images/metafile_player.h"

#include "ui/qt/list_control.h"
#include "ui/qt/mappings.h"
#include "ui/qt/picture_view.h"
#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {
namespace {

// Enough of a page image for its headers.
constexpr size_t kHeaderBytes = 64;

// The width over the height of the paper the page image `file` was laid out
// on, from its placeable box; 0 for a picture that does not say.
double PaperAspect(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> head(kHeaderBytes);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
  std::optional<images::MetafileInfo> info =
      images::ReadMetafileInfo(head.data(), head.size(), nullptr);
  if (!info || !info->placeable) return 0;
  const double w = std::abs(info->header.right - info->header.left);
  const double h = std::abs(info->header.bottom - info->header.top);
  return w > 0 && h > 0 ? w / h : 0;
}

}  // namespace

std::vector<const WindowView::ControlView*> WindowView::Growers() const {
  // The main control: the largest page list (a browse then shows as many
  // rows as the window has room for), else the largest list, else the
  // largest sheet, else the largest text box.
  auto area = [](const QRect& r) { return int64_t{r.width()} * r.height(); };
  const ControlView* main = nullptr;
  int main_rank = 0;
  for (const auto& [field, view] : controls_) {
    const ControlState& c = view.state;
    int rank = 0;
    if (c.kind == Kind::kList && c.drop == 0 && qobject_cast<ListControl*>(view.widget))
      rank = c.paged ? 4 : 3;
    if (c.kind == Kind::kSheet) rank = 2;
    if (c.kind == Kind::kTextBox) rank = 1;
    if (rank == 0) continue;
    if (main == nullptr || rank > main_rank ||
        (rank == main_rank && area(view.design) >= area(main->design))) {
      main = &view;
      main_rank = rank;
    }
  }
  std::vector<const ControlView*> out;
  if (main == nullptr) return out;
  out.push_back(main);
  // What frames it (its sheet, a group) grows with it, and so do the lists
  // in the sheet it frames or the one it lies in: a form's child lists on
  // their tabs, a browse's list on each of its tabs.
  int sheet = main->state.kind == Kind::kSheet ? main->state.field : 0;
  for (int p = main->state.parent, guard = 0; p != 0 && guard < 64 && sheet == 0; ++guard) {
    const ControlState* parent = IsTabId(p) ? Control(SheetOfTab(p)) : Control(p);
    if (parent == nullptr) break;
    if (parent->kind == Kind::kSheet) sheet = parent->field;
    p = parent->parent;
  }
  for (const auto& [field, view] : controls_) {
    if (&view == main || view.outer == nullptr || view.state.kind == Kind::kLine) continue;
    bool frames = view.state.kind != Kind::kList && view.design.contains(main->design);
    bool sibling_list = false;
    if (sheet != 0 && view.state.kind == Kind::kList && view.state.drop == 0) {
      int p = view.state.parent;
      sibling_list = p == sheet || (IsTabId(p) && SheetOfTab(p) == sheet);
    }
    if (frames || sibling_list) out.push_back(&view);
  }
  return out;
}

void WindowView::WidenFor(const ListControl* list) {
  const int pixels = list->MissingWidth();
  auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
  QWidget* outer = sub != nullptr ? static_cast<QWidget*>(sub) : this;
  if (given_size_ || pixels <= 0 || outer->isMaximized() || outer->isFullScreen()) return;
  // The room: a child's is the frame's workspace, a window's the screen it
  // is on, less what the desktop's window frame takes.
  QRect room;
  if (sub != nullptr && sub->mdiArea() != nullptr) {
    room = sub->mdiArea()->viewport()->rect();
  } else if (outer->screen() != nullptr) {
    constexpr int kDesktopFrame = 24;
    room = outer->screen()->availableGeometry().adjusted(0, 0, -kDesktopFrame, 0);
  } else {
    return;
  }
  QRect at = outer->geometry();
  // A few pixels more, so that the last column does not end on the border.
  at.setWidth(std::min(at.width() + pixels + 4, room.width()));
  if (at.width() <= outer->width()) return;
  if (at.right() > room.right()) at.moveRight(room.right());
  if (at.left() < room.left()) at.moveLeft(room.left());
  outer->setGeometry(at);
}

bool WindowView::StretchCharts() {
  QRect charts;
  for (const auto& [field, view] : controls_) {
    if (view.state.kind == Kind::kChart && view.outer != nullptr) charts |= view.design;
  }
  if (charts.isEmpty()) return false;
  const int dx = canvas_->width() - design_size_.width();
  const int dy = canvas_->height() - design_size_.height();
  const double sx = std::max(1, charts.width() + dx) / static_cast<double>(charts.width());
  const double sy = std::max(1, charts.height() + dy) / static_cast<double>(charts.height());
  for (auto& [field, view] : controls_) {
    if (view.outer == nullptr) continue;
    QRect r = view.design;
    if (view.state.kind == Kind::kChart) {
      const int left =
          charts.left() + static_cast<int>(std::lround((r.left() - charts.left()) * sx));
      const int top = charts.top() + static_cast<int>(std::lround((r.top() - charts.top()) * sy));
      r = QRect(left, top, std::max(1, static_cast<int>(std::lround(r.width() * sx))),
                std::max(1, static_cast<int>(std::lround(r.height() * sy))));
    } else {
      // What lies below the charts moves down, what lies right of them (or
      // below their right half) keeps to the right edge.
      const bool below = r.top() >= charts.bottom();
      if (below) r.translate(0, dy);
      if (r.left() >= charts.right() || (below && r.left() >= charts.center().x()))
        r.translate(dx, 0);
    }
    if (view.outer->geometry() != r) view.outer->setGeometry(r);
  }
  return true;
}

void WindowView::Stretch() {
  if (StretchCharts()) return;
  std::vector<const ControlView*> growers = Growers();
  if (growers.empty()) {
    ScalePages(canvas_->width(), canvas_->height());
    return;
  }
  int dx = canvas_->width() - design_size_.width();
  int dy = canvas_->height() - design_size_.height();
  // The main list leads: what lies below it moves down, what lies right of
  // it moves right, and what lies below its right half keeps to the right
  // edge. A main sheet leads through the lists in it.
  QRect lead = growers.front()->design;
  for (const ControlView* g : growers) {
    if (g->state.kind == Kind::kList && growers.front()->state.kind == Kind::kSheet) {
      lead = g->design;
      break;
    }
  }
  for (auto& [field, view] : controls_) {
    if (view.outer == nullptr) continue;
    QRect r = view.design;
    if (std::find(growers.begin(), growers.end(), &view) != growers.end()) {
      r.setWidth(std::max(1, r.width() + dx));
      r.setHeight(std::max(1, r.height() + dy));
    } else {
      bool below = r.top() >= lead.bottom();
      if (below) r.translate(0, dy);
      if (r.left() >= lead.right() || (below && r.left() >= lead.center().x())) r.translate(dx, 0);
    }
    if (view.outer->geometry() != r) view.outer->setGeometry(r);
  }
}

void WindowView::ScalePages(int width, int height) {
  // A window of pages (the preview) has no list; its pictures and what frames
  // them scale with the window from their top, keeping their proportions
  // (the picture control centres a page in its room). What lies above the
  // pages (the buttons) stays.
  int top = INT32_MAX;
  int bottom = 0;
  for (const auto& [field, view] : controls_) {
    if (view.state.kind != Kind::kImage || view.outer == nullptr) continue;
    top = std::min(top, view.design.top());
    if (view.scroller == nullptr) bottom = std::max(bottom, view.design.bottom() + 1);
  }
  if (top == INT32_MAX || design_size_.isEmpty()) return;
  // The pages take the height below their top, less a margin.
  const int margin = ToPixelsY(kContentMargin, base_);
  const double sx = static_cast<double>(width) / design_size_.width();
  const double sy = bottom <= top ? sx
                                  : static_cast<double>(std::max(1, height - top - margin)) /
                                        std::max(1, bottom - top);
  // The pages shown now, each with what frames it: a page grows until it
  // would meet the window's edge or the page beside it, so a single page
  // takes the height while facing pages share the width.
  std::vector<QRect> frames;  // the pictures that show a page now
  std::vector<double> papers;  // the width over the height of each one's paper; 0: unknown
  for (const auto& [field, view] : controls_) {
    if (view.state.kind != Kind::kImage || view.scroller != nullptr || view.outer == nullptr)
      continue;
    if (!Shown(field) || view.picture.empty()) continue;
    if (std::find(frames.begin(), frames.end(), view.design) == frames.end()) {
      frames.push_back(view.design);
      papers.push_back(PaperAspect(view.picture));
    }
  }
  // A page, what frames it and what lies over it take the proportions of
  // the page's own paper (an A4 sheet is narrower than the letter page the
  // window was drawn for), about their centre: 1 where it is not known.
  auto paper_of = [&](const QRect& d) {
    for (size_t i = 0; i < frames.size(); ++i) {
      const QRect& f = frames[i];
      if ((f.contains(d) || d.contains(f)) && papers[i] > 0 && f.height() > 0) {
        return papers[i] / (static_cast<double>(f.width()) / f.height());
      }
    }
    return 1.0;
  };
  auto scale_of = [&](const QRect& d) {
    // A box around a page and a region over it scale with the page.
    QRect frame = d;
    bool page = false;
    for (const QRect& f : frames) {
      if (!page && (f.contains(d) || d.contains(f))) {
        frame = f;
        page = true;
      }
    }
    if (!page) return std::min(sx, sy);
    const double half = std::max(1.0, frame.width() / 2.0);
    const double cx = (frame.center().x() + 0.5) * sx;
    double s = std::min({sy, cx / half, (width - cx) / half});
    for (const QRect& other : frames) {
      if (other.contains(frame) || frame.contains(other)) continue;
      if (other.bottom() < frame.top() || other.top() > frame.bottom()) continue;
      double apart = std::abs(other.center().x() - frame.center().x()) * sx;
      s = std::min(s, apart / (half + other.width() / 2.0));
    }
    return std::max(0.05, s);
  };
  for (auto& [field, view] : controls_) {
    if (view.outer == nullptr) continue;
    const QRect& d = view.design;
    if (d.top() < top - 4) continue;
    if (view.scroller != nullptr) {
      // The zoomed page's area takes the whole width and height below the top.
      QRect r(static_cast<int>(d.left() * sx), d.top(), static_cast<int>(d.width() * sx),
              static_cast<int>(d.height() + (height - design_size_.height())));
      view.outer->setGeometry(r);
      ScaleScrolledPicture(view);
      continue;
    }
    // Scaled about the centre of its designed column, from the pages' top.
    const double s = scale_of(d);
    QPointF centre((d.center().x() + 0.5) * sx, top + (d.center().y() + 0.5 - top) * s);
    // A page wider than designed (landscape) grows no wider: it is made
    // lower instead, so that it never reaches the page beside it.
    const double paper = paper_of(d);
    QSizeF size(d.width() * s * std::min(1.0, paper), d.height() * s * std::min(1.0, 1 / paper));
    QRect r(static_cast<int>(centre.x() - size.width() / 2),
            static_cast<int>(centre.y() - size.height() / 2), static_cast<int>(size.width()),
            static_cast<int>(size.height()));
    if (view.outer->geometry() != r) view.outer->setGeometry(r);
  }
}

bool WindowView::HasPages() const {
  for (const auto& [field, view] : controls_) {
    if (view.state.kind == Kind::kImage && view.outer != nullptr) return true;
  }
  return false;
}

namespace {

// The keys that move a zoomed page in its scroll area, and how.
struct ScrollKey {
  int key;
  bool vertical;
  QAbstractSlider::SliderAction action;
};
constexpr ScrollKey kScrollKeys[] = {
    {Qt::Key_PageDown, true, QAbstractSlider::SliderPageStepAdd},
    {Qt::Key_PageUp, true, QAbstractSlider::SliderPageStepSub},
    {Qt::Key_Down, true, QAbstractSlider::SliderSingleStepAdd},
    {Qt::Key_Up, true, QAbstractSlider::SliderSingleStepSub},
    {Qt::Key_Right, false, QAbstractSlider::SliderSingleStepAdd},
    {Qt::Key_Left, false, QAbstractSlider::SliderSingleStepSub},
    {Qt::Key_Home, true, QAbstractSlider::SliderToMinimum},
    {Qt::Key_End, true, QAbstractSlider::SliderToMaximum},
};

}  // namespace

bool WindowView::ScrollImage(QKeyEvent* event) {
  for (auto& [field, view] : controls_) {
    if (view.scroller == nullptr || !view.scroller->isVisible()) continue;
    QScrollBar* v = view.scroller->verticalScrollBar();
    QScrollBar* h = view.scroller->horizontalScrollBar();
    for (const ScrollKey& k : kScrollKeys) {
      if (k.key != event->key()) continue;
      (k.vertical ? v : h)->triggerAction(k.action);
      return true;
    }
    return false;
  }
  return false;
}

bool WindowView::ZoomKey(QKeyEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) return false;
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:  // the plus key's own, unshifted
      return ZoomImage(1);
    case Qt::Key_Minus:
      return ZoomImage(-1);
    case Qt::Key_0:
      return ZoomImage(-static_cast<int>(std::size(kZoomSteps)));
    default:
      return false;
  }
}

bool WindowView::ZoomImage(int steps) {
  for (auto& [field, view] : controls_) {
    if (view.scroller == nullptr || !view.scroller->isVisible()) continue;
    const int last = static_cast<int>(std::size(kZoomSteps)) - 1;
    const size_t zoom = static_cast<size_t>(std::clamp(static_cast<int>(zoom_) + steps, 0, last));
    if (zoom == zoom_) return true;
    // The point at the middle of the area stays there.
    QScrollBar* h = view.scroller->horizontalScrollBar();
    QScrollBar* v = view.scroller->verticalScrollBar();
    QSize page = view.scroller->viewport()->size();
    QSize before = view.widget->size();
    double fx = (h->value() + page.width() / 2.0) / std::max(1, before.width());
    double fy = (v->value() + page.height() / 2.0) / std::max(1, before.height());
    zoom_ = zoom;
    ScaleScrolledPicture(view);
    QSize after = view.widget->size();
    h->setValue(static_cast<int>(fx * after.width() - page.width() / 2.0));
    v->setValue(static_cast<int>(fy * after.height() - page.height() / 2.0));
    return true;
  }
  return false;
}

}  // namespace vorsandt::ui::qt
