// MAIN, the application's first procedure: it owns the multi-document frame,
// shows the splash window, and runs the frame's event loop until the frame is
// closed. Every "start" item of the frame's menu starts its procedure on a new
// thread with its stack size; standard items are carried out by the window
// engine and the frame only refreshes after them.
#ifndef VORSANDT_APP_FRAME_MAIN_FRAME_H_
#define VORSANDT_APP_FRAME_MAIN_FRAME_H_

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "ui/engine/engine.h"

namespace vorsandt::app {

// The procedures MAIN can start or call, by name. Procedures register
// themselves before MAIN starts; a menu item whose procedure is not
// registered stays in the menu, disabled.
class ProcedureTable {
 public:
  void Register(std::string name, ui::Procedure procedure);
  // An empty function when `name` is not registered.
  ui::Procedure Find(std::string_view name) const;
  void Clear();

 private:
  mutable std::mutex mu_;
  std::map<std::string, ui::Procedure, std::less<>> procedures_;
};

ProcedureTable& Procedures();

// Calls the registered procedure `name` on this thread. A procedure that is
// not part of the program (or no name at all) answers "cancelled", with the
// request cleared, so a caller carries on as if the user had cancelled.
void CallProcedure(const char* name);

// Registers a procedure with Procedures() when the program starts:
//
//   void BrowsePolicy();
//   VORSANDT_PROCEDURE(BrowsePolicy);
//
// The program links every procedure library whole (see app/CMakeLists.txt),
// so registrations in them are never dropped by the linker.
struct ProcedureRegistrar {
  ProcedureRegistrar(const char* name, ui::Procedure procedure) {
    Procedures().Register(name, std::move(procedure));
  }
};
#define VORSANDT_PROCEDURE(name) \
  static ::vorsandt::app::ProcedureRegistrar vorsandt_procedure_registrar_##name(#name, &name)

// A menu item that starts a procedure on its own thread. The frame's
// definition names the item with the field equate "?" and the procedure's
// name ("?BrowsePolicy"), whatever number it gives it.
struct StartItem {
  const char* procedure;  // e.g. "BrowsePolicy"
  size_t stack;           // requested stack size in bytes
};

// The frame's definition.
inline constexpr char kFrameWindowId[] = "ZELTAR3$ZELTA001";
inline constexpr char kFrameLabel[] = "MAIN$APPFRAME";
// The menu item that launches the query program.
inline constexpr char kQueryByExampleEquate[] = "?QueryByExample";

// Starts the query program, installed as "morvak" beside the executable,
// without waiting. A failure only sets the runtime's error code.
void LaunchQueryProgram();

// MAIN. Runs on the engine's first thread (Engine::StartMain) and returns
// when the frame has closed.
void Main();

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_FRAME_MAIN_FRAME_H_
