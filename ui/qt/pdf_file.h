// A document written whole as a file, for the PDF files the program makes
// (reports, the claim pack, printing to a file).
//
// Invariant: the file under its own name is either what it was before the
// call or the complete new document, flushed to disk; never a part. The
// bytes go to a fresh temporary file beside it, which is written, synced and
// closed with every error checked, and only then renamed over the name; on
// any failure the temporary is removed and the name left as it was.
#ifndef VORSANDT_UI_QT_PDF_FILE_H_
#define VORSANDT_UI_QT_PDF_FILE_H_

#include <QByteArray>
#include <string>

#include "runtime/env/env.h"

namespace vorsandt::ui::qt {

// Why `path` cannot be replaced by a new file, in words naming it ("/tmp/x
// is a folder, not a file"), or "" when it can: it does not exist, or it is
// a regular file (or a symbolic link to one, whose file is then replaced). A
// device, a pipe, a socket or a folder is never replaced: renaming over it
// would take its place (a device node, for one run as root).
std::string ReplaceRefusal(const std::string& path);

// Writes `bytes` as the whole of `path` (see the invariant). False, with
// `error` (when given) naming the file and saying why: the refusal above,
// or the system's reason ("cannot write /mnt/full/x.pdf: No space left on
// device").
// Every write, flush and rename goes through `env` (the tests' fault
// environment makes a disk fill up part-way).
bool SaveWholeFile(const QByteArray& bytes, const std::string& path, std::string* error,
                   env::Env* env = env::Env::Default());

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_PDF_FILE_H_
