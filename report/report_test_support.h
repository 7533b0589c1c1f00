// What the report engine's tests share: their report definitions, a platform
// that keeps the rendered pages and print jobs, and a fixture with an engine.
#ifndef VORSANDT_REPORT_REPORT_TEST_SUPPORT_H_
#define VORSANDT_REPORT_REPORT_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ui/engine/engine.h"
#include "images/metafile_listing.h"
#include "report/report.h"
#include "report/report_images.h"
#include "ui/engine/test_platform.h"

namespace vorsandt::ui::report_test {

// A list report: a detail area 1000 high holding three 300-high detail bands
// per page, a page header with the title and the page number, a page footer
// and a form band with a frame.
inline constexpr char kReports[] = R"(resource: REPT01_RSC
id: TESTS$REPT01
structures:
  - report: LIST$REPORT
    at: [1000, 2000, 6000, 1000]
    bands:
      - header:
        at: [1000, 1000, 6000, 500]
        controls:
          - string: TITLE
            at: [100, 100, default, default]
          - value: PAGE:NUMBER
            picture: "@n3"
            at: [5000, 100, default, default]
      - detail:
        at: [default, default, default, 300]
        controls:
          - value: name
            picture: "@s10"
            at: [0, 0, default, default]
          - value: amount
            picture: "@n-10.2"
            at: [2000, 0, default, default]
      - footer:
        at: [1000, 9000, 6000, 200]
        controls:
          - string: LAST
          - value: name
            at: [1000, 0, default, default]
      - form:
        at: [500, 500, 7500, 10000]
        controls:
          - box:
            at: [0, 0, 7500, 10000]
  - window: LIST$PROGRESSWINDOW
  - report: GROUPS$REPORT
    at: [1000, 2000, 6000, 1000]
    bands:
      - break:
        use: company
        bands:
          - header:
            at: [default, default, default, 100]
            controls:
              - string: COMPANY
              - value: company
                at: [2000, 0, default, default]
          - break:
            use: policy
            bands:
              - header:
                at: [default, default, default, 100]
                controls:
                  - string: POLICY
                  - value: policy
                    at: [2000, 0, default, default]
              - detail:
                at: [500, default, default, 100]
                controls:
                  - value: item
              - footer:
                at: [default, default, default, 100]
                controls:
                  - string: END POLICY
                  - value: policy
                    at: [2000, 0, default, default]
          - footer:
            at: [default, default, default, 100]
            controls:
              - string: END COMPANY
              - value: company
                at: [2000, 0, default, default]
  - report: TOTALS$REPORT
    at: [1000, 2000, 6000, 600]
    bands:
      - break:
        use: policy
        bands:
          - header:
            at: [default, default, default, 100]
            controls:
              - value: policy
              - value: value
                total: count
                at: [3000, 0, default, default]
          - detail:
            at: [default, default, default, 100]
            controls:
              - value: item
              - value: value
                picture: "@n9.2"
                at: [2000, 0, default, default]
              - value: value
                total: sum
                picture: "@n9.2"
                at: [4000, 0, default, default]
          - footer:
            at: [default, default, default, 100]
            controls:
              - string: "VALUE OF ITEMS INSURED:"
              - value: value
                total: sum
                picture: "@N14.2"
                at: [3000, 0, default, default]
      - footer:
        at: [1000, 9000, 6000, 200]
        controls:
          - value: value
            total: sum
            picture: "@n9.2"
          - value: item
            total: count
            at: [3000, 0, default, default]
  - report: TALL$REPORT
    at: [1000, 2000, 6000, 1000]
    bands:
      - detail:
        at: [default, default, default, 2500]
        controls:
          - value: name
  - report: FOOTED$REPORT
    at: [1000, 2000, 6000, 1000]
    bands:
      - detail:
        at: [default, default, default, 300]
        controls:
          - value: name
            at: [0, 0, default, default]
      - detail:
        at: [default, default, default, 200]
        controls:
          - value: name
            at: [0, 150, default, default]
      - footer:
        at: [1000, 2700, 6000, 300]
        controls:
          - value: PAGE:NUMBER
            at: [0, 100, default, default]
  - report: BIGHEAD$REPORT
    at: [1000, 2000, 6000, 1000]
    bands:
      - break:
        use: company
        bands:
          - header:
            at: [default, default, default, 800]
            controls:
              - value: company
          - detail:
            at: [default, default, default, 300]
            controls:
              - value: item
  - report: BARE$REPORT
    bands:
      - header:
        controls:
          - string: HEAD
      - detail:
        controls:
          - value: name
      - footer:
        controls:
          - string: FOOT
  - report: EMPTY$REPORT
    bands:
      - header:
        controls:
          - string: only a header
)";

// Keeps every finished page and its page image's name, and records print
// jobs.
class ReportPlatform : public TestPlatform {
 public:
  void PageFinished(const Page& page, const std::string& image) override {
    pages.push_back(page);
    images.push_back(image);
  }
  PrintResult PrintPages(const std::vector<std::string>& list) override {
    jobs.push_back(list);
    return {print_ok, print_ok ? print_file : std::string()};
  }
  int ShowMessage(const MessageRequest& request) override {
    std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
    return TestPlatform::ShowMessage(request);
  }

  std::vector<Page> pages;
  std::vector<std::string> images;
  std::vector<std::vector<std::string>> jobs;
  bool print_ok = true;
  std::string print_file;  // the printer prints to this file (empty: paper)
};

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The texts a page image draws, in order; a page image that does not play
// gives a single text naming why.
inline std::vector<std::string> ImageTexts(const std::string& path) {
  std::optional<std::vector<uint8_t>> bytes = ReadPageImage(path);
  if (!bytes) return {"(unreadable " + path + ")"};
  images::MetafileListing listing;
  images::PlayResult result = images::PlayMetafile(*bytes, listing);
  if (!result.ok) return {"(" + result.error + ")"};
  return listing.texts();
}

// The texts on a page, in drawing order.
inline std::vector<std::string> Texts(const Page& page) {
  std::vector<std::string> texts;
  for (const PageItem& item : page.items) {
    if (item.type == PageItem::Type::kText) texts.push_back(item.text);
  }
  return texts;
}

inline const PageItem* FindText(const Page& page, const std::string& text) {
  for (const PageItem& item : page.items) {
    if (item.type == PageItem::Type::kText && item.text == text) return &item;
  }
  return nullptr;
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(set_.AddModule("reports", {{"reports.yaml", kReports}}).has_value());
  }

  std::unique_ptr<Report> Make(const char* label) {
    auto report = Report::Create(engine_, "TESTS$REPT01", label);
    report->Bind("name", BindText(&name_));
    report->Bind("amount", BindReal(&amount_));
    return report;
  }

  // Prints one detail band per name (amounts 1, 2, 3, ...).
  void PrintNames(Report& report, const std::vector<std::string>& names, int band = 1) {
    for (size_t i = 0; i < names.size(); ++i) {
      name_ = names[i];
      amount_ = static_cast<double>(i + 1);
      report.Print(band);
    }
  }

  ReportPlatform platform_;
  ResourceSet set_;
  Engine engine_{&platform_, &set_};
  std::string name_;
  double amount_ = 0;
};

}  // namespace vorsandt::ui::report_test

#endif  // VORSANDT_REPORT_REPORT_TEST_SUPPORT_H_
