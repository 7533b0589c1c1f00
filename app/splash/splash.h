// Splash: the welcome window shown at start, with the program's name and
// version and the text file README.TXT of the working directory, one line per
// row in a fixed-pitch list. The file is read in a small progress window, about
// 20000 bytes per timer event, so that a long file can be watched and
// cancelled; it is read once per run of the window, not on every return of
// the focus. Continue leaves the window.
#ifndef VORSANDT_APP_SPLASH_SPLASH_H_
#define VORSANDT_APP_SPLASH_SPLASH_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vorsandt::app {

inline constexpr char kSplashWindowId[] = "ZELTAR3$ZELTA_SF";
inline constexpr char kSplashLabel[] = "SPLASH$WINDOW";
inline constexpr char kProgressLabel[] = "SPLASH$PROGRESSWINDOW";
inline constexpr char kReadmeFileName[] = "README.TXT";

// Bytes read per timer event: whole lines, so a cycle may end a little past it.
inline constexpr uint32_t kBytesPerCycle = 20000;
// A line of README.TXT as the list holds it.
inline constexpr uint32_t kReadmeLineLength = 255;

// Whole percent of `bytes_read` in `file_size`, at most 100 (100 for an empty
// file, which is never loaded).
int PercentDone(uint32_t bytes_read, uint32_t file_size);

// A line as read through the text driver (blank-padded to 255 characters) as
// the list shows it: without trailing blanks, and without the carriage return
// that ends a line written with CR LF (the file is read with LF as the end of
// a line, so that files written on either system show line by line).
std::string ShownLine(std::string_view record);

// The procedure. Runs on the caller's thread (MAIN's, before the frame's
// event loop) and returns when the user has pressed Continue or the window
// was closed. Leaves response 2 (cancelled) and the caller's request code.
void Splash();

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_SPLASH_SPLASH_H_
