// A window of a procedure: its model, its event queue and its accept loop.
//
// A procedure creates the window from its definition, opens it (the engine
// queues the open-window event), then loops on Accept(): each step delivers
// one event, which the procedure reads with Event() and Field() as often as
// it likes, and reacts to completely before the next step. The close-window
// event (513) is delivered to the loop body; the step after it returns false.
// All methods except those marked otherwise are called only by the owning
// procedure's thread while it holds the run permission.
#ifndef VORSANDT_UI_ENGINE_WINDOW_H_
#define VORSANDT_UI_ENGINE_WINDOW_H_

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/engine/definition.h"
#include "ui/engine/platform.h"
#include "ui/engine/use_variable.h"

namespace vorsandt::ui {

class Engine;

class Window {
 public:
  enum class State { kCreated, kOpen, kClosing, kClosed };

  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  WindowId id() const { return id_; }
  State state() const { return state_; }
  const std::string& label() const { return label_; }
  int slot() const { return slot_; }

  // Shows the window and queues the open-window event. Opening an open
  // window is the engine's runtime error 535.
  void Open();
  // Takes the window off the screen; the frame also closes every other
  // window of the program (they receive close-window).
  void Close();

  // The loop step: blocks until an event is there, makes it current and
  // returns true; returns false once the close-window event has been
  // delivered (or the window is closed).
  bool Accept();
  int Event() const { return event_; }
  int Field() const { return field_; }
  // The field whose accepted event is current, 0 otherwise.
  int Accepted() const { return event_ == event::kAccepted ? field_ : 0; }
  int Keycode() const { return keycode_; }
  // While the close-window event is current: true when the user asked for
  // it (the close box, or the platform closing the window), false when it
  // was posted (by the procedure, a Close button or the frame closing).
  bool CloseAskedByUser() const;
  // While the close-window event is current: the loop goes on instead of
  // ending, and the window stays open (the user chose to stay).
  void KeepOpen();
  std::string Keychar() const { return keychar_; }

  // The button Esc presses, as Enter presses the default button, when
  // neither the focused control nor the window alerts Esc; 0: Esc does
  // nothing. A window of its own that keeps the others from input (a
  // dialog: progress, preview, jump) starts with its Cancel button, else its
  // Close button; other windows start with none.
  void SetEscapeButton(int field) { escape_button_ = field; }

  // Queues an event at the end of this window's queue (field 0 for a window
  // event). Safe from any thread while the window exists; other threads
  // should post by id through Engine::Post.
  void Post(int event, int field = 0);

  // Control operations; a last field of 0 means the first only. A range
  // reaches the controls whose field numbers lie in it; a tab is reached by
  // its tab id (TabId in definition.h), alone or in a range of its sheet's
  // tab ids, never by a field number. Select of a tab id shows that tab.
  void Select(int field, int row = 0);
  int Choice(int field) const;
  void Display(int first = 0, int last = 0);
  void Hide(int first, int last = 0) { SetRange(first, last, &ControlModel::hidden, true); }
  void Unhide(int first, int last = 0) { SetRange(first, last, &ControlModel::hidden, false); }
  void Disable(int first, int last = 0) { SetRange(first, last, &ControlModel::disabled, true); }
  void Enable(int first, int last = 0) { SetRange(first, last, &ControlModel::disabled, false); }
  // Opens the manual at this window's section (help_topic.h) beside the
  // program, without waiting. F1 does it by itself unless the focused
  // control or the window alerts F1; a Help button's procedure calls it.
  void ShowHelp();
  // Popup menu; returns the chosen item, 0 when dismissed.
  int Popup(const std::string& text, int x = INT32_MIN, int y = INT32_MIN);

  // Properties: field 0 is the window; index 1-255 for indexed properties.
  // Negative fields are menu items: their text and disabled properties (and
  // Disable/Enable) apply; a disabled item's choice produces no event.
  std::string GetProperty(int field, int property, int index = 0) const;
  int64_t GetNumber(int field, int property, int index = 0) const;
  void SetProperty(int field, int property, std::string_view value, int index = 0);
  void SetProperty(int field, int property, int64_t value, int index = 0);
  void SetProperty(int field, int property, int value, int index = 0) {
    SetProperty(field, property, static_cast<int64_t>(value), index);
  }

  // Binds `variable` to every control that uses `name`; returns how many.
  int Bind(std::string_view name, std::unique_ptr<UseVariable> variable);
  // The distinct use-variable names of the controls, in declaration order.
  std::vector<std::string> UseNames() const;
  // The field number of the first control whose use name (see UseName in
  // definition.h: "textLines", "POL:REFERENCE", "?Continue") is `name`, or
  // else of the menu item whose field equate it is ("?BrowsePolicy").
  // Procedures find their controls this way, so that a definition can gain
  // or reorder controls without its code following. A name the definition
  // does not hold is a runtime error that ends the program: the procedure and
  // its window no longer belong together.
  int FieldOf(std::string_view name) const;
  // Rows of a list (the procedure supplies them page by page).
  void SetRows(int field, std::vector<ListRow> rows);
  const std::vector<ListRow>& Rows(int field) const;
  // The bars of a chart control, replaced whole; the bar last clicked is
  // forgotten when it is no longer there.
  void SetChart(int field, Chart chart);

  // Why the entry `field` refuses the text it shows, in words for the user:
  // its prompt, the text and what it expects (entry_refusal.h). For an entry
  // that heard "rejected"; "cannot be stored here" when the text would be
  // taken after all, empty for no such control.
  std::string RefusalText(int field) const;

  // The current model as the platform sees it.
  WindowState Snapshot() const;
  // Number of controls (fields 1..n); tabs are not counted.
  int ControlCount() const { return static_cast<int>(by_field_.size()); }

 private:
  friend class Engine;

  struct ControlModel {
    const Node* node = nullptr;
    int field = 0;
    int parent = 0;
    std::string text;
    std::string tip;
    bool disabled = false;
    bool hidden = false;
    bool default_button = false;
    bool vscroll = false;
    std::vector<ListRow> rows;
    Chart chart;  // charts
    // Lists whose format was set at run time: its text and columns.
    std::optional<std::pair<std::string, std::vector<Column>>> format;
    int selected = 0;
    int items = 0;
    int thumb = 0;
    int value = 0;
    int upper = 0;
    int tree_row = 0;
    bool dropped = false;      // drop lists: open now
    std::map<int, int> alert;  // slot -> key code
    UseVariable* variable = nullptr;
    std::map<std::pair<int, int>, std::string> other;  // properties the engine only keeps
  };

  struct Queued {
    bool is_input = false;
    int event = 0;
    int field = 0;
    Input input;
  };

  Window(Engine* engine, WindowId id, const Node* structure, int slot);

  bool Step();
  ControlModel* ControlAt(int field);
  const ControlModel* ControlAt(int field) const;
  void SetRange(int first, int last, bool ControlModel::*member, bool value);
  void AddControls(const Node& node, int parent);
  void AddModel(ControlModel model);
  // Turns a taken input into the current event; false when it produces none.
  // Each kind of input has its handler (window_input.cc); `c` is the control
  // the input names, nullptr when it names none.
  bool Deliver(const Queued& queued);
  struct InputHandler {
    Input::Type type;
    bool (Window::*handler)(const Input& input, ControlModel* c);
  };
  static const InputHandler kInputHandlers[];
  // The procedure hears `event` on `field`.
  bool ControlEvent(int event, int field);
  bool DeliverAcceptInput(const Input& input, ControlModel* c);
  bool DeliverKeyInput(const Input& input, ControlModel* c);
  bool DeliverSelectRow(const Input& input, ControlModel* c);
  bool DeliverBarClick(const Input& input, ControlModel& c);
  bool DeliverSelectTab(const Input& input, ControlModel* c);
  bool DeliverScroll(const Input& input, ControlModel* c);
  bool DeliverThumb(const Input& input, ControlModel* c);
  bool DeliverFocus(const Input& input, ControlModel* c);
  bool DeliverClose(const Input& input, ControlModel* c);
  bool DeliverGainFocus(const Input& input, ControlModel* c);
  bool DeliverTreeToggle(const Input& input, ControlModel* c);
  bool DeliverListItems(const Input& input, ControlModel* c);
  bool DeliverDropDown(const Input& input, ControlModel* c);
  bool DeliverCloseUp(const Input& input, ControlModel* c);
  bool DeliverKey(const Input& input);
  // The keys every window understands by itself (standard_keys.cc): Enter,
  // Esc, F1 (the manual), and Ctrl+F4 in a child window of the frame.
  bool DeliverStandardKey(int code);
  int DialogEscapeButton() const;
  // Ctrl+PgDn, Ctrl+Tab: the next usable tab (`step` 1) or the one before (-1) of the
  // sheet holding the focus, as if clicked; false when there is none.
  bool ChooseNextTab(int step);
  // The user closes the window (its close box, or a key that stands for it).
  bool CloseByUser();
  bool DeliverAccept(const Input& input, ControlModel& c);
  bool DeliverDropChoice(const Input& input, ControlModel& c);
  // Drop lists: the text and row that show the bound variable's value.
  void ShowDropValue(ControlModel& c);
  std::string_view PictureOf(const ControlModel& c) const;
  void MenuChosen(int number);
  // The Help menu's Contents, How to Use Help and Search for Help On...
  void HelpAction(int action);
  void Changed() { dirty_ = true; }
  void RestartTimer();
  void Flush();
  int NextPassField(int after) const;

  Engine* engine_;
  WindowId id_;
  const Node* structure_;
  int slot_;
  std::string label_;
  State state_ = State::kCreated;

  std::string caption_;
  int focus_ = 0;
  int timer_ = 0;                                    // period in hundredths of a second; 0: off
  std::chrono::steady_clock::time_point timer_due_;  // next timer event
  int accept_all_ = 0;                               // non-zero while the accept-all pass runs
  int pass_field_ = 0;                               // last field the pass delivered to
  bool close_delivered_ = false;
  bool close_by_user_ = false;   // the current close-window event came as input
  bool open_delivered_ = false;  // the open-window event was heard
  int escape_button_ = 0;
  std::map<int, std::string> status_;
  std::map<int, int> alert_;  // window-level alert keys: slot -> key code
  std::map<std::pair<int, int>, std::string> other_;
  // Controls and tabs in declaration order; a control is found by its field
  // number through by_field_ (index field-1), a tab by its tab id.
  std::vector<ControlModel> controls_;
  std::vector<size_t> by_field_;
  std::map<int, size_t> by_tab_;
  std::vector<MenuState> menus_;
  std::vector<std::unique_ptr<UseVariable>> variables_;

  int event_ = 0;
  int field_ = 0;
  int keycode_ = 0;
  std::string keychar_;
  bool dirty_ = true;

  // Guarded by the engine's mutex: filled by posts and platform input.
  std::deque<Queued> queue_;
};

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_WINDOW_H_
