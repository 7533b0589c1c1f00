#include "ui/qt/mappings.h"

#include <QFontMetrics>

#include "ui/qt/text_codec.h"

namespace vorsandt::ui::qt {
namespace {

struct ButtonPair {
  int flag;
  QMessageBox::StandardButton qt;
};

constexpr ButtonPair kButtons[] = {
    {button::kOk, QMessageBox::Ok},         {button::kYes, QMessageBox::Yes},
    {button::kNo, QMessageBox::No},         {button::kAbort, QMessageBox::Abort},
    {button::kRetry, QMessageBox::Retry},   {button::kIgnore, QMessageBox::Ignore},
    {button::kCancel, QMessageBox::Cancel}, {button::kHelp, QMessageBox::Help},
};

}  // namespace

QString ToQt(std::string_view ansi) { return QString::fromStdString(AnsiToUtf8(ansi)); }

std::string FromQt(const QString& text) { return Utf8ToAnsi(text.toStdString()); }

QMessageBox::StandardButtons ToStandardButtons(int flags) {
  QMessageBox::StandardButtons out;
  for (const ButtonPair& p : kButtons) {
    if (flags & p.flag) out |= p.qt;
  }
  if (out == QMessageBox::NoButton) out = QMessageBox::Ok;
  return out;
}

QMessageBox::StandardButton ToStandardButton(int flag) {
  for (const ButtonPair& p : kButtons) {
    if (flag == p.flag) return p.qt;
  }
  return QMessageBox::NoButton;
}

int FromStandardButton(QMessageBox::StandardButton button) {
  for (const ButtonPair& p : kButtons) {
    if (button == p.qt) return p.flag;
  }
  return 0;
}

QMessageBox::Icon ToMessageIcon(Icon icon) {
  switch (icon) {
    case Icon::kExclamation: return QMessageBox::Warning;
    case Icon::kQuestion: return QMessageBox::Question;
    case Icon::kStop: return QMessageBox::Critical;
    case Icon::kAsterisk: return QMessageBox::Information;
    case Icon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

int EscapeAnswer(int flags, int default_button) {
  if (flags == 0) flags = button::kOk;
  if (flags & button::kCancel) return button::kCancel;
  if (flags & button::kNo) return button::kNo;
  // A single button: that one.
  if ((flags & (flags - 1)) == 0) return flags;
  if (flags & default_button) return default_button;
  for (const ButtonPair& p : kButtons) {
    if (flags & p.flag) return p.flag;
  }
  return button::kOk;
}

int KeyCode(int qt_key, Qt::KeyboardModifiers modifiers) {
  int code = 0;
  if (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) {
    code = 'A' + (qt_key - Qt::Key_A);
  } else if (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9) {
    code = '0' + (qt_key - Qt::Key_0);
  } else if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F24) {
    code = key::kF1 + (qt_key - Qt::Key_F1);
  } else {
    switch (qt_key) {
      case Qt::Key_Backspace: code = key::kBackspace; break;
      case Qt::Key_Tab:
      case Qt::Key_Backtab: code = key::kTab; break;
      case Qt::Key_Return:
      case Qt::Key_Enter: code = key::kEnter; break;
      case Qt::Key_Escape: code = key::kEsc; break;
      case Qt::Key_Space: code = key::kSpace; break;
      case Qt::Key_PageUp: code = key::kPgUp; break;
      case Qt::Key_PageDown: code = key::kPgDn; break;
      case Qt::Key_End: code = key::kEnd; break;
      case Qt::Key_Home: code = key::kHome; break;
      case Qt::Key_Left: code = key::kLeft; break;
      case Qt::Key_Up: code = key::kUp; break;
      case Qt::Key_Right: code = key::kRight; break;
      case Qt::Key_Down: code = key::kDown; break;
      case Qt::Key_Insert: code = key::kInsert; break;
      case Qt::Key_Delete: code = key::kDelete; break;
      case Qt::Key_Plus: code = 107; break;   // keypad-style codes of + and -
      case Qt::Key_Minus: code = 109; break;
      default: return 0;
    }
  }
  if (modifiers & Qt::ShiftModifier) code += key::kShift;
  if (modifiers & Qt::ControlModifier) code += key::kCtrl;
  if (modifiers & Qt::AltModifier) code += key::kAlt;
  return code;
}

int StringPictureWidth(std::string_view picture) {
  if (!picture.empty() && picture.front() == '@') picture.remove_prefix(1);
  if (picture.empty() || (picture.front() != 's' && picture.front() != 'S')) return 0;
  picture.remove_prefix(1);
  int width = 0;
  for (char c : picture) {
    if (c < '0' || c > '9') return 0;
    width = width * 10 + (c - '0');
    if (width > 65535) return 0;
  }
  return width;
}

QFont FontFor(const std::optional<FontBlock>& block, const QFont& fallback) {
  QFont font = fallback;
  if (!block) return font;
  if (!block->name.empty()) {
    font.setFamilies({ToQt(block->name), fallback.family()});
    // Definitions name Windows fonts; where "Courier New" and friends are
    // missing, a fixed-pitch face must stand in, or columns stop lining up.
    const std::string& n = block->name;
    if (n.find("Courier") != std::string::npos || n.find("Mono") != std::string::npos ||
        n == "Fixedsys" || n == "Terminal") {
      font.setStyleHint(QFont::TypeWriter);
      font.setFamilies({ToQt(block->name), QStringLiteral("monospace"),
                        QStringLiteral("DejaVu Sans Mono")});
      font.setFixedPitch(true);
    }
  }
  if (block->size > 0) font.setPointSize(block->size);
  if (block->weight != 0xFFFFFFFF) {
    font.setWeight(block->weight >= 600 ? QFont::Bold : QFont::Normal);
  }
  return font;
}

QFont ScreenFontFor(const std::optional<FontBlock>& block, const QFont& desktop) {
  QFont font = FontFor(block, desktop);
  if (!block || block->size <= 0) return font;
  double desktop_points = desktop.pointSizeF();
  if (desktop_points <= 0) return font;  // a font set in pixels: keep the definition's
  font.setPointSizeF(block->size * desktop_points / kDefinitionsDesktopPoints);
  return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
  QFontMetrics fm(font);
  BaseUnits base;
  base.width = AverageLetterWidth(
      fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")));
  base.height = fm.height();
  if (base.width < 1) base.width = 1;
  if (base.height < 1) base.height = 1;
  return base;
}

}  // namespace vorsandt::ui::qt

namespace vorsandt::ui::qt {

std::optional<QColor> ToColour(uint32_t value) {
  if (value == kDefaultColour) return std::nullopt;
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

}  // namespace vorsandt::ui::qt
