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
// false when the printer cannot be started.
bool PrintPageImages(QPrinter& printer, const std::vector<std::string>& paths);

// Makes `job` print where `settings` prints: the printer or the file, the
// paper and its orientation, copies, collation, duplex and colour. A fresh
// printer for every job carries what was chosen without the state a job
// leaves behind.
void CopyPrinterSettings(const QPrinter& settings, QPrinter& job);

// Writes the page images `paths` as a PDF file `pdf` (no display needed).
bool WritePageImagesPdf(const std::vector<std::string>& paths, const std::string& pdf);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_REPORT_RENDER_H_
