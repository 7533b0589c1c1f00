// A test may use the dictionary as its fixture.
#include "app/dictionary/dictionary.h"
