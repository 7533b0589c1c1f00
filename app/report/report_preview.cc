#include "app/report/report_preview.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/report/claim_pack.h"
#include "runtime/env/env.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/thread_codes.h"
#include "ui/engine/use_variable.h"

namespace vorsandt::app {
namespace {

enum ViewMode : int { kSingle = 0, kZoomed = 1, kFacing = 2 };

// The status bar's zones the preview writes.
constexpr int kZoneZoom = 2;
constexpr int kZoneMode = 3;
constexpr int kZonePages = 4;
constexpr int kZoneSaved = 1;  // where a PDF went

// Button texts and tips that change with the mode.
struct Caption {
  const char* text;
  const char* tip;
};
constexpr Caption kZoomIn{"&Zoom In!", "Zoom in on a page of this report"};
constexpr Caption kZoomOutToFacing{"&Zoom Out!", "Zoom out to facing page mode"};
constexpr Caption kZoomOutToSingle{"&Zoom Out!", "Zoom out to full page mode"};
constexpr Caption kFacingPages{"&Facing Pages!", "View the report two pages at a time"};
constexpr Caption kSinglePages{"&Single Pages!", "View the report one page at a time"};

class Preview {
 public:
  Preview(const std::vector<std::string>& pages, std::string pdf_name)
      : pages_(pages), count_(static_cast<int>(pages.size())), pdf_name_(std::move(pdf_name)) {}
  void Run();

 private:
  struct Fields {
    int cancel, print, zoom, previous, next, jump, facing;
    int left_frame, left_image, left_region;
    int right_frame, right_image, right_region;
    int single_frame, single_image, single_region;
    int zoomed;
    int save_pdf;
  };

  void FindFields();
  void ShowPages();
  void ShowPage(int frame, int image, int region, int page);
  void HidePage(int frame, int image, int region);
  void Label(int field, const Caption& caption);
  void Status(const std::string& zoom, const std::string& mode, const std::string& pages);
  std::string Page(int n) const {
    return "Page " + std::to_string(n) + " of " + std::to_string(count_);
  }
  const std::string& Image(int n) const { return pages_[static_cast<size_t>(n - 1)]; }
  void Zoom();
  void ToggleFacing();
  void Jump();
  void SavePdf();

  const std::vector<std::string>& pages_;
  const int count_;
  const std::string pdf_name_;
  std::unique_ptr<ui::Window> window_;
  Fields f_{};
  int16_t current_page_ = 1;
  int16_t left_page_ = 0;
  int view_mode_ = kSingle;
  bool facing_before_zoom_ = false;
  int32_t jump_page_ = 0;
};

void Preview::FindFields() {
  ui::Window& w = *window_;
  f_ = {w.FieldOf("?Cancel"),       w.FieldOf("?Print"),       w.FieldOf("?Zoom"),
        w.FieldOf("?PreviousPage"), w.FieldOf("?NextPage"),    w.FieldOf("?Jump"),
        w.FieldOf("?FacingPages"),  w.FieldOf("?LeftFrame"),   w.FieldOf("?LeftPage"),
        w.FieldOf("?LeftRegion"),   w.FieldOf("?RightFrame"),  w.FieldOf("?RightPage"),
        w.FieldOf("?RightRegion"),  w.FieldOf("?SingleFrame"), w.FieldOf("?SinglePage"),
        w.FieldOf("?SingleRegion"), w.FieldOf("?ZoomedPage")};
  f_.save_pdf = w.FieldOf("?SavePdf");
}

void Preview::Label(int field, const Caption& caption) {
  window_->SetProperty(field, ui::prop::kText, caption.text);
  window_->SetProperty(field, ui::prop::kTip, caption.tip);
}

void Preview::Status(const std::string& zoom, const std::string& mode, const std::string& pages) {
  window_->SetProperty(0, ui::prop::kStatusText, zoom, kZoneZoom);
  window_->SetProperty(0, ui::prop::kStatusText, mode, kZoneMode);
  window_->SetProperty(0, ui::prop::kStatusText, pages, kZonePages);
}

void Preview::ShowPage(int frame, int image, int region, int page) {
  window_->Unhide(frame);
  window_->Unhide(image);
  window_->Unhide(region);
  window_->Enable(region);
  window_->SetProperty(image, ui::prop::kText, Image(page));
}

// A page that is not shown is hidden, and its region can no longer be
// clicked.
void Preview::HidePage(int frame, int image, int region) {
  window_->Hide(frame);
  window_->Hide(image);
  window_->Disable(region);
}

void Preview::ShowPages() {
  left_page_ = static_cast<int16_t>(current_page_ - 1);
  ui::Window& w = *window_;
  switch (view_mode_) {
    case kSingle:
      HidePage(f_.left_frame, f_.left_image, f_.left_region);
      HidePage(f_.right_frame, f_.right_image, f_.right_region);
      w.Hide(f_.zoomed);
      ShowPage(f_.single_frame, f_.single_image, f_.single_region, current_page_);
      Status("", "Single Page", Page(current_page_));
      break;
    case kFacing: {
      if (current_page_ % 2 == 0) {
        ++current_page_;
        ++left_page_;
      }
      HidePage(f_.single_frame, f_.single_image, f_.single_region);
      w.Hide(f_.zoomed);
      const bool left = left_page_ != 0;
      const bool right = current_page_ <= count_;
      if (left) {
        ShowPage(f_.left_frame, f_.left_image, f_.left_region, left_page_);
      } else {
        HidePage(f_.left_frame, f_.left_image, f_.left_region);
      }
      if (right) {
        ShowPage(f_.right_frame, f_.right_image, f_.right_region, current_page_);
      } else {
        HidePage(f_.right_frame, f_.right_image, f_.right_region);
      }
      std::string pages = left && right
                              ? "Pages " + std::to_string(left_page_) + " and " +
                                    std::to_string(current_page_) + " of " + std::to_string(count_)
                          : right ? Page(current_page_)
                                  : Page(left_page_);
      Status("", "Facing Pages", pages);
      break;
    }
    case kZoomed:
      HidePage(f_.single_frame, f_.single_image, f_.single_region);
      HidePage(f_.left_frame, f_.left_image, f_.left_region);
      HidePage(f_.right_frame, f_.right_image, f_.right_region);
      w.Unhide(f_.zoomed);
      w.SetProperty(f_.zoomed, ui::prop::kText, Image(current_page_));
      Status("ZOOM", "Single Page", Page(current_page_));
      break;
  }
  if (current_page_ == 1) {
    w.Disable(f_.previous);
  } else {
    w.Enable(f_.previous);
  }
  if (current_page_ >= count_) {
    w.Disable(f_.next);
  } else {
    w.Enable(f_.next);
  }
}

void Preview::Zoom() {
  if (view_mode_ == kZoomed) {
    window_->Enable(f_.facing);
    Label(f_.zoom, kZoomIn);
    view_mode_ = facing_before_zoom_ ? kFacing : kSingle;
  } else {
    facing_before_zoom_ = view_mode_ == kFacing;
    window_->Disable(f_.facing);
    view_mode_ = kZoomed;
    Label(f_.zoom, facing_before_zoom_ ? kZoomOutToFacing : kZoomOutToSingle);
  }
  ShowPages();
}

void Preview::ToggleFacing() {
  if (view_mode_ == kFacing) {
    if (current_page_ > count_) current_page_ = left_page_;
    view_mode_ = kSingle;
    Label(f_.facing, kFacingPages);
  } else {
    if (current_page_ % 2 == 0) ++current_page_;
    view_mode_ = kFacing;
    Label(f_.facing, kSinglePages);
  }
  ShowPages();
}

void Preview::Jump() {
  std::unique_ptr<ui::Window> jump =
      ui::Engine::Current()->CreateWindow(kPreviewWindowId, "REPORTPREVIEW$JUMPWINDOW");
  jump->Bind("jumpPage", ui::BindLong(&jump_page_));
  const int spin = jump->FieldOf("jumpPage");
  const int go = jump->FieldOf("?JumpButton");
  const int cancel = jump->FieldOf("?CancelJump");
  jump_page_ = current_page_ > count_ ? left_page_ : current_page_;
  jump->Open();
  jump->SetProperty(spin, ui::prop::kSpinUpper, count_);
  while (jump->Accept()) {
    if (jump->Accepted() == go) {
      // The spin box keeps the page within 1..N; a typed value is held there too.
      current_page_ = static_cast<int16_t>(std::clamp<int32_t>(jump_page_, 1, count_));
      jump->Post(ui::event::kCloseWindow);
    } else if (jump->Accepted() == cancel) {
      jump->Post(ui::event::kCloseWindow);
    }
  }
  jump->Close();
  ShowPages();
}

// Why `file` cannot be written, found before anything is drawn: a folder
// in its place, or a folder that takes no new file (the temporary the PDF is
// written into first is tried). Empty when it can be tried.
std::string WhyNotWritable(const std::string& file) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) return file + " is a folder";
  const std::string folder = std::filesystem::path(file).parent_path().string();
  const std::string probe = file + ".part";
  env::Env* e = env::Env::Default();
  const bool was_there = e->Exists(probe);
  std::unique_ptr<env::File> handle;
  if (int error = e->Open(probe, env::kOpenCreate, &handle); error != 0) {
    return "the folder " + folder + " cannot be written to (" + std::strerror(error) + ")";
  }
  handle.reset();
  if (!was_there) e->Delete(probe);
  return std::string();
}

// "Save as PDF...": the pages shown, as a PDF file the user names (the save
// dialog starts where a PDF was saved last), written whole or not at all by
// the routine the claim pack and the command line use. Where it went is
// said in the status bar; why it could not be written, in a box.
void Preview::SavePdf() {
  ui::FileRequest request;
  request.title = "Save the Report as PDF";
  request.mask = "PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*";
  request.file_name = pdf_name_;
  request.save = true;
  request.owner = window_->id();
  std::optional<std::string> chosen = ui::Engine::Current()->ChooseFile(request);
  if (!chosen || chosen->empty()) return;
  std::error_code ec;
  std::string file = std::filesystem::absolute(*chosen, ec).lexically_normal().string();
  if (ec) file = *chosen;
  std::string why = WhyNotWritable(file);
  std::string failed;
  if (why.empty() && !WritePagesPdf(pages_, file, &failed)) {
    why = failed.empty() ? "the PDF file could not be written" : failed;
  }
  if (!why.empty()) {
    window_->SetProperty(0, ui::prop::kStatusText, "", kZoneSaved);
    ui::Engine::Current()->Message("The report was not saved as " + file + ": " + why + ".",
                                   "Save as PDF", ui::Icon::kExclamation);
    return;
  }
  window_->SetProperty(0, ui::prop::kStatusText, WrittenNotice(file, pages_.size()), kZoneSaved);
}

void Preview::Run() {
  ui::ResponseCode() = ui::response::kCancelled;
  if (count_ == 0) return;  // nothing to show: the report prints nothing
  window_ = ui::Engine::Current()->CreateWindow(kPreviewWindowId, "REPORTPREVIEW$PREVIEWWINDOW");
  FindFields();
  window_->Open();
  current_page_ = 1;
  view_mode_ = kSingle;
  facing_before_zoom_ = false;
  if (count_ == 1) window_->Disable(f_.facing);
  ShowPages();
  while (window_->Accept()) {
    const int field = window_->Accepted();
    if (field == 0) continue;
    if (field == f_.cancel) {
      window_->Post(ui::event::kCloseWindow);
    } else if (field == f_.print) {
      ui::ResponseCode() = ui::response::kCompleted;
      window_->Post(ui::event::kCloseWindow);
    } else if (field == f_.previous || field == f_.next) {
      const int step = view_mode_ == kFacing ? 2 : 1;
      current_page_ = static_cast<int16_t>(current_page_ + (field == f_.next ? step : -step));
      ShowPages();
    } else if (field == f_.zoom) {
      Zoom();
    } else if (field == f_.facing) {
      ToggleFacing();
    } else if (field == f_.single_region || field == f_.right_region) {
      window_->Post(ui::event::kAccepted, f_.zoom);
    } else if (field == f_.left_region) {
      current_page_ = left_page_;
      window_->Post(ui::event::kAccepted, f_.zoom);
    } else if (field == f_.jump) {
      Jump();
    } else if (field == f_.save_pdf) {
      SavePdf();
    }
  }
  window_->Close();
}

}  // namespace

void ReportPreview(const std::vector<std::string>& page_list, std::string pdf_name) {
  Preview(page_list, std::move(pdf_name)).Run();
}

}  // namespace vorsandt::app
