// What the desktop program remembers about its windows between runs: each
// window's place and size, the last tab of its sheet and the column widths
// the user dragged in its lists (keyed by the window's definition name), and the last folder of each kind of file
// chooser (keyed by the chooser's file mask). Kept in the desktop settings
// (QSettings under $XDG_CONFIG_HOME). Only the desktop program turns it on;
// tests and headless runs leave it off, so they neither read nor write the
// user's settings and stay the same on every run.
#ifndef VORSANDT_UI_QT_WINDOW_MEMORY_H_
#define VORSANDT_UI_QT_WINDOW_MEMORY_H_

#include <QList>
#include <QRect>
#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace vorsandt::ui::qt {

// `window` moved onto one of `areas` when too little of it shows on any:
// a window whose title strip is off every screen (a monitor was removed)
// could not be reached. It goes to the area it overlaps most (the nearest
// one when it overlaps none), made no larger than that area. Unchanged when it shows.
QRect PulledOnto(const QRect& window, const QList<QRect>& areas);

class WindowMemory {
 public:
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool enabled() const { return enabled_; }

  // The remembered place of the window named `label`; none when off or
  // never saved.
  std::optional<QRect> Geometry(const std::string& label) const;
  void SaveGeometry(const std::string& label, const QRect& geometry);

  // The sheet tab (1-based) the window named `label` last showed.
  std::optional<int> Tab(const std::string& label) const;
  void SaveTab(const std::string& label, int tab);

  // The widths (in the window's dialog units, so that they follow a changed
  // font) the user gave the columns of list `field` in the window named
  // `label`; 0 for a column left fitting. Empty when none was saved.
  std::vector<int> ColumnWidths(const std::string& label, int field) const;
  // Saves `widths`; all 0 (or none) forgets what was saved.
  void SaveColumnWidths(const std::string& label, int field, const std::vector<int>& widths);

  // A value the program keeps for its own use under `key` ("trees/..."):
  // empty when off or never saved; an empty value forgets it.
  std::string Value(const std::string& key) const;
  void SaveValue(const std::string& key, const std::string& value);

  // The folder a chooser with this file mask last chose from; empty when none.
  QString Folder(const std::string& mask) const;
  void SaveFolder(const std::string& mask, const QString& folder);

 private:
  bool enabled_ = false;
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_WINDOW_MEMORY_H_
