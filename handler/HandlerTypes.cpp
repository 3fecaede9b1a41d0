// Placeholder unit of the handler library until its sources join it.
#include "common/Types.h"
