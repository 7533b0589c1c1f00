// The desktop program's entry into the Qt platform.
#ifndef VORSANDT_UI_QT_RUN_QT_H_
#define VORSANDT_UI_QT_RUN_QT_H_

#include "ui/engine/engine.h"
#include "ui/engine/resource_set.h"

namespace vorsandt::ui::qt {

// Runs the desktop program and returns its exit code. Call it from main() on
// the process's first thread, after the working directory is set (--data)
// and before anything else touches the toolkit:
//
//   return vorsandt::ui::qt::RunQtPlatform(argc, argv, [] { vorsandt::app::Main(); });
//
// It creates the application object, the Qt platform and the window engine,
// starts `main_procedure` as the first procedure (slot 0, a thread of its
// own), and runs the toolkit's event loop on this thread until every
// procedure thread has ended (MAIN returns when its frame closes, and closing
// the frame closes every other window). The frame's geometry, every window's
// place, each browse's last tab and the file choosers' last folders are kept
// in the desktop settings (QSettings, organisation and application
// "vorsandt", under $XDG_CONFIG_HOME).
//
// Options read from argv (toolkit options are honoured as usual):
//   --screenshot-dir DIR  on each SIGUSR1 the whole screen is saved as
//                         DIR/shot-N.png (N = 1, 2, ...), written under a
//                         temporary name and renamed when complete; used by
//                         scripts/screenshots.sh.
//   --font-size POINTS    the desktop font's size for this run (windows
//                         follow it); see DesktopFontSize.
//
// Returns 0 when the program ended normally, 1 when MAIN could not start. If
// the event loop ends while procedures still run (the session ends), every
// open window is asked to close; procedures that have not ended five seconds
// later are abandoned and the process exits with the loop's code.
int RunQtPlatform(int argc, char** argv, Procedure main_procedure,
                  ResourceSet* resources = &ProgramResources());

// The point size --font-size names: 0 when the option is absent, -1 when its
// value is not a size from 4 to 72 points.
double DesktopFontSize(int argc, char** argv);

// vorsandt --check-layout: builds every window of `resources` on the
// offscreen platform at the desktop's font (--font-size) and scale
// (QT_SCALE_FACTOR, QT_FONT_DPI), prints every text that does not fit its
// control and every control outside its window, then the summary line (see
// CheckLayout in layout_check.h) on standard output. Returns 1 when there
// are problems, 0 when there are none.
int RunLayoutCheck(int argc, char** argv, ResourceSet* resources = &ProgramResources());

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_RUN_QT_H_
