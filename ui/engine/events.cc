#include "ui/engine/events.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vorsandt::ui {
namespace {

// Sorted by number for the binary search below.
constexpr std::pair<int, std::string_view> kNames[] = {
    {1, "EVENT:Accepted"},     {2, "EVENT:NewSelection"}, {3, "EVENT:ScrollUp"},
    {4, "EVENT:ScrollDown"},   {5, "EVENT:PageUp"},       {6, "EVENT:PageDown"},
    {7, "EVENT:ScrollTop"},    {8, "EVENT:ScrollBottom"}, {9, "EVENT:Locate"},
    {10, "EVENT:MouseUp"},     {11, "EVENT:MouseIn"},     {12, "EVENT:MouseOut"},
    {13, "EVENT:MouseMove"},   {14, "EVENT:VBXevent"},    {15, "EVENT:AlertKey"},
    {16, "EVENT:PreAlert"},    {17, "EVENT:Dragging"},    {18, "EVENT:Drag"},
    {19, "EVENT:Drop"},        {20, "EVENT:ScrollDrag"},  {21, "EVENT:TabChanging"},
    {22, "EVENT:Expanding"},   {23, "EVENT:Contracting"}, {24, "EVENT:Expanded"},
    {25, "EVENT:Contracted"},  {26, "EVENT:Rejected"},    {27, "EVENT:DroppingDown"},
    {28, "EVENT:DroppedDown"}, {257, "EVENT:Selected"},   {513, "EVENT:CloseWindow"},
    {514, "EVENT:CloseDown"},  {515, "EVENT:OpenWindow"}, {516, "EVENT:OpenFailed"},
    {517, "EVENT:LoseFocus"},  {518, "EVENT:GainFocus"},  {520, "EVENT:Suspend"},
    {521, "EVENT:Resume"},     {522, "EVENT:Notify"},     {523, "EVENT:Timer"},
    {524, "EVENT:DDErequest"}, {525, "EVENT:DDEadvise"},  {526, "EVENT:DDEdata"},
    {527, "EVENT:DDEexecute"}, {528, "EVENT:DDEpoke"},    {529, "EVENT:DDEclosed"},
    {544, "EVENT:Move"},       {545, "EVENT:Size"},       {546, "EVENT:Restore"},
    {547, "EVENT:Maximize"},   {548, "EVENT:Iconize"},    {549, "EVENT:Completed"},
    {560, "EVENT:Moved"},      {561, "EVENT:Sized"},      {562, "EVENT:Restored"},
    {563, "EVENT:Maximized"},  {564, "EVENT:Iconized"},
};

}  // namespace

std::string_view EventName(int number) {
  auto it = std::lower_bound(std::begin(kNames), std::end(kNames), number,
                             [](const auto& entry, int n) { return entry.first < n; });
  if (it == std::end(kNames) || it->first != number) return {};
  return it->second;
}

}  // namespace vorsandt::ui
