// The torture workload: a reproducible sequence of saves on three of the
// application's tables (COMPANIES, LOCATIONS and CLAIM with its memo), each
// save one step — an add, a rewrite, a delete, or a transaction that changes
// COMPANIES and LOCATIONS together through Logout and Commit.
//
// Every record's contents follow from its table, its number and its version,
// so a model (table, number) -> version describes the files completely and a
// checker can compare every byte of every record (and memo) read back.
//
// The progress journal is a text file, one line per event, each written with
// a single write(2) on an O_APPEND descriptor (no stdio buffering, no flush
// call of its own so that injected faults on the storage's flushes never hit
// it; a killed process loses nothing already written):
//   openfail CODE                  opening or creating the tables failed
//   created                        the table files exist and are open
//   begin S N K T R V [K T R V]... step S with N sub-operations (kind K
//                                  a/p/d, table T, number R, new version V)
//   ok S                           step S was reported finished
//   fail S CODE                    step S was reported failed with CODE
//   end                            the workload ran to its end
#ifndef VORSANDT_TESTS_TORTURE_WORKLOAD_H_
#define VORSANDT_TESTS_TORTURE_WORKLOAD_H_

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/dictionary/dictionary.h"

namespace vorsandt::torture {

// The tables the workload uses, and the names of their files.
inline constexpr app::Table kTables[] = {app::Table::kCompanies, app::Table::kLocations,
                                         app::Table::kClaim};
std::vector<std::string> TableFileNames();
// The transaction coordination file the driver uses in the working folder.
inline constexpr const char* kCoordinationFile = "velocara.qcf";

enum class Kind : char { kAdd = 'a', kPut = 'p', kDelete = 'd' };

struct SubOp {
  Kind kind;
  app::Table table;
  int number;   // the record's number (its primary key value)
  int version;  // the version the record has after the operation
};

struct Step {
  int number = 0;
  std::vector<SubOp> ops;  // two or more: one transaction over their files
};

// (table, record number) -> version.
using Model = std::map<std::pair<int, int>, int>;

void Apply(const Step& step, Model* model);
std::string FormatStep(const Step& step);  // "S N K T R V ..."
bool ParseStep(std::string_view text, Step* step);

// Picks the next step from the model: adds while tables are small, then a
// mix of rewrites, deletes, adds and (when `transactions`) two-file
// transactions. Numbers are taken from `*next_number` (never reused, so a
// deleted record's number never comes back) within [base, base + 1000); once
// they are used up only rewrites and deletes follow, and when nothing is left
// the step has no operations (the workload is over).
Step NextStep(std::mt19937* random, const Model& model, int step_number, int base, int* next_number,
              bool transactions);

// The contents of a record: writes them into the calling thread's record
// buffer (and memo buffer) of the table.
void FillRecord(app::Table table, int number, int version);

// Opens the three tables (creating missing files when `create`). Returns the
// first error code, 0 when all are open.
int32_t OpenTables(bool create);
// Closes the three tables; returns the first error code.
int32_t CloseTables();

// Performs one step through the file access layer. Returns 0 or the first
// error code; `*what` names the failing call.
int32_t RunStep(const Step& step, std::string* what, int hold_seconds = 0);

// Reads every table in record order and in the order of every key and
// compares all records and memos with `model`. Only records whose number lies
// in [base, base + span) are compared when span > 0 (a process's own share,
// while others may be writing: the record counter and the key orders are
// then not compared).
bool Verify(const Model& model, std::string* why, int base = 0, int span = 0);
// Reads every table in record order; each record must be whole, as some
// version of the workload wrote it (what a reader beside writers may see).
bool CheckConsistent(std::string* why);
// The same in record order and in the order of every key: each call reads a
// key entry, a record and its memo, possibly on different pages, all of which
// must come from one save.
bool CheckConsistentInEveryOrder(std::string* why);

// The journal.
class Journal {
 public:
  explicit Journal(const std::string& path);
  ~Journal();
  bool ok() const { return fd_ >= 0; }
  void Line(const std::string& line);

 private:
  int fd_ = -1;
};

// What a journal says: the model of every step reported finished (in
// order), the last step begun but not reported, the failed steps.
struct JournalState {
  bool created = false;
  bool ended = false;
  Model model;               // steps reported finished, applied in order
  bool has_pending = false;  // a step was begun and neither ok nor fail
  Step pending;
  std::vector<std::pair<int, int32_t>> failures;  // (step, code)
  int reported = 0;                               // steps reported finished
};
bool ReadJournal(const std::string& path, JournalState* state, std::string* why);

}  // namespace vorsandt::torture

#endif  // VORSANDT_TESTS_TORTURE_WORKLOAD_H_
