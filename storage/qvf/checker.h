// Offline inspection of a QVF file for the qvf tool and for tests: header
// fields, regions, log state, and a full walk that decodes every page and
// checks classes, ordering, separators, levels, region packing and the empty
// entry. Works on the raw bytes and never stops the program.
#ifndef VORSANDT_STORAGE_QVF_CHECKER_H_
#define VORSANDT_STORAGE_QVF_CHECKER_H_

#include <string>
#include <vector>

#include "runtime/env/env.h"

namespace vorsandt::qvf {

// `qvf info`: a readable description. Returns false (with `*text` naming the
// fault) when the file cannot be read or has no sound header.
bool DescribeFile(env::Env* env, const std::string& path, std::string* text);

// `qvf check`: every fault found, one line each. Returns false when the file
// cannot be read at all (missing, or not a QVF header).
bool CheckFile(env::Env* env, const std::string& path, std::vector<std::string>* faults);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_CHECKER_H_
