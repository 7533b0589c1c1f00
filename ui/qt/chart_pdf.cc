#include "ui/qt/chart_pdf.h"

#include <QApplication>
#include <QBuffer>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QPainter>
#include <QPdfWriter>
#include <memory>
#include <optional>

#include "ui/qt/chart_view.h"
#include "ui/qt/mappings.h"
#include "ui/qt/pdf_file.h"

namespace vorsandt::ui::qt {
namespace {

// The page is laid out in pixels of the screen's usual density, so that the
// charts' fonts, given in points, come out as they do in a window.
constexpr int kResolution = 96;
constexpr double kMarginMm = 10;
constexpr int kGap = 12;  // pixels between the charts

// Draws `chart` into `box` of the page.
void DrawChart(QPainter& painter, const Chart& chart, const QRectF& box, const QFont& font) {
  QGraphicsScene scene;
  QChart* c = BuildChart(chart, font, box.size());
  scene.addItem(c);  // the scene owns it
  c->setGeometry(QRectF(QPointF(0, 0), box.size()));
  if (c->layout() != nullptr) c->layout()->activate();
  // Axes and series take their places when the chart's layout runs.
  QApplication::processEvents();
  scene.render(&painter, box, QRectF(QPointF(0, 0), box.size()));
}

// The heading's lines; returns the height they took.
double DrawHeading(QPainter& painter, const ChartPage& page, const QRectF& area,
                   const QFont& font) {
  QFont title = font;
  title.setPointSizeF(font.pointSizeF() * 1.6);
  title.setBold(true);
  painter.setFont(title);
  const double title_height = QFontMetricsF(title).height();
  painter.drawText(QRectF(area.left(), area.top(), area.width(), title_height),
                   Qt::AlignLeft | Qt::AlignVCenter, ToQt(page.title));
  double y = area.top() + title_height * 1.3;
  painter.setFont(font);
  const double line = QFontMetricsF(font).height();
  for (const std::string& text : page.lines) {
    painter.drawText(QRectF(area.left(), y, area.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                     ToQt(text));
    y += line * 1.15;
  }
  return y + line * 0.5 - area.top();
}

std::optional<QByteArray> PageDocument(const ChartPage& page) {
  QByteArray pdf;
  {
    QBuffer buffer(&pdf);
    if (!buffer.open(QIODevice::WriteOnly)) return std::nullopt;
    QPdfWriter writer(&buffer);
    writer.setResolution(kResolution);
    writer.setTitle(ToQt(page.title));
    const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                             QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                             QPageLayout::Millimeter);
    if (!writer.setPageLayout(layout)) return std::nullopt;
    QPainter painter;
    if (!painter.begin(&writer)) return std::nullopt;
    QFont font = QApplication::font();
    font.setPointSizeF(9);
    const QRectF area(QPointF(0, 0),
                      QSizeF(writer.pageLayout().paintRectPixels(kResolution).size()));
    const double top = area.top() + DrawHeading(painter, page, area, font);
    const QRectF rest(area.left(), top, area.width(), area.bottom() - top);
    const size_t n = page.charts.size();
    if (n == 1) DrawChart(painter, page.charts[0], rest, font);
    if (n > 1) {
      const double half = (rest.width() - kGap) / 2;
      DrawChart(painter, page.charts[0], QRectF(rest.left(), rest.top(), half, rest.height()),
                font);
      const double each = (rest.height() - kGap * static_cast<double>(n - 2)) / (n - 1);
      for (size_t i = 1; i < n; ++i) {
        const double y = rest.top() + static_cast<double>(i - 1) * (each + kGap);
        DrawChart(painter, page.charts[i], QRectF(rest.left() + half + kGap, y, half, each), font);
      }
    }
    if (!painter.end()) return std::nullopt;
  }
  return pdf;
}

}  // namespace

bool WriteChartPagePdf(const ChartPage& page, const std::string& file, std::string* error) {
  // Nothing is drawn for a name that cannot be replaced.
  if (std::string refusal = ReplaceRefusal(file); !refusal.empty()) {
    if (error != nullptr) *error = refusal;
    return false;
  }
  std::optional<QByteArray> pdf = PageDocument(page);
  if (!pdf) {
    if (error != nullptr) *error = "the page could not be drawn";
    return false;
  }
  return SaveWholeFile(*pdf, file, error);
}

}  // namespace vorsandt::ui::qt
