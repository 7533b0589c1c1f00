// The pages of PDF documents kept with an item, put after the pages of a PDF
// the program wrote (the claim pack), through qpdf: the pages are copied as
// they are (text, vector drawings and fonts), never redrawn as pictures.
//
// Invariant: the PDF being appended to is replaced whole or not at all: the
// longer document is written beside it, flushed, and only then renamed over
// it; on any failure it is left as it was.
#ifndef VORSANDT_APP_DOCUMENTS_PDF_PAGES_H_
#define VORSANDT_APP_DOCUMENTS_PDF_PAGES_H_

#include <string>
#include <vector>

#include "runtime/env/env.h"

namespace vorsandt::app {

// The number of pages of the PDF file `path`, or -1 with `*error` saying in
// words why it cannot be read as a PDF ("it is damaged: ...", "it is
// protected by a password").
int PdfPageCount(const std::string& path, std::string* error);

// Appends every page of each of `documents`, in order, to the PDF file
// `file`. False, with `*error` saying why and `file` unchanged, when one of
// them cannot be read or the result cannot be written.
bool AppendPdfPages(env::Env* env, const std::string& file,
                    const std::vector<std::string>& documents, std::string* error);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_DOCUMENTS_PDF_PAGES_H_
