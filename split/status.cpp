// FirstFailure: the first failure kept.
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
