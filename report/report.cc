#include "report/report.h"

#include <algorithm>
#include <cstdio>

#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/format/format.h"
#include "ui/engine/engine.h"
#include "ui/engine/platform.h"
#include "report/page_metafile.h"
#include "report/report_images.h"

namespace vorsandt::ui {
namespace {

bool Given(int32_t v) { return v != kNotGiven; }

const Node* FirstBand(const Node& node, Kind kind) {
  for (const Node& child : node.children) {
    if (child.kind == kind) return &child;
  }
  return nullptr;
}

}  // namespace

int32_t Report::Clamp(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN + 1LL, INT32_MAX));
}

// ---------------------------------------------------------------------------
// Creation.

std::unique_ptr<Report> Report::FromDefinition(Platform& platform, const Node& structure) {
  if (structure.kind != Kind::kReport) return nullptr;
  std::unique_ptr<Report> report(new Report(&platform, &structure));
  if (report->details_.empty()) return nullptr;
  return report;
}

std::unique_ptr<Report> Report::TryCreate(Engine& engine, std::string_view window_id,
                                          std::string_view label) {
  std::optional<FoundStructure> found = engine.FindDefinition(window_id, label);
  if (!found) return nullptr;
  return FromDefinition(engine.platform(), *found->structure);
}

std::unique_ptr<Report> Report::Create(Engine& engine, std::string_view window_id,
                                       std::string_view label) {
  std::optional<FoundStructure> found = engine.FindDefinition(window_id, label);
  std::string why;
  if (!found) {
    why = " (no report definition)";
  } else if (found->structure->kind != Kind::kReport) {
    why = " (the definition is a window, not a report)";
  } else {
    std::unique_ptr<Report> report = FromDefinition(engine.platform(), *found->structure);
    if (report) return report;
    why = " (the report has no detail band)";
  }
  files::Errors().RuntimeError(files::kUnableToOpenWindow,
                               std::string(window_id) + " " + std::string(label) + why);
}

Report::Report(Platform* platform, const Node* structure)
    : platform_(platform), structure_(structure), label_(structure->label) {
  font_ = ReportFont(*structure);
  page_header_ = FirstBand(*structure, Kind::kHeaderBand);
  page_footer_ = FirstBand(*structure, Kind::kFooterBand);
  form_ = FirstBand(*structure, Kind::kFormBand);
  std::vector<const Node*> breaks;
  int number = 1;
  Collect(*structure, breaks, number);
  CollectTotals(*structure, nullptr);

  // The page's regions; see the header for the defaults.
  BandValues none;
  int32_t header_h = page_header_ ? BandHeight(*page_header_, font_, none) : 0;
  int32_t footer_h = page_footer_ ? BandHeight(*page_footer_, font_, none) : 0;
  const Rect& at = structure->at;
  area_.x = Given(at.x) ? at.x : kMargin;
  area_.y = Given(at.y) ? at.y : Clamp(int64_t{kMargin} + header_h);
  area_.w = Given(at.w) ? at.w : std::max(0, Clamp(int64_t{kPaperWidth} - area_.x - kMargin));
  area_.h =
      Given(at.h) ? at.h : std::max(0, Clamp(int64_t{kPaperHeight} - kMargin - footer_h - area_.y));
  if (page_header_) {
    const Rect& h = page_header_->at;
    header_at_ = {Given(h.x) ? h.x : area_.x, Given(h.y) ? h.y : kMargin,
                  Given(h.w) ? h.w : area_.w, header_h};
  }
  if (page_footer_) {
    const Rect& f = page_footer_->at;
    footer_at_ = {Given(f.x) ? f.x : area_.x, Given(f.y) ? f.y : Clamp(int64_t{area_.y} + area_.h),
                  Given(f.w) ? f.w : area_.w, footer_h};
  }
  // A definition may let its detail area run into the page footer (the
  // inventory's ends at 9833, its footer begins at 9000): nothing the flow
  // draws may reach past the footer's top.
  bottom_ = Clamp(int64_t{area_.y} + area_.h);
  footer_top_ = INT32_MAX;
  if (page_footer_ && footer_at_.y > area_.y) footer_top_ = footer_at_.y;
}

bool Report::Fits(int64_t height, int64_t reach) const {
  return int64_t{cursor_} + height <= bottom_ && int64_t{cursor_} + reach <= footer_top_;
}

// Numbers the group breaks and detail bands depth first and records each
// detail band's enclosing breaks.
void Report::Collect(const Node& node, std::vector<const Node*>& breaks, int& number) {
  for (const Node& child : node.children) {
    if (child.kind == Kind::kDetailBand) {
      details_[number++] = Detail{&child, breaks};
    } else if (child.kind == Kind::kGroupBreak) {
      ++number;
      breaks.push_back(&child);
      Collect(child, breaks, number);
      breaks.pop_back();
    }
  }
}

Report::~Report() { Close(); }

std::vector<int> Report::DetailBands() const {
  std::vector<int> numbers;
  for (const auto& [number, detail] : details_) numbers.push_back(number);
  return numbers;
}

int Report::Bind(std::string_view name, std::unique_ptr<UseVariable> variable) {
  int count = 0;
  auto uses = [&](const Node& node) { return node.use && node.use->variable == name; };
  // Controls in every band, and the group breaks' own variables.
  std::vector<const Node*> stack{structure_};
  while (!stack.empty()) {
    const Node* node = stack.back();
    stack.pop_back();
    if (node != structure_ && uses(*node)) ++count;
    for (const Node& child : node->children) stack.push_back(&child);
  }
  if (count > 0) {
    variables_[std::string(name)] = variable.get();
    owned_.push_back(std::move(variable));
  }
  return count;
}

// ---------------------------------------------------------------------------
// Values.

std::optional<BandValue> Report::CurrentValue(const Node& control) const {
  if (std::optional<BandValue> total = TotalOf(control)) return total;
  const std::string& name = control.use->variable;
  auto it = variables_.find(name);
  if (it != variables_.end()) return BandValue{it->second->Get(), it->second->numeric()};
  if (name == kPageNumberVariable) return BandValue{std::to_string(page_number_), true};
  return std::nullopt;
}

BandValues Report::Current() const {
  return [this](const Node& control) { return CurrentValue(control); };
}

BandValues Report::Last() const {
  return [this](const Node& control) -> std::optional<BandValue> {
    if (std::optional<BandValue> total = TotalOf(control)) return total;
    auto it = last_values_.find(control.use->variable);
    if (it != last_values_.end()) return it->second;
    return CurrentValue(control);
  };
}

// ---------------------------------------------------------------------------
// Totals.

void Report::CollectTotals(const Node& node, const Node* brk) {
  for (const Node& child : node.children) {
    if (child.kind == Kind::kGroupBreak) {
      CollectTotals(child, &child);
      continue;
    }
    Total::Scope scope = child.kind == Kind::kDetailBand ? Total::Scope::kReport
                         : brk != nullptr                ? Total::Scope::kGroup
                                                         : Total::Scope::kPage;
    ForEachControl(child, [&](const Node& control) {
      if (!control.total.empty() && control.use) {
        totals_.push_back(Total{&control, scope, brk, control.total == "count", 0.0});
      }
    });
  }
}

std::optional<BandValue> Report::TotalOf(const Node& control) const {
  for (const Total& t : totals_) {
    if (t.control != &control) continue;
    // Enough decimals for any picture, without the noise of binary fractions.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.8f", t.value);
    std::string text = buf;
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (text == "-0") text = "0";
    return BandValue{text, true};
  }
  return std::nullopt;
}

void Report::Accumulate(const Detail& detail, bool page_scope) {
  for (Total& t : totals_) {
    if ((t.scope == Total::Scope::kPage) != page_scope) continue;
    if (t.scope == Total::Scope::kGroup &&
        std::find(detail.breaks.begin(), detail.breaks.end(), t.brk) == detail.breaks.end()) {
      continue;  // this detail band is not inside the total's group
    }
    if (t.count) {
      t.value += 1;
      continue;
    }
    auto it = variables_.find(t.control->use->variable);
    if (it != variables_.end()) t.value += format::DeformatNumber(it->second->Get());
  }
}

void Report::ResetTotals(Total::Scope scope, const Node* brk) {
  for (Total& t : totals_) {
    if (t.scope == scope && (scope != Total::Scope::kGroup || t.brk == brk)) t.value = 0;
  }
}

std::string Report::BreakValue(const Node& brk) const {
  auto it = variables_.find(brk.use->variable);
  return it == variables_.end() ? std::string() : it->second->Get();
}

// ---------------------------------------------------------------------------
// Life cycle.

void Report::Open() {
  if (state_ == State::kOpen) files::Errors().RuntimeError(files::kReportAlreadyOpen, label_);
  state_ = State::kOpen;
  page_.reset();
  page_number_ = 0;
  pages_finished_ = 0;
  page_has_flow_ = false;
  groups_.clear();
  last_values_.clear();
  for (Total& t : totals_) t.value = 0;
}

void Report::Print(int band) {
  if (state_ != State::kOpen) {
    files::Errors().RuntimeError(kPrintOnlyForReports, label_ + " (the report is not open)");
  }
  auto found = details_.find(band);
  if (found == details_.end()) {
    files::Errors().RuntimeError(
        kPrintOnlyForReports, label_ + " (band " + std::to_string(band) + " is not a detail band)");
  }
  const Detail& detail = found->second;

  // The groups that stay open: same break, same value, from the outside in.
  std::vector<std::string> values;
  for (const Node* brk : detail.breaks) values.push_back(BreakValue(*brk));
  size_t keep = 0;
  while (keep < groups_.size() && keep < detail.breaks.size() &&
         groups_[keep].brk == detail.breaks[keep] && groups_[keep].value == values[keep]) {
    ++keep;
  }
  CloseGroups(keep);
  // New group headers stay with the band they introduce: when headers and
  // band do not fit below what the page holds, but would fit on a page of
  // their own, they all start the next page.
  if (keep < detail.breaks.size() && page_ && page_has_flow_) {
    int64_t headers = 0;
    for (size_t i = keep; i < detail.breaks.size(); ++i) {
      if (const Node* header = FirstBand(*detail.breaks[i], Kind::kHeaderBand)) {
        headers += BandHeight(*header, font_, Current());
      }
    }
    int64_t height = headers + BandHeight(*detail.band, font_, Current());
    int64_t reach = headers + BandReach(*detail.band, font_, Current());
    if (!Fits(height, reach) && std::max(height, reach) <= Capacity()) {
      FinishPage();
      StartPage();
      ContinueGroups(std::max(height, reach));
    }
  }
  for (size_t i = keep; i < detail.breaks.size(); ++i) {
    ResetTotals(Total::Scope::kGroup, detail.breaks[i]);
    if (const Node* header = FirstBand(*detail.breaks[i], Kind::kHeaderBand)) {
      Flow(*header, Current());
    }
    groups_.push_back(Group{detail.breaks[i], values[i]});
  }
  // Group and running totals count this record before its band shows them;
  // page totals once the band is on the page it ends up on.
  Accumulate(detail, false);
  Flow(*detail.band, Current());
  Accumulate(detail, true);

  // What footers will show: this record's values.
  last_values_.clear();
  for (const auto& [name, variable] : variables_) {
    last_values_[name] = BandValue{variable->Get(), variable->numeric()};
  }
}

// A group stays open while its footer prints, so that a page which begins
// with the footer repeats the group's header.
void Report::CloseGroups(size_t keep) {
  while (groups_.size() > keep) {
    const Node* brk = groups_.back().brk;
    if (const Node* footer = FirstBand(*brk, Kind::kFooterBand)) Flow(*footer, Last());
    groups_.pop_back();
  }
}

void Report::EndPage() {
  if (state_ != State::kOpen) {
    files::Errors().RuntimeError(kEndPageOnlyForReports, label_ + " (the report is not open)");
  }
  CloseGroups(0);
  if (page_) FinishPage();
  last_values_.clear();
  PrintUnqueued();  // pages finished while no queue was set
}

void Report::Close() {
  if (state_ != State::kOpen) return;
  state_ = State::kClosed;
  page_.reset();
  groups_.clear();
  for (const std::string& path : rendered_) RemovePageImage(path);
  rendered_.clear();
  unqueued_.clear();
}

// ---------------------------------------------------------------------------
// Pages.

void Report::Flow(const Node& band, const BandValues& values) {
  if (!page_) StartPage();
  int32_t height = BandHeight(band, font_, values);
  int32_t reach = BandReach(band, font_, values);
  if (page_has_flow_ && !Fits(height, reach)) {
    FinishPage();
    StartPage();
    ContinueGroups(std::max(height, reach));
  }
  int32_t x = Clamp(int64_t{area_.x} + (Given(band.at.x) ? band.at.x : 0));
  int32_t w = Given(band.at.w) ? band.at.w : area_.w;
  LayoutBand(band, x, cursor_, w, font_, values, page_->items);
  cursor_ = Clamp(int64_t{cursor_} + height);
  page_has_flow_ = true;
}

void Report::StartPage() {
  page_.emplace();
  page_->report = label_;
  page_->number = ++page_number_;
  page_->width = kPaperWidth;
  page_->height = kPaperHeight;
  cursor_ = area_.y;
  page_has_flow_ = false;
  ResetTotals(Total::Scope::kPage, nullptr);
  if (form_) {
    const Rect& f = form_->at;
    LayoutBand(*form_, Given(f.x) ? f.x : 0, Given(f.y) ? f.y : 0, Given(f.w) ? f.w : kPaperWidth,
               font_, Current(), page_->items);
  }
  if (page_header_) {
    LayoutBand(*page_header_, header_at_.x, header_at_.y, header_at_.w, font_, Current(),
               page_->items);
  }
}

// The open groups' headers at the top of a page that begins inside them,
// each with the remark after its break variable's text. `next` is how far
// the band that caused the new page reaches: the headers are left out when
// they and that band would not fit together, so that the band is never
// pushed onto the page footer (or on to yet another page).
void Report::ContinueGroups(int64_t next) {
  const BandValues values = Last();
  int64_t total = 0;
  for (const Group& group : groups_) {
    if (const Node* header = FirstBand(*group.brk, Kind::kHeaderBand)) {
      total += BandHeight(*header, font_, values);
    }
  }
  if (total == 0 || total + next > Capacity()) return;
  for (size_t i = 0; i < groups_.size(); ++i) {
    const Node* header = FirstBand(*groups_[i].brk, Kind::kHeaderBand);
    if (header == nullptr) continue;
    int32_t x = Clamp(int64_t{area_.x} + (Given(header->at.x) ? header->at.x : 0));
    int32_t w = Given(header->at.w) ? header->at.w : area_.w;
    LayoutBand(*header, x, cursor_, w, font_, values, page_->items);
    PageItem remark;
    remark.type = PageItem::Type::kText;
    remark.text = std::string(kContinuedRemark);
    remark.font = font_;
    if (std::optional<TextEnd> end =
            TextEndOf(*header, groups_[i].brk->use->variable, font_, values)) {
      remark.x = Clamp(int64_t{x} + end->x);
      remark.y = Clamp(int64_t{cursor_} + end->y);
      remark.font = end->font;
    } else {
      remark.x = x;
      remark.y = cursor_;
    }
    remark.w = TextWidth(remark.text, remark.font);
    remark.h = TextHeight(remark.font);
    page_->items.push_back(std::move(remark));
    cursor_ = Clamp(int64_t{cursor_} + BandHeight(*header, font_, values));
  }
  // The band that caused the page goes below them whatever it reaches, as
  // it would at the top of an empty page.
  page_has_flow_ = false;
}

void Report::FinishPage() {
  if (page_footer_) {
    LayoutBand(*page_footer_, footer_at_.x, footer_at_.y, footer_at_.w, font_, Last(),
               page_->items);
  }
  Page page = std::move(*page_);
  page_.reset();
  std::optional<std::string> name = WritePageImage(PageToMetafile(page));
  if (!name) {
    files::Errors().RuntimeError(
        kPrinterDeviceError,
        label_ + " (page " + std::to_string(page.number) + ": the page image cannot be written in " +
            PageImageDirectory() + ")");
  }
  platform_->PageFinished(page, *name);
  rendered_.push_back(*name);
  ++pages_finished_;
  if (preview_ != nullptr) {
    preview_->push_back(*name);
  } else {
    unqueued_.push_back(*name);
  }
}

void Report::PrintUnqueued() {
  if (unqueued_.empty()) return;
  PrintJob(unqueued_);
  unqueued_.clear();
}

void Report::PrintJob(const std::vector<std::string>& pages) {
  last_print_ = platform_->PrintPages(pages);
  if (last_print_.printed) {
    files::Errors().Clear();
  } else {
    files::Errors().Post(kPrinterDeviceError);
  }
}

// ---------------------------------------------------------------------------
// Properties.

void Report::SetProperty(int property, int64_t value) {
  if (property == kPropFlushPreview) {
    if (value == 1 && preview_ != nullptr && !preview_->empty()) PrintJob(*preview_);
    return;
  }
  other_[property] = value;
}

int64_t Report::GetNumber(int property) const {
  if (property == kPropFlushPreview) return 0;
  if (property == kPropPreview) return preview_ != nullptr ? 1 : 0;
  auto it = other_.find(property);
  return it == other_.end() ? 0 : it->second;
}

}  // namespace vorsandt::ui
