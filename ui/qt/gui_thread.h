// Running work on the toolkit's thread.
//
// The toolkit's event loop runs on the process's main thread; the engine calls
// the platform from procedure threads. Every platform method therefore hands
// its work to the toolkit's thread: snapshots without waiting (a window's
// opening waits until it shows), modal calls waiting for their answer.
//
// Invariants:
//   1. Work runs on the toolkit's thread, in the order it was handed over
//      (queued events to one receiver are delivered in order).
//   2. A waiting caller always returns: with the answer, or with nothing once
//      Shutdown() has run (the loop is gone and nobody will answer). A call
//      made on the toolkit's thread itself runs at once, so a modal call can
//      never wait for the thread that would serve it.
//   3. Work handed over after Shutdown() is dropped; work that has not started
//      when Shutdown() runs never starts, so it never touches a caller's data
//      after the caller was released.
#ifndef VORSANDT_UI_QT_GUI_THREAD_H_
#define VORSANDT_UI_QT_GUI_THREAD_H_

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace vorsandt::ui::qt {

class GuiThread {
 public:
  // `context` lives on the toolkit's thread and outlives every call.
  explicit GuiThread(QObject* context);

  bool OnGuiThread() const;
  bool IsShutDown() const;

  // Runs `work` later on the toolkit's thread; does not wait.
  void Post(std::function<void()> work);

  // Runs `work` on the toolkit's thread and waits for its result; nullopt
  // when the platform shut down before the work could run or finish.
  template <typename T>
  std::optional<T> Call(std::function<T()> work) {
    auto result = std::make_shared<std::optional<T>>();
    bool done = RunAndWait([work = std::move(work), result] { *result = work(); });
    if (!done) return std::nullopt;
    return std::move(*result);
  }

  // On the toolkit's thread when its loop has ended: releases every waiting
  // caller and drops later work.
  void Shutdown();

 private:
  struct Pending {
    bool started = false;
    bool finished = false;
    bool cancelled = false;
  };

  bool RunAndWait(std::function<void()> work);

  QObject* context_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  bool shut_down_ = false;
  std::set<std::shared_ptr<Pending>> pending_;
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_GUI_THREAD_H_
