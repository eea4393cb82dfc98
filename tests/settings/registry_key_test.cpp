// RegistryKey against Wine's registry: what the typed reads make of values of any type and
// length, and that a failed Create keeps the key already held.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/registry_key.h"
#include "settings/settings_store.h"
#include "tests/settings/settings_key_guard.h"

namespace {

using settings_test::SettingsKeyGuard;
using settings_test::StoreRaw;

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(OpenSettingsKey(key_), ERROR_SUCCESS); }

    SettingsKeyGuard guard_;
    RegistryKey key_;
};

TEST_F(RegistryKeyTest, AFailedCreateKeepsTheKeyHeld) {
    const HKEY held = key_.Get();
    const HKEY bogusRoot = reinterpret_cast<HKEY>(ULONG_PTR(0x7654));
    EXPECT_NE(key_.Create(bogusRoot, "x", nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(key_.Get(), held);
    EXPECT_EQ(key_.SetDword(5, "kept"), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, QueryStringTerminatesOrRejectsWhatIsStored) {
    const std::string filled(kSettingTextBytes, 'a');
    const std::string longest(kSettingTextBytes - 1, 'b');
    struct Case {
        const char* label;
        DWORD type;
        std::string bytes;  // stored exactly, terminator only where written
        bool stored;
        LONG result;
        std::string text;
    };
    const Case cases[] = {
        {"terminated text", REG_SZ, std::string("abc", 4), true, ERROR_SUCCESS, "abc"},
        {"no terminator", REG_BINARY, "abcde", true, ERROR_SUCCESS, "abcde"},
        {"fills buffer, no terminator", REG_BINARY, filled, true, ERROR_MORE_DATA, ""},
        {"259 bytes, no terminator", REG_BINARY, longest, true, ERROR_SUCCESS, longest},
        {"259 characters and terminator", REG_SZ, longest + '\0', true, ERROR_SUCCESS, longest},
        {"300 characters", REG_SZ, std::string(300, 'c') + '\0', true, ERROR_MORE_DATA, ""},
        {"empty binary", REG_BINARY, "", true, ERROR_SUCCESS, ""},
        {"a number", REG_DWORD, std::string("\x41\x42\x43\x44", 4), true, ERROR_SUCCESS, "ABCD"},
        {"missing", REG_SZ, "", false, ERROR_FILE_NOT_FOUND, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RegDeleteValueA(key_.Get(), "text");
        if (c.stored) StoreRaw("text", c.type, c.bytes.data(), DWORD(c.bytes.size()));
        char target[kSettingTextBytes + 8];
        std::memset(target, 'Z', sizeof(target));
        DWORD size = kSettingTextBytes;
        EXPECT_EQ(key_.QueryString(target, "text", size), c.result);
        if (c.result == ERROR_SUCCESS) {
            EXPECT_EQ(std::string(target), c.text);
            EXPECT_LE(size, kSettingTextBytes);
        }
        // Nothing beyond the given size is ever touched.
        EXPECT_EQ(std::string(target + kSettingTextBytes, 8), std::string(8, 'Z'));
    }
}

TEST_F(RegistryKeyTest, QueryDwordTakesAtMostFourBytesOfAnyType) {
    struct Case {
        const char* label;
        DWORD type;
        std::vector<BYTE> bytes;
        bool stored;
        LONG result;
        DWORD value;
    };
    const Case cases[] = {
        {"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, true, ERROR_SUCCESS, 0x12345678},
        {"two bytes", REG_BINARY, {0x34, 0x12}, true, ERROR_SUCCESS, 0x1234},
        {"short text", REG_SZ, {'a', 'b', 0}, true, ERROR_SUCCESS, 0x6261},
        {"eight bytes", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}, true, ERROR_MORE_DATA, 0xBEEF},
        {"missing", REG_DWORD, {}, false, ERROR_FILE_NOT_FOUND, 0xBEEF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RegDeleteValueA(key_.Get(), "number");
        if (c.stored) StoreRaw("number", c.type, c.bytes.data(), DWORD(c.bytes.size()));
        DWORD value = 0xBEEF;
        EXPECT_EQ(key_.QueryDword(value, "number"), c.result);
        EXPECT_EQ(value, c.value);
    }
}

}  // namespace
