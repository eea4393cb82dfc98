// SettingsKeyGuard and raw access to the settings key for the tests.
#include "tests/settings/settings_key_guard.h"

#include <gtest/gtest.h>

namespace settings_test {

namespace {

HKEY OpenRaw() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "settings key does not open";
        return nullptr;
    }
    return key;
}

void DeleteKey() {
    const LONG result = RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        ADD_FAILURE() << "settings key not deleted: " << result;
    }
}

}  // namespace

bool KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

SettingsKeyGuard::SettingsKeyGuard() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        existed_ = true;
        for (DWORD index = 0;; ++index) {
            char name[16384];
            DWORD nameSize = sizeof(name);
            DWORD type = 0;
            DWORD dataSize = 0;
            if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, nullptr, &dataSize) !=
                ERROR_SUCCESS) {
                break;
            }
            Value value{std::string(name, nameSize), type, std::vector<BYTE>(dataSize)};
            RegQueryValueExA(key, value.name.c_str(), nullptr, &value.type, value.data.data(),
                             &dataSize);
            value.data.resize(dataSize);
            saved_.push_back(value);
        }
        RegCloseKey(key);
    }
    DeleteKey();
}

SettingsKeyGuard::~SettingsKeyGuard() {
    DeleteKey();
    if (!existed_) return;
    HKEY key = OpenRaw();
    if (!key) return;
    for (const Value& value : saved_) {
        RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(),
                       DWORD(value.data.size()));
    }
    RegCloseKey(key);
}

void StoreRaw(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = OpenRaw();
    if (!key) return;
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS)
        << name;
    RegCloseKey(key);
}

void StoreText(const char* name, const std::string& text) {
    StoreRaw(name, REG_SZ, text.c_str(), DWORD(text.size() + 1));
}

void StoreDword(const char* name, DWORD value) {
    StoreRaw(name, REG_DWORD, &value, sizeof(value));
}

bool ReadRaw(const char* name, DWORD& type, std::vector<BYTE>& data) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    bool found = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
        data.assign(size, 0);
        found = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
        data.resize(size);
    }
    RegCloseKey(key);
    return found;
}

}  // namespace settings_test
