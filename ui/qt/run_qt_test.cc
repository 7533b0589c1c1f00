// Runs the Qt platform the way the program does, with a first procedure that
// opens the application frame and then chooses File > Exit itself. The
// process must end with code 0: the loop ends when the procedures have ended.
//
//   vorsandt_ui_qt_run_test exit          the frame alone
//   vorsandt_ui_qt_run_test with-child    a started procedure's window is
//                                         open when the frame closes
#include "ui/qt/run_qt.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "ui/engine/engine.h"

namespace {

using vorsandt::ui::Engine;
using vorsandt::ui::Input;

bool g_with_child = false;
std::atomic<vorsandt::ui::WindowId> g_frame{0};

// As if the user chose File > Exit (item -2) on the frame.
void ChooseExit(Engine* engine) {
  Input exit;
  exit.type = Input::Type::kAccept;
  exit.field = -2;
  engine->Input(g_frame, exit);
}

void ChildProcedure() {
  auto window = Engine::Current()->CreateWindow("ZELTAR3$ZELTA_SF", "SPLASH$WINDOW");
  window->Open();
  // The frame closes while this window is open.
  ChooseExit(Engine::Current());
  while (window->Accept()) {
  }
  window->Close();
}

void FirstProcedure() {
  Engine* engine = Engine::Current();
  auto frame = engine->CreateWindow("ZELTAR3$ZELTA001", "MAIN$APPFRAME");
  frame->Open();
  g_frame = frame->id();
  if (g_with_child) engine->Start(ChildProcedure, 50000);
  while (frame->Accept()) {
    if (frame->Event() == vorsandt::ui::event::kOpenWindow && !g_with_child) ChooseExit(engine);
  }
  frame->Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s exit|with-child\n", argv[0]);
    return 2;
  }
  g_with_child = std::strcmp(argv[1], "with-child") == 0;
  return vorsandt::ui::qt::RunQtPlatform(argc, argv, FirstProcedure);
}
