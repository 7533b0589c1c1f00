#include "ui/qt/run_qt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "ui/qt/layout_check.h"
#include "ui/qt/qt_platform.h"

namespace vorsandt::ui::qt {
namespace {

int g_shot_pipe[2] = {-1, -1};

void OnScreenshotSignal(int) {
  char byte = 1;
  // Nothing else is safe in a signal handler; a full pipe drops the request.
  ssize_t ignored = write(g_shot_pipe[1], &byte, 1);
  (void)ignored;
}

// Saves the whole screen on every SIGUSR1, numbering the files.
class Screenshots : public QObject {
 public:
  explicit Screenshots(const QString& dir) : dir_(dir) {
    QDir().mkpath(dir_);
    if (pipe2(g_shot_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(g_shot_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Take(); });
    struct sigaction sa;
    std::memset(&sa, 0, sizeof(sa));
    sa.sa_handler = OnScreenshotSignal;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGUSR1, &sa, nullptr);
  }

 private:
  void Take() {
    char buffer[16];
    while (read(g_shot_pipe[0], buffer, sizeof(buffer)) > 0) {
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QPixmap shot = screen->grabWindow(0);
    ++count_;
    QString name = QDir(dir_).filePath(QStringLiteral("shot-%1.png").arg(count_));
    QString partial = name + QStringLiteral(".part");
    if (shot.save(partial, "PNG")) {
      QFile::remove(name);
      QFile::rename(partial, name);
    } else {
      std::fprintf(stderr, "vorsandt: could not save %s\n", qPrintable(name));
    }
  }

  QString dir_;
  QSocketNotifier* notifier_ = nullptr;
  int count_ = 0;
};

QString OptionValue(int argc, char** argv, const char* name) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return QString::fromLocal8Bit(argv[i + 1]);
  }
  return QString();
}

// While the application object is made, the toolkit connects to the display;
// a display that is named but cannot be reached is a fatal toolkit message,
// which would abort the program. It is the user's situation, not a crash:
// say so, point at the way to run without a display, and exit with 2.
void StartUpMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    return;
  }
  std::fprintf(stderr,
               "vorsandt: no display was found: %s\n"
               "vorsandt: to run the program without a display, use --headless --script FILE\n",
               qPrintable(message.split(QLatin1Char('\n')).first()));
  std::fflush(nullptr);
  std::_Exit(2);
}

// The desktop font at the size --font-size names.
void ApplyDesktopFontSize(int argc, char** argv) {
  double points = DesktopFontSize(argc, argv);
  if (points <= 0) return;
  QFont font = QApplication::font();
  font.setPointSizeF(points);
  QApplication::setFont(font);
}

}  // namespace

double DesktopFontSize(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--font-size") != 0) continue;
    if (i + 1 >= argc) return -1;
    char* end = nullptr;
    double points = std::strtod(argv[i + 1], &end);
    if (end == argv[i + 1] || *end != '\0' || !(points >= 4 && points <= 72)) return -1;
    return points;
  }
  return 0;
}

int RunLayoutCheck(int argc, char** argv, ResourceSet* resources) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qt_argc = argc;
  QApplication app(qt_argc, argv);
  ApplyDesktopFontSize(argc, argv);
  int problems = CheckLayout(*resources, std::cout);
  std::cout.flush();
  return problems > 0 ? 1 : 0;
}

int RunQtPlatform(int argc, char** argv, Procedure main_procedure, ResourceSet* resources) {
  int qt_argc = argc;
  QtMessageHandler previous = qInstallMessageHandler(StartUpMessage);
  QApplication app(qt_argc, argv);
  qInstallMessageHandler(previous);
  QCoreApplication::setOrganizationName(QStringLiteral("vorsandt"));
  QCoreApplication::setApplicationName(QStringLiteral("vorsandt"));
  // The program ends when its procedures have ended, not when a window closes.
  QApplication::setQuitOnLastWindowClosed(false);
  UseDesktopMenuStyle();
  ApplyDesktopFontSize(argc, argv);

  std::unique_ptr<Screenshots> screenshots;
  QString shot_dir = OptionValue(argc, argv, "--screenshot-dir");
  if (!shot_dir.isEmpty()) screenshots = std::make_unique<Screenshots>(shot_dir);

  QtPlatform platform;
  platform.frame()->SetRememberGeometry(true);
  platform.memory().SetEnabled(true);
  auto engine = std::make_unique<Engine>(&platform, resources);
  Engine* e = engine.get();
  platform.SetInputSink([e](WindowId id, const Input& input) { e->Input(id, input); });

  if (!engine->StartMain(std::move(main_procedure))) {
    std::fprintf(stderr, "vorsandt: the first procedure could not start\n");
    platform.Shutdown();
    return 1;
  }
  // The loop ends once every procedure thread has ended.
  std::thread watcher([e, &app] {
    e->WaitForEnd();
    QMetaObject::invokeMethod(
        &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });

  int rc = app.exec();
  if (!engine->Ended()) {
    // The loop ended first: ask every window to close, then stop answering.
    for (WindowId id : engine->OpenWindows()) {
      Input close;
      close.type = Input::Type::kClose;
      engine->Input(id, close);
    }
  }
  platform.Shutdown();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!engine->Ended() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!engine->Ended()) {
    std::fprintf(stderr, "vorsandt: procedures still running at exit; leaving them\n");
    std::fflush(nullptr);
    std::_Exit(rc);
  }
  watcher.join();
  engine.reset();
  return rc;
}

}  // namespace vorsandt::ui::qt
