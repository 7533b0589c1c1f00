// Report pages without a display: printing plays each page image into its
// text listing, so that tests and scripts can read what went to the
// "printer"; a job is all or nothing, like a real one that is checked first.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "images/metafile_file.h"
#include "images/metafile_listing.h"
#include "runtime/env/env.h"
#include "ui/headless/headless_platform.h"

namespace vorsandt::ui::headless {
namespace {

// With VORSANDT_HEADLESS_PRINTS naming a file, every printed page's listing
// is appended to it after a line "printed page N", so that a script's
// runner can check what reached the printer.
void AppendToPrintLog(const std::vector<std::string>& listings) {
  static int printed = 0;
  const char* log = std::getenv("VORSANDT_HEADLESS_PRINTS");
  if (log == nullptr || *log == '\0') return;
  std::string text;
  for (const std::string& listing : listings) {
    text += "printed page " + std::to_string(++printed) + "\n" + listing;
  }
  std::unique_ptr<env::File> file;
  env::Env* e = env::Env::Default();
  uint64_t size = 0;
  if (e->Open(log, env::kOpenCreate, &file) != 0 || file->Size(&size) != 0) return;
  file->WriteAt(size, text.data(), text.size());
}

}  // namespace

// A machine without a printer, for scripts: the variable set and not "0".
static bool NoPrinterInstalled() {
  const char* none = std::getenv("VORSANDT_HEADLESS_NO_PRINTER");
  return none != nullptr && *none != '\0' && std::string(none) != "0";
}

PrintResult HeadlessPlatform::PrintPages(const std::vector<std::string>& pages) {
  PrintResult result;
  std::string pdf;
  PdfWriter writer;
  {
    std::lock_guard<std::mutex> lock(mu_);
    pdf = print_to_pdf_;
    writer = pdf_writer_;
    // Failed until it has printed, so that the next job asks first.
    last_job_failed_ = true;
  }
  if (!pdf.empty()) {
    if (!writer || !writer(pages, pdf, nullptr)) return result;
    result.file = pdf;
  } else {
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (!printer_present_) return result;
    }
    if (NoPrinterInstalled()) return result;
    std::vector<std::string> listings;
    for (const std::string& page : pages) {
      std::optional<std::vector<uint8_t>> bytes = images::ReadMetafileFile(page);
      if (!bytes) return result;
      images::MetafileListing listing;
      if (!images::PlayMetafile(*bytes, listing).ok) return result;
      listings.push_back(listing.text());
    }
    std::lock_guard<std::mutex> lock(mu_);
    printed_pages_.insert(printed_pages_.end(), listings.begin(), listings.end());
    AppendToPrintLog(listings);
  }
  std::lock_guard<std::mutex> lock(mu_);
  print_jobs_.push_back(pages);
  last_job_failed_ = false;
  result.printed = true;
  return result;
}

bool HeadlessPlatform::PrinterReady() {
  std::lock_guard<std::mutex> lock(mu_);
  if (last_job_failed_) return false;
  return printer_chosen_ || (printer_present_ && !NoPrinterInstalled());
}

void HeadlessPlatform::ShowNotice(const std::string& text) {
  std::fprintf(stderr, "[notice] %s\n", text.c_str());
  std::lock_guard<std::mutex> lock(mu_);
  notices_.push_back(text);
}

std::vector<std::string> HeadlessPlatform::Notices() const {
  std::lock_guard<std::mutex> lock(mu_);
  return notices_;
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

void HeadlessPlatform::SetPdfWriter(PdfWriter writer) {
  std::lock_guard<std::mutex> lock(mu_);
  pdf_writer_ = std::move(writer);
}

bool HeadlessPlatform::WritePdf(const std::vector<std::string>& pages, const std::string& file,
                                std::string* error) {
  PdfWriter writer;
  {
    std::lock_guard<std::mutex> lock(mu_);
    writer = pdf_writer_;
  }
  std::string why = "PDF files cannot be drawn here";
  bool ok = writer && writer(pages, file, &why);
  if (!ok && error != nullptr) *error = why;
  return ok;
}

}  // namespace vorsandt::ui::headless
