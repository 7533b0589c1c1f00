#include "ui/qt/chart_view.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QHorizontalStackedBarSeries>
#include <QKeyEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "ui/qt/mappings.h"

namespace vorsandt::ui::qt {
namespace {

const QColor kBarColour(0x3c, 0x78, 0xb4);
const QColor kShortfallColour(0xd0, 0x30, 0x30);
const QColor kMarkColour(0x20, 0x20, 0x20);
const QColor kCurrentColour(0xf0, 0xa0, 0x30);
// The room of a category a bar takes, and half the room a mark spans across
// it; a marked chart's bars are thinner, leaving room above each for its
// mark's figure.
constexpr double kBarWidth = 0.7;
constexpr double kMarkedBarWidth = 0.5;
constexpr double kMarkHalfWidth = 0.3;

// A label beside a lying bar wider than this part of the chart goes on two
// lines, the figure under the name: the axis leaves its labels about a third
// of the chart and cuts longer ones short.
constexpr double kLabelShare = 0.36;
// Two lines of labels need a category this many lines across: upright ones
// side by side, lying ones one over the other.
constexpr double kTwoLineRoom = 1.5;
constexpr double kTwoLineHeight = 2.1;
// The part of a chart's height upright labels may take.
constexpr double kUprightShare = 0.37;
// What a chart's height holds besides its bars, in lines of its font: the
// title, the value axis's labels and the margins.
constexpr double kChartFurniture = 4;
// A row holds a label one line of its font high and the margins the axis
// draws its labels with (pixels); labels are set no smaller than this part
// of the chart's font to make them fit.
constexpr double kLabelMargins = 9;
constexpr double kSmallestLabel = 0.75;
constexpr double kFitMargin = 0.96;
// The room a legend entry's marker and gaps take beside its name (pixels).
constexpr double kLegendMarker = 40;
// The part of a chart's width its bars take, roughly, beside the value axis.
constexpr double kPlotShare = 0.85;

// The figures beside the marks and under upright bars, a little smaller than
// the names, so that more of them fit.
QFont Smaller(const QFont& font) {
  QFont small = font;
  small.setPointSizeF(font.pointSizeF() * 0.9);
  return small;
}

// The name and the figure of a bar's label, on one line or two (the axis
// takes its labels as rich text).
// A one-line label wider than `width` (pixels, 0: any) in `font` keeps its
// figure whole and loses the end of its name instead.
QString CategoryLabel(const ChartBar& bar, bool two_lines, const QFont& font = QFont(),
                      double width = 0) {
  if (two_lines) {
    return ToQt(bar.label).toHtmlEscaped() + QStringLiteral("<br>") + ToQt(bar.value_text);
  }
  QString name = ToQt(bar.label);
  const QString figure = QStringLiteral("  ") + ToQt(bar.value_text);
  if (width > 0) {
    const QFontMetricsF metrics(font);
    const double room = width - metrics.horizontalAdvance(figure);
    if (metrics.horizontalAdvance(name) > room)
      name = metrics.elidedText(name, Qt::ElideRight, room);
  }
  return name + figure;
}

// The value axis ends a little beyond the longest bar or mark, at a round
// figure, so that neither touches the edge.
double AxisEnd(const Chart& chart) {
  double top = 0;
  for (const ChartBar& bar : chart.bars) top = std::max({top, bar.value, bar.mark});
  if (top <= 0) return 1;
  const double step = std::pow(10.0, std::floor(std::log10(top)));
  return std::ceil(top * 1.05 / step) * step;
}

QValueAxis* ValueAxis(const Chart& chart, const QFont& font) {
  auto* axis = new QValueAxis;
  axis->setRange(0, AxisEnd(chart));
  axis->setLabelFormat("%.0f");
  axis->setLabelsFont(font);
  axis->setTickCount(5);
  return axis;
}

// Bars lying down: one stacked series of what lies within the mark (or the
// whole value) and what lies beyond it; the marks as short lines across.
void LyingBars(QChart* c, const Chart& chart, const QFont& font, const LabelPlan& plan) {
  const LabelLines& lines = plan.lines;
  auto* within = new QBarSet(ToQt(chart.over_mark_name.empty() ? chart.title : "Value"));
  auto* beyond = new QBarSet(ToQt(chart.over_mark_name));
  within->setColor(kBarColour);
  within->setBorderColor(kBarColour);
  within->setSelectedColor(kCurrentColour);
  beyond->setColor(kShortfallColour);
  beyond->setBorderColor(kShortfallColour);
  beyond->setSelectedColor(kCurrentColour);
  const bool marked = std::any_of(chart.bars.begin(), chart.bars.end(),
                                  [](const ChartBar& b) { return b.mark >= 0; });
  QStringList categories;
  // The first bar at the top: the axis counts from the bottom.
  for (size_t i = chart.bars.size(); i-- > 0;) {
    const auto it = chart.bars.begin() + static_cast<std::ptrdiff_t>(i);
    const bool over = it->mark >= 0 && it->value > it->mark;
    within->append(over ? it->mark : it->value);
    beyond->append(over ? it->value - it->mark : 0);
    categories << CategoryLabel(*it, lines[i], plan.font, plan.width);
  }
  auto* series = new QHorizontalStackedBarSeries;
  series->append(within);
  if (marked) {
    series->append(beyond);
  } else {
    delete beyond;
  }
  series->setBarWidth(marked ? kMarkedBarWidth : kBarWidth);
  c->addSeries(series);
  auto* axis = new QBarCategoryAxis;
  // An empty row above the first bar takes the figure of its mark.
  if (marked) {
    categories << QStringLiteral(" ");
    within->append(0);
    beyond->append(0);
  }
  axis->append(categories);
  axis->setLabelsFont(plan.font);
  axis->setGridLineVisible(false);
  QValueAxis* values = ValueAxis(chart, font);
  c->addAxis(values, Qt::AlignBottom);
  c->addAxis(axis, Qt::AlignLeft);
  series->attachAxis(values);
  series->attachAxis(axis);
  if (!marked) return;
  bool named = false;
  const int n = static_cast<int>(chart.bars.size());
  for (int i = 0; i < n; ++i) {
    const ChartBar& bar = chart.bars[n - 1 - i];
    if (bar.mark < 0) continue;
    auto* line = new QLineSeries;
    line->setName(ToQt(chart.mark_name));
    line->setPen(QPen(kMarkColour, 3));
    line->append(bar.mark, i - kMarkHalfWidth);
    line->append(bar.mark, i + kMarkHalfWidth);
    // The mark's figure beside its upper end: the category's label already
    // holds the name and the value, and has no room for more.
    line->setPointLabelsFormat(ToQt(bar.mark_text));
    line->setPointLabelsFont(Smaller(font));
    line->setPointLabelsColor(kMarkColour);
    line->setPointLabelsClipping(false);
    line->setPointLabelsVisible(true);
    line->setPointConfiguration(0, QXYSeries::PointConfiguration::LabelVisibility, false);
    c->addSeries(line);
    line->attachAxis(values);
    line->attachAxis(axis);
    // One entry in the legend stands for every mark.
    if (named) c->legend()->markers(line).front()->setVisible(false);
    named = true;
  }
}

// Bars standing up, each labelled below with its category and value,
// written upwards so that many fit side by side.
void StandingBars(QChart* c, const Chart& chart, const QFont& font, const LabelPlan& plan) {
  const LabelLines& lines = plan.lines;
  auto* set = new QBarSet(ToQt(chart.title));
  set->setColor(kBarColour);
  set->setBorderColor(kBarColour);
  set->setSelectedColor(kCurrentColour);
  // An empty place at each end: the axis leaves out a label that would
  // stand past its ends, as an upright one beside the edge would.
  QStringList categories{QStringLiteral(" ")};
  set->append(0);
  for (size_t i = 0; i < chart.bars.size(); ++i) {
    set->append(chart.bars[i].value);
    // The year over its figure where there is room across: half as tall.
    categories << CategoryLabel(chart.bars[i], lines[i]);
  }
  categories << QStringLiteral("  ");
  set->append(0);
  auto* series = new QBarSeries;
  series->append(set);
  series->setBarWidth(0.8);
  c->addSeries(series);
  auto* axis = new QBarCategoryAxis;
  axis->append(categories);
  axis->setLabelsFont(Smaller(font));
  axis->setLabelsAngle(-90);
  axis->setGridLineVisible(false);
  axis->setTruncateLabels(false);
  QValueAxis* values = ValueAxis(chart, font);
  c->addAxis(axis, Qt::AlignBottom);
  c->addAxis(values, Qt::AlignLeft);
  series->attachAxis(axis);
  series->attachAxis(values);
}

}  // namespace

LabelPlan PlanLabels(const Chart& chart, const QFont& font, const QSizeF& size) {
  const size_t n = chart.bars.size();
  LabelPlan plan{font, LabelLines(n)};
  if (chart.vertical) {
    // Upright labels take the height below the bars: one line where a third
    // of the chart's height holds the longest, else two where a category is
    // wide enough for them.
    const QFontMetricsF small(Smaller(font));
    double longest = 0;
    for (const ChartBar& bar : chart.bars) {
      longest = std::max(longest, small.horizontalAdvance(ToQt(bar.label + "  " + bar.value_text)));
    }
    const double room = size.width() * kPlotShare / static_cast<double>(n + 2);
    const bool one_line = longest + kLabelMargins <= size.height() * kUprightShare;
    plan.lines.assign(n, !one_line && room >= kTwoLineRoom * small.lineSpacing());
    return plan;
  }
  // A marked chart has an empty row above its bars.
  const bool marked = std::any_of(chart.bars.begin(), chart.bars.end(),
                                  [](const ChartBar& b) { return b.mark >= 0; });
  const double rows = std::max(1.0, static_cast<double>(n + (marked ? 1 : 0)));
  const double row = (size.height() - kChartFurniture * QFontMetricsF(font).lineSpacing()) / rows;
  // The axis leaves out a label taller than its row and cuts one wider than
  // its part of the chart short: where rows are tight or labels long, the
  // labels are set smaller, down to a size still read with ease, and long
  // ones go on two lines where the rows have room.
  const QFontMetricsF full(font);
  double widest = 1;
  for (const ChartBar& bar : chart.bars) {
    widest = std::max(widest, full.horizontalAdvance(ToQt(bar.label + "  " + bar.value_text)));
  }
  const double height_fit = (row - kLabelMargins) / full.lineSpacing();
  // A marked chart's legend stands beside it and takes its own width.
  double legend = 0;
  if (marked) {
    for (const std::string& name : {std::string("Value"), chart.over_mark_name, chart.mark_name})
      legend = std::max(legend, full.horizontalAdvance(ToQt(name)) + kLegendMarker);
  }
  const double room = (size.width() - legend) * kLabelShare - kLabelMargins;
  // A little below the exact fit: font sizes come in steps.
  const double scale = std::min({1.0, height_fit, room / widest * kFitMargin});
  plan.font.setPointSizeF(font.pointSizeF() * std::max(kSmallestLabel, scale));
  if (scale >= kSmallestLabel) return plan;
  plan.width = room;
  const QFontMetricsF metrics(plan.font);
  if (row < kTwoLineHeight * metrics.lineSpacing() + kLabelMargins) return plan;
  for (size_t i = 0; i < n; ++i) {
    const QString one_line = ToQt(chart.bars[i].label + "  " + chart.bars[i].value_text);
    plan.lines[i] = metrics.horizontalAdvance(one_line) > size.width() * kLabelShare;
  }
  return plan;
}

QChart* BuildChart(const Chart& chart, const QFont& font, const QSizeF& size) {
  const LabelPlan plan = PlanLabels(chart, font, size);
  auto* c = new QChart;
  c->setTitle(ToQt(chart.title));
  QFont title = font;
  title.setBold(true);
  c->setTitleFont(title);
  c->setBackgroundRoundness(0);
  c->setMargins(QMargins(2, 2, 2, 2));
  c->setAnimationOptions(QChart::NoAnimation);
  if (chart.vertical) {
    StandingBars(c, chart, font, plan);
  } else {
    LyingBars(c, chart, font, plan);
  }
  c->legend()->setFont(font);
  c->legend()->setVisible(!chart.mark_name.empty());
  // Beside the bars, where a chart has more room than above or below them.
  c->legend()->setAlignment(Qt::AlignRight);
  return c;
}

int BarOfCategory(const Chart& chart, int index) {
  const int n = static_cast<int>(chart.bars.size());
  // Standing bars begin after an empty place; lying ones count from the
  // bottom, a marked chart's empty row above them.
  if (chart.vertical) return index >= 1 && index <= n ? index : 0;
  return index >= 0 && index < n ? n - index : 0;
}

ChartControl::ChartControl(std::function<void(int bar)> clicked, QWidget* parent)
    : QChartView(parent), clicked_(std::move(clicked)) {
  setRenderHint(QPainter::Antialiasing);
  setFrameShape(QFrame::StyledPanel);
  setFocusPolicy(Qt::StrongFocus);
}

void ChartControl::Apply(const Chart& chart) {
  if (built_ && chart == chart_) return;
  chart_ = chart;
  built_ = true;
  plan_ = PlanLabels(chart_, font(), size());
  if (current_ > static_cast<int>(chart_.bars.size())) current_ = 0;
  // Only a chart whose bars lead somewhere takes the focus.
  setFocusPolicy(chart_.clickable ? Qt::StrongFocus : Qt::NoFocus);
  Rebuild();
}

void ChartControl::Rebuild() {
  QChart* old = this->chart();
  QChart* c = BuildChart(chart_, font(), size());
  for (QAbstractSeries* s : c->series()) {
    auto* bars = qobject_cast<QAbstractBarSeries*>(s);
    if (bars == nullptr || !chart_.clickable) continue;
    connect(bars, &QAbstractBarSeries::clicked, this, [this](int index, QBarSet*) {
      const int bar = BarOfCategory(chart_, index);
      if (bar == 0) return;
      current_ = bar;
      ShowCurrent();
      clicked_(bar);
    });
  }
  setChart(c);
  if (old != nullptr && old != c) delete old;
  setCursor(chart_.clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);
  ShowCurrent();
}

void ChartControl::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  // Labels that went on two lines at one size may fit on one at another.
  if (!built_) return;
  LabelPlan plan = PlanLabels(chart_, font(), size());
  if (plan == plan_) return;
  plan_ = std::move(plan);
  Rebuild();
}

void ChartControl::MoveCurrent(int step) {
  const int n = static_cast<int>(chart_.bars.size());
  if (n == 0) return;
  current_ = current_ == 0 ? (step > 0 ? 1 : n) : std::clamp(current_ + step, 1, n);
  ShowCurrent();
}

void ChartControl::ShowCurrent() {
  const int n = static_cast<int>(chart_.bars.size());
  const bool shown = hasFocus() && current_ > 0;
  for (QAbstractSeries* s : chart()->series()) {
    auto* bars = qobject_cast<QAbstractBarSeries*>(s);
    if (bars == nullptr) continue;
    for (QBarSet* set : bars->barSets()) {
      set->deselectAllBars();
      if (shown) set->selectBar(chart_.vertical ? current_ : n - current_);
    }
  }
}

void ChartControl::keyPressEvent(QKeyEvent* event) {
  if (!chart_.clickable) {
    QChartView::keyPressEvent(event);
    return;
  }
  // The bars read top to bottom when lying down, left to right standing up.
  const int ahead = chart_.vertical ? Qt::Key_Right : Qt::Key_Down;
  const int back = chart_.vertical ? Qt::Key_Left : Qt::Key_Up;
  const int key = event->key();
  if (key == ahead || key == back) {
    MoveCurrent(key == ahead ? 1 : -1);
  } else if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
             event->modifiers() == Qt::NoModifier && current_ > 0) {
    clicked_(current_);
  } else {
    QChartView::keyPressEvent(event);
    return;
  }
  event->accept();
}

void ChartControl::focusInEvent(QFocusEvent* event) {
  QChartView::focusInEvent(event);
  if (chart_.clickable && current_ == 0 && !chart_.bars.empty()) current_ = 1;
  ShowCurrent();
}

void ChartControl::focusOutEvent(QFocusEvent* event) {
  QChartView::focusOutEvent(event);
  ShowCurrent();
}

}  // namespace vorsandt::ui::qt
