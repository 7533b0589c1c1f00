// One pattern may not use another.
#include "app/browse/browse.h"
#include "app/form/form_def.h"
