// SettingsKeyGuard: gives a test the settings key to itself. It saves whatever the key holds,
// deletes it, and on destruction deletes what the test left and puts the saved values back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "settings/settings_store.h"

namespace settings_test {

class SettingsKeyGuard {
public:
    SettingsKeyGuard();
    ~SettingsKeyGuard();
    SettingsKeyGuard(const SettingsKeyGuard&) = delete;
    SettingsKeyGuard& operator=(const SettingsKeyGuard&) = delete;

private:
    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    bool existed_ = false;
    std::vector<Value> saved_;
};

bool KeyExists();
// Raw writes and reads of the settings key, bypassing RegistryKey.
void StoreRaw(const char* name, DWORD type, const void* data, DWORD size);
void StoreText(const char* name, const std::string& text);
void StoreDword(const char* name, DWORD value);
// The stored type and bytes; false when the value is missing.
bool ReadRaw(const char* name, DWORD& type, std::vector<BYTE>& data);

}  // namespace settings_test
