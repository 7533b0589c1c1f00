// The files of the documents table: each record's file is a copy kept in the
// data folder's documents folder, so that the folder alone holds everything
// and other computers sharing it see the same files.
//
// Invariants:
// - a stored file is complete: it is copied under a temporary name, flushed
//   and only then given its own name, which never replaces another file
//   (two programs storing "receipt.pdf" at once get two names);
// - a file is never removed because its record went: it is put aside in
//   documents/.deleted, again under a name that replaces nothing.
#ifndef VORSANDT_APP_DOCUMENTS_DOCUMENT_STORE_H_
#define VORSANDT_APP_DOCUMENTS_DOCUMENT_STORE_H_

#include <cstddef>
#include <string>

#include "runtime/env/env.h"

namespace vorsandt::app {

// Relative to the data folder, which is the working folder.
inline constexpr char kDocumentsFolder[] = "documents";
inline constexpr char kPutAsideFolder[] = "documents/.deleted";

// Whether `name` can be a stored name: a plain name inside the documents
// folder, neither hidden nor reaching out of it ("../ITEMS.QVF"), whatever a
// record imported from elsewhere says.
bool IsStoredName(const std::string& name);

// Where a stored name lives: "documents/NAME".
std::string StoredPath(const std::string& name);

// The readable name a copy of `source` is stored under before any number is
// added: the original's last part, with characters other than letters,
// digits, ".", "-", "_", "+", "(", ")" and spaces made "_", cut to
// `max_length` keeping the extension.
std::string StoredNameFor(const std::string& source, size_t max_length);

// Copies `source` whole into the documents folder (made when missing) under
// a name of at most `max_length` characters not taken yet ("receipt.pdf",
// else "receipt-2.pdf", ...). True with `*stored` the name; false with
// `*error` saying in words why nothing was stored.
bool StoreDocument(env::Env* env, const std::string& source, size_t max_length, std::string* stored,
                   std::string* error);

// Moves the stored file `name` into documents/.deleted (made when missing),
// numbered like a stored name when that name is taken there. A file that is
// not there is nothing to put aside (true); a name that is no stored name is
// never touched (false). False with `*error` otherwise:
// the file then stays where it was.
bool PutAside(env::Env* env, const std::string& name, std::string* error);

// Removes a copy that no record names (its save failed).
void RemoveUnsaved(env::Env* env, const std::string& name);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_DOCUMENTS_DOCUMENT_STORE_H_
