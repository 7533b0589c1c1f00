#include "ui/qt/report_render.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "ui/qt/mappings.h"
#include "ui/qt/qt_platform.h"

namespace vorsandt::ui::qt {
namespace {

// Page colours are 0x00BBGGRR; kDefaultColour means black ink.
QColor Ink(uint32_t colour) {
  if (colour == kDefaultColour) return Qt::black;
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

QFont PageFontFor(const PageFont& page_font, int dpi) {
  FontBlock block;
  block.name = page_font.name;
  block.size = page_font.size;
  block.weight = page_font.bold ? 700 : 400;
  QFont font = FontFor(block, QFont(QStringLiteral("Sans Serif")));
  // Pixels, not points: the image's size in pixels is what the page fixes,
  // whatever resolution the screen reports.
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(page_font.size * dpi / 72.0))));
  return font;
}

QString PathToQt(const std::string& path) { return QFile::decodeName(path.c_str()); }

}  // namespace

QImage DrawPage(const Page& page, int dpi) {
  const double scale = dpi / 1000.0;  // pixels per thousandth of an inch
  auto px = [scale](int32_t mils) { return mils * scale; };
  int width = std::clamp(static_cast<int>(std::lround(px(page.width))), 1, 20000);
  int height = std::clamp(static_cast<int>(std::lround(px(page.height))), 1, 20000);
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  const int dots_per_metre = static_cast<int>(std::lround(dpi / 0.0254));
  image.setDotsPerMeterX(dots_per_metre);
  image.setDotsPerMeterY(dots_per_metre);

  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  // Lines one hundredth of an inch wide, never thinner than a pixel.
  const double pen_width = std::max(1.0, px(10));
  for (const PageItem& item : page.items) {
    QRectF rect(px(item.x), px(item.y), px(item.w), px(item.h));
    switch (item.type) {
      case PageItem::Type::kText: {
        painter.setFont(PageFontFor(item.font, dpi));
        painter.setPen(Ink(item.font.colour));
        // The box is where the text starts; the estimate of its natural size
        // must not cut off what the real font makes a little wider.
        painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, ToQt(item.text));
        break;
      }
      case PageItem::Type::kLine:
        painter.setPen(QPen(Ink(item.colour), pen_width));
        painter.drawLine(QPointF(px(item.x), px(item.y)),
                         QPointF(px(item.x) + px(item.w), px(item.y) + px(item.h)));
        break;
      case PageItem::Type::kBox:
        painter.setPen(QPen(Ink(item.colour), pen_width));
        painter.setBrush(item.fill == kDefaultColour ? QBrush(Qt::NoBrush)
                                                     : QBrush(Ink(item.fill)));
        painter.drawRect(rect);
        painter.setBrush(Qt::NoBrush);
        break;
      case PageItem::Type::kImage: {
        QImage picture(PathToQt(item.text));
        // A picture that is not there leaves its place empty, as on screen.
        if (!picture.isNull()) painter.drawImage(rect, picture);
        break;
      }
    }
  }
  painter.end();
  return image;
}

std::optional<std::string> WritePagePng(const Page& page, const std::string& stem, int dpi) {
  std::string path = stem + ".png";
  QFile file(PathToQt(path));
  // NewOnly: a name that exists already is never overwritten.
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return std::nullopt;
  bool ok = DrawPage(page, dpi).save(&file, "PNG");
  file.close();
  if (!ok || file.error() != QFileDevice::NoError) {
    file.remove();
    return std::nullopt;
  }
  return path;
}

bool PrintPageImages(QPrinter& printer, const std::vector<std::string>& paths) {
  if (paths.empty()) return true;
  // Every page must be readable before the job starts: a job that stops
  // half way leaves a stack of paper nobody asked for.
  for (const std::string& path : paths) {
    QImageReader reader(PathToQt(path));
    if (!reader.canRead()) return false;
  }
  bool was_full_page = printer.fullPage();
  printer.setFullPage(true);  // a page image is the whole sheet
  QPainter painter;
  if (!painter.begin(&printer)) {
    printer.setFullPage(was_full_page);
    return false;
  }
  bool ok = true;
  const QRect sheet = printer.pageLayout().fullRectPixels(printer.resolution());
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i > 0 && !printer.newPage()) {
      ok = false;
      break;
    }
    QImage image(PathToQt(paths[i]));
    if (image.isNull()) {
      ok = false;
      break;
    }
    QSize size = image.size().scaled(sheet.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRect(QPoint(0, 0), size), image);
  }
  painter.end();
  printer.setFullPage(was_full_page);
  return ok;
}

// The Qt platform's page images are PNG files; printing goes to the printer
// chosen in the printer setup. Both run on the toolkit's thread, which owns
// the printer and the font database.
std::optional<std::string> QtPlatform::RenderPage(const Page& page, const std::string& stem) {
  return gui_.Call<std::optional<std::string>>([&page, &stem] { return WritePagePng(page, stem); })
      .value_or(std::nullopt);
}

bool QtPlatform::PrintPages(const std::vector<std::string>& pages) {
  return gui_.Call<bool>([this, &pages] { return PrintPageImages(printer_, pages); })
      .value_or(false);
}

}  // namespace vorsandt::ui::qt
