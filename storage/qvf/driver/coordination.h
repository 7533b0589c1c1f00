// The transaction coordination file: a QVF file that lists the transactions
// over several table files that are in progress, so that the next opener of
// a file with a pending log can tell whether that log's transaction committed.
//
// Entries: one per transaction in progress, key part = the transaction
// number (4 bytes, big-endian), no data. Each table file changed by such a
// transaction carries a marker entry (key part the single byte 0xFF) whose
// data is the transaction number (4 bytes, big-endian) followed by the
// coordination file's name and a terminating 0.
//
// Invariants of a commit over several files (CommitFile):
//  1. The transaction's number is saved into the coordination file before
//     any table file's log is committed (phase 1).
//  2. The number is deleted from the coordination file (and that deletion
//     saved) only after every table file's phase 1 succeeded; this deletion
//     is the commit point.
//  3. Phase 2 (applying logs home) runs only after the commit point.
// Hence a pending log whose number is still listed never committed and is
// abandoned; a pending log whose number is gone (or without a marker) is
// applied. The coordination file is changed only under its writer lock.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_COORDINATION_H_
#define VORSANDT_STORAGE_QVF_DRIVER_COORDINATION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/env/env.h"
#include "storage/qvf/container.h"
#include "storage/qvf/driver/lock_area.h"

namespace vorsandt::qvf {

inline constexpr char kDefaultCoordinationFile[] = "velocara.qcf";
inline constexpr char kMarkerKey[] = "\xFF";

// True when a QVF file never completed a save: empty, or its header still all
// zero bytes (a first save interrupted before its header was written). Such a
// file holds nothing that was ever saved, so it may start again empty.
bool NeverSaved(env::File* file);

// The coordination file of this process ("QCF=" changes it).
std::string CoordinationFileName();
void SetCoordinationFileName(std::string_view name);

// Marker entry data and back. DecodeMarker is false for data too short or
// without the terminating 0.
std::string EncodeMarker(uint32_t number, std::string_view coordination_file);
bool DecodeMarker(std::string_view data, uint32_t* number, std::string* coordination_file);

// A transaction number derived from the current date and time.
uint32_t TransactionNumberNow();

// Is transaction `number` listed in coordination file `path`? A missing file
// lists nothing. Returns 0 or an error code.
[[nodiscard]] int TransactionListed(env::Env* env, const std::string& path, uint32_t number, bool* listed);

// The answer to the container's "is this log's transaction still open?":
// reads the marker entry through the log and looks its number up in the
// coordination file it names.
Container::LogQuestion MakeLogQuestion(env::Env* env);

// One open coordination file, used by a commit over several files.
class CoordinationFile {
 public:
  explicit CoordinationFile(env::Env* env);
  ~CoordinationFile();

  // Opens (creating when missing) the file at `path`.
  [[nodiscard]] int Open(const std::string& path);
  // Lists a new transaction: starting at `first`, the first number not yet
  // listed is inserted and saved; `*number` receives it.
  [[nodiscard]] int Begin(uint32_t first, uint32_t* number);
  // Removes transaction `number` and saves: the transaction is committed.
  [[nodiscard]] int Finish(uint32_t number);
  [[nodiscard]] int Close();
  const std::string& path() const { return path_; }

 private:
  env::Env* env_;
  std::string path_;
  std::unique_ptr<env::File> lock_file_;
  std::unique_ptr<FileLocks> locks_;
  std::unique_ptr<Container> container_;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_COORDINATION_H_
