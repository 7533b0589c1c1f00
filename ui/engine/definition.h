// Window and report definitions: the structures a procedure opens by label.
//
// A resource (for example ZELTA001_RSC) holds a window id and a chain of
// top-level structures (windows and reports). Each structure is a tree of
// records: a window has controls and a menu bar, a report has bands, a menu
// has items, a sheet has tabs, groups and tabs have controls. Definitions are
// authored as text under resources/ and parsed once by the build (which checks
// them) and again when the program first looks one up.
#ifndef VORSANDT_UI_ENGINE_DEFINITION_H_
#define VORSANDT_UI_ENGINE_DEFINITION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/engine/column_format.h"

namespace vorsandt::ui {

// A position or size that the definition leaves to the engine (default
// placement, natural size).
inline constexpr int32_t kNotGiven = INT32_MIN;  // 0x80000000
// A colour the definition leaves to the platform.
inline constexpr uint32_t kDefaultColour = 0xFFFFFFFF;

// Record kinds; the numbers are the type bytes of the compiled layout.
enum class Kind : uint8_t {
  kVarString = 0x01,  // string showing a variable (reports)
  kString = 0x02,
  kImage = 0x03,
  kRegion = 0x04,
  kLine = 0x05,
  kBox = 0x06,
  kEntry = 0x08,
  kButton = 0x09,
  kPrompt = 0x0a,
  kCheck = 0x0c,
  kGroup = 0x0d,
  kList = 0x0e,
  kSpin = 0x10,
  kTextBox = 0x11,
  kMenu = 0x13,
  kMenuItem = 0x14,
  kMenuBar = 0x16,
  kWindow = 0x19,
  kReport = 0x1a,
  kHeaderBand = 0x1b,
  kFooterBand = 0x1c,
  kGroupBreak = 0x1d,
  kFormBand = 0x1e,
  kDetailBand = 0x1f,
  kProgress = 0x23,
  kSheet = 0x25,
  kTab = 0x26,
  // A bar chart whose bars the procedure supplies (chart.h).
  kChart = 0x40,
};

// The name a definition file uses for `kind` ("window", "list", ...).
std::string_view KindName(Kind kind);
// The kind named `name`; nullopt for an unknown name.
std::optional<Kind> KindFromName(std::string_view name);
// True for the kinds that sit among a window's (or band's) controls and take
// a field number. A tab is not one: it is a page of its sheet.
bool IsControlKind(Kind kind);

// A sheet's tabs have no field number; they are told apart by their place in
// the sheet (1-based, what the sheet's choice answers). Where the engine and
// the platforms need one handle for a tab (its text, its hidden and disabled
// state, the parent of the controls on it) they use a tab id made of the
// sheet's field number and that place, in a range no field number reaches, so
// a tab can never be taken for a control.
inline constexpr int32_t kFirstTabId = 0x40000000;
inline constexpr int kMaxTabs = 255;  // per sheet
// The highest field number a structure may give out, so that tab ids stay
// clear of field numbers and within 32 bits.
inline constexpr int32_t kMaxField = (INT32_MAX - kFirstTabId) / 256 - 1;
constexpr int32_t TabId(int32_t sheet, int index) { return kFirstTabId + sheet * 256 + index; }
constexpr bool IsTabId(int32_t field) { return field >= kFirstTabId; }
constexpr int32_t SheetOfTab(int32_t tab) { return (tab - kFirstTabId) / 256; }
constexpr int TabIndexOf(int32_t tab) { return (tab - kFirstTabId) % 256; }

struct Rect {
  int32_t x = kNotGiven;
  int32_t y = kNotGiven;
  int32_t w = kNotGiven;
  int32_t h = kNotGiven;
};

struct FontBlock {
  std::string name;
  int32_t size = 0;
  uint32_t colour = 0xFFFFFFFF;  // default
  uint32_t weight = 0xFFFFFFFF;  // default; 400 normal, 700 bold
};

// The variable a control displays or edits.
struct UseBlock {
  std::string variable;  // the name the procedure binds (for example "POL:POLICY_REFERENCE")
  uint8_t type = 18;     // field type code (files::FieldType; 18 fixed string, 6 long, ...)
  uint32_t size = 0;     // bytes
  uint32_t extra = 0;
};

struct Node {
  Kind kind = Kind::kString;
  int source_line = 0;  // 1-based line of the definition text, for messages

  // Field number: controls 1, 2, ... in declaration order; menus and items
  // carry their own (negative) numbers, 0 when they have none. Tabs have none
  // (0): see TabId.
  int32_t number = 0;
  Rect at;

  std::string label;  // windows and reports: "PROCEDURE$NAME"
  std::string text;   // caption, button/prompt/string/tab text, menu text
  std::string tip;
  std::string message;          // status-bar message of a menu or item
  std::string picture;          // display picture of entries, strings, spin boxes
  std::string total;            // report variable strings: "sum", "count" or empty
  std::string image;            // image file name
  std::string icon;             // window icon name
  std::string format;           // list column format string, as written
  std::vector<Column> columns;  // parsed `format`
  std::optional<UseBlock> use;
  // A control that shows no variable is named by its field equate, written
  // `use: "?Continue"` in the definition; procedures find it by that name.
  std::string equate;
  std::optional<FontBlock> font;
  // Boxes and regions: frame and fill colour, red in the low byte, green in
  // the second and blue in the third; kDefaultColour leaves the choice to the
  // platform (no fill for a region).
  uint32_t colours[2] = {0xFFFFFFFF, 0xFFFFFFFF};

  bool separator = false;  // menu item drawn as a separator line
  bool disabled = false;
  bool hidden = false;
  bool default_button = false;
  bool mdi_frame = false;  // window: an application frame with child windows
  bool mdi_child = false;  // window: opens inside the frame
  bool modal = false;
  bool fill = false;  // window: opens filling the frame's workspace (a page viewer);
                      // list: its last column takes the room the others leave
  bool paged = false;           // list: rows supplied page by page by the procedure
  bool vscroll = false;         // list: vertical scroll bar
  // Entry: completed at every pause in the typing, not only when left, so
  // that the procedure can answer as the user types (a search box).
  bool immediate = false;
  // Menu item: the key code that chooses it from any window of the frame
  // (0: none), and that key as the menu shows it ("Ctrl+F").
  int32_t shortcut = 0;
  std::string shortcut_text;
  int32_t drop = 0;             // list: a drop list showing this many rows when dropped; 0: plain
  int32_t standard_action = 0;  // menu item / button: action the engine carries out
  int32_t timer = 0;            // window: timer period in hundredths of a second
  int32_t upper = 0;            // spin box / progress bar: upper limit
  std::vector<int32_t> alert_keys;  // key codes turned into event 15 on this control

  // Children: a window's controls, a band's controls, a group's or tab's
  // controls, a sheet's tabs, a menu bar's menus, a menu's items, a report's
  // bands, a group break's nested bands.
  std::vector<Node> children;
  // Window: its menu bar (kind kMenuBar), if any.
  std::unique_ptr<Node> menu_bar;
  // Group break: the use block of the break variable lives in `use`.

  Node() = default;
  Node(const Node& other) { *this = other; }
  Node& operator=(const Node& other);
  Node(Node&&) noexcept = default;
  Node& operator=(Node&&) noexcept = default;
};

// One resource: its name, the window id it begins with and its chain of
// top-level structures in order.
struct Resource {
  std::string name;    // "ZELTA001_RSC"
  std::string id;      // "ZELTAR3$ZELTA001"
  std::string source;  // file the text came from, for messages
  std::vector<Node> structures;

  // The structure labelled `label` (exact match), first in chain order.
  const Node* Find(std::string_view label) const;
};

// A problem in a definition text.
struct DefinitionError {
  std::string source;    // file name
  std::string resource;  // resource name when known
  int line = 0;          // 1-based, 0 when unknown
  std::string message;

  // "file:line: resource: message" - the form the build prints.
  std::string ToString() const;
};

struct ParseResult {
  std::optional<Resource> resource;
  std::optional<DefinitionError> error;
  bool ok() const { return resource.has_value(); }
};

// The name by which a procedure finds a control: its use variable, or its
// field equate when it shows no variable; empty when it has neither.
std::string_view UseName(const Node& control);

// Parses one definition text. Never throws; a malformed text gives an error
// naming the line. `source` names the text in messages.
ParseResult ParseDefinition(std::string_view text, std::string_view source);

// Walks every control of a structure (depth first, declaration order),
// including the contents of groups, sheets, tabs and bands; the tabs
// themselves are not controls and are not visited.
template <typename F>
void ForEachControl(const Node& node, F&& f) {
  for (const Node& child : node.children) {
    if (IsControlKind(child.kind)) f(child);
    ForEachControl(child, f);
  }
}

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_DEFINITION_H_
