// Report pages without a display: printing plays each page image into its
// text listing, so that tests and scripts can read what went to the
// "printer"; a job is all or nothing, like a real one that is checked first.
#include "images/metafile_file.h"
#include "images/metafile_listing.h"
#include "ui/headless/headless_platform.h"

namespace vorsandt::ui::headless {

bool HeadlessPlatform::PrintPages(const std::vector<std::string>& pages) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!printer_present_) return false;
  }
  std::vector<std::string> listings;
  for (const std::string& page : pages) {
    std::optional<std::vector<uint8_t>> bytes = images::ReadMetafileFile(page);
    if (!bytes) return false;
    images::MetafileListing listing;
    if (!images::PlayMetafile(*bytes, listing).ok) return false;
    listings.push_back(listing.text());
  }
  std::lock_guard<std::mutex> lock(mu_);
  print_jobs_.push_back(pages);
  printed_pages_.insert(printed_pages_.end(), listings.begin(), listings.end());
  return true;
}

std::vector<std::vector<std::string>> HeadlessPlatform::PrintJobs() const {
  std::lock_guard<std::mutex> lock(mu_);
  return print_jobs_;
}

std::vector<std::string> HeadlessPlatform::PrintedPages() const {
  std::lock_guard<std::mutex> lock(mu_);
  return printed_pages_;
}

void HeadlessPlatform::SetPrinterPresent(bool present) {
  std::lock_guard<std::mutex> lock(mu_);
  printer_present_ = present;
}

}  // namespace vorsandt::ui::headless
