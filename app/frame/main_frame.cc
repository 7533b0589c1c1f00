#include "app/frame/main_frame.h"

#include <limits.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <string>
#include <thread>

#include "runtime/files/error_state.h"
#include "ui/engine/thread_codes.h"
#include "ui/engine/window.h"

extern char** environ;

namespace vorsandt::app {
namespace {

constexpr StartItem kStartItems[] = {
    {"BrowseItems1", 50000},
    {"BrowseLocations", 50000},
    {"TreeBrowseInventory", 25000},
    {"BrowseInventoryImages", 25000},
    {"BrowsePolicy", 50000},
    {"BrowseClaim", 50000},
    {"BrowseInsurance_Company", 50000},
    {"TreeBrowseInsurance", 25000},
    {"BrowseWarranty", 50000},
    {"TreeBrowseWarranty", 25000},
    {"BrowseService", 50000},
    {"BrowseCompanies", 50000},
    {"TreeBrowseService", 25000},
    {"MasterInventoryPrint", 25000},
    {"MasterInsuranceReport", 25000},
    {"CoverageCheck", 25000},
    {"BackUpData", 25000},
    {"RestoreData", 25000},
    {"ImportCsv", 25000},
    {"FindRecords", 50000},
    {"GoToRecord", 50000},
    {"InventoryCheck", 25000},
    {"PrintLabels", 25000},
    {"InventorySummary", 25000},
};

// The start items by the number the frame's definition gives each. An item
// the definition does not name ends the program (Window::FieldOf): the frame
// and its procedures no longer belong together.
std::map<int, const StartItem*> StartItemsOf(const ui::Window& frame) {
  std::map<int, const StartItem*> items;
  for (const StartItem& item : kStartItems) {
    items[frame.FieldOf(std::string("?") + item.procedure)] = &item;
  }
  return items;
}

// The folder of the running executable, with a trailing "/".
std::string ExecutableFolder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  std::string s(path, static_cast<size_t>(n));
  size_t slash = s.rfind('/');
  return slash == std::string::npos ? std::string("./") : s.substr(0, slash + 1);
}

}  // namespace

void ProcedureTable::Register(std::string name, ui::Procedure procedure) {
  std::lock_guard<std::mutex> lock(mu_);
  procedures_[std::move(name)] = std::move(procedure);
}

ui::Procedure ProcedureTable::Find(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = procedures_.find(name);
  return it == procedures_.end() ? ui::Procedure() : it->second;
}

void ProcedureTable::Clear() {
  std::lock_guard<std::mutex> lock(mu_);
  procedures_.clear();
}

ProcedureTable& Procedures() {
  static ProcedureTable table;
  return table;
}

void CallProcedure(const char* name) {
  ui::Procedure procedure = name != nullptr ? Procedures().Find(name) : ui::Procedure();
  if (procedure) {
    procedure();
  } else {
    ui::RequestCode() = 0;
    ui::ResponseCode() = ui::response::kCancelled;
  }
}

void LaunchQueryProgram() {
  // The command the menu names is "MORVAK.EXE "; here the query program is
  // the morvak executable installed beside this one.
  std::string program = ExecutableFolder() + "morvak";
  char* argv[] = {const_cast<char*>("morvak"), nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
  if (rc != 0) {
    files::Errors().PostErrno(rc);
    return;
  }
  files::Errors().Clear();
  // The menu does not wait for the query program, but its end must still be
  // collected, or every launch would leave a finished process behind until
  // this program ends.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

void Main() {
  ui::Engine& engine = *ui::Engine::Current();
  std::unique_ptr<ui::Window> frame = engine.CreateWindow(kFrameWindowId, kFrameLabel);

  bool window_ready = false;
  ui::RequestCode() = 0;
  ui::ResponseCode() = 0;

  const std::map<int, const StartItem*> start_items = StartItemsOf(*frame);
  const int query_item = frame->FieldOf(kQueryByExampleEquate);
  // Items whose procedure is not part of this program stay visible, disabled.
  for (const auto& [number, item] : start_items) {
    if (!Procedures().Find(item->procedure)) frame->Disable(number);
  }

  frame->Open();

  // The splash window runs to its end on this thread before the loop starts.
  if (ui::Procedure splash = Procedures().Find("Splash")) splash();
  // Then, when a service or a policy falls due soon, the reminder; it opens
  // no window when nothing is due.
  if (ui::Procedure reminder = Procedures().Find("DueSoon")) reminder();

  auto refresh = [&] {
    // Nothing is redrawn during an accept-all pass.
    if (frame->GetNumber(0, ui::prop::kAcceptAll) != 0) return;
    frame->Display();
  };

  while (frame->Accept()) {
    switch (frame->Event()) {
      case ui::event::kOpenWindow:
        if (!window_ready) {
          refresh();
          window_ready = true;
        }
        break;
      case ui::event::kGainFocus:
        window_ready = true;
        refresh();
        break;
      case ui::event::kAccepted: {
        int item = frame->Field();
        if (item >= 0) break;
        // (The synchronisation step before each menu action has nothing to do.)
        if (auto start = start_items.find(item); start != start_items.end()) {
          if (ui::Procedure procedure = Procedures().Find(start->second->procedure)) {
            engine.Start(std::move(procedure), start->second->stack);
          }
          refresh();
        } else if (item == query_item) {
          LaunchQueryProgram();
          refresh();
        } else {
          // A standard action: the engine has carried it out.
          refresh();
        }
        break;
      }
      default:
        break;
    }
  }

  frame->Close();
  // MAIN always ends as cancelled: nothing in the frame completes a request.
  ui::ResponseCode() = ui::response::kCancelled;
}

}  // namespace vorsandt::app
