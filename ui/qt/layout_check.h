// Measuring a window's layout: the room each text of a control needs at the
// control's font and the room the control gives it, and the controls that lie
// outside their window's client area.
//
// A window view uses the measurements to widen its dialog units until every
// text fits (see WindowView), and `vorsandt --check-layout` uses them to
// report what still does not: it builds every window definition of the
// program offscreen, at the desktop's font and scale, and prints one line per
// problem and a summary.
#ifndef VORSANDT_UI_QT_LAYOUT_CHECK_H_
#define VORSANDT_UI_QT_LAYOUT_CHECK_H_

#include <QRect>
#include <QSize>
#include <QString>
#include <ostream>
#include <vector>

#include "ui/engine/resource_set.h"

class QFont;
class QStyle;

namespace vorsandt::ui::qt {

class WindowView;

// The text a control shows for `text`: with access-letter marks ("&Close"
// shows "Close", "&&" one "&") when the control reads them.
QString ShownText(const QString& text, bool access_letters);

// The width a push button needs to show `text` whole: the text and the
// style's margin and frame around it. (A style's minimum width for buttons is
// a preference, not room the text needs.)
int ButtonTextWidth(const QString& text, const QFont& font, const QStyle* style);

// One text of a control and the room it has, in pixels.
struct TextRoom {
  int field = 0;
  QString what;  // "prompt", "button", "tabs", "column 2 heading", ...
  QString text;
  QSize need;
  QSize has;
  bool Fits() const { return need.width() <= has.width() && need.height() <= has.height(); }
};

// Every text of the window's controls with its room, as the controls are
// placed now (hidden controls and the tabs not chosen included).
std::vector<TextRoom> TextRooms(const WindowView& view);

// The controls whose place is not inside the window's client area at the
// window's designed size: field and place.
struct OutsidePlace {
  int field = 0;
  QString what;
  QRect place;
  QSize client;
};
std::vector<OutsidePlace> ControlsOutside(const WindowView& view);

// The check behind --check-layout: every window structure of `resources`
// built as a view (nothing is shown; call it with a QApplication on the
// offscreen platform), one line on `out` per text that does not fit and per
// control outside its window, then "N windows, M controls, K problems".
// Returns K.
int CheckLayout(const ResourceSet& resources, std::ostream& out);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_LAYOUT_CHECK_H_
