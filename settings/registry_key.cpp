// RegistryKey (see registry_key.h).
#include "settings/registry_key.h"

#include <cstring>

LONG RegistryKey::Create(HKEY root, const char* path, char* keyClass, DWORD options,
                         REGSAM access, SECURITY_ATTRIBUTES* security, DWORD* disposition) {
    HKEY created = nullptr;
    DWORD createdDisposition = 0;
    const LONG result = RegCreateKeyExA(root, path, 0, keyClass, options, access, security,
                                        &created, &createdDisposition);
    if (result != ERROR_SUCCESS) return result;
    Close();
    key_ = created;
    if (disposition) *disposition = createdDisposition;
    return ERROR_SUCCESS;
}

LONG RegistryKey::Close() {
    if (!key_) return ERROR_SUCCESS;
    const LONG result = RegCloseKey(key_);
    key_ = nullptr;
    return result;
}

LONG RegistryKey::QueryDword(DWORD& target, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG result =
        RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    if (result == ERROR_SUCCESS) target = value;
    return result;
}

LONG RegistryKey::QueryString(char* target, const char* name, DWORD& size) {
    if (size == 0) return ERROR_MORE_DATA;
    DWORD read = size;
    const LONG result =
        RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(target), &read);
    if (result != ERROR_SUCCESS) return result;
    if (read > size) return ERROR_MORE_DATA;
    // Stored texts need not end with a terminator; one that fills the buffer has no room left.
    if (read == size && target[read - 1] != '\0') return ERROR_MORE_DATA;
    if (read < size) target[read] = '\0';
    size = read;
    return ERROR_SUCCESS;
}

LONG RegistryKey::SetDword(DWORD value, const char* name) {
    return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

LONG RegistryKey::SetString(const char* text, const char* name) {
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          DWORD(std::strlen(text) + 1));
}
