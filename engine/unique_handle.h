// UniqueHandle: one move-only owner for any handle with a close function (events, threads,
// registry keys, mmio files, ACM streams, mixers, wave devices).
#pragma once

#include <utility>

template <typename T, typename Closer, T Invalid = T()>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    T Get() const { return handle_; }
    bool IsValid() const { return handle_ != Invalid; }
    explicit operator bool() const { return IsValid(); }

    // For functions that return a handle through a pointer: closes what is held first.
    T* Receive() {
        Reset();
        return &handle_;
    }

    T Release() { return std::exchange(handle_, Invalid); }

    void Reset(T handle = Invalid) {
        if (handle_ != Invalid) Closer()(handle_);
        handle_ = handle;
    }

private:
    T handle_ = Invalid;
};
