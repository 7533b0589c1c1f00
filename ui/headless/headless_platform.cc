#include "ui/headless/headless_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "ui/headless/picture_summary.h"

namespace vorsandt::ui::headless {
namespace {

// A button's caption as a script names it: without its mnemonic "&", in any
// case.
bool SameCaption(std::string_view caption, std::string_view named) {
  std::string plain;
  for (char c : caption) {
    if (c != '&') plain.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  std::string want;
  for (char c : named)
    want.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return plain == want;
}

}  // namespace

void HeadlessPlatform::WindowOpened(const WindowState& state) {
  std::lock_guard<std::mutex> lock(mu_);
  windows_[state.id] = state;
  order_.push_back(state.id);
}

void HeadlessPlatform::WindowChanged(const WindowState& state) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = windows_.find(state.id);
  if (it != windows_.end()) it->second = state;
}

void HeadlessPlatform::WindowClosed(WindowId id) {
  std::lock_guard<std::mutex> lock(mu_);
  windows_.erase(id);
  std::erase(order_, id);
}

template <typename T>
T HeadlessPlatform::Wait(std::deque<T>& answers, const char* kind, T cancelled) {
  std::unique_lock<std::mutex> lock(mu_);
  pending_ = kind;
  cv_.wait(lock, [&] { return !answers.empty() || cancel_all_; });
  pending_.clear();
  if (answers.empty()) return cancelled;
  T answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

int HeadlessPlatform::ShowMessage(const MessageRequest& request) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    messages_.push_back(request);
    // A box that only informs is seen and closed; its text stays in the log.
    if (request.buttons == button::kOk && message_answers_.empty()) {
      std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
      return button::kOk;
    }
  }
  int cancel = (request.buttons & button::kCancel) ? button::kCancel
               : (request.buttons & button::kNo)   ? button::kNo
                                                   : request.default_button;
  MessageAnswer given = Wait(message_answers_, "message", MessageAnswer{cancel, {}});
  int answer = given.button;
  if (!given.caption.empty()) {
    answer = 0;
    for (const ButtonCaption& c : request.captions) {
      if (SameCaption(c.text, given.caption)) answer = c.button;
    }
  }
  // An answer the box does not offer counts as its default button.
  return (answer & request.buttons) != 0 ? answer : request.default_button;
}

int HeadlessPlatform::ShowPopup(WindowId, const std::string& text, int, int) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    popups_.push_back(text);
  }
  int answer = Wait(popup_answers_, "popup", 0);
  // Like a real menu: only an item that is there and enabled can be chosen.
  std::vector<bool> enabled = PopupItems(text);
  if (answer < 1 || answer > static_cast<int>(enabled.size()) || !enabled[answer - 1]) return 0;
  return answer;
}

std::vector<bool> PopupItems(std::string_view text) {
  std::vector<bool> items;
  // A leading "|" starts the list; it does not make an empty first item.
  if (!text.empty() && text.front() == '|') text.remove_prefix(1);
  if (text.empty()) return items;
  size_t pos = 0;
  for (;;) {
    size_t bar = text.find('|', pos);
    std::string_view item = text.substr(pos, bar == std::string_view::npos ? text.npos : bar - pos);
    items.push_back(item.empty() || item.front() != '~');
    if (bar == std::string_view::npos) break;
    pos = bar + 1;
  }
  return items;
}

std::optional<std::string> HeadlessPlatform::ChooseFile(const FileRequest&) {
  return Wait(file_answers_, "file", std::optional<std::string>());
}

bool HeadlessPlatform::PrinterSetup(WindowId) {
  PrinterAnswer answer = Wait(printer_answers_, "printer", PrinterAnswer{});
  if (!answer.ok) return false;
  std::lock_guard<std::mutex> lock(mu_);
  printer_chosen_ = true;
  last_job_failed_ = false;
  print_to_pdf_ = answer.pdf;
  return true;
}

void HeadlessPlatform::StandardAction(WindowId window, int action) {
  std::lock_guard<std::mutex> lock(mu_);
  actions_.emplace_back(window, action);
}

void HeadlessPlatform::ShowHelp(const HelpRequest& request) {
  std::string at = request.search ? std::string("search") : request.topic;
  std::fprintf(stderr, "[help] help opened at %s\n", at.c_str());
  std::lock_guard<std::mutex> lock(mu_);
  helps_.push_back(std::move(at));
}

std::vector<std::string> HeadlessPlatform::Helps() const {
  std::lock_guard<std::mutex> lock(mu_);
  return helps_;
}

bool HeadlessPlatform::OpenDocument(const std::string& file) {
  std::fprintf(stderr, "[open] %s\n", file.c_str());
  std::lock_guard<std::mutex> lock(mu_);
  opened_.push_back(file);
  return true;
}

std::vector<std::string> HeadlessPlatform::Opened() const {
  std::lock_guard<std::mutex> lock(mu_);
  return opened_;
}

void HeadlessPlatform::QueueMessageAnswer(int button) {
  std::lock_guard<std::mutex> lock(mu_);
  message_answers_.push_back(MessageAnswer{button, {}});
  pending_.clear();  // busy again until the call has returned
  cv_.notify_all();
}

void HeadlessPlatform::QueueMessageAnswer(std::string caption) {
  std::lock_guard<std::mutex> lock(mu_);
  message_answers_.push_back(MessageAnswer{0, std::move(caption)});
  pending_.clear();  // busy again until the call has returned
  cv_.notify_all();
}

void HeadlessPlatform::QueuePopupAnswer(int item) {
  std::lock_guard<std::mutex> lock(mu_);
  popup_answers_.push_back(item);
  pending_.clear();  // busy again until the call has returned
  cv_.notify_all();
}

void HeadlessPlatform::QueueFileAnswer(std::optional<std::string> file) {
  std::lock_guard<std::mutex> lock(mu_);
  file_answers_.push_back(std::move(file));
  pending_.clear();  // busy again until the call has returned
  cv_.notify_all();
}

void HeadlessPlatform::QueuePrinterAnswer(bool ok, std::string pdf) {
  std::lock_guard<std::mutex> lock(mu_);
  printer_answers_.push_back(PrinterAnswer{ok, std::move(pdf)});
  pending_.clear();  // busy again until the call has returned
  cv_.notify_all();
}

bool HeadlessPlatform::AwaitingUser() const {
  std::lock_guard<std::mutex> lock(mu_);
  return !pending_.empty();
}

std::string HeadlessPlatform::Pending() const {
  std::lock_guard<std::mutex> lock(mu_);
  return pending_;
}

void HeadlessPlatform::CancelAll() {
  std::lock_guard<std::mutex> lock(mu_);
  cancel_all_ = true;
  cv_.notify_all();
}

std::vector<WindowState> HeadlessPlatform::Windows() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<WindowState> out;
  for (WindowId id : order_) out.push_back(windows_.at(id));
  return out;
}

std::optional<WindowState> HeadlessPlatform::Window(WindowId id) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = windows_.find(id);
  if (it == windows_.end()) return std::nullopt;
  return it->second;
}

std::vector<MessageRequest> HeadlessPlatform::Messages() const {
  std::lock_guard<std::mutex> lock(mu_);
  return messages_;
}

std::vector<std::string> HeadlessPlatform::Popups() const {
  std::lock_guard<std::mutex> lock(mu_);
  return popups_;
}

std::vector<std::pair<WindowId, int>> HeadlessPlatform::Actions() const {
  std::lock_guard<std::mutex> lock(mu_);
  return actions_;
}

namespace {

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string RectText(const Rect& r) {
  auto v = [](int32_t n) { return n == kNotGiven ? std::string("default") : std::to_string(n); };
  return "(" + v(r.x) + "," + v(r.y) + "," + v(r.w) + "," + v(r.h) + ")";
}

void DumpMenu(std::ostringstream& out, const MenuState& m, int depth) {
  out << std::string(2 * depth, ' ') << (m.items.empty() && depth > 1 ? "item " : "menu ")
      << m.number << " " << (m.separator ? "separator " : "") << Quote(m.text);
  if (!m.message.empty()) out << " message " << Quote(m.message);
  if (m.standard_action != 0) out << " action " << m.standard_action;
  if (m.disabled) out << " disabled";
  out << "\n";
  for (const MenuState& item : m.items) DumpMenu(out, item, depth + 1);
}

}  // namespace

namespace {

std::string Codes(const std::vector<int>& codes) {
  std::string out;
  for (int code : codes) {
    if (!out.empty()) out += ',';
    out += std::to_string(code);
  }
  return out;
}

// A control by its field number; a tab, which has none, as its sheet's
// field and its place there ("1/2": the second tab of sheet 1).
std::string FieldText(int field) {
  if (!IsTabId(field)) return std::to_string(field);
  return std::to_string(SheetOfTab(field)) + "/" + std::to_string(TabIndexOf(field));
}

std::string Colour(uint32_t colour) {
  if (colour == kDefaultColour) return "default";
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%06X", colour);
  return buffer;
}

}  // namespace

std::string DumpWindow(const WindowState& s) {
  std::ostringstream out;
  out << "window " << Quote(s.label) << " caption " << Quote(s.caption) << " slot " << s.slot
      << " focus " << s.focus;
  if (s.frame) out << " frame";
  if (s.child) out << " child";
  if (s.modal) out << " modal";
  if (s.timer) out << " timer " << s.timer;
  if (s.accept_all) out << " accept-all";
  if (!s.alert_keys.empty()) out << " alert " << Codes(s.alert_keys);
  out << "\n";
  for (const auto& [zone, text] : s.status)
    out << "  status " << zone << " " << Quote(text) << "\n";
  for (const MenuState& m : s.menus) DumpMenu(out, m, 1);
  for (const ControlState& c : s.controls) {
    out << "  " << FieldText(c.field) << " " << KindName(c.kind) << " " << Quote(c.text);
    if (c.kind != Kind::kTab) out << " at " << RectText(c.at);
    if (c.parent) out << " in " << FieldText(c.parent);
    if (c.disabled) out << " disabled";
    if (c.hidden) out << " hidden";
    if (c.default_button) out << " default";
    if (c.kind == Kind::kList) out << " rows " << c.rows.size() << " selected " << c.selected;
    if (c.kind == Kind::kChart) {
      out << " title " << Quote(c.chart.title) << " bars " << c.chart.bars.size() << " selected "
          << c.selected;
    }
    if (c.kind == Kind::kList && c.paged) {
      out << " items " << c.items << " thumb " << c.thumb << (c.vscroll ? " scrollbar" : "");
    }
    if (c.drop > 0) out << " drop " << c.drop << (c.dropped ? " dropped" : "");
    if (!c.alert_keys.empty()) out << " alert " << Codes(c.alert_keys);
    if ((c.kind == Kind::kBox || c.kind == Kind::kRegion) &&
        (c.colours[0] != kDefaultColour || c.colours[1] != kDefaultColour)) {
      out << " colours " << Colour(c.colours[0]) << " " << Colour(c.colours[1]);
    }
    if (c.kind == Kind::kImage) out << " picture " << Quote(PictureSummary(c));
    if (c.kind == Kind::kSheet || c.kind == Kind::kCheck || c.kind == Kind::kProgress)
      out << " value " << c.value;
    out << "\n";
    for (size_t i = 0; i < c.rows.size(); ++i) {
      out << "    " << (i + 1) << ":";
      if (c.rows[i].level != 0) out << " [" << c.rows[i].level << "]";
      for (size_t k = 0; k < c.rows[i].cells.size(); ++k)
        out << (k ? " | " : " ") << c.rows[i].cells[k];
      out << "\n";
    }
    for (size_t i = 0; i < c.chart.bars.size(); ++i) {
      const ChartBar& bar = c.chart.bars[i];
      out << "    " << (i + 1) << ": " << bar.label << " | " << bar.value_text;
      if (bar.mark >= 0) out << " | " << c.chart.mark_name << " " << bar.mark_text;
      out << "\n";
    }
  }
  return out.str();
}

std::string HeadlessPlatform::Recall(const std::string& key) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = settings_.find(key);
  return it != settings_.end() ? it->second : std::string();
}

void HeadlessPlatform::Remember(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(mu_);
  settings_[key] = value;
}

}  // namespace vorsandt::ui::headless
