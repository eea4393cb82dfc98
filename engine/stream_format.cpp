// Process-wide stream values (see stream_format.h).
#include "engine/stream_format.h"

int32_t StreamRate = kCaptureRate;
char TimeSeparator[kSeparatorBytes] = ":";
