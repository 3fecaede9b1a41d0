// The shared numbers are all constants; this unit keeps the library non-empty
// until the store's classes join it.
#include "common/Types.h"
