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
void LyingBars(QChart* c, const Chart& chart, const QFont& font) {
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
  for (auto it = chart.bars.rbegin(); it != chart.bars.rend(); ++it) {
    const bool over = it->mark >= 0 && it->value > it->mark;
    within->append(over ? it->mark : it->value);
    beyond->append(over ? it->value - it->mark : 0);
    categories << ToQt(it->label) + QStringLiteral("  ") + ToQt(it->value_text);
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
  axis->setLabelsFont(font);
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
    line->setPointLabelsFont(font);
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
void StandingBars(QChart* c, const Chart& chart, const QFont& font) {
  auto* set = new QBarSet(ToQt(chart.title));
  set->setColor(kBarColour);
  set->setBorderColor(kBarColour);
  set->setSelectedColor(kCurrentColour);
  QStringList categories;
  for (const ChartBar& bar : chart.bars) {
    set->append(bar.value);
    categories << ToQt(bar.label) + QStringLiteral("  ") + ToQt(bar.value_text);
  }
  auto* series = new QBarSeries;
  series->append(set);
  series->setBarWidth(0.8);
  c->addSeries(series);
  auto* axis = new QBarCategoryAxis;
  axis->append(categories);
  axis->setLabelsFont(font);
  axis->setLabelsAngle(-90);
  axis->setGridLineVisible(false);
  QValueAxis* values = ValueAxis(chart, font);
  c->addAxis(axis, Qt::AlignBottom);
  c->addAxis(values, Qt::AlignLeft);
  series->attachAxis(axis);
  series->attachAxis(values);
}

}  // namespace

QChart* BuildChart(const Chart& chart, const QFont& font) {
  auto* c = new QChart;
  c->setTitle(ToQt(chart.title));
  QFont title = font;
  title.setBold(true);
  c->setTitleFont(title);
  c->setBackgroundRoundness(0);
  c->setMargins(QMargins(4, 4, 4, 4));
  c->setAnimationOptions(QChart::NoAnimation);
  if (chart.vertical) {
    StandingBars(c, chart, font);
  } else {
    LyingBars(c, chart, font);
  }
  c->legend()->setFont(font);
  c->legend()->setVisible(!chart.mark_name.empty());
  c->legend()->setAlignment(Qt::AlignBottom);
  return c;
}

int BarOfCategory(const Chart& chart, int index) {
  const int n = static_cast<int>(chart.bars.size());
  if (index < 0 || index >= n) return 0;
  return chart.vertical ? index + 1 : n - index;
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
  if (current_ > static_cast<int>(chart_.bars.size())) current_ = 0;
  // Only a chart whose bars lead somewhere takes the focus.
  setFocusPolicy(chart_.clickable ? Qt::StrongFocus : Qt::NoFocus);
  Rebuild();
}

void ChartControl::Rebuild() {
  QChart* old = this->chart();
  QChart* c = BuildChart(chart_, font());
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
      if (shown) set->selectBar(chart_.vertical ? current_ - 1 : n - current_);
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
