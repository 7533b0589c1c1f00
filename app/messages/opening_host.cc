// A test program for the message catalogue and the opening of tables, run by
// UI test scripts on the headless platform:
//
//   vorsandt_opening_host --data DIR --script FILE
//
// Its first procedure opens the frame and carries out one scenario per menu
// item, so that a script can drive each path and check what the user sees,
// including the paths that end the program:
//
//   "Browse INVENTORY ITEMS"     every table opened on first use, then a
//                                summary box: "LABEL:COUNT:EXISTS ... boxes:N"
//                                (N = message boxes shown before it)
//   "Browse ITEM LOCATIONS"      POLICY opened with its creation refused
//   "Tree Browse INVENTORY"      POLICY created, closed, then reopened while
//                                its driver reports that the keys must be
//                                rebuilt; a summary box when the open returns
//   "Browse INVENTORY IMAGES"    message 34 for ("Delete", "POLICY") with error 2
//   "Browse INSURANCE POLICIES"  message 24 for "INS:REF"
//   "Browse INSURANCE CLAIMS"    message 14 with a driver error text of 200
//                                characters
//   "Browse INSURANCE COMPANIES" message 30 with texts padded with blanks
//   "Tree Browse INSURANCE"      POLICY's open finds a foreign record layout (47)
//   "Browse WARRANTY RECORD"     POLICY missing and its creation fails (5)
//   "Tree Browse WARRANTY RECORDS" POLICY created, but opening it then fails (5)
//   "Browse SERVICE RECORD"      Yes at the damaged-keys question, but the
//                                rebuild fails (5)

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>

#include "app/dictionary/dictionary.h"
#include "app/frame/main_frame.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"
#include "ui/headless/test_host.h"

namespace {

using namespace vorsandt;

ui::headless::HeadlessPlatform* g_platform = nullptr;
// Failures armed for POLICY: the operation `op`, after `skip` calls of it
// that succeed, fails with `code`; armed failures come due in order. Only the
// thread holding the run permission touches them.
struct Fault {
  int32_t op;
  int32_t code;
  int skip;
};
std::deque<Fault> g_faults;

// The QVF driver, except that armed failures are reported for POLICY as a
// driver meeting damaged keys, a foreign record layout or a full disk would.
int32_t HostEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  if (!g_faults.empty() && op == g_faults.front().op &&
      static_cast<files::FileRecord*>(object)->declaration == app::File(app::Table::kPolicy)) {
    if (g_faults.front().skip > 0) {
      --g_faults.front().skip;
    } else {
      int32_t code = g_faults.front().code;
      g_faults.pop_front();
      files::Errors().Post(code);
      return 0;
    }
  }
  return qvf::QvfEntry(op, object, args);
}

// POLICY created (and closed again), so that the next open finds it.
void CreatePolicy() {
  app::OpenTable(app::Table::kPolicy);
  app::CloseTable(app::Table::kPolicy);
}

void Summary(std::initializer_list<app::Table> tables) {
  std::string text;
  size_t boxes = g_platform->Messages().size();
  for (app::Table t : tables) {
    std::string name = std::string(app::Def(t).label) + ".QVF";
    text += name + ":" + std::to_string(app::OpenCount(t)) + ":" +
            (std::filesystem::exists(name) ? "1" : "0") + " ";
  }
  text += "boxes:" + std::to_string(boxes);
  ui::Engine::Current()->Message(text, "Opening host");
}

void AllTables() {
  std::vector<app::Table> all;
  for (const app::TableDef& def : app::Tables()) all.push_back(def.table);
  for (app::Table t : all) app::OpenTable(t);
  // A second user on the same thread only counts.
  app::OpenTable(app::Table::kPolicy);
  Summary({app::Table::kCompanies, app::Table::kService, app::Table::kWarranty, app::Table::kClaim,
           app::Table::kLocations, app::Table::kItems, app::Table::kInsuranceCompany,
           app::Table::kPolicy});
  app::CloseTable(app::Table::kPolicy);
  for (app::Table t : all) app::CloseTable(t);
}

void HostMain() {
  app::InitDictionary(&HostEntry);
  ui::Engine& engine = *ui::Engine::Current();
  std::unique_ptr<ui::Window> frame = engine.CreateWindow(app::kFrameWindowId, app::kFrameLabel);
  frame->Open();
  while (frame->Accept()) {
    if (frame->Event() != ui::event::kAccepted) continue;
    switch (frame->Field()) {
      case -6:
        AllTables();
        break;
      case -7:
        app::OpenOrCreateTable(app::File(app::Table::kPolicy), true, /*creation_refused=*/true,
                               files::kModeReadWrite, true);
        break;
      case -8:
        CreatePolicy();
        g_faults.push_back({files::kOpOpen, files::kKeyFileMustBeRebuilt, 0});
        app::OpenTable(app::Table::kPolicy);
        Summary({app::Table::kPolicy});
        app::CloseTable(app::Table::kPolicy);
        break;
      case -9:
        files::Errors().Post(files::kFileNotFound);
        app::WarningMessage(app::MessageId::kTransactionFramingError, "Delete", "POLICY");
        break;
      case -11:
        files::Errors().Clear();
        app::WarningMessage(app::MessageId::kDuplicateKey, "INS:REF");
        break;
      case -12:
        files::Errors().SetDriverTexts(std::string(100, 'd') + std::string(100, 'e') + "   ", "X99");
        files::Errors().Post(app::kDriverReportedError);
        app::WarningMessage(app::MessageId::kRecordInsertError);
        break;
      case -13:
        files::Errors().Post(files::kAccessDenied);
        app::WarningMessage(app::MessageId::kFileAccessError, "POLICY.QVF     ");
        break;
      case -14:
        g_faults.push_back({files::kOpOpen, files::kInvalidRecordDeclaration, 0});
        app::OpenTable(app::Table::kPolicy);
        break;
      case -16:
        g_faults.push_back({files::kOpCreate, files::kAccessDenied, 0});
        app::OpenTable(app::Table::kPolicy);
        break;
      case -17:
        // The first open finds no file; the one after creating fails.
        g_faults.push_back({files::kOpOpen, files::kAccessDenied, 1});
        app::OpenTable(app::Table::kPolicy);
        break;
      case -19:
        CreatePolicy();
        g_faults.push_back({files::kOpOpen, files::kKeyFileMustBeRebuilt, 0});
        g_faults.push_back({files::kOpBuildKeys, files::kAccessDenied, 0});
        app::OpenTable(app::Table::kPolicy);
        break;
      default:
        break;
    }
  }
  frame->Close();
}

}  // namespace

int main(int argc, char** argv) {
  ui::headless::TestHost host{.name = "vorsandt_opening_host", .main = HostMain};
  host.fresh_folder = true;
  host.platform_ready = [](ui::headless::HeadlessPlatform* platform) { g_platform = platform; };
  return ui::headless::RunTestHost(argc, argv, host);
}
