// Downward includes only: nothing to report.
#include "ui/engine/window.h"
#include "runtime/files/layout.h"
#include <vector>
