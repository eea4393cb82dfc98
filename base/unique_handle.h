// UniqueHandle: one move-only owner for any handle with a close function, and the handle types
// of the Win32 objects every folder uses, one line each.
//
// A type names its close function and, where "none" is not the null value, the function that
// gives its invalid value (CreateFile answers INVALID_HANDLE_VALUE, not null). The close
// functions are our own inline wrappers: the address of an imported system function is not a
// constant every compiler takes as a template argument.
#pragma once

#include <windows.h>

#include <utility>

template <typename T>
T NullHandleValue() {
    return T();
}

template <typename T, void (*Close)(T), T (*Invalid)() = &NullHandleValue<T>>
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
    bool IsValid() const { return handle_ != Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // For functions that return a handle through a pointer: closes what is held first.
    T* Receive() {
        Reset();
        return &handle_;
    }

    T Release() { return std::exchange(handle_, Invalid()); }

    void Reset(T handle = Invalid()) {
        if (handle_ != Invalid()) Close(handle_);
        handle_ = handle;
    }

private:
    T handle_ = Invalid();
};

namespace handle_close {
inline void Kernel(HANDLE handle) { CloseHandle(handle); }
inline void Library(HMODULE module) { FreeLibrary(module); }
inline void Key(HKEY key) { RegCloseKey(key); }
inline void Brush(HBRUSH brush) { DeleteObject(brush); }
inline void Icon(HICON icon) { DestroyIcon(icon); }
inline HANDLE InvalidFile() { return INVALID_HANDLE_VALUE; }
}  // namespace handle_close

using KernelHandle = UniqueHandle<HANDLE, &handle_close::Kernel>;  // events, threads, processes
using FileHandle = UniqueHandle<HANDLE, &handle_close::Kernel, &handle_close::InvalidFile>;
using LibraryHandle = UniqueHandle<HMODULE, &handle_close::Library>;
using KeyHandle = UniqueHandle<HKEY, &handle_close::Key>;
using BrushHandle = UniqueHandle<HBRUSH, &handle_close::Brush>;
using IconHandle = UniqueHandle<HICON, &handle_close::Icon>;
