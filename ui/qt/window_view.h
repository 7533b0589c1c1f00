// One engine window on the screen: its controls placed in dialog units of the
// window's font, kept up to date from the engine's snapshots, and turning what
// the user does into Input records for the engine.
//
// The view never changes the engine's model itself: a click, a typed text or a
// chosen tab is sent as input, and the next snapshot shows the outcome. While a
// snapshot is applied, the toolkit's change signals are not reported back.
#ifndef VORSANDT_UI_QT_WINDOW_VIEW_H_
#define VORSANDT_UI_QT_WINDOW_VIEW_H_

#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QTabBar>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/engine/platform.h"
#include "ui/qt/dialog_units.h"

namespace vorsandt::ui::qt {

using InputSink = std::function<void(WindowId, const Input&)>;

// Fills `bar` with the menus of a window. Items call `chosen` with their
// (negative) number; a menu with standard action 1 (the window list) is
// returned through `window_menu` so its owner can list the open windows in it.
void BuildMenuBar(QMenuBar* bar, const std::vector<MenuState>& menus,
                  const std::function<void(int)>& chosen, QMenu** window_menu);
// True when two menu trees show the same.
bool SameMenus(const std::vector<MenuState>& a, const std::vector<MenuState>& b);
// An image control's file: the text a procedure set (a report page's image),
// else the definition's file, without the blanks of a fixed-length field.
std::string PictureFile(const ControlState& c);

// Dialog units kept between a control and the edge of what holds it when the
// window widens a sheet or itself to hold the control.
inline constexpr int kContentMargin = 4;

class ListControl;

class WindowView : public QWidget {
  Q_OBJECT

 public:
  WindowView(const WindowState& state, InputSink sink, QWidget* parent = nullptr);

  WindowId id() const { return state_.id; }
  const WindowState& state() const { return state_; }
  const BaseUnits& base() const { return base_; }

  // Brings the controls in line with a later snapshot of the same window.
  void Apply(const WindowState& state);

  // The widget showing control `field` (nullptr when it has none: tabs).
  QWidget* ControlWidget(int field) const;
  // The widget that places it in the window: the control's own, or the
  // scroll area around an image larger than the window.
  QWidget* OuterWidget(int field) const;
  // The sheet's tab bar (nullptr for other controls).
  QTabBar* TabsOf(int field) const;
  // The control's state as last applied; nullptr for none.
  const ControlState* Control(int field) const;
  // The fields of the controls that have a widget, in order.
  std::vector<int> Fields() const;
  // The client area at the definition's size, in pixels.
  QSize DesignSize() const { return design_size_; }
  // The control field that `widget` (or one of its parents) shows; 0 for none.
  int FieldOf(const QWidget* widget) const;
  QMenuBar* menuBar() const { return menu_bar_; }

  // Activation bookkeeping: the window became (or stopped being) the active
  // one. Returning to it after another was active is the gain-focus input.
  void SetActive(bool active);
  // Lets the next close request through (the engine closed the window).
  void AllowClose() { close_allowed_ = true; }
  // The window was given a size of its own (one remembered from an earlier
  // run): its lists no longer widen it to show their columns.
  void KeepGivenSize() { given_size_ = true; }
  // Widens the window until `list`'s columns show (as its first page fitted
  // them), no further than the frame's workspace or the screen, kept inside
  // it; nothing for a window with a given size, maximized or full screen.
  void WidenFor(const ListControl* list);
  void Send(const Input& input);
  // Sends the focused entry's or text box's pending text, as leaving it
  // would: before a key, the close box or the frame's Exit acts on the
  // window, its procedure knows what was typed.
  void CompleteEdit();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct ControlView {
    ControlState state;
    QWidget* widget = nullptr;
    QTabBar* tabs = nullptr;          // sheets
    QWidget* outer = nullptr;         // the widget placed in the window
    QScrollArea* scroller = nullptr;  // images larger than the window
    Rect at;                          // the place the window gives it, in dialog units
    QRect design;                     // geometry at the window's designed size
    QSize inner;                      // scrolled images: the picture's designed size
    std::string picture;              // images: the file shown now
  };

  void CreateControl(const ControlState& c);
  // The steps of CreateControl: the widget of the control's kind (nullptr
  // for a tab, which lives in its sheet's tab bar), then its font, text,
  // place and watch.
  QWidget* CreateWidget(const ControlState& c, ControlView& view);
  QWidget* CreateInput(const ControlState& c);
  QWidget* CreateImage(const ControlState& c, ControlView& view);
  QWidget* CreateSheet(const ControlState& c, ControlView& view);
  void DressControl(const ControlState& c, ControlView& view, QWidget* w);
  // Sends the control's accept, with the text it hands over if any.
  std::function<void(std::optional<std::string>)> Acceptor(int field);
  void Place(QWidget* widget, const Rect& at, bool natural_size);
  // Places a control from its definition at the current base units.
  void PlaceControl(ControlView& view);
  // A scrolled image's picture as wide as its scroll area, in proportion.
  void ScaleScrolledPicture(ControlView& view);
  // Widens (or heightens) the dialog units until every text fits its
  // control, then places every control again.
  void FitTexts();
  // Widens a sheet or group, and the window, that a control runs past.
  void AdaptToContents();
  // The designed client size, and what each control's place is measured from.
  void SetDesign();
  // Lets the window's main control (its page list, else its largest list,
  // sheet or text box) take the room the window has beyond its designed
  // size, moving what lies below or right of it along; a window of pages
  // (the preview) scales its pages instead.
  void Stretch();
  // A window of charts shares its room out among them, in the proportions
  // of its design; false when it has none.
  bool StretchCharts();
  void ScalePages(int width, int height);
  // True when the window shows pictures (and no list leads its layout).
  bool HasPages() const;
  // The controls that grow with the window; empty when none does.
  std::vector<const ControlView*> Growers() const;
  // Sends a scrolling key to the shown scrolled image; false when none takes it.
  bool ScrollImage(QKeyEvent* event);
  // Ctrl+plus, Ctrl+minus and Ctrl+0 magnify the shown scrolled image (a
  // zoomed page), as does Ctrl with the wheel over it; false when none shows.
  bool ZoomKey(QKeyEvent* event);
  bool ZoomImage(int steps);
  void ApplyControl(ControlView& view, const ControlState& c);
  bool Shown(int field) const;
  // The sheet a control lies on (0: none), the first control of that sheet
  // that takes the keyboard on the tab showing, and so where the focus goes
  // when control `had`, which had it, no longer shows (0: leave it).
  int SheetOf(int field) const;
  int FirstFocusOnSheet(int sheet) const;
  int FocusAfterHiddenTab(int had) const;
  void Watch(QWidget* widget, int field);
  void SendKey(int field, int code, const QString& text);
  // True when key `code` is alerted on control `field` or on the window.
  bool Alerted(int field, int code) const;
  void FocusControl(int field);
  // The widget that takes the keyboard for control `field` (a list's table,
  // not its frame); null when there is none.
  QWidget* KeyWidget(int field) const;

  WindowState state_;
  InputSink sink_;
  BaseUnits base_;
  QWidget* canvas_ = nullptr;
  QScrollArea* scroll_ = nullptr;  // around the canvas, when the window is smaller
  QSize units_;                    // the client area in dialog units (the definition's, or more)
  QSize design_size_;              // the canvas at that size, in pixels
  QMenuBar* menu_bar_ = nullptr;
  QLabel* status_ = nullptr;
  std::map<int, ControlView> controls_;
  std::map<const QObject*, int> watched_;  // widget -> field, for focus and keys
  bool applying_ = false;
  int focus_ = 0;
  bool active_once_ = false;
  bool active_ = false;
  bool focus_pending_ = false;
  bool close_allowed_ = false;
  bool given_size_ = false;
  // The scrolled image's magnification: its width is the scroll area's
  // times kZoomSteps[zoom_] (1, as wide as the area, until the user zooms).
  size_t zoom_ = 0;

 public:
  // The magnifications Ctrl+plus and Ctrl+minus step through.
  static constexpr double kZoomSteps[] = {1.0, 1.25, 1.5, 2.0, 2.5, 3.0, 4.0};
  double Zoom() const { return kZoomSteps[zoom_]; }
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_WINDOW_VIEW_H_
