// Small QVF files made by the library, used as the seed corpus of the QVF
// fuzz target (written by make_qvf_seeds) and checked by qvf_seeds_test.
#ifndef VORSANDT_TESTS_FUZZ_QVF_SEED_FILES_H_
#define VORSANDT_TESTS_FUZZ_QVF_SEED_FILES_H_

#include <map>
#include <string>

namespace vorsandt::fuzz {

// The file the QVF target opens, and the tables the table seed holds.
inline constexpr const char* kQvfPath = "DATA.QVF";
inline constexpr const char* kQvfTables[] = {"DATA!FIRST", "DATA!SECOND"};

// Seed name -> file image: an empty file, a one-page file, a file with a
// tree of several levels, a file whose last save stopped after its log was
// committed, and a file with two tables (records, keys, memos).
std::map<std::string, std::string> MakeQvfSeeds();

}  // namespace vorsandt::fuzz

#endif  // VORSANDT_TESTS_FUZZ_QVF_SEED_FILES_H_
