// Page images on the toolkit: placeable metafiles (the report engine's page
// images, .WMF pictures) played onto a QPainter, drawn into pictures for
// image controls, and printed.
//
// A metafile is drawn into a target rectangle with its proportions kept and
// centred; its window is mapped onto that rectangle, so fonts and pens scale
// with it. Printing puts each page image on a whole sheet of the printer's
// paper.
#ifndef VORSANDT_UI_QT_REPORT_RENDER_H_
#define VORSANDT_UI_QT_REPORT_RENDER_H_

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorsandt::ui::qt {

// Plays `bytes` into `target` on `painter`; false (with `error` when given)
// when the file is not a metafile or stops on a malformed record (what was
// drawn before that stays).
bool DrawMetafile(QPainter& painter, const QRectF& target, const std::vector<uint8_t>& bytes,
                  std::string* error = nullptr);

// The metafile at `path` drawn on a white picture `width` pixels wide (the
// height follows the file's proportions); a null image when `path` is not a
// metafile that plays.
QImage MetafileImage(const std::string& path, int width);

// True when `path` starts like a metafile (either header).
bool LooksLikeMetafile(const std::string& path);

// Prints the page images `paths` on `printer` as one job, one per sheet.
// False, with nothing printed, when one of them cannot be read or played;
// false when the printer cannot be started. A printer that prints to a PDF
// file writes it as WritePageImagesPdf does (whole or not at all), on its
// paper and at its resolution.
bool PrintPageImages(QPrinter& printer, const std::vector<std::string>& paths);

// Makes `job` print where `settings` prints: the printer or the file, the
// paper and its orientation, copies, collation, duplex and colour. A fresh
// printer for every job carries what was chosen without the state a job
// leaves behind.
void CopyPrinterSettings(const QPrinter& settings, QPrinter& job);

// The dots an inch of the PDF files the program writes.
inline constexpr int kPdfResolution = 1200;

// Writes the page images `paths` as the PDF file `pdf`, each on the paper it
// was laid out on (letter for an image that does not say), with no display
// needed: drawn whole first, then written through a flushed temporary
// renamed into place (ui/qt/pdf_file.h), so that `pdf` is the complete
// document or stays as it was. False, with `error` (when given) saying why
// and naming the file, when a page does not play or the file cannot be
// written; a `pdf` that is a device, a pipe or a folder is refused.
bool WritePageImagesPdf(const std::vector<std::string>& paths, const std::string& pdf,
                        std::string* error = nullptr);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_REPORT_RENDER_H_
