// A pattern over the cores, the services and the dictionary: nothing to report.
#include "app/browse/browse.h"
#include "app/dictionary/dictionary.h"
#include "app/frame/main_frame.h"
#include "app/integrity/integrity.h"
#include "app/messages/table_opening.h"
