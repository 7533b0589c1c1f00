// The vorsandt program.
//
//   vorsandt [--data DIR] [--headless --script FILE]
//   vorsandt [--data DIR] --report inventory|insurance|coverage|summary --pdf FILE
//   vorsandt [--data DIR] --report claimpack --claim N --pdf FILE
//   vorsandt [--data DIR] --backup FILE | --restore FILE [--replace]
//   vorsandt --check-layout [--font-size PT]
//
// --data DIR changes into DIR (created when missing) before anything else:
// the tables live in the working directory. --headless runs the program
// without a display, driven by the UI test script FILE (docs/ui-scripts.md);
// the exit code is 0 when every command of the script held and 1 otherwise
// (a halt before the script's end, one it does not wait for with "wait
// exit", is a failure). The desktop program ends a halt with the halt's own
// exit code.
// Without --headless the program needs a display; when none is named it says
// so and exits with 2 rather than letting the toolkit abort. Options that do
// not go together (--script without --headless) are refused with 2.
// --report renders a report straight into the PDF file FILE without a
// display or a window and exits with 0; a failure (an unknown report, an
// empty one, a table that cannot be read, a file that cannot be written) is
// said on standard error and exits with 1, and FILE is then left as it was
// (a FILE that is a device, a pipe or a folder is never replaced). A halt of
// the program on the way (a table that cannot be opened) exits with 1 too.
// The tables are only read: none is created, and a folder the user may only
// read serves.
// The claim pack of claim N is written the same way; its messages (a
// photograph missing from the pack, say) go to standard error, and it exits
// with 1 only when no pack was written.
// --backup and --restore write and restore a backup archive of the data
// folder (app/backup/backup_command.h).
// --check-layout builds every window definition offscreen at the desktop's
// font and scale (QT_SCALE_FACTOR, QT_FONT_DPI) and lists every text that
// does not fit its control and every control outside its window, then
// "N windows, M controls, K problems"; it exits with 1 when K > 0.
// --font-size PT sets the desktop font's point size for the run (the
// windows follow it), for the desktop program and for --check-layout.
// VORSANDT_TODAY=YYYY-MM-DD names the day the program takes as today: always
// for scripts and reports (a script run without it shows no reminder), and
// for a desktop run when it is set.
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "app/backup/backup_command.h"
#include "app/backup/restore_swap.h"
#include "app/dictionary/dictionary.h"
#include "app/frame/main_frame.h"
#include "app/reminders/due_soon.h"
#include "app/report/claim_pack.h"
#include "app/report/report_procedure.h"
#include "app/summary/value_summary.h"
#include "runtime/env/allocator.h"
#include "runtime/env/env.h"
#include "runtime/format/dates.h"
#include "runtime/format/locale.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"
#include "ui/headless/script_session.h"
#include "ui/qt/chart_pdf.h"
#include "ui/qt/report_render.h"
#include "ui/qt/run_qt.h"

namespace {

void Usage() {
  std::fprintf(
      stderr,
      "usage: vorsandt [--data DIR] [--headless --script FILE] [--screenshot-dir DIR] "
      "[--font-size PT]\n"
      "       vorsandt --check-layout [--font-size PT]\n"
      "       vorsandt [--data DIR] --report inventory|insurance|coverage|summary --pdf FILE\n"
      "       vorsandt [--data DIR] --backup FILE | --restore FILE [--replace]\n"
      "       vorsandt [--data DIR] --report claimpack --claim N --pdf FILE\n");
}

// The toolkit without a display, for drawing PDF files: offscreen, its own
// remarks (a runtime folder it had to choose, say) kept off standard error,
// which then holds only what the program says, and the C library's locale
// put back to "C", which the toolkit takes from the environment.
void StartOffscreenToolkit(std::optional<QApplication>& toolkit, int& argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
      std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
  });
  toolkit.emplace(argc, argv);
  std::setlocale(LC_ALL, "C");
}

// One run without a display that draws PDF files: the toolkit, a headless
// platform whose PDF files it draws, and the engine over them. They end in
// order, before the process does: the engine first (it waits until every
// procedure thread has ended, the toolkit's per-thread data of the threads
// that drew pages with them), then the platform, then the toolkit, so that
// nothing of the toolkit is left for the C library's exit to tear down.
// A run asked for a result fails when the program halts on the way: a halt
// then ends the process with 1, whatever code the halt names.
class OffscreenRun {
 public:
  OffscreenRun(int& argc, char** argv, bool halt_fails) {
    StartOffscreenToolkit(toolkit_, argc, argv);
    platform_.emplace();
    platform_->SetPdfWriter(&vorsandt::ui::qt::WritePageImagesPdf);
    engine_.emplace(&*platform_);
    if (halt_fails) engine_->ForceHaltCode(1);
  }
  ~OffscreenRun() {
    engine_.reset();
    platform_.reset();
    toolkit_.reset();
  }
  vorsandt::ui::headless::HeadlessPlatform& platform() { return *platform_; }
  vorsandt::ui::Engine& engine() { return *engine_; }

 private:
  std::optional<QApplication> toolkit_;
  std::optional<vorsandt::ui::headless::HeadlessPlatform> platform_;
  std::optional<vorsandt::ui::Engine> engine_;
};

// The report `name` as the PDF file `pdf` (an absolute name): the report runs
// on an engine thread of a headless platform whose message boxes are answered
// at once (and said on standard error), and its pages are drawn through the
// toolkit's offscreen platform. The file appears whole or not at all.
int ReportToPdf(int argc, char** argv, const std::string& name, const std::string& pdf) {
  const vorsandt::app::ReportDef* def = vorsandt::app::ReportNamed(name);
  if (def == nullptr) {
    std::fprintf(stderr,
                 "vorsandt: no report named %s (inventory, insurance, coverage or summary)\n",
                 name.c_str());
    return 1;
  }
  OffscreenRun run(argc, argv, /*halt_fails=*/true);
  run.platform().CancelAll();
  bool ok = false;
  std::string error;
  run.engine().StartMain([&] {
    ok = vorsandt::app::RenderReport(
        *def,
        [&](const std::vector<std::string>& pages) {
          if (pages.empty()) {
            error = "the report is empty";
            return false;
          }
          return vorsandt::ui::qt::WritePageImagesPdf(pages, pdf, &error);
        },
        &error);
  });
  run.engine().WaitForEnd();
  for (const vorsandt::ui::MessageRequest& message : run.platform().Messages()) {
    std::fprintf(stderr, "vorsandt: [%s] %s\n", message.caption.c_str(), message.text.c_str());
    ok = false;
  }
  if (!ok) {
    if (!error.empty()) std::fprintf(stderr, "vorsandt: %s: %s\n", name.c_str(), error.c_str());
    return 1;
  }
  return 0;
}

// The summary's page as the PDF file `pdf` (an absolute name): the tables
// are summed on an engine thread, as a report reads them, and the page is
// drawn afterwards on this thread, which owns the widget toolkit that draws
// its charts.
int SummaryToPdf(int argc, char** argv, const std::string& pdf) {
  OffscreenRun run(argc, argv, /*halt_fails=*/true);
  run.platform().CancelAll();
  bool ok = false;
  std::string error;
  vorsandt::ui::qt::ChartPage page;
  run.engine().StartMain([&] {
    vorsandt::app::ValueSummary summary;
    ok = vorsandt::app::ReadValueSummaryForReading(&summary, &error);
    if (!ok) return;
    page.title = "VORSANDT Summary";
    page.lines = vorsandt::app::SummaryLines(summary);
    page.charts = {vorsandt::app::LocationChart(summary), vorsandt::app::PolicyChart(summary),
                   vorsandt::app::YearChart(summary)};
  });
  run.engine().WaitForEnd();
  for (const vorsandt::ui::MessageRequest& message : run.platform().Messages()) {
    std::fprintf(stderr, "vorsandt: [%s] %s\n", message.caption.c_str(), message.text.c_str());
    ok = false;
  }
  if (ok) ok = vorsandt::ui::qt::WriteChartPagePdf(page, pdf, &error);
  if (!ok) {
    if (!error.empty()) std::fprintf(stderr, "vorsandt: summary: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

// The claim pack of claim `claim` as the PDF file `pdf` (an absolute name),
// drawn like a report's pages; the pack itself writes the file whole.
int ClaimPackToPdf(int argc, char** argv, int32_t claim, const std::string& pdf) {
  OffscreenRun run(argc, argv, /*halt_fails=*/true);
  run.platform().CancelAll();
  bool ok = false;
  std::string error;
  run.engine().StartMain([&] { ok = vorsandt::app::WriteClaimPackOf(claim, pdf, &error); });
  run.engine().WaitForEnd();  // the platform has said each message on standard error
  if (!error.empty()) std::fprintf(stderr, "vorsandt: claimpack: %s\n", error.c_str());
  return ok ? 0 : 1;
}

// --backup FILE, or --restore FILE with or without --replace, alone; the
// archive is then named from where the program was started.
bool BackupOptionsFit(std::string& backup, std::string& restore, bool replace, bool other) {
  if (backup.empty() && restore.empty() && !replace) return true;
  if ((!backup.empty() && !restore.empty()) || (replace && restore.empty()) || other) {
    std::fprintf(stderr, "vorsandt: --backup FILE or --restore FILE [--replace], alone\n");
    Usage();
    return false;
  }
  std::error_code ec;
  std::string& archive = backup.empty() ? restore : backup;
  archive = std::filesystem::absolute(archive, ec).string();
  return true;
}

// True when a desktop session names a display the toolkit can connect to (or
// the toolkit is told which platform to use). Without one the toolkit would
// abort; the user is told what to do instead.
bool DisplayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
}

// A script or report run takes "today" from VORSANDT_TODAY (YYYY-MM-DD), so
// that what depends on the date, such as the reminder at start or a policy's
// expiry in the coverage check, is the same on every run. A script run that
// names no day shows no reminder. False when the
// variable is set but is no date.
bool InstallScriptClock() {
  const char* value = std::getenv("VORSANDT_TODAY");
  if (value == nullptr || value[0] == '\0') {
    vorsandt::app::SetDueSoonEnabled(false);
    return true;
  }
  vorsandt::format::LocalDateTime day;
  char end = 0;
  if (std::sscanf(value, "%4d-%2d-%2d%c", &day.year, &day.month, &day.day, &end) != 3 ||
      vorsandt::format::DayOf(vorsandt::format::DateFromParts(day.month, day.day, day.year)) !=
          day.day) {
    std::fprintf(stderr, "vorsandt: VORSANDT_TODAY=%s is no date (YYYY-MM-DD)\n", value);
    return false;
  }
  day.hours = 12;
  vorsandt::format::SetClockSource([day] { return day; });
  return true;
}

// What the command line asks for.
struct Options {
  std::string data;
  std::string script;
  bool headless = false;
  std::string report;
  std::string pdf;
  std::string backup, restore;
  bool replace = false;
  long claim = 0;
  bool check_layout = false;
};

// The command line into `o`; false (after saying why) where it does not read.
bool ParseArguments(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--data" && i + 1 < argc) {
      o->data = argv[++i];
    } else if (arg == "--script" && i + 1 < argc) {
      o->script = argv[++i];
    } else if (arg == "--report" && i + 1 < argc) {
      o->report = argv[++i];
    } else if (arg == "--pdf" && i + 1 < argc) {
      o->pdf = argv[++i];
    } else if (arg == "--claim" && i + 1 < argc) {
      char* end = nullptr;
      o->claim = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || o->claim <= 0 || o->claim > 32767) {
        std::fprintf(stderr, "vorsandt: --claim takes a claim reference (1 to 32767)\n");
        return false;
      }
    } else if (arg == "--headless") {
      o->headless = true;
    } else if ((arg == "--backup" || arg == "--restore") && i + 1 < argc) {
      (arg == "--backup" ? o->backup : o->restore) = argv[++i];
    } else if (arg == "--replace") {
      o->replace = true;
    } else if (arg == "--screenshot-dir" && i + 1 < argc) {
      ++i;  // read by the desktop platform itself
    } else if (arg == "--font-size" && i + 1 < argc) {
      ++i;  // read by the desktop platform itself, checked below
      if (vorsandt::ui::qt::DesktopFontSize(argc, argv) < 0) {
        std::fprintf(stderr, "vorsandt: --font-size takes a point size from 4 to 72\n");
        return false;
      }
    } else if (arg == "--check-layout") {
      o->check_layout = true;
    } else {
      Usage();
      return false;
    }
  }
  return true;
}

// The combinations of options that go together, the archive of a backup
// or restore then named from where the program was started; false (after
// saying why) for one that does not.
bool OptionsFit(Options* options) {
  Options& o = *options;
  if (!BackupOptionsFit(o.backup, o.restore, o.replace, o.headless || !o.report.empty())) {
    return false;
  }
  if (o.report.empty() != o.pdf.empty() || (!o.report.empty() && o.headless)) {
    std::fprintf(stderr, "vorsandt: --report and --pdf go together, without --headless\n");
    Usage();
    return false;
  }
  if ((o.report == "claimpack") != (o.claim != 0)) {
    std::fprintf(stderr, "vorsandt: --report claimpack and --claim N go together\n");
    Usage();
    return false;
  }
  if (!o.script.empty() && !o.headless) {
    std::fprintf(stderr,
                 "vorsandt: --script runs only without a display: use --headless --script %s\n",
                 o.script.c_str());
    return false;
  }
  if (o.headless && o.script.empty()) {
    std::fprintf(stderr, "vorsandt: --headless needs --script FILE\n");
    return false;
  }
  if (!o.headless && o.report.empty() && o.backup.empty() && o.restore.empty() && !DisplayNamed()) {
    std::fprintf(stderr,
                 "vorsandt: no display was found (DISPLAY and WAYLAND_DISPLAY are not set)\n"
                 "vorsandt: to run the program without a display, use --headless --script FILE\n");
    return false;
  }
  return true;
}

// The clock a run keeps and, under a script, the script's text (read before
// the data folder changes the working directory); false after saying why.
bool PrepareClockAndScript(const Options& o, std::string* script_text) {
  vorsandt::app::SetDueSoonEnabled(true);
  if ((o.headless || !o.report.empty()) && !InstallScriptClock()) return false;
  // A desktop run keeps the real clock unless a day is named, as the
  // screenshots do so that the reminder they show is the same on every run.
  const char* today = std::getenv("VORSANDT_TODAY");
  if (!o.headless && o.report.empty() && today != nullptr && today[0] != '\0' &&
      !InstallScriptClock()) {
    return false;
  }
  if (o.headless) {
    std::string error;
    if (!vorsandt::ui::headless::ReadScriptFile(o.script, script_text, &error)) {
      std::fprintf(stderr, "vorsandt: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

// The settings file lies beside the program, so the locale is loaded before
// the working directory changes. A missing settings file keeps the defaults.
void LoadLocaleBesideProgram(const char* argv0) {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  vorsandt::format::LoadLocale(ec ? std::string(argv0) : self.string());
}

// Makes the data folder (when named) and changes into it; false after
// saying why.
bool EnterDataFolder(const std::string& data) {
  if (data.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(data, ec);
  if (ec && !std::filesystem::is_directory(data)) {
    // Why the folder could not be made, not the change into it that follows.
    std::fprintf(stderr, "vorsandt: cannot make the data folder %s: %s\n", data.c_str(),
                 ec.message().c_str());
    return false;
  }
  if (chdir(data.c_str()) != 0) {
    std::fprintf(stderr, "vorsandt: cannot use the data folder %s: %s\n", data.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
}

// A restore stopped while it put its files in place is finished (or one
// stopped before that undone) before any table is opened; false after
// saying why it could not be.
bool FinishStoppedRestore() {
  std::string what, error;
  if (!vorsandt::backup::RecoverRestore(vorsandt::env::Env::Default(), ".", &what, &error)) {
    std::fprintf(stderr, "vorsandt: %s\n", error.c_str());
    return false;
  }
  if (!what.empty()) std::fprintf(stderr, "vorsandt: %s\n", what.c_str());
  return true;
}

// PDF files a script's procedures write are drawn through the toolkit's
// offscreen platform, as the command line's are; nothing is shown. A halt
// under a script ends it as the script runner decides (a failure, unless
// the script waits for the program to end with that code).
int RunScript(int argc, char** argv, const Options& o, const std::string& script_text) {
  OffscreenRun run(argc, argv, /*halt_fails=*/false);
  vorsandt::ui::headless::ScriptSession session;
  session.name = o.script;
  session.text = script_text;
  session.out = &std::cout;
  session.err = &std::cerr;
  return vorsandt::ui::headless::RunMainUnderScript(run.engine(), run.platform(),
                                                    vorsandt::app::Main, session);
}

}  // namespace

int main(int argc, char** argv) {
  vorsandt::env::KeepFreedMemoryForReuse();
  Options o;
  if (!ParseArguments(argc, argv, &o)) return 2;
  // The layout check needs no data folder and no display of its own.
  if (o.check_layout) {
    if (o.headless || !o.report.empty() || !o.backup.empty() || !o.restore.empty() ||
        !o.script.empty()) {
      std::fprintf(stderr, "vorsandt: --check-layout goes alone (with --font-size at most)\n");
      return 2;
    }
    return vorsandt::ui::qt::RunLayoutCheck(argc, argv);
  }
  if (!OptionsFit(&o)) return 2;
  if (!o.pdf.empty()) {
    // Named from where the program was started, not from the data folder.
    std::error_code ec;
    o.pdf = std::filesystem::absolute(o.pdf, ec).string();
  }
  std::string script_text;
  if (!PrepareClockAndScript(o, &script_text)) return 2;
  LoadLocaleBesideProgram(argv[0]);
  vorsandt::app::InitDictionary(&vorsandt::qvf::QvfEntry);
  // Checked whole before the data folder is made or anything written in it.
  if (!o.restore.empty()) {
    return vorsandt::backup::RestoreCommand(o.restore, o.data.empty() ? "." : o.data, o.replace);
  }
  if (!EnterDataFolder(o.data)) return 2;
  if (!FinishStoppedRestore()) return 1;

  if (o.claim != 0) return ClaimPackToPdf(argc, argv, static_cast<int32_t>(o.claim), o.pdf);
  if (!o.backup.empty()) return vorsandt::backup::BackupCommand(o.backup);
  if (o.report == "summary") return SummaryToPdf(argc, argv, o.pdf);
  if (!o.report.empty()) return ReportToPdf(argc, argv, o.report, o.pdf);
  if (!o.headless) return vorsandt::ui::qt::RunQtPlatform(argc, argv, vorsandt::app::Main);
  return RunScript(argc, argv, o, script_text);
}
