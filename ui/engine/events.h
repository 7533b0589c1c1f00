// Event numbers, key codes and property numbers of the window engine.
//
// These numbers are the contract between procedures and the engine; they are
// fixed. Control events have small numbers and concern a field; window events
// are 513 and above and concern no control.
#ifndef VORSANDT_UI_ENGINE_EVENTS_H_
#define VORSANDT_UI_ENGINE_EVENTS_H_

#include <cstdint>
#include <string_view>

namespace vorsandt::ui {

namespace event {
inline constexpr int kAccepted = 1;
inline constexpr int kNewSelection = 2;
inline constexpr int kScrollUp = 3;
inline constexpr int kScrollDown = 4;
inline constexpr int kPageUp = 5;
inline constexpr int kPageDown = 6;
inline constexpr int kScrollTop = 7;
inline constexpr int kScrollBottom = 8;
inline constexpr int kAlertKey = 15;
inline constexpr int kScrollDrag = 20;
inline constexpr int kTabChanging = 21;
inline constexpr int kExpanded = 24;
inline constexpr int kContracted = 25;
inline constexpr int kRejected = 26;
inline constexpr int kDroppingDown = 27;
inline constexpr int kDroppedDown = 28;
inline constexpr int kSelected = 257;
inline constexpr int kFirstWindowEvent = 513;
inline constexpr int kCloseWindow = 513;
inline constexpr int kCloseDown = 514;
inline constexpr int kOpenWindow = 515;
inline constexpr int kGainFocus = 518;
inline constexpr int kTimer = 523;
inline constexpr int kSized = 561;
inline constexpr int kCompleted = 549;
}  // namespace event

// Events travel as window messages numbered from this base; the event query
// gives the message number minus the base.
inline constexpr int kEventMessageBase = 0x1400;

// The engine's trace name of `number` ("EVENT:Accepted"); empty for numbers
// that are not used.
std::string_view EventName(int number);

namespace key {
inline constexpr int kMouseRight = 2;
inline constexpr int kMouseLeft2 = 5;  // double click
inline constexpr int kBackspace = 8;
inline constexpr int kTab = 9;
inline constexpr int kEnter = 13;
inline constexpr int kEsc = 27;
inline constexpr int kSpace = 32;
inline constexpr int kPgUp = 33;
inline constexpr int kPgDn = 34;
inline constexpr int kEnd = 35;
inline constexpr int kHome = 36;
inline constexpr int kLeft = 37;
inline constexpr int kUp = 38;
inline constexpr int kRight = 39;
inline constexpr int kDown = 40;
inline constexpr int kInsert = 45;
inline constexpr int kDelete = 46;
inline constexpr int kF1 = 112;
// Modifiers are added to the key's code.
inline constexpr int kShift = 256;
inline constexpr int kCtrl = 512;
inline constexpr int kAlt = 1024;
}  // namespace key

namespace prop {
inline constexpr int kText = 0x7C00;
inline constexpr int kSpinUpper = 0x7C15;
// A list's column format string; setting it replaces the list's columns.
inline constexpr int kFormat = 0x7C1E;
inline constexpr int kTreeRow = 0x7C20;
inline constexpr int kPreviewQueue = 0x7C53;
inline constexpr int kFlushPreview = 0x7C54;
inline constexpr int kDefaultButton = 0x7C5E;
inline constexpr int kDisable = 0x7C5F;
inline constexpr int kHide = 0x7C65;
inline constexpr int kTip = 0x7C73;
inline constexpr int kTimer = 0x7C86;
inline constexpr int kVScroll = 0x7C8B;
inline constexpr int kItems = 0x7C8E;
inline constexpr int kSelStart = 0x7C8F;
inline constexpr int kAcceptAll = 0x7C9A;
inline constexpr int kThumb = 0x7C9E;
inline constexpr int kVisible = 0x7CA7;
inline constexpr int kFilter = 0x7CB8;
inline constexpr int kStatusText = 0x7D01;
inline constexpr int kAlertKey = 0x7D06;
}  // namespace prop

// Standard actions a menu item or button can carry; the engine carries out
// 15 itself and hands the others to the platform.
namespace action {
inline constexpr int kWindowList = 1;
inline constexpr int kTile = 2;
inline constexpr int kCascade = 3;
inline constexpr int kArrangeIcons = 4;
inline constexpr int kHelpContents = 5;
inline constexpr int kHelpOnHelp = 6;
inline constexpr int kHelpSearch = 7;
inline constexpr int kCut = 10;
inline constexpr int kCopy = 11;
inline constexpr int kPaste = 12;
inline constexpr int kClose = 15;
inline constexpr int kPrintSetup = 16;
}  // namespace action

// Message box buttons (bit flags, shown in this order) and icons.
namespace button {
inline constexpr int kOk = 1;
inline constexpr int kYes = 2;
inline constexpr int kNo = 4;
inline constexpr int kAbort = 8;
inline constexpr int kRetry = 16;
inline constexpr int kIgnore = 32;
inline constexpr int kCancel = 64;
inline constexpr int kHelp = 128;
}  // namespace button

enum class Icon { kNone, kExclamation, kQuestion, kStop, kAsterisk };

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_EVENTS_H_
