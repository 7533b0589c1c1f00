// morvak: the query program, and a command-line calculator over pictures
// and dates.
//
//   morvak [--data DIR] [--open NAME]
//                                 the query-by-example window over the tables
//                                 of the working directory (or of DIR); the
//                                 frame's "QUERY BY EXAMPLE" starts it so.
//                                 --open runs the query saved as NAME
//   morvak [--data DIR] --headless --script FILE
//                                 the same window without a display, driven
//                                 by a UI test script (docs/ui-scripts.md)
//   morvak format VALUE PICTURE   FORMAT's text, exactly, then a newline
//   morvak deformat TEXT PICTURE  the value the text shows
//   morvak date M D Y             the day number (-1 for an invalid date)
//   morvak day N                  "D M Y" of a day number (-1 -1 -1 if invalid)
//   morvak eval [--set NAME=TEXT]... EXPR
//                                 the expression's value as text
//   morvak query TABLE [--key KEY] [--filter EXPR] [--join TABLE:KEY]...
//                [--start FIELD=VALUE]...
//                                 the rows of a view over the tables in the
//                                 working directory, as CSV
//
// Exit status: 0 done, 1 invalid picture, failed query or expression, or
// output that could not be written (a script that did not hold), 2 wrong use
// (no display for the window, a data folder that does not exist). Standard output is checked
// to the last byte: a full disk is reported on standard error, never taken
// for success.
#include <limits.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/query/query_window.h"
#include "runtime/eval/eval_command.h"
#include "runtime/files/error_state.h"
#include "runtime/format/dates.h"
#include "runtime/format/format.h"
#include "runtime/format/locale.h"
#include "runtime/format/picture.h"
#include "runtime/views/query_command.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "tools/common/tool_files.h"
#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"
#include "ui/headless/script_session.h"
#include "ui/qt/run_qt.h"

namespace {

namespace fmt = vorsandt::format;

constexpr int kInvalidPicture = 1;
constexpr int kOutputFailed = 1;
constexpr int kUsage = 2;

constexpr std::string_view kUsageText =
    "usage: morvak format VALUE PICTURE\n"
    "       morvak deformat TEXT PICTURE\n"
    "       morvak date MONTH DAY YEAR\n"
    "       morvak day DAY-NUMBER\n"
    "       morvak eval [--set NAME=TEXT]... EXPRESSION\n"
    "       morvak query TABLE [--key KEYNAME] [--filter EXPR] [--join TABLE:KEYNAME]...\n"
    "                    [--start FIELD=VALUE]...\n"
    "       morvak [--data DIR] [--open NAME] [--headless --script FILE]\n";

// The arguments after the command word; what goes to standard output and to
// standard error.
using Args = std::span<char* const>;
struct Output {
  std::string out;
  std::string err;
};

int Usage(Output* o) {
  o->err += kUsageText;
  return kUsage;
}

bool ParseInteger(std::string_view text, int64_t* value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

std::string ProgramPath(const char* argv0) {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n > 0) return std::string(buffer, static_cast<size_t>(n));
  return argv0;
}

std::optional<fmt::Picture> CompileOrComplain(const char* text, Output* o) {
  auto picture = fmt::CompilePicture(text);
  if (!picture) o->err += "morvak: \"" + std::string(text) + "\" is not a valid picture\n";
  return picture;
}

int FormatCommand(Args a, Output* o) {
  auto picture = CompileOrComplain(a[1], o);
  if (!picture) return kInvalidPicture;
  o->out += fmt::Format(std::string_view(a[0]), *picture) + "\n";
  return 0;
}

int DeformatCommand(Args a, Output* o) {
  auto picture = CompileOrComplain(a[1], o);
  if (!picture) return kInvalidPicture;
  o->out += fmt::Deformat(a[0], &*picture).text + "\n";
  return 0;
}

int DateCommand(Args a, Output* o) {
  int64_t month, day, year;
  if (!ParseInteger(a[0], &month) || !ParseInteger(a[1], &day) || !ParseInteger(a[2], &year))
    return Usage(o);
  o->out += std::to_string(fmt::DateFromParts(month, day, year)) + "\n";
  return 0;
}

int DayCommand(Args a, Output* o) {
  int64_t number;
  if (!ParseInteger(a[0], &number)) return Usage(o);
  fmt::DateParts parts;
  fmt::PartsFromDate(number, &parts);
  o->out += std::to_string(parts.day) + " " + std::to_string(parts.month) + " " +
            std::to_string(parts.year) + "\n";
  return 0;
}

int QueryCommand(Args a, Output* o) {
  namespace app = vorsandt::app;
  app::InitDictionary(&vorsandt::qvf::QvfEntry);
  vorsandt::views::QueryCatalog catalog;
  for (const app::TableDef& t : app::Tables()) catalog.tables.push_back(app::File(t.table));
  for (const app::RelationDef& r : app::Relations()) {
    catalog.relations.push_back(
        {app::Def(r.parent).label, r.parent_field, app::Def(r.child).label, r.child_field});
  }
  std::vector<std::string_view> rest(a.begin(), a.end());
  return vorsandt::views::RunQueryCommand(rest, catalog, &o->out, &o->err);
}

int EvalCommand(Args a, Output* o) {
  std::vector<std::string_view> rest(a.begin(), a.end());
  // Results may hold NUL bytes (CHR(0)); the output is written whole.
  return vorsandt::eval::RunEvalCommand(rest, &o->out, &o->err);
}

struct Command {
  std::string_view name;
  int arguments;  // after the command word; -1 for any number
  int (*run)(Args, Output*);
};

constexpr std::array<Command, 6> kCommands = {{
    {"format", 2, FormatCommand},
    {"deformat", 2, DeformatCommand},
    {"date", 3, DateCommand},
    {"day", 1, DayCommand},
    {"query", -1, QueryCommand},
    {"eval", -1, EvalCommand},
}};

// True when a desktop session names a display (or the toolkit is told which
// platform to use); without one the toolkit would abort.
bool DisplayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
}

// The query window: on the desktop, or headless under a script. The tables
// are only read; a data folder that does not exist is not made.
int RunWindow(int argc, char** argv, Output* o) {
  std::string data, script, saved;
  bool headless = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--data" && i + 1 < argc) {
      data = argv[++i];
    } else if (arg == "--script" && i + 1 < argc) {
      script = argv[++i];
    } else if (arg == "--open" && i + 1 < argc) {
      saved = argv[++i];
    } else if (arg == "--headless") {
      headless = true;
    } else if (arg != "--screenshot-dir" || ++i >= argc) {
      return Usage(o);
    }
  }
  if (headless == script.empty()) return Usage(o);
  if (!headless && !DisplayNamed()) {
    o->err += "morvak: no display was found (DISPLAY and WAYLAND_DISPLAY are not set)\n";
    return kUsage;
  }
  std::string script_text;
  if (headless) {
    std::string error;
    if (!vorsandt::ui::headless::ReadScriptFile(script, &script_text, &error)) {
      o->err += "morvak: " + error + "\n";
      return kUsage;
    }
  }
  fmt::LoadLocale(ProgramPath(argv[0]));
  vorsandt::app::InitDictionary(&vorsandt::qvf::QvfEntry);
  if (!data.empty() && chdir(data.c_str()) != 0) {
    o->err += "morvak: cannot use the data folder " + data + ": " + std::strerror(errno) + "\n";
    return kUsage;
  }
  const vorsandt::ui::Procedure window = [saved] {
    vorsandt::app::query::RunQueryByExample(saved);
  };
  if (!headless) return vorsandt::ui::qt::RunQtPlatform(argc, argv, window);
  vorsandt::ui::headless::HeadlessPlatform platform;
  vorsandt::ui::Engine engine(&platform);
  vorsandt::ui::headless::ScriptSession session;
  session.name = script;
  session.text = script_text;
  session.out = &std::cout;
  session.err = &std::cerr;
  return vorsandt::ui::headless::RunMainUnderScript(engine, platform, window, session);
}

int Run(int argc, char** argv, Output* o) {
  // No command word: the window.
  if (argc < 2 || std::string_view(argv[1]).starts_with("--")) return RunWindow(argc, argv, o);
  // The locale decides month names, AM/PM texts and the @D17/@D18/@T7/@T8
  // forms. A missing settings file only means the defaults apply.
  fmt::LoadLocale(ProgramPath(argv[0]));
  vorsandt::files::Errors().Clear();
  const Args args(argv + 2, static_cast<size_t>(argc - 2));
  for (const Command& c : kCommands) {
    if (c.name != argv[1]) continue;
    if (c.arguments >= 0 && static_cast<size_t>(c.arguments) != args.size()) break;
    return c.run(args, o);
  }
  return Usage(o);
}

}  // namespace

int main(int argc, char** argv) {
  // Nothing below throws by design; a failure to allocate still ends with a
  // message and a status, not an abort.
  try {
    Output o;
    int status = Run(argc, argv, &o);
    std::string error;
    if (!vorsandt::tools::WriteStandardOutput(o.out, &error) ||
        !vorsandt::tools::CloseStandardOutput(&error)) {
      o.err += "morvak: " + error + "\n";
      status = kOutputFailed;
    }
    std::fwrite(o.err.data(), 1, o.err.size(), stderr);
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morvak: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "morvak: unexpected failure\n");
  }
  return kOutputFailed;
}
