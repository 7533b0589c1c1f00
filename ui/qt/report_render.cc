#include "ui/qt/report_render.h"

#include <QBuffer>
#include <QFile>
#include <QPdfWriter>
#include <QPen>
#include <QPrinterInfo>
#include <QStatusBar>
#include <algorithm>
#include <cmath>

#include "images/metafile_file.h"
#include "images/metafile_player.h"
#include "ui/qt/mappings.h"
#include "ui/qt/pdf_file.h"
#include "ui/qt/qt_platform.h"

namespace vorsandt::ui::qt {
namespace {

using images::MetaBrush;
using images::MetaFont;
using images::MetaPen;
using images::MetaPoint;

QColor Colour(uint32_t c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

QPointF At(MetaPoint p) { return QPointF(p.x, p.y); }

// Draws a metafile's resolved shapes with the painter; the window is mapped
// onto `target` through the painter's window and viewport.
class PainterCanvas : public images::MetafileCanvas {
 public:
  PainterCanvas(QPainter& painter, QRectF target)
      : p_(painter), target_(target), base_(painter.transform()) {}

  void SetWindow(MetaPoint origin, MetaPoint extent) override {
    if (extent.x == 0 || extent.y == 0) return;  // nothing could be shown
    // Proportions kept: the window fills the target's width or height.
    double sx = target_.width() / std::abs(extent.x);
    double sy = target_.height() / std::abs(extent.y);
    double s = std::min(sx, sy);
    double w = s * std::abs(extent.x), h = s * std::abs(extent.y);
    QRectF view(target_.x() + (target_.width() - w) / 2, target_.y() + (target_.height() - h) / 2,
                w, h);
    QTransform t;
    t.translate(view.x(), view.y());
    t.scale(s * (extent.x < 0 ? -1 : 1), s * (extent.y < 0 ? -1 : 1));
    t.translate(-origin.x, -origin.y);
    p_.setTransform(t * base_);
  }
  void Line(MetaPoint from, MetaPoint to, const MetaPen& pen) override {
    if (!Pen(pen)) return;
    p_.drawLine(At(from), At(to));
  }
  void Rectangle(MetaPoint a, MetaPoint b, const MetaPen& pen, const MetaBrush& brush) override {
    Prepare(pen, brush);
    p_.drawRect(QRectF(At(a), At(b)));
  }
  void Ellipse(MetaPoint a, MetaPoint b, const MetaPen& pen, const MetaBrush& brush) override {
    Prepare(pen, brush);
    p_.drawEllipse(QRectF(At(a), At(b)));
  }
  void Polygon(const std::vector<MetaPoint>& points, const MetaPen& pen, const MetaBrush& brush,
               bool closed) override {
    QPolygonF poly;
    for (const MetaPoint& pt : points) poly << At(pt);
    Prepare(pen, closed ? brush : MetaBrush{images::kBrushNull, 0});
    if (closed) {
      p_.drawPolygon(poly);
    } else {
      p_.drawPolyline(poly);
    }
  }
  void Text(MetaPoint at, std::string_view text, const MetaFont& font, uint32_t colour,
            uint16_t align) override {
    FontBlock block;
    block.name = font.face;
    block.weight = font.weight;
    QFont f = FontFor(block, QFont(QStringLiteral("Sans Serif")));
    // Logical units: the painter's transform scales the font with the page.
    f.setPixelSize(std::max(1, std::abs(font.height != 0 ? font.height : 12)));
    f.setItalic(font.italic);
    p_.setFont(f);
    p_.setPen(Colour(colour));
    QFontMetricsF metrics(f, p_.device());
    QPointF origin = At(at);
    // Alignment: top (0), bottom (8) or base line (24); left (0), right (2),
    // centre (6).
    const uint16_t vertical = align & 24, horizontal = align & 6;
    double width = metrics.horizontalAdvance(ToQt(text));
    if (horizontal == 6) origin.rx() -= width / 2;
    if (horizontal == 2) origin.rx() -= width;
    if (vertical == 0) origin.ry() += metrics.ascent();
    if (vertical == 8) origin.ry() -= metrics.descent();
    p_.drawText(origin, ToQt(text));
  }
  void Bitmap(MetaPoint a, MetaPoint b, const images::MetaBitmap& bitmap) override {
    // Opaque pixels: a PDF then holds the picture without a mask beside it.
    QImage image(bitmap.rgba.data(), bitmap.width, bitmap.height, 4 * bitmap.width,
                 QImage::Format_RGBX8888);
    p_.drawImage(QRectF(At(a), At(b)), image.convertToFormat(QImage::Format_RGB32));
  }

 private:
  bool Pen(const MetaPen& pen) {
    if (pen.style == images::kPenNull) {
      p_.setPen(Qt::NoPen);
      return false;
    }
    QPen qpen(Colour(pen.colour));
    qpen.setWidthF(pen.width);  // 0: one device pixel (a cosmetic pen)
    p_.setPen(qpen);
    return true;
  }
  void Prepare(const MetaPen& pen, const MetaBrush& brush) {
    Pen(pen);
    p_.setBrush(brush.style == images::kBrushNull ? QBrush(Qt::NoBrush)
                                                  : QBrush(Colour(brush.colour)));
  }

  QPainter& p_;
  QRectF target_;
  QTransform base_;
};

std::optional<std::vector<uint8_t>> PlayableFile(const std::string& path) {
  std::optional<std::vector<uint8_t>> bytes = images::ReadMetafileFile(path);
  if (!bytes || !images::ReadMetafileInfo(bytes->data(), bytes->size(), nullptr)) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

bool DrawMetafile(QPainter& painter, const QRectF& target, const std::vector<uint8_t>& bytes,
                  std::string* error) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  PainterCanvas canvas(painter, target);
  images::PlayResult result = images::PlayMetafile(bytes, canvas);
  painter.restore();
  if (!result.ok && error != nullptr) *error = result.error;
  return result.ok;
}

bool LooksLikeMetafile(const std::string& path) {
  std::optional<std::vector<uint8_t>> bytes = images::ReadMetafileFile(path);
  return bytes && images::ReadMetafileInfo(bytes->data(), bytes->size(), nullptr).has_value();
}

QImage MetafileImage(const std::string& path, int width) {
  std::optional<std::vector<uint8_t>> bytes = PlayableFile(path);
  if (!bytes) return QImage();
  std::optional<images::MetafileInfo> info =
      images::ReadMetafileInfo(bytes->data(), bytes->size(), nullptr);
  double ratio = 11.0 / 8.5;  // a picture without bounds: a letter page
  if (info->placeable) {
    int bw = std::abs(info->header.right - info->header.left);
    int bh = std::abs(info->header.bottom - info->header.top);
    if (bw > 0 && bh > 0) ratio = static_cast<double>(bh) / bw;
  }
  width = std::clamp(width, 1, 10000);
  int height = std::clamp(static_cast<int>(std::lround(width * ratio)), 1, 20000);
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  bool ok = DrawMetafile(painter, QRectF(0, 0, width, height), *bytes);
  painter.end();
  return ok ? image : QImage();
}

namespace {

// Every page image read and checked to play, before anything is drawn: a
// job that stops half way leaves a stack of paper (or a part of a file)
// nobody asked for.
std::optional<std::vector<std::vector<uint8_t>>> PlayablePages(
    const std::vector<std::string>& paths) {
  std::vector<std::vector<uint8_t>> pages;
  for (const std::string& path : paths) {
    std::optional<std::vector<uint8_t>> bytes = PlayableFile(path);
    if (!bytes) return std::nullopt;
    pages.push_back(std::move(*bytes));
  }
  return pages;
}

// Each page on a sheet of its own, the whole sheet (`sheet` in the device's
// pixels) for the page image.
bool DrawPages(QPagedPaintDevice& device, const QSizeF& sheet,
               const std::vector<std::vector<uint8_t>>& pages) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  bool ok = true;
  for (size_t i = 0; i < pages.size() && ok; ++i) {
    if (i > 0 && !device.newPage()) ok = false;
    if (ok) ok = DrawMetafile(painter, QRectF(QPointF(0, 0), sheet), pages[i]);
  }
  if (!painter.end()) ok = false;
  return ok;
}

// The paper a page image was laid out on: its placeable box at its own
// resolution; nullopt for a picture that does not say.
std::optional<QPageSize> PaperOf(const std::vector<uint8_t>& bytes) {
  std::optional<images::MetafileInfo> info =
      images::ReadMetafileInfo(bytes.data(), bytes.size(), nullptr);
  if (!info || !info->placeable || info->header.inch == 0) return std::nullopt;
  const double inch = info->header.inch;
  const double w = std::abs(info->header.right - info->header.left) / inch;
  const double h = std::abs(info->header.bottom - info->header.top) / inch;
  if (w <= 0 || h <= 0) return std::nullopt;
  return QPageSize(QSizeF(w, h), QPageSize::Inch, QString(), QPageSize::FuzzyMatch);
}

// The PDF document of `pages` on sheets of `layout` (its margins are not
// used: a page image is the whole sheet) at `resolution` dots an inch, in
// memory, so that the file is written whole afterwards or not at all. With
// `own_paper` each page is on the paper its image was laid out on (a sheet
// of A4 labels stays A4), `layout` only for images that do not say.
std::optional<QByteArray> PdfDocument(const std::vector<std::vector<uint8_t>>& pages,
                                      QPageLayout layout, int resolution, bool own_paper) {
  QByteArray pdf;
  {
    QBuffer buffer(&pdf);
    if (!buffer.open(QIODevice::WriteOnly)) return std::nullopt;
    QPdfWriter writer(&buffer);
    writer.setResolution(resolution);
    layout.setMinimumMargins(QMarginsF(0, 0, 0, 0));
    layout.setMargins(QMarginsF(0, 0, 0, 0));
    const QPageSize fallback = layout.pageSize();
    auto paper = [&](size_t i) {
      std::optional<QPageSize> own = own_paper ? PaperOf(pages[i]) : std::nullopt;
      QPageLayout page = layout;
      page.setPageSize(own ? *own : fallback, QMarginsF(0, 0, 0, 0));
      page.setOrientation(QPageLayout::Portrait);
      return page;
    };
    if (!writer.setPageLayout(pages.empty() ? layout : paper(0))) return std::nullopt;
    QPainter painter;
    if (!painter.begin(&writer)) return std::nullopt;
    bool ok = true;
    for (size_t i = 0; i < pages.size() && ok; ++i) {
      // A new page takes the layout set before it.
      if (i > 0) ok = writer.setPageLayout(paper(i)) && writer.newPage();
      const QRect sheet = writer.pageLayout().fullRectPixels(resolution);
      if (ok) ok = DrawMetafile(painter, QRectF(QPointF(0, 0), QSizeF(sheet.size())), pages[i]);
    }
    if (!painter.end()) ok = false;
    if (!ok) return std::nullopt;
  }
  return pdf;
}

bool WritePdfFile(const std::vector<std::string>& paths, const std::string& file,
                  const QPageLayout& layout, int resolution, bool own_paper, std::string* error) {
  // Said before drawing: nothing at all is done for a name that cannot be
  // replaced.
  if (std::string refusal = ReplaceRefusal(file); !refusal.empty()) {
    if (error != nullptr) *error = refusal;
    return false;
  }
  std::optional<std::vector<std::vector<uint8_t>>> pages = PlayablePages(paths);
  std::optional<QByteArray> pdf;
  if (pages) pdf = PdfDocument(*pages, layout, resolution, own_paper);
  if (!pdf) {
    if (error != nullptr) *error = "the pages could not be drawn";
    return false;
  }
  return SaveWholeFile(*pdf, file, error);
}

}  // namespace

bool PrintPageImages(QPrinter& printer, const std::vector<std::string>& paths) {
  if (paths.empty()) return true;
  // Printing to a PDF file makes the file the same way as the program's own
  // PDF files: whole, flushed, never over a device or a folder.
  if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
    return WritePdfFile(paths, QFile::encodeName(printer.outputFileName()).toStdString(),
                        printer.pageLayout(), printer.resolution(), false, nullptr);
  }
  std::optional<std::vector<std::vector<uint8_t>>> pages = PlayablePages(paths);
  if (!pages) return false;
  bool was_full_page = printer.fullPage();
  printer.setFullPage(true);  // a page image is the whole sheet
  const QRect sheet = printer.pageLayout().fullRectPixels(printer.resolution());
  bool ok = DrawPages(printer, QSizeF(sheet.size()), *pages);
  printer.setFullPage(was_full_page);
  return ok;
}

bool WritePageImagesPdf(const std::vector<std::string>& paths, const std::string& pdf,
                        std::string* error) {
  const QPageLayout letter(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                           QMarginsF(0, 0, 0, 0));
  return WritePdfFile(paths, pdf, letter, kPdfResolution, true, error);
}

void CopyPrinterSettings(const QPrinter& settings, QPrinter& job) {
  if (settings.outputFormat() == QPrinter::PdfFormat) {
    job.setOutputFormat(QPrinter::PdfFormat);
  } else {
    job.setPrinterName(settings.printerName());
  }
  job.setOutputFileName(settings.outputFileName());
  job.setPageLayout(settings.pageLayout());
  job.setCopyCount(settings.copyCount());
  job.setCollateCopies(settings.collateCopies());
  job.setDuplex(settings.duplex());
  job.setColorMode(settings.colorMode());
  job.setDocName(settings.docName());
}

// Printing goes where the printer setup chose, on the toolkit's thread, which
// owns the printers and the font database.
PrintResult QtPlatform::PrintPages(const std::vector<std::string>& pages) {
  return gui_
      .Call<PrintResult>([this, &pages] {
        QPrinter job(QPrinter::HighResolution);
        CopyPrinterSettings(printer_, job);
        PrintResult result;
        result.printed = PrintPageImages(job, pages);
        last_job_failed_ = !result.printed;
        if (result.printed && job.outputFormat() == QPrinter::PdfFormat) {
          result.file = FromQt(job.outputFileName());
        }
        return result;
      })
      .value_or(PrintResult{});
}

bool QtPlatform::PrinterReady() {
  return gui_
      .Call<bool>([this] {
        if (last_job_failed_) return false;
        return printer_chosen_ || !QPrinterInfo::defaultPrinter().isNull();
      })
      .value_or(false);
}

void QtPlatform::ShowNotice(const std::string& text) {
  gui_.Post([this, text] { frame_->statusBar()->showMessage(ToQt(text)); });
}

bool QtPlatform::WritePdf(const std::vector<std::string>& pages, const std::string& file,
                          std::string* error) {
  std::string why = "the program is ending";
  bool ok = gui_.Call<bool>([&pages, &file, &why] { return WritePageImagesPdf(pages, file, &why); })
                .value_or(false);
  if (!ok && error != nullptr) *error = why;
  return ok;
}

}  // namespace vorsandt::ui::qt
