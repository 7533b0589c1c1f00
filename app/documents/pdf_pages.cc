#include "app/documents/pdf_pages.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <list>
#include <memory>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

namespace vorsandt::app {
namespace {

// qpdf reports with exceptions; they end here, as words.
std::string Why(const std::exception& e) {
  if (const auto* exc = dynamic_cast<const QPDFExc*>(&e)) {
    if (exc->getErrorCode() == qpdf_e_password) return "it is protected by a password";
    return "it is damaged: " + exc->getMessageDetail();
  }
  return std::string("it cannot be read: ") + e.what();
}

void Read(QPDF* pdf, const std::string& path) {
  // Damage is reported, not repaired behind the user's back, and warnings
  // do not go to the program's standard error.
  pdf->setSuppressWarnings(true);
  pdf->setAttemptRecovery(false);
  pdf->processFile(path.c_str());
}

// Writes `bytes` beside `file` under a name nobody uses, flushes it and
// renames it over `file`.
bool ReplaceWhole(env::Env* env, const std::string& file, const unsigned char* bytes, size_t length,
                  std::string* error) {
  std::unique_ptr<env::File> out;
  std::string temporary;
  int rc = EEXIST;
  for (int n = 1; rc == EEXIST && n < 1000; ++n) {
    temporary = file + ".appending-" + std::to_string(n);
    rc = env->CreateNew(temporary, env::kOpenReadWrite, 0644, &out);
  }
  const bool created = rc == 0;
  if (rc == 0) rc = out->WriteAt(0, bytes, length);
  if (rc == 0) rc = out->Sync();
  out.reset();
  if (rc == 0) rc = env->Rename(temporary, file);
  if (rc != 0) {
    if (created) env->Delete(temporary);
    *error = "cannot write " + file + ": " + std::strerror(rc);
    return false;
  }
  return true;
}

}  // namespace

int PdfPageCount(const std::string& path, std::string* error) {
  try {
    QPDF pdf;
    Read(&pdf, path);
    return static_cast<int>(QPDFPageDocumentHelper(pdf).getAllPages().size());
  } catch (const std::exception& e) {
    *error = Why(e);
    return -1;
  }
}

bool AppendPdfPages(env::Env* env, const std::string& file,
                    const std::vector<std::string>& documents, std::string* error) {
  std::shared_ptr<Buffer> bytes;
  std::string current = file;
  try {
    QPDF pack;
    Read(&pack, file);
    QPDFPageDocumentHelper pages(pack);
    // The documents' pages are copied when the pack is written, so each
    // document stays open until then.
    std::list<QPDF> sources;
    for (const std::string& document : documents) {
      current = document;
      Read(&sources.emplace_back(), document);
      for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(sources.back()).getAllPages())
        pages.addPage(page, false);
    }
    current = file;
    QPDFWriter writer(pack);
    writer.setOutputMemory();
    writer.write();
    bytes = writer.getBufferSharedPointer();
  } catch (const std::exception& e) {
    *error = current + ": " + Why(e);
    return false;
  }
  return ReplaceWhole(env, file, bytes->getBuffer(), bytes->getSize(), error);
}

}  // namespace vorsandt::app
