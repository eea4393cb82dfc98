// Control ids of the main window are not the mixer's.
#include "resources/resource_ids.h"
#include "base/unique_handle.h"
