// Where reports keep their page images: files in the temporary directory
// ($TMPDIR, else /tmp), each named by a fresh unique temporary name with the
// prefix "ZOR" ("ZOR" + six letters or digits + ".wmf"), made with an
// exclusive create so that no existing file is ever overwritten. The file
// is readable by its user only (permissions 0600).
// The report that wrote a page image removes it when it is closed.
//
// All file work goes through the environment (runtime/env), so the tests can
// make writes fail.
#ifndef VORSANDT_REPORT_REPORT_IMAGES_H_
#define VORSANDT_REPORT_REPORT_IMAGES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorsandt::env {
class Env;
}

namespace vorsandt::ui {

// The folder page images are written to: $TMPDIR without trailing slashes,
// else /tmp.
std::string PageImageDirectory();

// Writes `bytes` as a new page image and returns its full name; nullopt
// when no file could be made or written (a part-written file is removed).
std::optional<std::string> WritePageImage(const std::vector<uint8_t>& bytes,
                                          env::Env* env = nullptr);

// Removes a page image; false when it was not there or could not go.
bool RemovePageImage(const std::string& path, env::Env* env = nullptr);

// Reads a page image whole; nullopt when it cannot be read or is larger
// than any page image (64 MiB).
std::optional<std::vector<uint8_t>> ReadPageImage(const std::string& path, env::Env* env = nullptr);

}  // namespace vorsandt::ui

#endif  // VORSANDT_REPORT_REPORT_IMAGES_H_
