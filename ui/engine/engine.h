// The window engine: windows, the run permission and the procedure threads.
//
// Threads. Procedures run on real threads, one per started procedure, in a
// table of 64 slots; slot 0 is the program's first procedure (MAIN). Only the
// thread that holds the single run permission executes procedure code; a
// thread gives the permission up at every step of its loop (and when its
// procedure returns) and queues for it again, first come first served, before
// it continues; modal calls keep it. Each slot holds its procedure's runtime
// state as one files::ThreadState (the text stack, the error state of the file
// layer with the driver's own texts, and the names bound for expressions,
// which point into the thread's own record buffers); the entering thread's is
// installed whole when it takes the permission, and the process's own between
// holders. So texts, errors and bindings left by one procedure are never seen
// by another. A started procedure begins with all of them empty; MAIN begins
// with what the program set up before it started. When a procedure returns,
// its error state passes to the process's own state (so that the program can
// read how its last procedure ended); its texts and bindings are dropped.
//
// Invariants (checked when VORSANDT_CHECKS is defined):
//   1. At most one thread holds the run permission; running_slot_ names it.
//   2. A slot is free, or belongs to exactly one live thread.
//   3. Window queues are touched only under mu_; window models only by the
//      owning thread while it holds the permission.
//   4. Lock order: mu_ before perm_mu_; no platform call is made under either,
//      except Platform::AwaitingUser, which must answer without blocking.
#ifndef VORSANDT_UI_ENGINE_ENGINE_H_
#define VORSANDT_UI_ENGINE_ENGINE_H_

#include <pthread.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "runtime/files/error_state.h"
#include "runtime/files/thread_state.h"
#include "ui/engine/platform.h"
#include "ui/engine/resource_set.h"
#include "ui/engine/window.h"

namespace vorsandt::ui {

using Procedure = std::function<void()>;

class Engine : public files::RuntimeErrorSink {
 public:
  static constexpr int kSlots = 64;
  static constexpr size_t kDefaultStack = 10000;
  static constexpr size_t kMinimumStack = 5000;
  // What the operating-system thread gets at least, whatever the procedure
  // asked for: C++ frames are far larger than the sizes procedures name.
  static constexpr size_t kOsStack = 1 << 20;

  // `platform` and `resources` outlive the engine. The engine installs itself
  // as the runtime-error sink of the error state.
  explicit Engine(Platform* platform, ResourceSet* resources = &ProgramResources());
  ~Engine() override;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The engine and slot of the calling procedure thread.
  static Engine* Current();
  static int CurrentSlot();

  // Runs `procedure` as the first procedure on slot 0's own thread and
  // returns at once. False when slot 0 is taken or the thread cannot start.
  bool StartMain(Procedure procedure);
  // Blocks until every procedure thread has ended: its procedure returned and
  // the thread itself is gone, with its thread-local objects. Not for
  // procedure threads.
  void WaitForEnd();
  bool Ended() const;

  // Starts `procedure` on a new thread in the lowest free slot 1-63 and
  // returns the slot; the caller continues. 0 while starting is switched off;
  // -1 when every slot is taken or the thread cannot be created (nothing runs).
  // A stack size of 0 means 10000 bytes; sizes below 5000 give 5000.
  int Start(Procedure procedure, size_t stack_size);
  void SetStartingEnabled(bool enabled);
  // The stack size a slot's procedure asked for (after the rules above); 0
  // for a free slot.
  size_t RequestedStack(int slot) const;
  int LiveThreads() const;

  // Runs `cleanup` when the calling thread's procedure returns (last
  // registered first), unless Unregister'ed before.
  int AtSlotEnd(std::function<void()> cleanup);
  void Unregister(int token);

  // Creates the window labelled `label` from the definition named by
  // `window_id`. A definition that cannot be found is the runtime error
  // "Unable to open WINDOW" (the program ends); TryCreateWindow returns null.
  std::unique_ptr<Window> CreateWindow(std::string_view window_id, std::string_view label);
  std::unique_ptr<Window> TryCreateWindow(std::string_view window_id, std::string_view label);
  // The structure itself (a window or a report), for the report engine and
  // for platforms; nullopt when it cannot be found.
  std::optional<FoundStructure> FindDefinition(std::string_view window_id,
                                               std::string_view label) const;

  // Platform side, any thread: queues user input for window `id` (ignored
  // when that window is not open).
  void Input(WindowId id, const vorsandt::ui::Input& input);
  // Several inputs queued at once: the procedure hears none of them before
  // all are queued (moves a user makes within one turn of its loop).
  void Input(WindowId id, const std::vector<vorsandt::ui::Input>& inputs);
  // Platform side: waits until no procedure can make progress without new
  // input (every thread waits in its loop with nothing queued and no timer,
  // or in a modal call, or has ended; while a modal call waits for the user
  // it keeps the run permission, so a thread with input queued then waits
  // too). False on timeout.
  bool WaitIdle(std::chrono::milliseconds timeout);
  // Posts `event` to the open window `id` (any thread); false when that
  // window is not open.
  bool Post(WindowId id, int event, int field = 0);
  // Ids of the open windows in the order they were opened.
  std::vector<WindowId> OpenWindows() const;

  // Modal interactions, made by the procedure's thread through the platform.
  int Message(const MessageRequest& request);
  int Message(const std::string& text, const std::string& caption, Icon icon = Icon::kNone,
              int buttons = button::kOk, int default_button = button::kOk);
  std::optional<std::string> ChooseFile(const FileRequest& request);
  bool PrinterSetup(WindowId owner);
  int Popup(WindowId owner, const std::string& text, int x, int y);
  // Shows `text` in a box captioned "Halt" and ends the program with `code`.
  [[noreturn]] void Halt(int code, const std::string& text);
  // From now on every Halt ends the program with `code` instead of its own:
  // a scripted run that has already failed must not end with success
  // because the clean-up answered a halting question.
  void ForceHaltCode(int code) { forced_halt_code_ = code; }
  // From now on every Halt asks `rule` for the exit code, given the code it
  // would end with and the halt's text (a script runner decides whether the
  // halt is the end its script waits for); an empty rule leaves the code.
  // `rule` runs on the halting procedure's thread, after the "Halt" box.
  void SetHaltRule(std::function<int(int code, const std::string& text)> rule);

  // files::RuntimeErrorSink: the "Runtime error" box through the platform.
  void ShowRuntimeError(const std::string& caption, const std::string& text) override;

  Platform& platform() { return *platform_; }
  // Every delivered event is traced on standard error by its name when the
  // environment variable VORSANDT_TRACE_EVENTS is set.
  bool tracing() const { return tracing_; }

  // For tests: how many threads held the run permission at once, at most.
  int MaxConcurrentRunners() const { return max_runners_; }

 private:
  friend class Window;

  enum class SlotState { kFree, kRunning, kWaiting, kModal };

  // The error state of the file layer as a thread left it. Replacement texts
  // belong to the program, not to a thread, and are not part of it.
  struct Slot {
    SlotState state = SlotState::kFree;
    size_t requested_stack = 0;
    // The procedure's runtime state, installed while it holds the permission.
    files::ThreadState runtime;
    Window* waiting = nullptr;
    bool timer = false;
    std::vector<std::pair<int, std::function<void()>>> cleanups;
  };

  struct ThreadStart {
    Engine* engine;
    int slot;
    Procedure procedure;
  };

  static void* ThreadMain(void* arg);
  bool Launch(int slot, Procedure procedure, size_t os_stack);

  void AcquirePermission(int slot);
  // `ending`: the slot's procedure has returned; nothing is saved.
  void ReleasePermission(int slot, bool ending = false);

  // Window support (called by Window).
  //
  // The user closes the program (the frame's close box, or its Exit):
  // every other window is closed as its own close box would close it, the
  // newest first, one after the other, so that a form with changes asks
  // whether to save them. The frame hears its close-window event once they
  // have all gone. A window that stays (its procedure waits for input again
  // without having closed: the user chose Cancel, or a save failed) ends the
  // attempt, and the windows still open stay open. False when no other
  // window is open, and the frame closes at once.
  bool CloseOthersFirst(Window* frame);
  // Under mu_: asks the newest window other than the frame to close, or
  // closes the frame when none is left.
  void AskNextToClose();
  void Opened(Window* window);
  void Closed(Window* window);
  void Enqueue(Window* window, Window::Queued queued, bool front = false);
  // Takes the focus moves the user made that `window` has not heard yet out
  // of its queue (the procedure has just put the focus somewhere itself).
  void DropQueuedFocus(Window* window);
  // A key no window used: when an item of the frame's menu bar has it as its
  // shortcut and can be chosen, the frame hears that item chosen, as if the
  // user had picked it from the menu. False when no item has it.
  bool ChooseMenuShortcut(int code);
  // Takes the next queued item for `window`, giving up the permission while
  // it waits; false when the window's timer came due first.
  bool Take(Window* window, Window::Queued& out);
  // Gives the permission up and queues for it again (a loop step that
  // delivers without waiting still lets the others run).
  void Yield(Window* window);
  // Gives the calling procedure thread's permission up and queues for it
  // again; nothing for other threads. Runs between the attempts of a lock
  // wait, so the procedure holding the lock can release it.
  void LetOthersRun();
  template <typename F>
  auto Modal(F&& call);

  // Joins the threads whose procedures have returned: all of them
  // (`wait`), or only those already gone, without waiting.
  void JoinEndedThreads(bool wait);

  Platform* platform_;
  std::atomic<int> forced_halt_code_{-1};
  std::mutex halt_mu_;
  std::function<int(int, const std::string&)> halt_rule_;
  ResourceSet* resources_;
  bool tracing_ = false;

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::array<Slot, kSlots> slots_;
  int live_ = 0;
  // Threads whose procedures have returned, to be joined: a thread's
  // thread-local objects (its tables' instances, the toolkit's per-thread
  // data of a thread that drew pages) are destroyed after its procedure
  // returns, and must be gone before the program tears down what they use.
  std::vector<pthread_t> ended_threads_;
  std::mutex join_mu_;  // held while ended threads are joined
  bool starting_enabled_ = true;
  int next_token_ = 1;
  WindowId next_window_ = 1;
  std::map<WindowId, Window*> windows_;  // open windows
  std::vector<WindowId> open_order_;
  // The user's close of the program under way (CloseOthersFirst): the frame,
  // and the window asked to close now; 0 when none.
  WindowId closing_frame_ = 0;
  WindowId closing_asked_ = 0;

  std::mutex perm_mu_;
  std::condition_variable perm_cv_;
  uint64_t next_ticket_ = 0;
  uint64_t serving_ = 0;
  int running_slot_ = -1;
  int runners_ = 0;
  int max_runners_ = 0;
};

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_ENGINE_H_
