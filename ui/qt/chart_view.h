// The drawing of a chart control (ui/engine/chart.h) through Qt Charts, and
// the widget that shows it in a window. The same drawing serves a window and
// a printed page (chart_pdf.h): BuildChart makes it from the chart's data
// alone.
//
// Bars lying down are drawn first at the top, each category's label reading
// "LABEL  VALUE" beside its bar; bars standing up carry their value above
// them. A bar with a mark is drawn up to the mark in the bar colour, what
// lies beyond it in red, and the mark as a dark line across the bar.
#ifndef VORSANDT_UI_QT_CHART_VIEW_H_
#define VORSANDT_UI_QT_CHART_VIEW_H_

#include <QChart>
#include <QChartView>
#include <QFont>
#include <QSizeF>
#include <functional>
#include <vector>

#include "ui/engine/chart.h"

namespace vorsandt::ui::qt {

// How the bars' labels are set in a chart of `size` (pixels): which go on
// two lines, the figure under the name (a lying bar's label that would take
// more than about a third of the chart's width where its row has room for
// two lines; the upright labels all where a category is wide enough for
// two), and the lying labels' font, smaller than the chart's where rows are
// too low for it (the axis would leave such labels out), and the width a
// one-line label may take: a longer one keeps its figure and loses the end
// of its name.
using LabelLines = std::vector<bool>;
struct LabelPlan {
  QFont font;
  LabelLines lines;
  double width = 0;  // pixels; 0: any
  bool operator==(const LabelPlan&) const = default;
};
LabelPlan PlanLabels(const Chart& chart, const QFont& font, const QSizeF& size);

// A new chart (the caller owns it) showing `chart` in `font`, laid out for
// `size`.
QChart* BuildChart(const Chart& chart, const QFont& font, const QSizeF& size);

// The bar (1-based, in the chart's order) that a bar series' category
// `index` of a chart built by BuildChart shows; 0 when none.
int BarOfCategory(const Chart& chart, int index);

// A window's chart control: the drawing, rebuilt when the bars change, and
// a click on a bar handed to `clicked` with the bar's place. Up and Down (or
// Left and Right) walk the bars of a clickable chart, Enter or Space clicks
// the bar shown highlighted, so the keyboard reaches what the mouse does.
class ChartControl : public QChartView {
 public:
  ChartControl(std::function<void(int bar)> clicked, QWidget* parent);
  void Apply(const Chart& chart);
  // The bar the keyboard stands on (1-based; 0: none).
  int current() const { return current_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Rebuild();
  void MoveCurrent(int step);
  void ShowCurrent();

  std::function<void(int)> clicked_;
  Chart chart_;
  LabelPlan plan_;
  bool built_ = false;
  int current_ = 0;
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_CHART_VIEW_H_
