#include "ui/qt/window_memory.h"

#include <QCryptographicHash>
#include <QSettings>
#include <algorithm>

namespace vorsandt::ui::qt {
namespace {

// How much of a window's top edge must show for the user to grab it.
constexpr int kGrabHeight = 24;
constexpr int kGrabWidth = 48;

// Settings groups take '/' as a separator; definition names hold '$' and ':'
// which QSettings keeps, so only the separator is replaced.
QString WindowKey(const std::string& label, const char* what) {
  QString name = QString::fromStdString(label);
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  return QStringLiteral("windows/") + name + QLatin1Char('/') + QLatin1String(what);
}

// A mask is free text ("Select A Graphic Image|*.*"): its hash names it.
QString FolderKey(const std::string& mask) {
  QByteArray hash =
      QCryptographicHash::hash(QByteArray::fromStdString(mask), QCryptographicHash::Sha1);
  return QStringLiteral("folders/") + QString::fromLatin1(hash.toHex().left(16));
}

int Overlap(const QRect& a, const QRect& b) {
  QRect both = a.intersected(b);
  return both.isEmpty() ? 0 : both.width() * both.height();
}

// How far the centre of `window` lies from `area` (0 inside it).
int Distance(const QRect& window, const QRect& area) {
  QPoint c = window.center();
  int dx = std::max({area.left() - c.x(), 0, c.x() - area.right()});
  int dy = std::max({area.top() - c.y(), 0, c.y() - area.bottom()});
  return dx + dy;
}

// The area that overlaps `window` most; when none does, the nearest one.
const QRect& BestArea(const QRect& window, const QList<QRect>& areas) {
  const QRect* best = &areas.front();
  for (const QRect& area : areas) {
    int more = Overlap(window, area) - Overlap(window, *best);
    if (more > 0 || (more == 0 && Overlap(window, area) == 0 &&
                     Distance(window, area) < Distance(window, *best))) {
      best = &area;
    }
  }
  return *best;
}

}  // namespace

QRect PulledOnto(const QRect& window, const QList<QRect>& areas) {
  if (areas.isEmpty() || window.isEmpty()) return window;
  QRect grab(window.left(), window.top(), window.width(), std::min(kGrabHeight, window.height()));
  for (const QRect& area : areas) {
    QRect shown = grab.intersected(area);
    if (shown.width() >= std::min(kGrabWidth, window.width()) && shown.height() > 0) return window;
  }
  const QRect* best = &BestArea(window, areas);
  QRect out(window.topLeft(), window.size().boundedTo(best->size()));
  out.moveLeft(std::clamp(out.left(), best->left(), best->right() - out.width() + 1));
  out.moveTop(std::clamp(out.top(), best->top(), best->bottom() - out.height() + 1));
  return out;
}

std::optional<QRect> WindowMemory::Geometry(const std::string& label) const {
  if (!enabled_) return std::nullopt;
  QVariant value = QSettings().value(WindowKey(label, "geometry"));
  if (!value.isValid()) return std::nullopt;
  QRect rect = value.toRect();
  if (rect.isEmpty()) return std::nullopt;
  return rect;
}

void WindowMemory::SaveGeometry(const std::string& label, const QRect& geometry) {
  if (enabled_ && !geometry.isEmpty()) QSettings().setValue(WindowKey(label, "geometry"), geometry);
}

std::optional<int> WindowMemory::Tab(const std::string& label) const {
  if (!enabled_) return std::nullopt;
  bool ok = false;
  int tab = QSettings().value(WindowKey(label, "tab")).toInt(&ok);
  if (!ok || tab < 1) return std::nullopt;
  return tab;
}

void WindowMemory::SaveTab(const std::string& label, int tab) {
  if (enabled_ && tab >= 1) QSettings().setValue(WindowKey(label, "tab"), tab);
}

namespace {

QString ColumnsKey(const std::string& label, int field) {
  return WindowKey(label, "columns") + QLatin1Char('/') + QString::number(field);
}

}  // namespace

std::vector<int> WindowMemory::ColumnWidths(const std::string& label, int field) const {
  std::vector<int> widths;
  if (!enabled_) return widths;
  for (const QVariant& v : QSettings().value(ColumnsKey(label, field)).toList()) {
    // A damaged or hand-edited value leaves its column fitting.
    bool ok = false;
    int width = v.toInt(&ok);
    widths.push_back(ok && width > 0 && width < 100000 ? width : 0);
  }
  return widths;
}

void WindowMemory::SaveColumnWidths(const std::string& label, int field,
                                    const std::vector<int>& widths) {
  if (!enabled_) return;
  QVariantList list;
  bool any = false;
  for (int width : widths) {
    list << std::max(0, width);
    any = any || width > 0;
  }
  if (any) {
    QSettings().setValue(ColumnsKey(label, field), list);
  } else {
    QSettings().remove(ColumnsKey(label, field));
  }
}

std::string WindowMemory::Value(const std::string& key) const {
  if (!enabled_) return {};
  return QSettings()
      .value(QStringLiteral("state/") + QString::fromStdString(key))
      .toString()
      .toStdString();
}

void WindowMemory::SaveValue(const std::string& key, const std::string& value) {
  if (!enabled_) return;
  const QString name = QStringLiteral("state/") + QString::fromStdString(key);
  if (value.empty()) {
    QSettings().remove(name);
  } else {
    QSettings().setValue(name, QString::fromStdString(value));
  }
}

QString WindowMemory::Folder(const std::string& mask) const {
  if (!enabled_) return QString();
  return QSettings().value(FolderKey(mask)).toString();
}

void WindowMemory::SaveFolder(const std::string& mask, const QString& folder) {
  if (enabled_ && !folder.isEmpty()) QSettings().setValue(FolderKey(mask), folder);
}

}  // namespace vorsandt::ui::qt
