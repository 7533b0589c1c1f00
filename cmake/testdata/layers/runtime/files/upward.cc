// An upward include the layer rule must refuse.
#include "runtime/env/env.h"
#include "ui/engine/window.h"
