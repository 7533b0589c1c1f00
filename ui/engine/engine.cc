#include "ui/engine/engine.h"

#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "runtime/env/invariant.h"
#include "runtime/files/driver.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/read_run.h"

namespace vorsandt::ui {
namespace {

thread_local Engine* current_engine = nullptr;
thread_local int current_slot = -1;

void Check(bool condition, const char* what) {
  env::CheckInvariant(condition, "window engine", what);
}

}  // namespace

Engine::Engine(Platform* platform, ResourceSet* resources)
    : platform_(platform),
      resources_(resources),
      tracing_(std::getenv("VORSANDT_TRACE_EVENTS") != nullptr) {
  files::Errors().SetRuntimeErrorSink(this);
  // A procedure waiting for a record or file another procedure of this
  // program holds must let that one run, or neither could go on.
  files::SetLockWaitHook([this] { LetOthersRun(); });
}

Engine::~Engine() {
  WaitForEnd();
  files::Errors().SetRuntimeErrorSink(nullptr);
  files::SetLockWaitHook(nullptr);
}

Engine* Engine::Current() { return current_engine; }
int Engine::CurrentSlot() { return current_slot; }

// ---------------------------------------------------------------------------
// The run permission.

void Engine::AcquirePermission(int slot) {
  std::unique_lock<std::mutex> lock(perm_mu_);
  // Tickets make the hand-over first come, first served: a thread that gives
  // the permission up and asks again queues behind those already waiting.
  uint64_t ticket = next_ticket_++;
  perm_cv_.wait(lock, [this, ticket] { return serving_ == ticket; });
  Check(running_slot_ == -1, "two threads hold the run permission");
  running_slot_ = slot;
  ++runners_;
  if (runners_ > max_runners_) max_runners_ = runners_;
  // Whatever the previous holder left is replaced by this thread's own state.
  files::InstallThreadState(&slots_[slot].runtime);
}

void Engine::ReleasePermission(int slot, bool ending) {
  // A read run keeps no lock while its thread waits for its turn.
  files::EndReadRunTenures();
  std::lock_guard<std::mutex> lock(perm_mu_);
  Check(running_slot_ == slot, "run permission released by a thread that does not hold it");
  files::ThreadState& state = slots_[slot].runtime;
  if (ending) {
    // The error state stays for whoever reads it after the last procedure
    // (it goes to the process's own state); texts go, and bindings point into
    // this thread's record buffers, which die with it.
    files::ProcessThreadState().errors = std::move(state.errors);
    state = files::ThreadState();
  }
  // Between holders the process's own state is the current one.
  files::InstallThreadState(nullptr);
  running_slot_ = -1;
  --runners_;
  ++serving_;
  perm_cv_.notify_all();
}

// ---------------------------------------------------------------------------
// Threads.

void* Engine::ThreadMain(void* arg) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
  Engine* engine = start->engine;
  int slot = start->slot;
  current_engine = engine;
  current_slot = slot;
  engine->AcquirePermission(slot);
  start->procedure();
  start->procedure = nullptr;  // its captures die while the thread still runs
  // Clean-up of everything still registered in the slot, newest first.
  for (;;) {
    std::function<void()> cleanup;
    {
      std::lock_guard<std::mutex> lock(engine->mu_);
      auto& list = engine->slots_[slot].cleanups;
      if (list.empty()) break;
      cleanup = std::move(list.back().second);
      list.pop_back();
    }
    cleanup();
  }
  engine->ReleasePermission(slot, /*ending=*/true);
  {
    // The last touch of the engine: once live_ drops, WaitForEnd may return
    // and the engine may be destroyed.
    std::lock_guard<std::mutex> lock(engine->mu_);
    Slot& s = engine->slots_[slot];
    s.runtime = files::ThreadState();
    s.state = SlotState::kFree;
    s.requested_stack = 0;
    s.waiting = nullptr;
    engine->ended_threads_.push_back(pthread_self());
    --engine->live_;
    engine->cv_.notify_all();
  }
  current_engine = nullptr;
  current_slot = -1;
  return nullptr;
}

bool Engine::Launch(int slot, Procedure procedure, size_t os_stack) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_attr_setstacksize(&attr, os_stack);
  // Threads that ended meanwhile are joined now, so that a long session
  // keeps none of them (a thread still on its way out is left for later).
  JoinEndedThreads(/*wait=*/false);
  auto* start = new ThreadStart{this, slot, std::move(procedure)};
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, &Engine::ThreadMain, start);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete start;
    return false;
  }
  return true;
}

bool Engine::StartMain(Procedure procedure) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (slots_[0].state != SlotState::kFree) return false;
    slots_[0].state = SlotState::kRunning;
    slots_[0].requested_stack = kDefaultStack;
    ++live_;
  }
  {
    // MAIN starts with what the program set up before it (no procedure runs
    // yet, so the state is the process's own); the process keeps a fresh one.
    std::lock_guard<std::mutex> lock(perm_mu_);
    slots_[0].runtime = std::move(files::ProcessThreadState());
    files::ProcessThreadState() = files::ThreadState();
  }
  if (!Launch(0, std::move(procedure), kOsStack)) {
    {
      std::lock_guard<std::mutex> lock(perm_mu_);
      files::ProcessThreadState() = std::move(slots_[0].runtime);
      slots_[0].runtime = files::ThreadState();
    }
    std::lock_guard<std::mutex> lock(mu_);
    slots_[0].state = SlotState::kFree;
    slots_[0].requested_stack = 0;
    --live_;
    cv_.notify_all();
    return false;
  }
  return true;
}

int Engine::Start(Procedure procedure, size_t stack_size) {
  if (stack_size == 0) stack_size = kDefaultStack;
  if (stack_size < kMinimumStack) stack_size = kMinimumStack;
  int slot = -1;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!starting_enabled_) return 0;
    for (int i = 1; i < kSlots; ++i) {
      if (slots_[i].state == SlotState::kFree) {
        slot = i;
        break;
      }
    }
    if (slot < 0) return -1;
    slots_[slot].state = SlotState::kRunning;
    slots_[slot].requested_stack = stack_size;
    ++live_;
  }
  if (!Launch(slot, std::move(procedure), std::max(stack_size, kOsStack))) {
    std::lock_guard<std::mutex> lock(mu_);
    slots_[slot].state = SlotState::kFree;
    slots_[slot].requested_stack = 0;
    --live_;
    cv_.notify_all();
    return -1;
  }
  return slot;
}

void Engine::SetStartingEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(mu_);
  starting_enabled_ = enabled;
}

size_t Engine::RequestedStack(int slot) const {
  if (slot < 0 || slot >= kSlots) return 0;
  std::lock_guard<std::mutex> lock(mu_);
  return slots_[slot].requested_stack;
}

int Engine::LiveThreads() const {
  std::lock_guard<std::mutex> lock(mu_);
  return live_;
}

bool Engine::Ended() const {
  std::lock_guard<std::mutex> lock(mu_);
  return live_ == 0;
}

void Engine::WaitForEnd() {
  {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return live_ == 0; });
  }
  JoinEndedThreads(/*wait=*/true);
}

void Engine::JoinEndedThreads(bool wait) {
  std::lock_guard<std::mutex> joining(join_mu_);
  std::vector<pthread_t> ended;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ended.swap(ended_threads_);
  }
  std::vector<pthread_t> left;
  for (pthread_t thread : ended) {
    if (wait) {
      pthread_join(thread, nullptr);
    } else if (pthread_tryjoin_np(thread, nullptr) != 0) {
      left.push_back(thread);
    }
  }
  if (left.empty()) return;
  std::lock_guard<std::mutex> lock(mu_);
  ended_threads_.insert(ended_threads_.end(), left.begin(), left.end());
}

int Engine::AtSlotEnd(std::function<void()> cleanup) {
  std::lock_guard<std::mutex> lock(mu_);
  int slot = current_slot;
  if (current_engine != this || slot < 0) return 0;
  int token = next_token_++;
  slots_[slot].cleanups.emplace_back(token, std::move(cleanup));
  return token;
}

void Engine::Unregister(int token) {
  std::lock_guard<std::mutex> lock(mu_);
  for (Slot& s : slots_) {
    for (auto it = s.cleanups.begin(); it != s.cleanups.end(); ++it) {
      if (it->first == token) {
        s.cleanups.erase(it);
        return;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Windows.

std::unique_ptr<Window> Engine::TryCreateWindow(std::string_view window_id,
                                                std::string_view label) {
  std::optional<FoundStructure> found = resources_->Find(window_id, label);
  if (!found || found->structure->kind != Kind::kWindow) return nullptr;
  WindowId id;
  {
    std::lock_guard<std::mutex> lock(mu_);
    id = next_window_++;
  }
  int slot = current_engine == this ? current_slot : 0;
  return std::unique_ptr<Window>(new Window(this, id, found->structure, slot < 0 ? 0 : slot));
}

std::optional<FoundStructure> Engine::FindDefinition(std::string_view window_id,
                                                     std::string_view label) const {
  return resources_->Find(window_id, label);
}

std::unique_ptr<Window> Engine::CreateWindow(std::string_view window_id, std::string_view label) {
  std::unique_ptr<Window> window = TryCreateWindow(window_id, label);
  if (!window) {
    files::Errors().RuntimeError(
        files::kUnableToOpenWindow,
        std::string(window_id) + " " + std::string(label) + " (no window definition)");
  }
  return window;
}

void Engine::Opened(Window* window) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    windows_[window->id()] = window;
    open_order_.push_back(window->id());
  }
  platform_->WindowOpened(window->Snapshot());
}

bool Engine::CloseOthersFirst(Window* frame) {
  std::lock_guard<std::mutex> lock(mu_);
  const bool others = std::any_of(open_order_.begin(), open_order_.end(),
                                  [frame](WindowId id) { return id != frame->id(); });
  if (!others) return false;
  if (closing_frame_ == 0) {
    closing_frame_ = frame->id();
    AskNextToClose();
  }
  return true;
}

void Engine::AskNextToClose() {
  closing_asked_ = 0;
  for (auto it = open_order_.rbegin(); it != open_order_.rend(); ++it) {
    if (*it == closing_frame_) continue;
    closing_asked_ = *it;
    Window::Queued q;
    q.is_input = true;
    q.input.type = vorsandt::ui::Input::Type::kClose;
    windows_[*it]->queue_.push_back(std::move(q));
    cv_.notify_all();
    return;
  }
  auto frame = windows_.find(closing_frame_);
  closing_frame_ = 0;
  if (frame == windows_.end()) return;
  Window::Queued q;
  q.event = event::kCloseWindow;
  frame->second->queue_.push_back(q);
  cv_.notify_all();
}

void Engine::Closed(Window* window) {
  std::vector<Window*> others;
  {
    std::lock_guard<std::mutex> lock(mu_);
    windows_.erase(window->id());
    std::erase(open_order_, window->id());
    window->queue_.clear();
    if (window->id() == closing_frame_) {
      closing_frame_ = closing_asked_ = 0;
    } else if (closing_frame_ != 0 && window->id() == closing_asked_) {
      AskNextToClose();
    }
    if (window->structure_->mdi_frame) {
      // Closing the frame closes every other window of the program.
      for (auto& [id, w] : windows_) {
        Window::Queued q;
        q.event = event::kCloseWindow;
        w->queue_.push_back(q);
      }
    }
    cv_.notify_all();
  }
  platform_->WindowClosed(window->id());
}

void Engine::Enqueue(Window* window, Window::Queued queued, bool front) {
  std::lock_guard<std::mutex> lock(mu_);
  if (front) {
    window->queue_.push_front(std::move(queued));
  } else {
    window->queue_.push_back(std::move(queued));
  }
  cv_.notify_all();
}

namespace {

const Node* ItemWithShortcut(const Node& menu, int code) {
  for (const Node& child : menu.children) {
    if (child.kind == Kind::kMenuItem && child.shortcut == code) return &child;
    if (const Node* found = ItemWithShortcut(child, code)) return found;
  }
  return nullptr;
}

}  // namespace

bool Engine::ChooseMenuShortcut(int code) {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto& [id, w] : windows_) {
    if (!w->structure_->mdi_frame || w->structure_->menu_bar == nullptr) continue;
    const Node* item = ItemWithShortcut(*w->structure_->menu_bar, code);
    if (item == nullptr) return false;
    // Whether the item can be chosen now is the frame's to decide when it
    // takes the choice, as for a click on the menu.
    Window::Queued q;
    q.is_input = true;
    q.input.type = vorsandt::ui::Input::Type::kAccept;
    q.input.field = item->number;
    w->queue_.push_back(std::move(q));
    cv_.notify_all();
    return true;
  }
  return false;
}

void Engine::DropQueuedFocus(Window* window) {
  std::lock_guard<std::mutex> lock(mu_);
  std::erase_if(window->queue_, [](const Window::Queued& q) {
    return q.is_input && q.input.type == vorsandt::ui::Input::Type::kFocus;
  });
}

void Engine::Input(WindowId id, const vorsandt::ui::Input& input) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = windows_.find(id);
  if (it == windows_.end()) return;
  Window::Queued q;
  q.is_input = true;
  q.input = input;
  it->second->queue_.push_back(std::move(q));
  cv_.notify_all();
}

void Engine::Input(WindowId id, const std::vector<vorsandt::ui::Input>& inputs) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = windows_.find(id);
  if (it == windows_.end()) return;
  for (const vorsandt::ui::Input& input : inputs) {
    Window::Queued q;
    q.is_input = true;
    q.input = input;
    it->second->queue_.push_back(std::move(q));
  }
  cv_.notify_all();
}

bool Engine::Post(WindowId id, int event, int field) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = windows_.find(id);
  if (it == windows_.end()) return false;
  Window::Queued q;
  q.event = event;
  q.field = event >= event::kFirstWindowEvent ? 0 : field;
  it->second->queue_.push_back(std::move(q));
  cv_.notify_all();
  return true;
}

std::vector<WindowId> Engine::OpenWindows() const {
  std::lock_guard<std::mutex> lock(mu_);
  return open_order_;
}

bool Engine::Take(Window* window, Window::Queued& out) {
  // Every loop step gives the permission up, even with events queued, so
  // that a procedure posting to itself cannot starve the others.
  int slot = window->slot_;
  std::unique_lock<std::mutex> lock(mu_);
  Slot& s = slots_[slot];
  // The window asked to close the program's way waits for input again while
  // still open: its user chose to stay, and the program stays with it.
  if (closing_frame_ != 0 && window->id() == closing_asked_ && window->queue_.empty()) {
    closing_frame_ = closing_asked_ = 0;
  }
  s.state = SlotState::kWaiting;
  s.waiting = window;
  s.timer = window->timer_ > 0;
  cv_.notify_all();
  lock.unlock();
  ReleasePermission(slot);
  lock.lock();
  auto ready = [window] { return !window->queue_.empty(); };
  if (window->timer_ > 0) {
    cv_.wait_until(lock, window->timer_due_, ready);
  } else {
    cv_.wait(lock, ready);
  }
  s.state = SlotState::kRunning;
  s.waiting = nullptr;
  s.timer = false;
  lock.unlock();
  AcquirePermission(slot);
  lock.lock();
  if (window->queue_.empty()) return false;  // the timer's period passed
  out = std::move(window->queue_.front());
  window->queue_.pop_front();
  return true;
}

void Engine::LetOthersRun() {
  if (current_engine != this) return;  // not a procedure thread of this engine
  int slot = current_slot;
  {
    std::lock_guard<std::mutex> lock(perm_mu_);
    if (slot < 0 || running_slot_ != slot) return;
  }
  ReleasePermission(slot);
  AcquirePermission(slot);
}

void Engine::Yield(Window* window) {
  int slot = window->slot_;
  {
    std::lock_guard<std::mutex> lock(mu_);
    slots_[slot].state = SlotState::kRunning;
  }
  ReleasePermission(slot);
  AcquirePermission(slot);
}

bool Engine::WaitIdle(std::chrono::milliseconds timeout) {
  auto idle = [this] {
    // A modal call keeps the run permission: while it waits for the user,
    // every other thread waits for the permission (a frame hearing that a
    // closed window gave it the focus back) or for input, and none can make
    // progress.
    bool held_by_user = false;
    for (const Slot& s : slots_) {
      if (s.state == SlotState::kModal) {
        if (!platform_->AwaitingUser()) return false;
        held_by_user = true;
      }
    }
    if (held_by_user) return true;
    for (const Slot& s : slots_) {
      switch (s.state) {
        case SlotState::kFree:
        case SlotState::kModal:
          break;
        case SlotState::kRunning:
          return false;
        case SlotState::kWaiting:
          if (s.timer || (s.waiting != nullptr && !s.waiting->queue_.empty())) return false;
          break;
      }
    }
    return true;
  };
  auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(mu_);
  // The platform does not notify when a modal call starts waiting, so the
  // condition is looked at again every few milliseconds as well.
  while (!idle()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    cv_.wait_for(lock, std::chrono::milliseconds(5));
  }
  return true;
}

// ---------------------------------------------------------------------------
// Modal interactions. The calling thread keeps the run permission: nothing
// else runs until the user has answered.

template <typename F>
auto Engine::Modal(F&& call) {
  int slot = current_engine == this ? current_slot : -1;
  // Nothing a read run keeps stays held while the user answers.
  files::EndReadRunTenures();
  if (slot >= 0) {
    std::lock_guard<std::mutex> lock(mu_);
    slots_[slot].state = SlotState::kModal;
    cv_.notify_all();
  }
  auto result = call();
  if (slot >= 0) {
    std::lock_guard<std::mutex> lock(mu_);
    slots_[slot].state = SlotState::kRunning;
    cv_.notify_all();
  }
  return result;
}

int Engine::Message(const MessageRequest& request) {
  return Modal([&] { return platform_->ShowMessage(request); });
}

int Engine::Message(const std::string& text, const std::string& caption, Icon icon, int buttons,
                    int default_button) {
  MessageRequest request;
  request.text = text;
  request.caption = caption;
  request.icon = icon;
  request.buttons = buttons;
  request.default_button = default_button;
  return Message(request);
}

std::optional<std::string> Engine::ChooseFile(const FileRequest& request) {
  return Modal([&] { return platform_->ChooseFile(request); });
}

bool Engine::PrinterSetup(WindowId owner) {
  return Modal([&] { return platform_->PrinterSetup(owner); });
}

int Engine::Popup(WindowId owner, const std::string& text, int x, int y) {
  return Modal([&] { return platform_->ShowPopup(owner, text, x, y); });
}

void Engine::Halt(int code, const std::string& text) {
  if (!text.empty()) Message(text, "Halt", Icon::kNone, button::kOk, button::kOk);
  int forced = forced_halt_code_.load();
  int exit_code = forced >= 0 ? forced : code;
  {
    std::lock_guard<std::mutex> lock(halt_mu_);
    if (halt_rule_) exit_code = halt_rule_(exit_code, text);
  }
  std::fflush(nullptr);
  std::_Exit(exit_code);
}

void Engine::SetHaltRule(std::function<int(int code, const std::string& text)> rule) {
  std::lock_guard<std::mutex> lock(halt_mu_);
  halt_rule_ = std::move(rule);
}

void Engine::ShowRuntimeError(const std::string& caption, const std::string& text) {
  Message(text, caption, Icon::kStop, button::kOk, button::kOk);
}

}  // namespace vorsandt::ui
