// A platform without a display: keeps the last snapshot of every window and
// answers modal calls from answers a script queued.
//
// Message boxes with only an OK button are answered at once (and logged);
// any other box, popup menu, file or printer dialog takes the next queued
// answer of its kind, and when there is none it stays pending until one is
// queued (AnswerPending tells a script what is waiting).
#ifndef VORSANDT_UI_HEADLESS_HEADLESS_PLATFORM_H_
#define VORSANDT_UI_HEADLESS_HEADLESS_PLATFORM_H_

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/engine/platform.h"

namespace vorsandt::ui::headless {

class HeadlessPlatform : public Platform {
 public:
  // Platform.
  void WindowOpened(const WindowState& state) override;
  void WindowChanged(const WindowState& state) override;
  void WindowClosed(WindowId id) override;
  int ShowMessage(const MessageRequest& request) override;
  int ShowPopup(WindowId owner, const std::string& text, int x, int y) override;
  std::optional<std::string> ChooseFile(const FileRequest& request) override;
  bool PrinterSetup(WindowId owner) override;
  void StandardAction(WindowId window, int action) override;
  bool AwaitingUser() const override;
  // Report pages (report_pages.cc): printing plays every page image of the
  // job (a job with one that does not play prints nothing) and records the
  // job and the listing of each printed page (images/metafile_listing.h),
  // also appended to the file VORSANDT_HEADLESS_PRINTS names. With
  // VORSANDT_HEADLESS_NO_PRINTER set, no printer is installed and every job
  // for a printer fails. A printer setup answered with a PDF file prints
  // every later job into that file through the PDF writer, as a print to
  // file does. The printer is ready when one was chosen in the setup or
  // one is installed, unless the last job failed.
  PrintResult PrintPages(const std::vector<std::string>& pages) override;
  bool PrinterReady() override;
  // Remarks are kept (Notices) and written to standard error.
  void ShowNotice(const std::string& text) override;
  std::vector<std::string> Notices() const;
  // The user's configuration, kept for the run only: every run starts as a
  // new user's would.
  std::string Recall(const std::string& key) override;
  void Remember(const std::string& key, const std::string& value) override;
  // The manual is opened in the transcript: "[help] help opened at TOPIC"
  // (the section's anchor, or "search" for the search). Helps lists what
  // was opened, in order.
  void ShowHelp(const HelpRequest& request) override;
  std::vector<std::string> Helps() const;
  // A document is opened in the transcript: "[open] FILE". Opened lists the
  // files, in order.
  bool OpenDocument(const std::string& file) override;
  std::vector<std::string> Opened() const;
  std::vector<std::vector<std::string>> PrintJobs() const;
  std::vector<std::string> PrintedPages() const;
  // Without a printer every job fails, as when none is installed.
  void SetPrinterPresent(bool present);
  // PDF files are written by `writer` (the program gives it the toolkit's
  // offscreen drawing), which says why it failed in its third argument;
  // without one every PDF fails.
  using PdfWriter =
      std::function<bool(const std::vector<std::string>&, const std::string&, std::string*)>;
  void SetPdfWriter(PdfWriter writer);
  bool WritePdf(const std::vector<std::string>& pages, const std::string& file,
                std::string* error = nullptr) override;

  // Script side.
  void QueueMessageAnswer(int button);
  // The answer is the button whose caption (without "&", any case) is
  // `caption`; a box without such a button answers its default.
  void QueueMessageAnswer(std::string caption);
  void QueuePopupAnswer(int item);
  void QueueFileAnswer(std::optional<std::string> file);
  // The next printer setup is confirmed (`ok`), with printing to the PDF
  // file `pdf` when one is named, or cancelled.
  void QueuePrinterAnswer(bool ok, std::string pdf = {});
  // What a modal call is waiting for ("message", "popup", "file", "printer"),
  // or empty when nothing waits.
  std::string Pending() const;
  // Releases every pending and future modal call with its cancelling answer
  // (used when a script ends or fails, so that the program can end).
  void CancelAll();

  std::vector<WindowState> Windows() const;  // open windows, in opening order
  std::optional<WindowState> Window(WindowId id) const;
  std::vector<MessageRequest> Messages() const;
  std::vector<std::string> Popups() const;
  std::vector<std::pair<WindowId, int>> Actions() const;

 private:
  template <typename T>
  T Wait(std::deque<T>& answers, const char* kind, T cancelled);

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::map<WindowId, WindowState> windows_;
  std::vector<WindowId> order_;
  std::vector<MessageRequest> messages_;
  std::vector<std::string> popups_;
  std::vector<std::pair<WindowId, int>> actions_;
  std::vector<std::vector<std::string>> print_jobs_;
  std::vector<std::string> printed_pages_;
  bool printer_present_ = true;
  PdfWriter pdf_writer_;
  struct MessageAnswer {
    int button = 0;
    std::string caption;  // when not empty, chosen by caption
  };
  std::deque<MessageAnswer> message_answers_;
  std::deque<int> popup_answers_;
  std::deque<std::optional<std::string>> file_answers_;
  struct PrinterAnswer {
    bool ok = false;
    std::string pdf;
  };
  std::deque<PrinterAnswer> printer_answers_;
  bool printer_chosen_ = false;
  bool last_job_failed_ = false;
  std::string print_to_pdf_;  // the chosen printer prints into this file
  std::vector<std::string> notices_;
  std::map<std::string, std::string> settings_;
  std::vector<std::string> helps_;
  std::vector<std::string> opened_;
  std::string pending_;
  bool cancel_all_ = false;
};

// The items of a popup text ("|&Insert|~&Change|&Delete"): one entry per
// item, numbered from 1, true when the item is enabled ("~" disables it).
std::vector<bool> PopupItems(std::string_view text);

// The text form of a window's model, as the script's "dump" prints it.
std::string DumpWindow(const WindowState& state);

}  // namespace vorsandt::ui::headless

#endif  // VORSANDT_UI_HEADLESS_HEADLESS_PLATFORM_H_
