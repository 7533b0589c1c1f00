// The application frame: a main window whose client area holds the child
// windows, with the frame definition's menu bar, a status bar that shows the
// highlighted menu item's message, and a Window menu that lists the open
// child windows under its own items (tile, cascade, arrange icons).
#ifndef VORSANDT_UI_QT_FRAME_WINDOW_H_
#define VORSANDT_UI_QT_FRAME_WINDOW_H_

#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <map>
#include <string>
#include <vector>

#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {

class FrameWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit FrameWindow(InputSink sink, QWidget* parent = nullptr);
  ~FrameWindow() override;

  // The engine opened, changed or closed the frame window.
  void OpenFrame(const WindowState& state);
  void ApplyFrame(const WindowState& state);
  void CloseFrame();
  bool HasFrame() const { return frame_id_ != 0; }
  WindowId frame_id() const { return frame_id_; }
  const BaseUnits& base() const { return base_; }

  QMdiArea* mdiArea() const { return mdi_; }
  // Where the child windows' workspace lies on the screen; invalid before
  // the frame shows.
  QRect WorkspaceOnScreen() const;
  QMdiSubWindow* AddChild(WindowView* view);
  // The Window menu, when the frame's menu bar has one.
  QMenu* windowMenu() const { return window_menu_; }
  // Texts of the status bar's zones, in order (for checks and the screenshot).
  QStringList StatusZones() const;

  // Standard actions the platform carries out for a menu item (the Help
  // menu's go to the help window through the engine, not here).
  void StandardAction(int action);
  // Arranges the minimized child windows in a row along the bottom.
  void ArrangeIcons();
  // Tile and Cascade, every child kept inside the client area.
  void Tile();
  void Cascade();
  // Moves (and if need be shrinks) `sub` so that it lies inside the client
  // area.
  void KeepInside(QMdiSubWindow* sub) const;
  // Moves `sub` off the place of another open copy of the window `label`.
  void OffsetFromCopies(QMdiSubWindow* sub, const std::string& label) const;

  // Saves and restores the frame's geometry through the desktop settings.
  void SetRememberGeometry(bool remember) { remember_geometry_ = remember; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  // F1 where no child window has the keys: the frame's own help.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FillWindowMenu();
  void Send(const Input& input);

  InputSink sink_;
  QMdiArea* mdi_;
  WindowId frame_id_ = 0;
  WindowState state_;
  BaseUnits base_;
  QMenu* window_menu_ = nullptr;
  std::vector<QAction*> window_list_;  // actions added to the Window menu
  std::vector<QLabel*> zones_;
  bool active_once_ = false;
  bool active_ = false;
  bool remember_geometry_ = false;
  QPointer<QMdiSubWindow> last_active_;
};

// Lets the user highlight disabled menu items, as the desktop the definitions
// were written for does, so that every item's message shows in the status bar
// while the item is highlighted, whether or not it can be chosen. Installs a
// proxy of the application's current style; call once after the application
// object exists.
void UseDesktopMenuStyle();

// The flags and filter of the file dialog for a mask as procedures write it
// ("Text|*.txt|All|*.*" gives "Text (*.txt);;All (*.*)").
QString FileDialogFilter(std::string_view mask);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_FRAME_WINDOW_H_
