// For the toolkit's tests: serving the GUI thread's events while waiting for
// what a platform call posted to it.
#ifndef VORSANDT_UI_QT_SERVE_EVENTS_H_
#define VORSANDT_UI_QT_SERVE_EVENTS_H_

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

namespace vorsandt::ui::qt {

// Serves events until `done()` holds; false after 20 s, a generous bound that
// only keeps a broken build from hanging the test run.
template <typename F>
bool ServeUntil(F done) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > 20000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

// Serves events for `ms` milliseconds.
inline void Serve(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_SERVE_EVENTS_H_
