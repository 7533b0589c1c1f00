// The dictionary is the application's bottom layer.
#include "app/browse/browse.h"
#include "runtime/files/file_decl.h"
