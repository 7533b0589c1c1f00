// The Qt platform of the window engine.
//
// Every Platform method may be called from any procedure thread; each hands
// its work to the toolkit's thread (see gui_thread.h): snapshots without
// waiting, modal calls (message boxes, popups, file and printer dialogs)
// waiting for the user's answer. User input goes to the input sink on the
// toolkit's thread; the program's sink is Engine::Input.
//
// Windows: the frame definition becomes the main window (FrameWindow), child
// windows become sub-windows of its client area, modal windows become
// application-modal windows of their own, and any other window a window of
// its own.
//
// With memory() turned on (the desktop program), each window comes back where
// and as large as it was when it closed, pulled onto the screen (or into the
// frame's workspace) when that no longer shows it; a browse comes back on its
// last tab; a file chooser starts in the folder its kind of file was last
// chosen from. Keyed by the window's definition name in the desktop settings.
#ifndef VORSANDT_UI_QT_QT_PLATFORM_H_
#define VORSANDT_UI_QT_QT_PLATFORM_H_

#include <QObject>
#include <QPointer>
#include <QPrinter>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "ui/engine/platform.h"
#include "ui/qt/frame_window.h"
#include "ui/qt/gui_thread.h"
#include "ui/qt/help_window.h"
#include "ui/qt/window_memory.h"
#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {

class QtPlatform : public QObject, public Platform {
  Q_OBJECT

 public:
  // Created on the toolkit's thread after the application object.
  QtPlatform();
  ~QtPlatform() override;

  // Where user input goes; set before the first window opens.
  void SetInputSink(InputSink sink);

  // Platform.
  void WindowOpened(const WindowState& state) override;
  void WindowChanged(const WindowState& state) override;
  void WindowClosed(WindowId id) override;
  int ShowMessage(const MessageRequest& request) override;
  int ShowPopup(WindowId owner, const std::string& text, int x, int y) override;
  std::optional<std::string> ChooseFile(const FileRequest& request) override;
  bool PrinterSetup(WindowId owner) override;
  void StandardAction(WindowId window, int action) override;
  bool AwaitingUser() const override { return awaiting_user_.load() > 0; }
  // Report pages (report_render.cc): each job on a printer of its own made
  // from the settings in printer(), so that a job that failed (a printer
  // that cannot be opened leaves its device active) never spoils the next.
  PrintResult PrintPages(const std::vector<std::string>& pages) override;
  bool PrinterReady() override;
  // In the frame's status bar until the next remark replaces it.
  void ShowNotice(const std::string& text) override;
  // Kept in the desktop settings beside the windows' places (memory()).
  std::string Recall(const std::string& key) override;
  void Remember(const std::string& key, const std::string& value) override;
  // The help window (help_window.h), made on first use and kept; where no
  // manual is found, a box that does not hold up the program says where it
  // was looked for.
  void ShowHelp(const HelpRequest& request) override;
  // The desktop's viewer for the file's kind (QDesktopServices).
  bool OpenDocument(const std::string& file) override;
  bool WritePdf(const std::vector<std::string>& pages, const std::string& file,
                std::string* error = nullptr) override;

  // On the toolkit's thread once its loop has ended: modal calls still
  // waiting get the answer of a dismissed box, later calls are not shown.
  void Shutdown();

  // Toolkit's thread only.
  FrameWindow* frame() const { return frame_; }
  WindowView* View(WindowId id) const;
  // The help window once help has been asked for; null before.
  HelpWindow* helpWindow() const { return help_; }
  // The settings chosen in the printer setup, copied into every job; never
  // printed on itself.
  QPrinter* printer() { return &printer_; }
  // The dialog the printer setup shows (a print dialog by default); true
  // when the user confirmed it. Tests put their own in.
  using PrintDialog = std::function<bool(QPrinter& printer, QWidget* owner)>;
  void SetPrintDialog(PrintDialog dialog) { print_dialog_ = std::move(dialog); }
  // What is remembered between runs; off unless the desktop program turns it on.
  WindowMemory& memory() { return memory_; }

 private:
  void Open(const WindowState& state);
  void OpenHelp(const HelpRequest& request);
  // Makes the help window a window of `owner`'s, where it stays as it was.
  void MoveHelpUnder(QWidget* owner);
  void Change(const WindowState& state);
  void Close(WindowId id);
  QWidget* Owner(WindowId id) const;
  void Deliver(WindowId id, const Input& input);
  void Remember(const WindowState& state);
  void PlaceRemembered(const WindowState& state, QWidget* window);
  void ForgetOnClose(WindowId id, QWidget* window);
  // The window the user works in now: an active window of its own, else the
  // frame's active child window.
  WindowView* ActiveView() const;
  // Gives the activation and the focus back to the window that was active
  // when `id` opened, when `id` was the active one: a child window before it
  // goes, a window of its own (a modal one blocks the rest) once it is hidden.
  void ReturnToCaller(WindowId id, bool was_active);
  struct Caller;
  // The active window and its focused control, and the return to them.
  Caller CurrentCaller() const;
  void Reactivate(const Caller& caller);

  GuiThread gui_;
  InputSink sink_;
  FrameWindow* frame_;
  std::map<WindowId, QPointer<WindowView>> views_;
  // A window's definition name and the tab its sheet shows now (0: none, or
  // not a browse), kept while it is open for saving when it closes.
  struct Shown {
    std::string label;
    int sheet = 0;  // the browse's sheet; 0: not a browse
    int tab = 0;
    int pending_tab = 0;  // the remembered tab, chosen at the first change
    // A tab the user chose that no snapshot has shown yet, and the tab shown
    // when it was chosen: a snapshot still showing that one was taken before
    // the engine heard the choice and does not undo it.
    int chosen = 0;
    int before = 0;
  };
  std::map<WindowId, Shown> shown_;
  // The window that was active when a window opened (its caller: the browse
  // behind a form, the form behind its select), and the control that had the
  // focus there; closing the window returns to them.
  struct Caller {
    QPointer<WindowView> view;
    QPointer<QWidget> focus;
  };
  std::map<WindowId, Caller> callers_;
  WindowMemory memory_;
  QPointer<HelpWindow> help_;
  QPointer<QWidget> no_manual_box_;
  QPrinter printer_;
  PrintDialog print_dialog_;
  // Toolkit's thread only: a printer was chosen in the setup; the last job
  // failed (the next one asks again).
  bool printer_chosen_ = false;
  bool last_job_failed_ = false;
  // Non-zero while a box, menu or dialog is on the screen waiting.
  std::atomic<int> awaiting_user_{0};
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_QT_PLATFORM_H_
