// The shared services never name a driver.
#include "app/dictionary/dictionary.h"
#include "storage/qvf/driver/qvf_driver.h"
