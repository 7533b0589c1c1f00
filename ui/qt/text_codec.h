// Conversion between the records' character set and the screen's.
//
// Everything the window engine hands over (captions, control texts, rows,
// messages) is Windows-1252, the character set of the table files; the screen
// and the toolkit speak UTF-8. The platform converts at its edge, in both
// directions, so the engine never sees UTF-8 and the user never sees raw 1252
// bytes.
#ifndef VORSANDT_UI_QT_TEXT_CODEC_H_
#define VORSANDT_UI_QT_TEXT_CODEC_H_

#include <string>
#include <string_view>

namespace vorsandt::ui::qt {

// Windows-1252 to UTF-8. The five byte values that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 control characters of
// the same value, so that the conversion back gives the same bytes.
std::string AnsiToUtf8(std::string_view ansi);

// UTF-8 to Windows-1252. A character that Windows-1252 cannot hold, and any
// malformed UTF-8 sequence, becomes "?": the result always has one byte per
// character the user saw.
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_TEXT_CODEC_H_
