// Mappings between the engine's numbers and texts and the toolkit's: message
// box buttons and icons, key codes, fonts and dialog units, and text.
#ifndef VORSANDT_UI_QT_MAPPINGS_H_
#define VORSANDT_UI_QT_MAPPINGS_H_

#include <QColor>
#include <QFont>
#include <QMessageBox>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "ui/engine/definition.h"
#include "ui/engine/events.h"
#include "ui/qt/dialog_units.h"

namespace vorsandt::ui::qt {

// Engine texts (Windows-1252) to the screen and back.
QString ToQt(std::string_view ansi);
std::string FromQt(const QString& text);

// Message box buttons: the engine's flags (button::kOk ...) to the toolkit's
// standard buttons and back. Unknown flags are ignored; no flag at all gives OK.
QMessageBox::StandardButtons ToStandardButtons(int flags);
QMessageBox::StandardButton ToStandardButton(int flag);
int FromStandardButton(QMessageBox::StandardButton button);
QMessageBox::Icon ToMessageIcon(Icon icon);
// The flag a message box answers with when it is closed without a button
// (Escape or the close box): Cancel, else No, else the only button, else the
// default button.
int EscapeAnswer(int flags, int default_button);

// The engine's key code of a key press (code plus 256 Shift, 512 Ctrl, 1024
// Alt); 0 for keys the engine has no code for (bare modifiers).
int KeyCode(int qt_key, Qt::KeyboardModifiers modifiers);

// The most characters an entry with display picture `picture` can hold: the
// width of a string picture ("@s30" or "s30" gives 30); 0 (no limit) for
// other pictures, whose width the engine's formatting decides.
int StringPictureWidth(std::string_view picture);

// The font a definition names, at its size and weight; the toolkit
// substitutes a similar family when the named one is not installed.
QFont FontFor(const std::optional<FontBlock>& block, const QFont& fallback);
// The font of a window (or of a control on it) on the screen: as FontFor, but
// the definition's point size is taken relative to the desktop's, because the
// definitions were drawn for a desktop whose standard font was 8 points: a
// window at 8 points shows at the desktop font's size, a 14-point title
// 14/8 of it. So a larger desktop font gives larger windows, as the user
// asked for. Printed pages keep the definitions' sizes (FontFor).
inline constexpr double kDefinitionsDesktopPoints = 8.0;
QFont ScreenFontFor(const std::optional<FontBlock>& block, const QFont& desktop);
// The dialog base units of `font`.
BaseUnits BaseUnitsOf(const QFont& font);

// A definition's colour value (red in the low byte, then green, then blue);
// nullopt for kDefaultColour, which leaves the colour to the style. The top
// byte of any other value is ignored.
std::optional<QColor> ToColour(uint32_t value);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_MAPPINGS_H_
