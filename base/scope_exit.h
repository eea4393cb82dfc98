// ScopeExit: runs a paired call (CoUninitialize after CoInitialize, CoTaskMemFree of an item
// list) when the scope ends, on every path out of it.
#pragma once

#include <utility>

template <typename Action>
class ScopeExit {
public:
    explicit ScopeExit(Action action) : action_(std::move(action)) {}
    ~ScopeExit() {
        if (armed_) action_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

    void Dismiss() { armed_ = false; }

private:
    Action action_;
    bool armed_ = true;
};
