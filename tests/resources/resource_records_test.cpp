// Icons, the version record and the manifest that every exe carrying the resources has.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "grooval_version.h"
#include "tests/resources/dialog_template_reader.h"

namespace {

const LANGID kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// The (width, height) of each image of icon group `id`, or nothing when it is missing.
std::vector<std::pair<int, int>> IconSizes(int id) {
    std::vector<std::pair<int, int>> sizes;
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceExA(module, RT_GROUP_ICON, MAKEINTRESOURCEA(id), kUsEnglish);
    if (!found) return sizes;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    const DWORD size = SizeofResource(module, found);
    if (!data || size < 6) return sizes;
    const WORD count = *reinterpret_cast<const WORD*>(data + 4);
    if (size < 6 + count * sizeof(IconGroupEntry)) return sizes;
    for (WORD i = 0; i < count; ++i) {
        IconGroupEntry entry;
        memcpy(&entry, data + 6 + i * sizeof(IconGroupEntry), sizeof(entry));
        sizes.emplace_back(entry.width ? entry.width : 256, entry.height ? entry.height : 256);
    }
    return sizes;
}

TEST(Icons, GroupsAndImageSizes) {
    using Sizes = std::vector<std::pair<int, int>>;
    EXPECT_EQ(IconSizes(127), (Sizes{{32, 32}, {16, 16}}));
    EXPECT_EQ(IconSizes(128), (Sizes{{16, 16}}));
    EXPECT_EQ(IconSizes(129), (Sizes{{32, 32}, {16, 16}}));
}

TEST(Icons, LoadAsTheMainWindowLoadsThem) {
    const HINSTANCE module = GetModuleHandleA(nullptr);
    HICON large = LoadIconA(module, MAKEINTRESOURCEA(127));
    EXPECT_NE(large, nullptr);
    HICON small = static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(128), IMAGE_ICON, 16, 16, 0));
    ASSERT_NE(small, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(small, &info));
    BITMAP bitmap = {};
    GetObjectA(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 16);
    EXPECT_EQ(bitmap.bmHeight, 16);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(small);
}

class VersionRecord : public ::testing::Test {
protected:
    void SetUp() override {
        char path[MAX_PATH] = {};
        ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeA(path, &handle);
        ASSERT_GT(size, 0u);
        record_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, record_.data()));
    }

    std::string Value(const char* name) {
        char query[128];
        wsprintfA(query, "\\StringFileInfo\\040904b0\\%s", name);
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(record_.data(), query, &value, &length) || !value) return "<none>";
        return static_cast<const char*>(value);
    }

    std::vector<BYTE> record_;
};

TEST_F(VersionRecord, OneTranslationUsEnglishUnicode) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(record_.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    const WORD* translation = static_cast<const WORD*>(value);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
}

TEST_F(VersionRecord, TextsTheAboutBoxReads) {
    EXPECT_EQ(Value("ProductName"), "Grooval");
    EXPECT_EQ(Value("CompanyName"), "Quellbrook Software Ltd");
    EXPECT_EQ(Value("FileVersion"), GROOVAL_VERSION_TEXT);
    EXPECT_EQ(Value("ProductVersion"), GROOVAL_VERSION_TEXT);
    // The copyright sign must come through the program's code page whole.
    EXPECT_EQ(Value("LegalCopyright"), "Copyright \xC2\xA9 Quellbrook Software Ltd");
}

TEST_F(VersionRecord, NumericVersionMatchesTheText) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(record_.data(), "\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = DWORD(GROOVAL_VERSION_MAJOR) << 16 | GROOVAL_VERSION_MINOR;
    const DWORD low = DWORD(GROOVAL_VERSION_PATCH) << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
}

TEST(Manifest, CommonControlsSixForX86UnderBritishEnglish) {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1),
                                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK));
    ASSERT_NE(found, nullptr);
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(data, nullptr);
    const std::string manifest(data, SizeofResource(module, found));
    EXPECT_NE(manifest.find("type=\"win32\""), std::string::npos);
    EXPECT_NE(manifest.find("version=\"1.0.0.0\" processorArchitecture=\"x86\""),
              std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
                            "processorArchitecture=\"x86\""),
              std::string::npos);
}

TEST(Manifest, TakesEffect) {
    // UTF-8 as the process code page, and the common controls redirected to version 6 (which
    // is where the trackbar and progress classes then come from).
    EXPECT_EQ(GetACP(), UINT(CP_UTF8));
    ACTCTX_SECTION_KEYED_DATA library = {};
    library.cbSize = sizeof(library);
    EXPECT_TRUE(FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                         "comctl32.dll", &library));
    for (const char* className : {"msctls_trackbar32", "msctls_progress32"}) {
        ACTCTX_SECTION_KEYED_DATA windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        EXPECT_TRUE(FindActCtxSectionStringA(
            0, nullptr, ACTIVATION_CONTEXT_SECTION_WINDOW_CLASS_REDIRECTION, className,
            &windowClass))
            << className;
    }
}

}  // namespace
