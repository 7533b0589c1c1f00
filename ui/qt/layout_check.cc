#include "ui/qt/layout_check.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>
#include <memory>

#include "ui/engine/engine.h"
#include "ui/qt/list_control.h"
#include "ui/qt/mappings.h"
#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {
namespace {

// A group's title sits in its frame's top edge with a small indent each side.
constexpr int kGroupTitleIndent = 8;

QString KindWord(Kind kind) {
  return QString::fromLatin1(KindName(kind).data(), static_cast<int>(KindName(kind).size()));
}

// The window structures the engine can open: every kWindow of every
// resource, with the window id that finds it.
struct WindowDefinition {
  std::string id;
  std::string label;
};

std::vector<WindowDefinition> WindowDefinitions(const ResourceSet& resources) {
  std::vector<WindowDefinition> out;
  for (const auto& module : resources.modules()) {
    for (const Resource& resource : module->resources) {
      for (const Node& structure : resource.structures) {
        if (structure.kind == Kind::kWindow) out.push_back({resource.id, structure.label});
      }
    }
  }
  return out;
}

// The engine wants a platform; building windows from their definitions calls
// none of it.
class SilentPlatform : public Platform {
 public:
  void WindowOpened(const WindowState&) override {}
  void WindowChanged(const WindowState&) override {}
  void WindowClosed(WindowId) override {}
  int ShowMessage(const MessageRequest&) override { return button::kCancel; }
  int ShowPopup(WindowId, const std::string&, int, int) override { return 0; }
  std::optional<std::string> ChooseFile(const FileRequest&) override { return std::nullopt; }
  bool PrinterSetup(WindowId) override { return false; }
  void StandardAction(WindowId, int) override {}
};

void AddLabelRoom(const ControlState& c, const QLabel* label, std::vector<TextRoom>& out) {
  if (label->text().isEmpty()) return;
  TextRoom room;
  room.field = c.field;
  room.what = KindWord(c.kind);
  room.text = label->text();
  // A label's size hint is its text's extent (the access letter's mark
  // removed when the label reads it).
  room.need = label->sizeHint();
  room.has = label->size();
  out.push_back(room);
}

void AddColumnRooms(const ControlState& c, const ListControl* list, std::vector<TextRoom>& out) {
  QTreeWidget* table = list->table();
  if (table->isHeaderHidden()) return;
  QHeaderView* header = table->header();
  QTreeWidgetItem* item = table->headerItem();
  for (int i = 0; i < table->columnCount(); ++i) {
    if (item->text(i).isEmpty()) continue;
    TextRoom room;
    room.field = c.field;
    room.what = QStringLiteral("column %1 heading").arg(i + 1);
    room.text = item->text(i);
    room.need = QSize(header->sectionSizeHint(i), header->height());
    room.has = QSize(header->sectionSize(i), header->height());
    out.push_back(room);
  }
}

}  // namespace

QString ShownText(const QString& text, bool access_letters) {
  if (!access_letters) return text;
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&')) {
      if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
        out += QLatin1Char('&');
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

int ButtonTextWidth(const QString& text, const QFont& font, const QStyle* style) {
  QFontMetrics fm(font);
  int margin = style->pixelMetric(QStyle::PM_ButtonMargin) +
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
  return fm.horizontalAdvance(ShownText(text, true)) + margin;
}

std::vector<TextRoom> TextRooms(const WindowView& view) {
  std::vector<TextRoom> out;
  for (int field : view.Fields()) {
    const ControlState* c = view.Control(field);
    QWidget* w = view.ControlWidget(field);
    if (c == nullptr || w == nullptr) continue;
    switch (c->kind) {
      case Kind::kString:
      case Kind::kVarString:
      case Kind::kPrompt:
        AddLabelRoom(*c, static_cast<const QLabel*>(w), out);
        break;
      case Kind::kButton: {
        auto* b = static_cast<QPushButton*>(w);
        if (b->text().isEmpty()) break;
        QFontMetrics fm(b->font());
        TextRoom room{c->field, KindWord(c->kind), b->text(),
                      QSize(ButtonTextWidth(b->text(), b->font(), b->style()), fm.height()),
                      b->size()};
        out.push_back(room);
        break;
      }
      case Kind::kCheck: {
        auto* box = static_cast<QCheckBox*>(w);
        if (box->text().isEmpty()) break;
        // The indicator may stand out of a short box; the text must not.
        QSize need(box->sizeHint().width(), QFontMetrics(box->font()).height());
        out.push_back({c->field, KindWord(c->kind), box->text(), need, box->size()});
        break;
      }
      case Kind::kGroup: {
        auto* g = static_cast<QGroupBox*>(w);
        if (g->title().isEmpty()) break;
        QFontMetrics fm(g->font());
        int need = fm.horizontalAdvance(ShownText(g->title(), true)) + 2 * kGroupTitleIndent;
        out.push_back(
            {c->field, KindWord(c->kind), g->title(), QSize(need, fm.height()), g->size()});
        break;
      }
      case Kind::kSheet: {
        QTabBar* tabs = view.TabsOf(field);
        if (tabs == nullptr || tabs->count() == 0) break;
        QStringList texts;
        for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
        // Every tab shows whole when the bar's natural width fits the sheet.
        out.push_back({c->field, QStringLiteral("tabs"), texts.join(QStringLiteral(" | ")),
                       tabs->sizeHint(),
                       QSize(w->width(), std::max(w->height(), tabs->sizeHint().height()))});
        break;
      }
      case Kind::kList:
        if (auto* list = qobject_cast<const ListControl*>(w)) AddColumnRooms(*c, list, out);
        break;
      default:
        break;
    }
  }
  return out;
}

std::vector<OutsidePlace> ControlsOutside(const WindowView& view) {
  std::vector<OutsidePlace> out;
  const QRect client(QPoint(0, 0), view.DesignSize());
  for (int field : view.Fields()) {
    const ControlState* c = view.Control(field);
    QWidget* w = view.OuterWidget(field);
    if (c == nullptr || w == nullptr) continue;
    QRect place = w->geometry();
    // A line of no thickness has an empty rectangle; its ends still count.
    if (place.width() == 0) place.setWidth(1);
    if (place.height() == 0) place.setHeight(1);
    if (!client.contains(place)) out.push_back({field, KindWord(c->kind), place, client.size()});
  }
  return out;
}

int CheckLayout(const ResourceSet& resources, std::ostream& out) {
  SilentPlatform platform;
  Engine engine(&platform, const_cast<ResourceSet*>(&resources));
  int windows = 0;
  int controls = 0;
  int problems = 0;
  for (const WindowDefinition& def : WindowDefinitions(resources)) {
    std::unique_ptr<Window> window = engine.TryCreateWindow(def.id, def.label);
    if (!window) continue;
    WindowState state = window->Snapshot();
    WindowView view(state, {});
    ++windows;
    controls += static_cast<int>(view.Fields().size());
    for (const TextRoom& room : TextRooms(view)) {
      if (room.Fits()) continue;
      ++problems;
      out << def.label << ": field " << room.field << " " << room.what.toStdString() << " \""
          << room.text.toStdString() << "\" needs " << room.need.width() << "x"
          << room.need.height() << " px, has " << room.has.width() << "x" << room.has.height()
          << "\n";
    }
    for (const OutsidePlace& o : ControlsOutside(view)) {
      ++problems;
      out << def.label << ": field " << o.field << " " << o.what.toStdString() << " at "
          << o.place.x() << "," << o.place.y() << " " << o.place.width() << "x" << o.place.height()
          << " lies outside the client area " << o.client.width() << "x" << o.client.height()
          << "\n";
    }
  }
  out << windows << " windows, " << controls << " controls, " << problems << " problems\n";
  return problems;
}

}  // namespace vorsandt::ui::qt
