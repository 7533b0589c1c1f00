// The program's main may use every layer.
#include "app/form/form_def.h"
#include "storage/qvf/driver/qvf_driver.h"
