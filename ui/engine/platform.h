// The boundary between the window engine and whatever shows its windows.
//
// The engine owns every window's model and runs on the procedures' threads.
// It hands the platform snapshots of a window's state (WindowState) whenever
// the model may have changed, and makes blocking calls for modal interactions
// (message boxes, popup menus, file and printer dialogs). The platform never
// calls procedures: it turns user input into Input records and gives them to
// Engine::Input, which may be called from any thread. A platform must not call
// back into the engine from inside a Platform method.
#ifndef VORSANDT_UI_ENGINE_PLATFORM_H_
#define VORSANDT_UI_ENGINE_PLATFORM_H_

#include <array>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/engine/chart.h"
#include "ui/engine/definition.h"
#include "ui/engine/events.h"
#include "ui/engine/report_page.h"

namespace vorsandt::ui {

using WindowId = int;

// A run of a cell's text drawn highlighted (what a search found), in bytes
// of the cell as the procedure wrote it.
struct CellMark {
  int cell = 0;
  int start = 0;
  int length = 0;
  bool operator==(const CellMark&) const = default;
};

struct ListRow {
  ListRow() = default;
  ListRow(std::vector<std::string> row_cells, int row_level = 0)  // NOLINT: rows are written as {{cells}, level}
      : cells(std::move(row_cells)), level(row_level) {}

  std::vector<std::string> cells;  // one per column, already formatted
  int level = 0;                   // tree lists: sign and depth of the row
  // A row that heads the rows after it (a group's name), drawn in bold.
  bool heading = false;
  std::vector<CellMark> marks;
  bool operator==(const ListRow&) const = default;
};

// How a tree list draws a row: from the sign of its level and the level of
// the row after it.
enum class TreeState { kLeaf, kOpen, kClosed };
TreeState TreeRowState(const std::vector<ListRow>& rows, size_t index);

struct ControlState {
  int field = 0;
  std::string use;  // use variable or field equate ("?Continue"); may be empty
  Kind kind = Kind::kString;
  Rect at;
  std::string text;  // shown text: formatted variable, caption, tab text
  std::string tip;
  std::string picture;
  std::optional<FontBlock> font;
  bool disabled = false;
  bool hidden = false;
  bool default_button = false;
  int parent = 0;  // field of the enclosing group, sheet or tab; 0: the window
  // Lists.
  std::vector<Column> columns;
  std::vector<ListRow> rows;
  int selected = 0;  // 1-based; 0 none
  int items = 0;     // rows the list can show
  bool vscroll = false;
  bool paged = false;
  // Entries: completed at every pause in the typing (see Node::immediate).
  bool immediate = false;
  // Lists: the last column takes the room the others leave (a list whose
  // last column holds long texts, such as search results).
  bool fill = false;
  int thumb = 0;
  // Drop lists: rows shown when dropped (0: a plain list), and whether the
  // list is dropped down now.
  int drop = 0;
  bool dropped = false;
  // Key codes alerted on the control (event 15 while it has the focus); a
  // platform passes these keys to the engine instead of using them itself.
  std::vector<int> alert_keys;
  // Boxes and regions: frame and fill colour (kDefaultColour: the platform's).
  std::array<uint32_t, 2> colours{kDefaultColour, kDefaultColour};
  // Check boxes, progress bars, spin boxes; sheets: selected tab (1-based).
  int value = 0;
  int upper = 0;
  std::string image;
  // Charts: the bars shown (`selected` is the bar last clicked).
  Chart chart;
};

struct MenuState {
  int number = 0;
  std::string text;
  std::string message;
  bool separator = false;
  bool disabled = false;
  int standard_action = 0;
  std::string shortcut;  // the item's key as the menu shows it ("Ctrl+F"); empty: none
  std::vector<MenuState> items;  // a menu's items; empty for an item
};

struct WindowState {
  WindowId id = 0;
  int slot = 0;  // thread slot of the owning procedure
  std::string label;
  std::string caption;
  Rect at;
  std::optional<FontBlock> font;
  bool frame = false;
  bool child = false;
  bool modal = false;
  // The window's first size is the frame's workspace rather than its
  // designed size: a page viewer, whose pages grow with it.
  bool fill = false;
  int focus = 0;
  int timer = 0;
  bool accept_all = false;
  std::vector<ControlState> controls;
  std::vector<MenuState> menus;
  std::map<int, std::string> status;  // status-bar zones
  // Key codes alerted on the window itself: event 15 whatever has the focus.
  std::vector<int> alert_keys;

  const ControlState* Control(int field) const;
  // The first control with this use name ("textLines", "?Continue"); null when none.
  const ControlState* ControlNamed(std::string_view use) const;
  const MenuState* MenuItem(int number) const;
};

// Input from the user, as the platform saw it. The engine turns it into an
// event on the procedure's thread when the window's loop takes it.
struct Input {
  enum class Type {
    kAccept,     // button pressed, entry completed (text), check toggled, menu item chosen
    kKey,        // a key on `field` (0: the window); key code in `value`, character in `text`
    kSelectRow,  // list row `value` (1-based) chosen
    kSelectTab,  // sheet `field` switched to tab `value` (1-based)
    kScroll,     // list scroll action: event 3-8 in `value`
    kThumb,      // list scroll thumb dropped at `value` (0-100)
    kFocus,      // `field` received the focus
    kClose,      // the window's close box
    kGainFocus,  // the window became the active one again
    kExpand,     // tree list row `value` opened
    kContract,   // tree list row `value` closed
    kListItems,  // the list `field` can show `value` rows
    kDropDown,   // the drop list `field` is opened (events 27, then 28)
    kCloseUp,    // the drop list `field` closed without a choice
  };
  Type type = Type::kAccept;
  int field = 0;
  int value = 0;
  std::string text;
  bool has_text = false;
};

// A caption of its own for one of a message box's buttons ("&Save" on the
// Yes button); the box still answers the button's flag.
struct ButtonCaption {
  int button = 0;
  std::string text;
};

struct MessageRequest {
  std::string text;
  std::string caption;
  Icon icon = Icon::kNone;
  int buttons = button::kOk;
  int default_button = button::kOk;
  WindowId owner = 0;
  std::vector<ButtonCaption> captions;  // replace the standard captions
};

struct FileRequest {
  std::string title;
  std::string file_name;  // initial name
  std::string mask;       // "Text|*.txt|All|*.*"
  bool save = false;
  WindowId owner = 0;
};

// How a print job ended: printed (to a printer, or to the file `file` when
// the printer chosen prints to a file), or not at all.
struct PrintResult {
  bool printed = false;
  std::string file;  // printed to a file: its name; else empty
};

// What the manual should show: the section whose anchor is `topic`
// (help_topic.h), or its search with `search` as the words to look for.
struct HelpRequest {
  std::string topic;
  bool search = false;
  std::string search_text;
  WindowId owner = 0;  // the window the user asked from; 0: the frame
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Window snapshots. Called by the thread that holds the run permission.
  virtual void WindowOpened(const WindowState& state) = 0;
  virtual void WindowChanged(const WindowState& state) = 0;
  virtual void WindowClosed(WindowId id) = 0;

  // Modal interactions: block until the user has answered.
  // Returns the button flag chosen (one of `request.buttons`).
  virtual int ShowMessage(const MessageRequest& request) = 0;
  // Popup menu text as procedures write it ("|Insert|~Change|&Delete");
  // returns the chosen item's number (1-based), 0 when dismissed.
  virtual int ShowPopup(WindowId owner, const std::string& text, int x, int y) = 0;
  // The chosen file name, or nullopt when cancelled.
  virtual std::optional<std::string> ChooseFile(const FileRequest& request) = 0;
  // True when the user confirmed the printer setup.
  virtual bool PrinterSetup(WindowId owner) = 0;

  // True while a modal call of this platform is waiting for the user (and
  // not merely on its way to showing something). Only the thread holding the
  // run permission makes modal calls, so there is at most one. The engine
  // counts a thread in a modal call as idle only while this holds. Called
  // under the engine's lock: it must answer at once, without blocking.
  virtual bool AwaitingUser() const { return true; }

  // A standard action of a menu item (tile, cascade, help, clipboard...),
  // carried out by the platform without waiting.
  virtual void StandardAction(WindowId window, int action) = 0;

  // Report pages (see report.h). The report engine writes each finished
  // page as a page image (a placeable metafile) itself and then tells the
  // platform the page and the image's name (the page model is what tests
  // and a platform that lays pages out again need). PrintPages prints the
  // page images `pages` in order as one job on the printer chosen; not
  // printed when they could not be (nothing is printed then). Called by the
  // thread that holds the run permission.
  virtual void PageFinished(const Page& /*page*/, const std::string& /*image*/) {}
  virtual PrintResult PrintPages(const std::vector<std::string>& /*pages*/) { return {}; }
  // False when a print job would have nowhere to go without asking: no
  // printer was chosen in the printer setup and none is installed as the
  // default, or the last job failed. Callers then offer the printer setup
  // first. Each job starts afresh from the chosen settings, so one that
  // failed never spoils the next.
  virtual bool PrinterReady() { return true; }
  // A remark that needs no answer ("Written to /home/ann/inventory.pdf, 9
  // pages."): shown in the frame's status bar, without waiting.
  virtual void ShowNotice(const std::string& /*text*/) {}
  // What the user's configuration keeps between runs for the program's own
  // use (a tree's open nodes): the value last remembered under `key`, empty
  // when none. A platform that keeps nothing (tests) forgets at once; the
  // headless one keeps values for the run.
  virtual std::string Recall(const std::string& /*key*/) { return {}; }
  virtual void Remember(const std::string& /*key*/, const std::string& /*value*/) {}
  // Opens the manual at what `request` names, without waiting: the user
  // reads it beside the program. A platform without a manual shows nothing.
  virtual void ShowHelp(const HelpRequest& /*request*/) {}
  // Opens the file `file` (relative to the working folder, which is the data
  // folder) in the desktop's viewer for its kind, without waiting. False when
  // the desktop has no way to open it.
  virtual bool OpenDocument(const std::string& /*file*/) { return false; }
  // Writes the page images `pages` in order as the PDF file `file`, one page
  // a sheet: the whole document or nothing (a failure leaves `file` as it
  // was, and a device, pipe or folder of that name is never replaced). False
  // when it could not be written, with `error` (when given) saying why and
  // naming the file; a platform without a way to draw them cannot.
  virtual bool WritePdf(const std::vector<std::string>& /*pages*/, const std::string& /*file*/,
                        std::string* error = nullptr) {
    if (error != nullptr) *error = "PDF files cannot be drawn here";
    return false;
  }
};

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_PLATFORM_H_
