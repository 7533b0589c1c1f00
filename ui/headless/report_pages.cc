// Report pages without a display: each page image is the page's readable
// text form (PageToText), so that tests and scripts can read what a report
// printed; printing records the job instead of reaching a printer.
#include <sys/stat.h>

#include <cstdio>

#include "ui/headless/headless_platform.h"

namespace vorsandt::ui::headless {

std::optional<std::string> HeadlessPlatform::RenderPage(const Page& page, const std::string& stem) {
  std::string path = stem + ".txt";
  std::string text = PageToText(page);
  // "x": a name that already exists is never overwritten.
  std::FILE* f = std::fopen(path.c_str(), "wx");
  if (f == nullptr) return std::nullopt;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::remove(path.c_str());
    return std::nullopt;
  }
  return path;
}

bool HeadlessPlatform::PrintPages(const std::vector<std::string>& pages) {
  // A printer could not read a page image that is not there: the job fails
  // as a whole and nothing is recorded.
  for (const std::string& page : pages) {
    struct stat st;
    if (::stat(page.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  }
  std::lock_guard<std::mutex> lock(mu_);
  print_jobs_.push_back(pages);
  return true;
}

std::vector<std::vector<std::string>> HeadlessPlatform::PrintJobs() const {
  std::lock_guard<std::mutex> lock(mu_);
  return print_jobs_;
}

}  // namespace vorsandt::ui::headless
