// An encoder knows nothing of the tool that uses it.
#include "split/sleeve.h"
#include "output/sink_message.h"
