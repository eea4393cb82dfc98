// FirstFailure: the first failure kept; messages of the chain made one line.
#include "split/status.h"

#include <new>

void FirstFailure::Note(const SplitStatus& failure) {
    if (failed_.load()) return;
    try {
        first_ = failure;
    } catch (const std::bad_alloc&) {
        first_ = SplitStatus::OutOfMemory();
    }
    failed_.store(true);
}

std::string OneLine(const char* text) {
    std::string line;
    for (const char* c = text; *c; ++c) {
        if (*c == '\r') continue;
        line += *c == '\n' ? ' ' : *c;
    }
    return line;
}
