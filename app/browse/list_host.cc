// A test program for the list windows, run by UI test scripts on the
// headless platform over tables made beforehand (run_list_script.sh):
//
//   vorsandt_list_host --data DIR [--headless] --script FILE
//
// It links every list procedure as the program does, and adds what the
// program cannot show yet: an update form for POLICY that does its work
// without a window, a select started without request 4, and read failures of
// POLICY and ITEMS. Its first procedure opens the frame; the menu items start:
//
//   "Browse INVENTORY ITEMS"      SelectInsurance_Company, without request 4
//   "Browse ITEM LOCATIONS"       BrowsePOL:COMPANY for insurer 2
//   "Browse INSURANCE POLICIES"   BrowsePolicy
//   "Browse INSURANCE CLAIMS"     BrowsePolicy, whose 31st read of POLICY
//                                 (in its second page down) fails with a read fault
//   "Browse INSURANCE COMPANIES"  BrowsePolicy, while POLICY's keys report
//                                 that they must be rebuilt at the open
//   "Tree Browse INSURANCE"       BrowseItems1, whose 41st read of ITEMS (in
//                                 its totals) fails with a read fault
//
// UpdatePolicy: request 1 shows "insert for insurer N" (N the insurer code the
// browse primed) and adds policy P99 of insurer N; request 2 sets the policy
// type to CHANGED; request 3 deletes the record. Each answers completed when
// the operation succeeded.

#include <cstdio>
#include <string>

#include "app/browse/browse_rows.h"
#include "app/dictionary/dictionary.h"
#include "app/frame/main_frame.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/engine.h"
#include "ui/engine/thread_codes.h"
#include "ui/headless/headless_platform.h"
#include "ui/headless/test_host.h"

namespace {

using namespace vorsandt;

// An armed failure of POLICY: operation `op` fails with `code` after `skip`
// calls of it that succeed. Only the thread holding the run permission
// touches it.
struct Fault {
  app::Table table = app::Table::kPolicy;
  int32_t op = 0;
  int32_t code = 0;
  int skip = 0;
  bool armed = false;
};
Fault g_fault;

int32_t HostEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  if (g_fault.armed && op == g_fault.op &&
      static_cast<files::FileRecord*>(object)->declaration == app::File(g_fault.table)) {
    if (g_fault.skip > 0) {
      --g_fault.skip;
    } else {
      g_fault.armed = false;
      files::Errors().Post(g_fault.code);
      return 0;
    }
  }
  return qvf::QvfEntry(op, object, args);
}

files::FieldInfo Field(const char* name) {
  files::FileRecord* table = nullptr;
  files::FieldInfo f;
  app::FindTableField(name, &table, &f);
  return f;
}

void UpdatePolicy() {
  const int32_t request = ui::RequestCode();
  ui::RequestCode() = 0;
  files::FileRecord* policy = app::File(app::Table::kPolicy);
  uint8_t* record = files::RecordBuffer(policy);
  switch (request) {
    case ui::request::kInsert: {
      const int code = static_cast<int>(views::FieldNumber(Field("POL:INSURER_CODE"), record));
      ui::Engine::Current()->Message("insert for insurer " + std::to_string(code), "UpdatePolicy");
      views::StoreText(Field("POL:POLICY_REFERENCE"), record, "P99");
      views::StoreText(Field("POL:POLICY_TYPE"), record, "NEW");
      files::Add(policy);
      break;
    }
    case ui::request::kChange:
      views::StoreText(Field("POL:POLICY_TYPE"), record, "CHANGED");
      files::Put(policy);
      break;
    case ui::request::kDelete:
      files::Delete(policy);
      break;
    default:
      break;
  }
  ui::ResponseCode() = files::Errors().Code() == files::kNoError ? ui::response::kCompleted
                                                                 : ui::response::kCancelled;
}
VORSANDT_PROCEDURE(UpdatePolicy);

void Start(const char* name, void (*before)() = nullptr) {
  app::Procedures().Register(std::string("Host") + name, [name, before] {
    if (before != nullptr) before();
    if (ui::Procedure p = app::Procedures().Find(name)) p();
  });
  ui::Engine::Current()->Start(app::Procedures().Find(std::string("Host") + name), 50000);
}

void Insurer2() {
  views::StoreNumber(Field("INS:REFERENCE"),
                     files::RecordBuffer(app::File(app::Table::kInsuranceCompany)), 2);
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
        Start("SelectInsurance_Company");
        break;
      case -7:
        Start("BrowsePOL:COMPANY", &Insurer2);
        break;
      case -11:
        Start("BrowsePolicy");
        break;
      case -12:
        g_fault = {app::Table::kPolicy, files::kOpNext, files::kSystemErrorBase + 30, 30, true};
        Start("BrowsePolicy");
        break;
      case -13:
        g_fault = {app::Table::kPolicy, files::kOpOpen, files::kKeyFileMustBeRebuilt, 0, true};
        Start("BrowsePolicy");
        break;
      case -14:
        g_fault = {app::Table::kItems, files::kOpNext, files::kSystemErrorBase + 30, 40, true};
        Start("BrowseItems1");
        break;
      default:
        break;
    }
  }
  frame->Close();
}

}  // namespace

int main(int argc, char** argv) {
  return ui::headless::RunTestHost(argc, argv, {.name = "vorsandt_list_host", .main = HostMain});
}
