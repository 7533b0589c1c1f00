// morvak: the program's command-line calculator over pictures and dates.
//
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
// Exit status: 0 done, 1 invalid picture, 2 wrong use.
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits.h>
#include <optional>
#include <string>
#include <string_view>

#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/eval/eval_command.h"
#include "runtime/views/query_command.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "runtime/files/error_state.h"
#include "runtime/format/dates.h"
#include "runtime/format/format.h"
#include "runtime/format/locale.h"
#include "runtime/format/picture.h"

namespace {

namespace fmt = vorsandt::format;

constexpr int kInvalidPicture = 1;
constexpr int kUsage = 2;

int Usage() {
  std::fputs(
      "usage: morvak format VALUE PICTURE\n"
      "       morvak deformat TEXT PICTURE\n"
      "       morvak date MONTH DAY YEAR\n"
      "       morvak day DAY-NUMBER\n"
      "       morvak eval [--set NAME=TEXT]... EXPRESSION\n"
      "       morvak query TABLE [--key KEYNAME] [--filter EXPR] [--join TABLE:KEYNAME]...\n"
      "                    [--start FIELD=VALUE]...\n",
      stderr);
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

std::optional<fmt::Picture> CompileOrComplain(const char* text) {
  auto picture = fmt::CompilePicture(text);
  if (!picture) std::fprintf(stderr, "morvak: \"%s\" is not a valid picture\n", text);
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  // The locale decides month names, AM/PM texts and the @D17/@D18/@T7/@T8
  // forms. A missing settings file only means the defaults apply.
  fmt::LoadLocale(ProgramPath(argv[0]));
  vorsandt::files::Errors().Clear();

  std::string_view command = argv[1];
  if (command == "format" && argc == 4) {
    auto picture = CompileOrComplain(argv[3]);
    if (!picture) return kInvalidPicture;
    std::string text = fmt::Format(std::string_view(argv[2]), *picture);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    return 0;
  }
  if (command == "deformat" && argc == 4) {
    auto picture = CompileOrComplain(argv[3]);
    if (!picture) return kInvalidPicture;
    fmt::Deformatted value = fmt::Deformat(argv[2], &*picture);
    std::printf("%s\n", value.text.c_str());
    return 0;
  }
  if (command == "date" && argc == 5) {
    int64_t month, day, year;
    if (!ParseInteger(argv[2], &month) || !ParseInteger(argv[3], &day) ||
        !ParseInteger(argv[4], &year))
      return Usage();
    std::printf("%d\n", fmt::DateFromParts(month, day, year));
    return 0;
  }
  if (command == "query") {
    namespace app = vorsandt::app;
    app::InitDictionary(&vorsandt::qvf::QvfEntry);
    vorsandt::views::QueryCatalog catalog;
    for (const app::TableDef& t : app::Tables()) catalog.tables.push_back(app::File(t.table));
    for (const app::RelationDef& r : app::Relations()) {
      catalog.relations.push_back(
          {app::Def(r.parent).label, r.parent_field, app::Def(r.child).label, r.child_field});
    }
    std::vector<std::string_view> rest(argv + 2, argv + argc);
    std::string out, err;
    int status = vorsandt::views::RunQueryCommand(rest, catalog, &out, &err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
  }
  if (command == "eval") {
    std::vector<std::string_view> rest(argv + 2, argv + argc);
    std::string out, err;
    int status = vorsandt::eval::RunEvalCommand(rest, &out, &err);
    // Results may hold NUL bytes (CHR(0)), so write them whole.
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
  }
  if (command == "day" && argc == 3) {
    int64_t number;
    if (!ParseInteger(argv[2], &number)) return Usage();
    fmt::DateParts parts;
    fmt::PartsFromDate(number, &parts);
    std::printf("%d %d %d\n", parts.day, parts.month, parts.year);
    return 0;
  }
  return Usage();
}
