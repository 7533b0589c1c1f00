// A pattern core may not use the patterns built on it.
#include "app/form/form_def.h"
#include "app/messages/table_opening.h"
