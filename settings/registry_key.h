// RegistryKey: the owner of one open registry key, with the few typed reads and writes the
// settings need.
#pragma once

#include <windows.h>

#include <cstdint>

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // RegCreateKeyExA: opens the key, creating it when missing. On success any key held before
    // is closed and the new one kept. `disposition` may be null.
    LONG Create(HKEY root, const char* path, char* keyClass, DWORD options, REGSAM access,
                SECURITY_ATTRIBUTES* security, DWORD* disposition);
    // RegCloseKey's result; 0 when nothing was held.
    LONG Close();

    bool IsOpen() const { return key_ != nullptr; }
    HKEY Get() const { return key_; }

    // Reads at most 4 bytes of whatever type is stored; a shorter value is zero-extended.
    // `target` is changed only on success.
    LONG QueryDword(DWORD& target, const char* name);
    // Reads at most `size` bytes of whatever type is stored into `target` and terminates the
    // text. A value that fills the buffer without a terminator does not fit and fails with
    // ERROR_MORE_DATA. `size` comes back as the byte count read. After a failure the buffer's
    // contents are undefined, as the platform leaves them.
    LONG QueryString(char* target, const char* name, DWORD& size);
    LONG SetDword(DWORD value, const char* name);
    // REG_SZ, the text and its terminator.
    LONG SetString(const char* text, const char* name);

private:
    HKEY key_ = nullptr;
};
