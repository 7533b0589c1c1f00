// The `main` of a scripted test program: one first procedure run on the
// headless platform under a UI test script,
//
//   NAME --data DIR --script FILE
//
// Each test host differs only in its first procedure and in what it prepares
// in the data folder, so the argument reading, the folder and the start and
// shut-down all live here.
#ifndef VORSANDT_UI_HEADLESS_TEST_HOST_H_
#define VORSANDT_UI_HEADLESS_TEST_HOST_H_

#include <functional>

#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"

namespace vorsandt::ui::headless {

struct TestHost {
  const char* name;  // the program's name, for its usage line
  Procedure main;    // the first procedure
  // Empties (or makes) the data folder before the run, so each run starts
  // from no tables.
  bool fresh_folder = false;
  // Runs in the data folder before the program starts; false ends the run
  // with 2 (it has said why).
  std::function<bool()> prepare;
  // Told the platform before the program starts, for hosts that read what it
  // showed.
  std::function<void(HeadlessPlatform*)> platform_ready;
};

// Reads the arguments, changes into the data folder and runs `host.main`
// under the script. Returns what RunMainUnderScript returns, or 2 with a
// usage line when the arguments or the folder cannot be used.
int RunTestHost(int argc, char** argv, const TestHost& host);

}  // namespace vorsandt::ui::headless

#endif  // VORSANDT_UI_HEADLESS_TEST_HOST_H_
