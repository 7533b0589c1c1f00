// Where a run keeps the page images of its reports.
//
// Page images live in one folder per run, made on first use under the
// temporary directory ($TMPDIR, else /tmp) with a unique name and readable
// only by the user. Each page gets a fresh stem in it ("ZOR" and a number);
// the platform adds the extension of the image kind it writes. The report
// that rendered a page removes its image when the report is closed; the
// folder itself is removed at the end of the run once it is empty.
#ifndef VORSANDT_REPORT_REPORT_IMAGES_H_
#define VORSANDT_REPORT_REPORT_IMAGES_H_

#include <optional>
#include <string>

namespace vorsandt::ui {

// The run's page-image folder; nullopt when it cannot be made. Made again
// (under a new name) when it has gone.
std::optional<std::string> PageImageFolder();

// A stem no other page of this run has: folder + "/ZOR" + a number.
// nullopt when the folder cannot be made. Safe from any thread.
std::optional<std::string> NewPageImageStem();

// Removes a page image; false when it was not there or could not go.
bool RemovePageImage(const std::string& path);

}  // namespace vorsandt::ui

#endif  // VORSANDT_REPORT_REPORT_IMAGES_H_
