// The text file driver ("ASCII"): a plain text file seen as a table whose
// records are its lines.
//
// A record pointer is the byte offset of a line's first character plus one;
// a position text is that pointer in 4 bytes, least significant first. Lines
// end with the end-of-record sequence (carriage return, line feed unless the
// ENDOFRECORD option says otherwise); a Ctrl-Z ends the readable text. The
// driver answers the file access layer's entry with its rules table; keyed
// operations, Previous and Bof are not offered (80), and a transaction over a
// text file cannot be begun (the file registers no transaction support).
//
// Writes. Text files carry no log and nothing here flushes them; what is
// promised is that a write never damages other lines:
//  1. Add is one write at the end of the file (preceded by an end-of-record
//     sequence when the last line had none, followed by the closing Ctrl-Z
//     when the file had one). If it fails the file is cut back to its old end.
//  2. Put (and the positioned writes) of a line of the same length is one
//     write over it. Of another length, the line and everything after it are
//     written again in one write from the line's offset, then the file is
//     shortened when it got shorter; the current line and the reading sequence
//     move with the lines. A crash inside that write can tear the moved part.
//  3. Writes to a shared file take the whole-file lock first (unless Lock
//     holds it already) and re-read the size under it.
#ifndef VORSANDT_RUNTIME_TEXT_TEXT_DRIVER_H_
#define VORSANDT_RUNTIME_TEXT_TEXT_DRIVER_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/env/env.h"
#include "runtime/files/driver.h"
#include "runtime/files/file_decl.h"
#include "runtime/text/text_file.h"
#include "runtime/text/text_layout.h"
#include "runtime/text/text_options.h"

namespace vorsandt::text {

// The driver entry of text files: the first field of their declarations.
int32_t AsciiEntry(int32_t op, files::AccessObject* object, const files::Args& args);


// The environment text files are opened through: Env::Default() unless a
// test installs another (nullptr restores the default). Files already open
// keep the handle they were opened with.
void SetTextFileEnv(env::Env* env);
env::Env* TextFileEnv();

// The driver's per-file state.
class TextBlock : public files::DriverBlock {
 public:
  std::vector<TextField> fields;
  TextOptions options;
  std::unique_ptr<TextFile> file;  // null while the file is closed
  bool oem = false;                // declared with OEM text
  bool read_only = false;          // opened with access code 0: writes fail with 5
  bool shared = false;             // opened with sharing code 4: writes lock first
  bool locked = false;             // the whole-file lock of Lock/LockTimeout is held
  bool has_current = false;        // a line is current (pointer and byte count valid)
  uint64_t current_offset = 0;
  uint64_t current_bytes = 0;  // end-of-record and skipped bytes included
  uint64_t next_offset = 0;    // where the next Next reads
};

// Read-buffer size for `record_length`: the FILEBUFFERS count of 512-byte
// units, but at least twice a full line, so one view always holds a line.
size_t ReadBufferSize(const TextOptions& options, uint32_t record_length);

}  // namespace vorsandt::text

#endif  // VORSANDT_RUNTIME_TEXT_TEXT_DRIVER_H_
