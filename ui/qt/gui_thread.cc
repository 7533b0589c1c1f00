#include "ui/qt/gui_thread.h"

#include <QMetaObject>
#include <QThread>

namespace vorsandt::ui::qt {

GuiThread::GuiThread(QObject* context) : context_(context) {}

bool GuiThread::OnGuiThread() const { return QThread::currentThread() == context_->thread(); }

bool GuiThread::IsShutDown() const {
  std::lock_guard<std::mutex> lock(mu_);
  return shut_down_;
}

void GuiThread::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (shut_down_) return;
  }
  QMetaObject::invokeMethod(
      context_,
      [this, work = std::move(work)] {
        if (!IsShutDown()) work();
      },
      Qt::QueuedConnection);
}

bool GuiThread::RunAndWait(std::function<void()> work) {
  if (OnGuiThread()) {
    if (IsShutDown()) return false;
    work();
    return true;
  }
  auto pending = std::make_shared<Pending>();
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (shut_down_) return false;
    pending_.insert(pending);
  }
  QMetaObject::invokeMethod(
      context_,
      [this, pending, work = std::move(work)] {
        {
          std::lock_guard<std::mutex> lock(mu_);
          if (pending->cancelled) return;
          pending->started = true;
        }
        work();
        std::lock_guard<std::mutex> lock(mu_);
        pending->finished = true;
        cv_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mu_);
  cv_.wait(lock, [&] { return pending->finished || pending->cancelled; });
  pending_.erase(pending);
  return pending->finished;
}

void GuiThread::Shutdown() {
  std::lock_guard<std::mutex> lock(mu_);
  shut_down_ = true;
  for (const auto& p : pending_) {
    // Work already running sits on this thread's stack below us only in a
    // nested loop; it finishes and answers on its own.
    if (!p->started) p->cancelled = true;
  }
  cv_.notify_all();
}

}  // namespace vorsandt::ui::qt
