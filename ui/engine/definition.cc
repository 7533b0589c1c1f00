#include "ui/engine/definition.h"

// yaml-cpp's node templates trip g++ 12's dangling-pointer analysis when
// instantiated here (a known false positive of that compiler version).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#include <yaml-cpp/yaml.h>

#include <array>
#include <cctype>
#include <charconv>
#include <map>
#include <set>

#include "runtime/files/field_codec.h"
#include "ui/engine/events.h"

namespace vorsandt::ui {
namespace {

struct KindEntry {
  Kind kind;
  std::string_view name;
};

constexpr std::array<KindEntry, 28> kKinds = {{
    {Kind::kVarString, "value"},   {Kind::kString, "string"},     {Kind::kImage, "image"},
    {Kind::kRegion, "region"},     {Kind::kLine, "line"},         {Kind::kBox, "box"},
    {Kind::kEntry, "entry"},       {Kind::kButton, "button"},     {Kind::kPrompt, "prompt"},
    {Kind::kCheck, "check"},       {Kind::kGroup, "group"},       {Kind::kList, "list"},
    {Kind::kSpin, "spin"},         {Kind::kTextBox, "textbox"},   {Kind::kMenu, "menu"},
    {Kind::kMenuItem, "item"},     {Kind::kMenuBar, "menubar"},   {Kind::kWindow, "window"},
    {Kind::kReport, "report"},     {Kind::kHeaderBand, "header"}, {Kind::kFooterBand, "footer"},
    {Kind::kGroupBreak, "break"},  {Kind::kFormBand, "form"},     {Kind::kDetailBand, "detail"},
    {Kind::kProgress, "progress"}, {Kind::kSheet, "sheet"},       {Kind::kTab, "tab"},
    {Kind::kChart, "chart"},
}};

// Nesting deeper than this is a malformed definition, not a real window.
constexpr int kMaxDepth = 32;
// Rows a drop list shows when the definition says only that it drops down.
constexpr int32_t kDefaultDropRows = 8;

// The key code of a menu shortcut written "Ctrl+F" (any case), 0 for a text
// of another form.
int ShortcutCode(std::string_view text) {
  constexpr std::string_view kCtrl = "ctrl+";
  if (text.size() != kCtrl.size() + 1) return 0;
  for (size_t i = 0; i < kCtrl.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != kCtrl[i]) return 0;
  }
  const int letter = std::toupper(static_cast<unsigned char>(text.back()));
  return letter >= 'A' && letter <= 'Z' ? key::kCtrl + letter : 0;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

struct Failure {
  int line;
  std::string message;
};

int LineOf(const YAML::Node& node) { return node.Mark().line + 1; }

class Loader {
 public:
  explicit Loader(std::string_view source) : source_(source) {}

  // resource := map { "resource": name, "id": window-id, "structures": [structure...] }
  bool LoadResource(const YAML::Node& root, Resource& out) {
    if (!root.IsMap())
      return Fail(LineOf(root), "a definition is a map with resource, id and structures");
    for (auto it = root.begin(); it != root.end(); ++it) {
      std::string key = it->first.as<std::string>();
      if (key != "resource" && key != "id" && key != "structures") {
        return Fail(LineOf(it->first), "unknown key \"" + key + "\"");
      }
    }
    if (!Text(root, "resource", out.name, true)) return false;
    resource_ = out.name;
    if (Upper(out.name).size() < 5 ||
        Upper(out.name).substr(Upper(out.name).size() - 4) != "_RSC") {
      return Fail(LineOf(root["resource"]), "resource name must end in _RSC");
    }
    if (!Text(root, "id", out.id, true)) return false;
    if (out.id.find('$') == std::string::npos) {
      return Fail(LineOf(root["id"]), "window id \"" + out.id + "\" has no \"$\"");
    }
    YAML::Node list = root["structures"];
    if (!list || !list.IsSequence() || list.size() == 0) {
      return Fail(LineOf(root), "structures: expected a list of windows and reports");
    }
    std::set<std::string> labels;
    for (const YAML::Node& item : list) {
      Node node;
      if (!LoadNode(item, node, 0)) return false;
      if (node.kind != Kind::kWindow && node.kind != Kind::kReport) {
        return Fail(node.source_line, "a top-level structure must be a window or a report, not " +
                                          std::string(KindName(node.kind)));
      }
      if (!labels.insert(node.label).second) {
        return Fail(node.source_line, "label \"" + node.label + "\" is defined twice");
      }
      if (!Number(node)) return false;
      if (!EquatesUnique(node)) return false;
      out.structures.push_back(std::move(node));
    }
    return true;
  }

  Failure failure() const { return failure_; }
  const std::string& resource() const { return resource_; }

 private:
  bool Fail(int line, std::string message) {
    failure_ = {line, std::move(message)};
    return false;
  }

  bool Text(const YAML::Node& map, const char* key, std::string& out, bool required) {
    YAML::Node value = map[key];
    if (!value || value.IsNull()) {
      if (required) return Fail(LineOf(map), std::string("missing ") + key);
      return true;
    }
    if (!value.IsScalar()) return Fail(LineOf(value), std::string(key) + ": expected a text");
    out = value.as<std::string>();
    if (required && out.empty()) return Fail(LineOf(value), std::string(key) + " is empty");
    return true;
  }

  bool Int(const YAML::Node& value, const std::string& key, int64_t& out, int64_t lo, int64_t hi) {
    if (!value.IsScalar()) return Fail(LineOf(value), key + ": expected a number");
    std::string s = value.as<std::string>();
    const char* first = s.data();
    const char* last = s.data() + s.size();
    bool negative = false;
    if (first < last && *first == '-') {
      negative = true;
      ++first;
    }
    int base = 10;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
      base = 16;
      first += 2;
    }
    uint64_t magnitude = 0;
    auto [ptr, ec] = std::from_chars(first, last, magnitude, base);
    if (ec != std::errc() || ptr != last || first == last) {
      return Fail(LineOf(value), key + ": \"" + s + "\" is not a number");
    }
    if (magnitude > static_cast<uint64_t>(INT64_MAX))
      return Fail(LineOf(value), key + ": number out of range");
    out = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (out < lo || out > hi) {
      return Fail(LineOf(value), key + ": " + s + " is out of range");
    }
    return true;
  }

  bool Int32(const YAML::Node& value, const std::string& key, int32_t& out) {
    int64_t v = 0;
    if (!Int(value, key, v, INT32_MIN + 1LL, INT32_MAX)) return false;
    out = static_cast<int32_t>(v);
    return true;
  }

  bool Bool(const YAML::Node& value, const std::string& key, bool& out) {
    if (!value.IsScalar()) return Fail(LineOf(value), key + ": expected true or false");
    std::string s = value.as<std::string>();
    if (s == "true" || s == "yes") {
      out = true;
    } else if (s == "false" || s == "no") {
      out = false;
    } else {
      return Fail(LineOf(value), key + ": expected true or false, not \"" + s + "\"");
    }
    return true;
  }

  // A coordinate: a number, or "default" for a value the engine chooses.
  bool Coordinate(const YAML::Node& value, int32_t& out) {
    if (value.IsScalar() && value.as<std::string>() == "default") {
      out = kNotGiven;
      return true;
    }
    return Int32(value, "at", out);
  }

  // at := "[" x "," y "," w "," h "]"
  bool At(const YAML::Node& value, Rect& rect) {
    if (!value.IsSequence() || value.size() != 4) {
      return Fail(LineOf(value), "at: expected [x, y, width, height]");
    }
    return Coordinate(value[0], rect.x) && Coordinate(value[1], rect.y) &&
           Coordinate(value[2], rect.w) && Coordinate(value[3], rect.h);
  }

  // font := { name, size [, colour] [, weight] }
  bool Font(const YAML::Node& value, FontBlock& font) {
    if (!value.IsMap()) return Fail(LineOf(value), "font: expected {name, size}");
    for (auto it = value.begin(); it != value.end(); ++it) {
      std::string key = it->first.as<std::string>();
      int64_t v = 0;
      if (key == "name") {
        if (!it->second.IsScalar()) return Fail(LineOf(it->second), "font name: expected a text");
        font.name = it->second.as<std::string>();
      } else if (key == "size") {
        if (!Int(it->second, "font size", v, 1, 1000)) return false;
        font.size = static_cast<int32_t>(v);
      } else if (key == "colour" || key == "weight") {
        if (!Int(it->second, "font " + key, v, 0, 0xFFFFFFFFLL)) return false;
        (key == "colour" ? font.colour : font.weight) = static_cast<uint32_t>(v);
      } else {
        return Fail(LineOf(it->first), "font: unknown key \"" + key + "\"");
      }
    }
    if (font.name.empty()) return Fail(LineOf(value), "font: missing name");
    return true;
  }

  // use := variable-name | { variable, type, size [, extra] }
  bool Use(const YAML::Node& value, UseBlock& use) {
    if (value.IsScalar()) {
      use.variable = value.as<std::string>();
      if (use.variable.empty()) return Fail(LineOf(value), "use: empty variable name");
      return true;
    }
    if (!value.IsMap())
      return Fail(LineOf(value), "use: expected a variable name or {variable, type, size}");
    for (auto it = value.begin(); it != value.end(); ++it) {
      std::string key = it->first.as<std::string>();
      int64_t v = 0;
      if (key == "variable") {
        use.variable = it->second.as<std::string>();
      } else if (key == "type") {
        std::string type = it->second.as<std::string>();
        std::optional<uint8_t> code = files::TypeFromName(type);
        if (!code || type.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos)
          return Fail(LineOf(it->second), "use: unknown field type \"" + type + "\"");
        use.type = *code;
      } else if (key == "size" || key == "extra") {
        if (!Int(it->second, "use " + key, v, 0, 0xFFFFFFFFLL)) return false;
        (key == "size" ? use.size : use.extra) = static_cast<uint32_t>(v);
      } else {
        return Fail(LineOf(it->first), "use: unknown key \"" + key + "\"");
      }
    }
    if (use.variable.empty()) return Fail(LineOf(value), "use: missing variable");
    return true;
  }

  // Which child lists a kind may have, and what may stand in them.
  static bool ChildAllowed(Kind parent, const std::string& list, Kind child) {
    if (list == "controls") {
      bool holder = parent == Kind::kWindow || parent == Kind::kGroup || parent == Kind::kTab ||
                    parent == Kind::kHeaderBand || parent == Kind::kDetailBand ||
                    parent == Kind::kFooterBand || parent == Kind::kFormBand;
      return holder && IsControlKind(child);
    }
    if (list == "tabs") return parent == Kind::kSheet && child == Kind::kTab;
    if (list == "items")
      return parent == Kind::kMenu && (child == Kind::kMenuItem || child == Kind::kMenu);
    if (list == "menubar") return parent == Kind::kWindow && child == Kind::kMenu;
    if (list == "bands") {
      bool band = child == Kind::kHeaderBand || child == Kind::kDetailBand ||
                  child == Kind::kFooterBand || child == Kind::kFormBand ||
                  child == Kind::kGroupBreak;
      return (parent == Kind::kReport || parent == Kind::kGroupBreak) && band;
    }
    return false;
  }

  // node := map { kind-name: main-value, attribute: value ... }
  bool LoadNode(const YAML::Node& item, Node& node, int depth) {
    if (depth > kMaxDepth) return Fail(LineOf(item), "definition nested too deeply");
    if (!item.IsMap()) return Fail(LineOf(item), "expected a record such as \"- button: text\"");
    node.source_line = LineOf(item);
    std::string kind_name;
    if (!LoadKind(item, node, &kind_name)) return false;
    for (auto it = std::next(item.begin()); it != item.end(); ++it) {
      std::string key = it->first.as<std::string>();
      // Copies: it->first and it->second die with the proxy.
      const YAML::Node key_node = it->first;
      const YAML::Node value = it->second;
      Attribute a = TextAttribute(key, value, node);
      if (a == Attribute::kUnknown) a = NumberAttribute(key, key_node, value, node);
      if (a == Attribute::kFailed) return false;
      if (a == Attribute::kLoaded) continue;
      if (key == "controls" || key == "tabs" || key == "items" || key == "menubar" ||
          key == "bands") {
        if (!LoadChildren(key, value, node, depth)) return false;
      } else {
        return Fail(LineOf(key_node), "unknown key \"" + key + "\" in " + kind_name);
      }
    }
    return CheckNode(node);
  }

  // The record's kind (its first key) and main text (that key's value).
  bool LoadKind(const YAML::Node& item, Node& node, std::string* kind_name_out) {
    // The first key names the kind; its value is the record's main text.
    auto first = item.begin();
    std::string& kind_name = *kind_name_out;
    kind_name = first->first.as<std::string>();
    YAML::Node main = first->second;
    bool separator = kind_name == "separator";
    std::optional<Kind> kind =
        separator ? std::optional<Kind>(Kind::kMenuItem) : KindFromName(kind_name);
    if (!kind || *kind == Kind::kMenuBar) {
      return Fail(LineOf(first->first), "unknown control kind \"" + kind_name + "\"");
    }
    node.kind = *kind;
    node.separator = separator;
    std::string main_text;
    if (main && !main.IsNull()) {
      if (!main.IsScalar()) return Fail(LineOf(main), kind_name + ": expected a text");
      main_text = main.as<std::string>();
    }
    switch (node.kind) {
      case Kind::kWindow:
      case Kind::kReport:
        if (main_text.empty()) return Fail(node.source_line, kind_name + ": missing label");
        if (main_text.find('$') == std::string::npos) {
          return Fail(node.source_line,
                      "label \"" + main_text + "\" is not of the form PROCEDURE$NAME");
        }
        node.label = main_text;
        break;
      case Kind::kImage:
        node.image = main_text;
        break;
      case Kind::kList:
        node.format = main_text;
        break;
      case Kind::kEntry:
      case Kind::kVarString:
      case Kind::kTextBox:
      case Kind::kSpin:
        if (!main_text.empty()) node.use = UseBlock{main_text, 18, 0, 0};
        break;
      default:
        node.text = main_text;
        break;
    }

    return true;
  }

  enum class Attribute { kLoaded, kFailed, kUnknown };
  Attribute Failed(int line, std::string message) {
    Fail(line, std::move(message));
    return Attribute::kFailed;
  }

  // Attributes of text, place, look and the use block.
  Attribute TextAttribute(const std::string& key, const YAML::Node& value, Node& node) {
    if (key == "at") {
      if (!At(value, node.at)) return Attribute::kFailed;
    } else if (key == "text" || key == "caption") {
      if (!value.IsScalar()) return Failed(LineOf(value), key + ": expected a text");
      node.text = value.as<std::string>();
    } else if (key == "tip" || key == "message" || key == "picture" || key == "icon" ||
               key == "file") {
      if (!value.IsScalar()) return Failed(LineOf(value), key + ": expected a text");
      std::string s = value.as<std::string>();
      if (key == "tip") node.tip = s;
      if (key == "message") node.message = s;
      if (key == "picture") node.picture = s;
      if (key == "icon") node.icon = s;
      if (key == "file") node.image = s;
    } else if (key == "total") {
      // Report variable strings: "sum" or "count" of the variable over
      // the detail bands printed (report.h says over which).
      std::string s = value.IsScalar() ? value.as<std::string>() : std::string();
      if (s != "sum" && s != "count") return Failed(LineOf(value), "total: expected sum or count");
      node.total = s;
    } else if (key == "format") {
      node.format = value.as<std::string>();
    } else if (key == "use" && value.IsScalar() && value.as<std::string>().rfind('?', 0) == 0) {
      node.equate = value.as<std::string>();
      if (node.equate.size() < 2) return Failed(LineOf(value), "use: empty field equate");
    } else if (key == "use") {
      UseBlock use;
      if (!Use(value, use)) return Attribute::kFailed;
      node.use = use;
    } else if (key == "font") {
      FontBlock font;
      if (!Font(value, font)) return Attribute::kFailed;
      node.font = font;
    } else if (key == "colours") {
      if (!value.IsSequence() || value.size() != 2)
        return Failed(LineOf(value), "colours: expected [a, b]");
      for (int i = 0; i < 2; ++i) {
        int64_t v = 0;
        if (!Int(value[i], "colours", v, 0, 0xFFFFFFFFLL)) return Attribute::kFailed;
        node.colours[i] = static_cast<uint32_t>(v);
      }
    } else {
      return Attribute::kUnknown;
    }
    return Attribute::kLoaded;
  }

  // Flags and numbers.
  Attribute NumberAttribute(const std::string& key, const YAML::Node& key_node,
                            const YAML::Node& value, Node& node) {
    int32_t n = 0;
    if (key == "disabled" || key == "hidden" || key == "default" || key == "frame" ||
        key == "child" || key == "modal" || key == "paged" || key == "vscroll" || key == "fill" ||
        key == "immediate") {
      bool b = false;
      if (!Bool(value, key, b)) return Attribute::kFailed;
      if (key == "disabled") node.disabled = b;
      if (key == "hidden") node.hidden = b;
      if (key == "default") node.default_button = b;
      if (key == "frame") node.mdi_frame = b;
      if (key == "child") node.mdi_child = b;
      if (key == "modal") node.modal = b;
      if (key == "fill") node.fill = b;
      if (key == "paged") node.paged = b;
      if (key == "vscroll") node.vscroll = b;
      if (key == "immediate") node.immediate = b;
    } else if (key == "shortcut") {
      // shortcut := "Ctrl+" letter
      if (node.kind != Kind::kMenuItem) return Failed(LineOf(key_node), "shortcut: only a menu item");
      std::string s = value.IsScalar() ? value.as<std::string>() : std::string();
      int code = ShortcutCode(s);
      if (code == 0) return Failed(LineOf(value), "shortcut: expected Ctrl+ and a letter");
      node.shortcut = code;
      node.shortcut_text = s;
    } else if (key == "number") {
      if (node.kind != Kind::kMenu && node.kind != Kind::kMenuItem) {
        return Failed(LineOf(key_node), "number: controls are numbered in declaration order");
      }
      if (!Int32(value, key, n)) return Attribute::kFailed;
      if (n > 0) return Failed(LineOf(value), "number: menu numbers are negative");
      node.number = n;
    } else if (key == "action" || key == "timer" || key == "upper") {
      if (!Int32(value, key, n)) return Attribute::kFailed;
      if (n < 0) return Failed(LineOf(value), key + ": must not be negative");
      if (key == "action") node.standard_action = n;
      if (key == "timer") node.timer = n;
      if (key == "upper") node.upper = n;
    } else if (key == "drop") {
      // drop := rows | true   (true: eight rows, a drop list's usual depth)
      if (node.kind != Kind::kList) {
        return Failed(LineOf(key_node), "drop: only a list can drop down");
      }
      if (value.IsScalar() &&
          (value.as<std::string>() == "true" || value.as<std::string>() == "yes")) {
        node.drop = kDefaultDropRows;
      } else {
        if (!Int32(value, key, n)) return Attribute::kFailed;
        if (n < 1 || n > 255) return Failed(LineOf(value), "drop: rows from 1 to 255, or true");
        node.drop = n;
      }
    } else if (key == "alert") {
      if (!value.IsSequence() || value.size() > 255)
        return Failed(LineOf(value), "alert: expected a list of key codes");
      for (const YAML::Node& code : value) {
        if (!Int32(code, "alert", n)) return Attribute::kFailed;
        node.alert_keys.push_back(n);
      }
    } else {
      return Attribute::kUnknown;
    }
    return Attribute::kLoaded;
  }

  // A child list (controls, tabs, items, menubar, bands).
  bool LoadChildren(const std::string& key, const YAML::Node& value, Node& node, int depth) {
    if (!value.IsSequence()) return Fail(LineOf(value), key + ": expected a list");
    std::vector<Node> children;
    for (const YAML::Node& child_item : value) {
      Node child;
      if (!LoadNode(child_item, child, depth + 1)) return false;
      if (!ChildAllowed(node.kind, key, child.kind)) {
        return Fail(child.source_line, std::string(KindName(child.kind)) + " cannot stand in the " +
                                           key + " of a " + std::string(KindName(node.kind)));
      }
      children.push_back(std::move(child));
    }
    if (key == "tabs" && children.size() > static_cast<size_t>(kMaxTabs)) {
      return Fail(LineOf(value), "tabs: a sheet holds at most " + std::to_string(kMaxTabs));
    }
    if (key == "menubar") {
      node.menu_bar = std::make_unique<Node>();
      node.menu_bar->kind = Kind::kMenuBar;
      node.menu_bar->source_line = LineOf(value);
      node.menu_bar->children = std::move(children);
    } else {
      for (Node& c : children) node.children.push_back(std::move(c));
    }
    return true;
  }

  // What a finished record must have: a list its column format, a group
  // break its use block.
  bool CheckNode(Node& node) {
    if (node.kind == Kind::kList) {
      if (node.format.empty()) return Fail(node.source_line, "list: missing column format string");
      ColumnFormatResult parsed = ParseColumnFormat(node.format);
      if (!parsed.ok) {
        return Fail(node.source_line,
                    "broken column format string \"" + node.format + "\" at character " +
                        std::to_string(parsed.error_offset + 1) + ": " + parsed.error);
      }
      node.columns = std::move(parsed.columns);
    }
    if (node.kind == Kind::kGroupBreak && !node.use) {
      return Fail(node.source_line, "break: missing use block of the break variable");
    }
    return true;
  }

  // A field equate names one control of its structure: two would leave the
  // procedure's lookup to chance.
  bool EquatesUnique(const Node& structure) {
    std::set<std::string> seen;
    const Node* twice = nullptr;
    ForEachControl(structure, [&](const Node& c) {
      if (!c.equate.empty() && !seen.insert(c.equate).second && twice == nullptr) twice = &c;
    });
    if (twice == nullptr) return true;
    return Fail(twice->source_line,
                "field equate \"" + twice->equate + "\" is used twice in " + structure.label);
  }

  // Controls are numbered 1, 2, ... in declaration order, depth first. Tabs
  // are passed over (a sheet's tabs are its pages, not fields), but the
  // controls on them are numbered where they stand.
  bool Number(Node& structure) {
    int32_t next = 1;
    NumberChildren(structure, next);
    if (next - 1 <= kMaxField) return true;
    return Fail(structure.source_line,
                structure.label + " has more than " + std::to_string(kMaxField) + " controls");
  }
  static void NumberChildren(Node& node, int32_t& next) {
    for (Node& child : node.children) {
      if (IsControlKind(child.kind) && next <= kMaxField + 1) child.number = next++;
      NumberChildren(child, next);
    }
  }

  std::string source_;
  std::string resource_;
  Failure failure_{0, ""};
};

// The resource name from a text that does not parse, so that even a syntax
// error names its resource: the value of a top-level "resource:" line.
std::string ResourceLine(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (line.rfind("resource:", 0) == 0) {
      line.remove_prefix(9);
      while (!line.empty() && (line.front() == ' ' || line.front() == '"')) line.remove_prefix(1);
      while (!line.empty() && (line.back() == ' ' || line.back() == '"' || line.back() == '\r'))
        line.remove_suffix(1);
      return std::string(line);
    }
    pos = end + 1;
  }
  return {};
}

}  // namespace

std::string_view KindName(Kind kind) {
  for (const KindEntry& e : kKinds) {
    if (e.kind == kind) return e.name;
  }
  return "?";
}

std::optional<Kind> KindFromName(std::string_view name) {
  for (const KindEntry& e : kKinds) {
    if (e.name == name) return e.kind;
  }
  return std::nullopt;
}

bool IsControlKind(Kind kind) {
  switch (kind) {
    case Kind::kMenu:
    case Kind::kMenuItem:
    case Kind::kMenuBar:
    case Kind::kWindow:
    case Kind::kReport:
    case Kind::kHeaderBand:
    case Kind::kFooterBand:
    case Kind::kGroupBreak:
    case Kind::kFormBand:
    case Kind::kDetailBand:
    case Kind::kTab:
      return false;
    default:
      return true;
  }
}

Node& Node::operator=(const Node& other) {
  if (this == &other) return *this;
  kind = other.kind;
  source_line = other.source_line;
  number = other.number;
  at = other.at;
  label = other.label;
  text = other.text;
  tip = other.tip;
  message = other.message;
  picture = other.picture;
  total = other.total;
  image = other.image;
  icon = other.icon;
  format = other.format;
  columns = other.columns;
  use = other.use;
  equate = other.equate;
  font = other.font;
  colours[0] = other.colours[0];
  colours[1] = other.colours[1];
  separator = other.separator;
  disabled = other.disabled;
  hidden = other.hidden;
  default_button = other.default_button;
  mdi_frame = other.mdi_frame;
  mdi_child = other.mdi_child;
  modal = other.modal;
  fill = other.fill;
  paged = other.paged;
  vscroll = other.vscroll;
  immediate = other.immediate;
  shortcut = other.shortcut;
  shortcut_text = other.shortcut_text;
  drop = other.drop;
  standard_action = other.standard_action;
  timer = other.timer;
  upper = other.upper;
  alert_keys = other.alert_keys;
  children = other.children;
  menu_bar = other.menu_bar ? std::make_unique<Node>(*other.menu_bar) : nullptr;
  return *this;
}

std::string_view UseName(const Node& control) {
  return control.use ? std::string_view(control.use->variable) : std::string_view(control.equate);
}

const Node* Resource::Find(std::string_view label) const {
  for (const Node& s : structures) {
    if (s.label == label) return &s;
  }
  return nullptr;
}

std::string DefinitionError::ToString() const {
  std::string out = source;
  if (line > 0) {
    out.append(":");
    out.append(std::to_string(line));
  }
  out.append(": ");
  if (!resource.empty()) {
    out.append(resource);
    out.append(": ");
  }
  out.append(message);
  return out;
}

ParseResult ParseDefinition(std::string_view text, std::string_view source) {
  ParseResult result;
  Loader loader(source);
  try {
    YAML::Node root = YAML::Load(std::string(text));
    Resource resource;
    resource.source = std::string(source);
    if (loader.LoadResource(root, resource)) {
      result.resource = std::move(resource);
      return result;
    }
    Failure f = loader.failure();
    result.error = DefinitionError{std::string(source), loader.resource(), f.line, f.message};
  } catch (const YAML::Exception& e) {
    // Syntax errors of the text itself; the mark carries the line.
    std::string resource = loader.resource().empty() ? ResourceLine(text) : loader.resource();
    result.error = DefinitionError{std::string(source), resource, e.mark.line + 1, e.msg};
  } catch (const std::exception& e) {
    result.error = DefinitionError{std::string(source), loader.resource(), 0, e.what()};
  }
  return result;
}

}  // namespace vorsandt::ui

#pragma GCC diagnostic pop
