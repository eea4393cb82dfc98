// SinkMessage: a stage's failure text, fitted and handed to the engine.
#include "output/sink_message.h"

#include <cstdarg>
#include <cstring>

#include "output/text_fit.h"

void SinkMessage::Set(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatFittedV(text_, sizeof text_, format, args);
    va_end(args);
}

int32_t SinkMessage::CopyTo(char* text) const {
    if (std::strcmp(text, text_) == 0) return 0;
    std::memcpy(text, text_, std::strlen(text_) + 1);
    return 1;
}
