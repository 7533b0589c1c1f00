#include "app/splash/splash.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "app/frame/main_frame.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/file_decl.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/format/format.h"
#include "runtime/text/text_driver.h"
#include "ui/engine/engine.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {
namespace {

// README.TXT is read with LF alone as the end of a line: files written on
// Linux have no CR, and ShownLine drops the CR of those that do.
constexpr char kReadmeDriverText[] = "/ENDOFRECORD=1,10";

// The README table: a text file whose name is held in an 80-character
// variable and whose record is one line.
class ReadmeTable {
 public:
  ReadmeTable()
      : buffer_(kReadmeLineLength + 1, ' '),
        layout_(files::LayoutBuilder().String(0, "REA:LINE", kReadmeLineLength).Finish()) {
    record_ = std::make_unique<files::FileRecord>(
        text::AsciiEntry, name_, -1, uint8_t{0}, kReadmeLineLength, layout_.data(), layout_.size(),
        nullptr, uint8_t{0}, nullptr, uint8_t{0}, buffer_.data());
    record_->driver_text1 = kReadmeDriverText;
  }

  void SetName(std::string_view name) {
    size_t n = std::min(name.size(), sizeof name_ - 1);
    std::memcpy(name_, name.data(), n);
    name_[n] = '\0';
  }
  std::string name() const { return name_; }
  files::FileRecord* get() { return record_.get(); }
  std::string_view Record() const {
    return std::string_view(reinterpret_cast<const char*>(buffer_.data()), kReadmeLineLength);
  }

 private:
  char name_[81] = {};
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> layout_;
  std::unique_ptr<files::FileRecord> record_;
};

class SplashProcedure {
 public:
  void Run();

 private:
  void ShowFile();
  void LoadFile();
  void ReadCycle(ui::Window& progress, int bar, int percent);

  ui::Engine& engine_ = *ui::Engine::Current();
  std::unique_ptr<ui::Window> window_;
  // Controls of the splash window, found by their use names once it exists.
  int banner_ = 0;
  int list_ = 0;
  int continue_ = 0;
  ReadmeTable readme_;
  std::vector<ui::ListRow> text_lines_;
  std::string file_name_;
  std::string last_file_name_;
  uint32_t file_size_ = 0;
  uint32_t bytes_read_ = 0;
  int32_t percent_done_ = 0;
  int32_t bar_value_ = 0;
  std::string user_string_;
  bool load_done_ = false;
};

void SplashProcedure::Run() {
  window_ = engine_.CreateWindow(kSplashWindowId, kSplashLabel);
  banner_ = window_->FieldOf("?Banner");
  list_ = window_->FieldOf("textLines");
  continue_ = window_->FieldOf("?Continue");
  window_->Open();
  bool opened = false;
  while (window_->Accept()) {
    switch (window_->Event()) {
      case ui::event::kOpenWindow:
        if (!opened) {
          opened = true;
          ShowFile();
          window_->Select(banner_);
        }
        break;
      case ui::event::kGainFocus:
        ShowFile();
        break;
      case ui::event::kAccepted:
        if (window_->Field() == continue_) {
          ui::ResponseCode() = ui::response::kCancelled;
          window_->Post(ui::event::kCloseWindow);
        }
        break;
      default:
        break;
    }
  }
  window_->Close();
}

void SplashProcedure::ShowFile() {
  if (window_->GetNumber(0, ui::prop::kAcceptAll) != 0) return;
  file_name_ = kReadmeFileName;
  if (file_name_ != last_file_name_) {
    readme_.SetName(file_name_);
    LoadFile();
    last_file_name_ = file_name_;
  }
  window_->Display();
}

void SplashProcedure::LoadFile() {
  text_lines_.clear();
  window_->SetRows(list_, {});
  if (!text::TextFileEnv()->Exists(readme_.name())) {
    window_->Disable(list_);
    return;
  }
  window_->Enable(list_);
  files::FileRecord* file = readme_.get();
  files::Open(file, files::kModeReadOnly);
  if (files::Errors().Code() != files::kNoError) {
    window_->Disable(list_);
    WarningMessage(MessageId::kFileLoadError, readme_.name());
    return;
  }
  int32_t size = files::Bytes(file);
  file_size_ = size > 0 ? static_cast<uint32_t>(size) : 0;
  if (file_size_ == 0) {
    files::Close(file);
    window_->Disable(list_);
    WarningMessage(MessageId::kFileHasNoText, readme_.name());
    return;
  }

  std::unique_ptr<ui::Window> progress = engine_.CreateWindow(kSplashWindowId, kProgressLabel);
  progress->Bind("barValue", ui::BindLong(&bar_value_));
  progress->Bind("userString", ui::BindText(&user_string_, 80));
  const int bar = progress->FieldOf("barValue");
  const int percent = progress->FieldOf("?PercentDone");
  const int cancel = progress->FieldOf("?Cancel");
  bytes_read_ = 0;
  bar_value_ = 0;
  load_done_ = false;
  progress->Open();
  percent_done_ = 0;
  progress->SetProperty(0, ui::prop::kText, "Reading File");
  progress->SetProperty(percent, ui::prop::kText, "0% Completed");
  user_string_.clear();
  while (progress->Accept()) {
    switch (progress->Event()) {
      case ui::event::kOpenWindow:
        files::SetFile(file);
        break;
      case ui::event::kTimer:
        ReadCycle(*progress, bar, percent);
        break;
      case ui::event::kAccepted:
        if (progress->Field() == cancel &&
            WarningMessage(MessageId::kCancelLoading, readme_.name()) == ui::button::kOk) {
          // What was read so far stays in the list.
          progress->Post(ui::event::kCloseWindow);
        }
        break;
      default:
        break;
    }
  }
  progress->Close();
  files::Close(file);
  window_->SetRows(list_, text_lines_);
}

void SplashProcedure::ReadCycle(ui::Window& progress, int bar, int percent) {
  files::FileRecord* file = readme_.get();
  uint32_t bytes_this_cycle = 0;
  // A cycle that comes after the end (the close is already queued) reads nothing.
  while (!load_done_ && bytes_this_cycle < kBytesPerCycle) {
    files::Next(file);
    if (files::Errors().Code() != files::kNoError) {
      load_done_ = true;
      break;
    }
    int32_t record_bytes = std::max(files::Bytes(file), 0);
    bytes_this_cycle += static_cast<uint32_t>(record_bytes);
    bytes_read_ += static_cast<uint32_t>(record_bytes);
    text_lines_.push_back(ui::ListRow({ShownLine(readme_.Record())}));
  }
  if (percent_done_ < 100) {
    percent_done_ = PercentDone(bytes_read_, file_size_);
    if (percent_done_ != bar_value_) {
      bar_value_ = percent_done_;
      progress.SetProperty(
          percent, ui::prop::kText,
          format::Format(static_cast<double>(percent_done_), "@N3") + "% Completed");
      progress.Display(bar);
      progress.Display(percent);
    }
  }
  if (load_done_) progress.Post(ui::event::kCloseWindow);
}

}  // namespace

int PercentDone(uint32_t bytes_read, uint32_t file_size) {
  if (file_size == 0) return 100;
  uint64_t percent = uint64_t{bytes_read} * 100 / file_size;
  return static_cast<int>(std::min<uint64_t>(percent, 100));
}

std::string ShownLine(std::string_view record) {
  size_t end = record.find_last_not_of(' ');
  if (end == std::string_view::npos) return {};
  if (record[end] == '\r') {
    if (end == 0) return {};
    record = record.substr(0, end);
    end = record.find_last_not_of(' ');
    if (end == std::string_view::npos) return {};
  }
  return std::string(record.substr(0, end + 1));
}

void Splash() {
  int32_t saved_request = ui::RequestCode();
  ui::RequestCode() = 0;
  ui::ResponseCode() = 0;
  {
    SplashProcedure procedure;
    procedure.Run();
  }
  ui::RequestCode() = saved_request;
  ui::ResponseCode() = ui::response::kCancelled;
}

VORSANDT_PROCEDURE(Splash);

}  // namespace vorsandt::app
