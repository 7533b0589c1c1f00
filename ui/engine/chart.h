// A bar chart as the window engine hands it to the platform: what a chart
// control shows (its bars, in order, with the texts their figures read as),
// and nothing of how it is drawn. A procedure supplies it whole
// (Window::SetChart); the user's click on a bar comes back as that bar's
// place, which Choice of the control answers.
#ifndef VORSANDT_UI_ENGINE_CHART_H_
#define VORSANDT_UI_ENGINE_CHART_H_

#include <string>
#include <vector>

namespace vorsandt::ui {

struct ChartBar {
  std::string label;       // the category ("Kitchen", "2019")
  double value = 0;        // the bar's length, in the chart's unit
  std::string value_text;  // how the value reads ("12,345.67")
  // A mark across the bar (what the value is measured against, such as a
  // policy's cover); negative for none. A value beyond its mark is drawn
  // as a shortfall from the mark on.
  double mark = -1;
  std::string mark_text;
  bool operator==(const ChartBar&) const = default;
};

struct Chart {
  std::string title;
  std::vector<ChartBar> bars;
  // Bars standing up along a time axis (years); else lying down, each
  // beside its label, first at the top.
  bool vertical = false;
  // Whether a click on a bar means something here (it opens a list).
  bool clickable = false;
  // What a bar that exceeds its mark is called in the legend ("Shortfall"),
  // and what the mark is ("Total cover"); empty when no bar has a mark.
  std::string over_mark_name;
  std::string mark_name;
  bool operator==(const Chart&) const = default;
};

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_CHART_H_
