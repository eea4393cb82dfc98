// The About box.
#include "app/about_dialog.h"

#include <cstdio>
#include <vector>

#include "resources/resource_ids.h"

namespace {

constexpr int kProductText = IDC_ABOUT_PRODUCT;  // "%s Version %s"
constexpr int kLegalText = IDC_ABOUT_NOTICE;    // legal notice and company
constexpr char kProductFormat[] = "%s Version %s";

std::string QueryString(const std::vector<char>& record, const char* table, const char* name) {
    char path[96];
    std::snprintf(path, sizeof path, "%s%s", table, name);
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(record.data(), path, reinterpret_cast<void**>(&value), &length) || !value) {
        return std::string();
    }
    return std::string(value);
}

// Fills `pattern`'s first %s with `value` (the template caption "About %s").
std::string FillPattern(const std::string& pattern, const std::string& value) {
    const size_t at = pattern.find("%s");
    if (at == std::string::npos) return pattern;
    std::string text = pattern;
    text.replace(at, 2, value);
    return text;
}

}  // namespace

bool ReadVersionTexts(const char* programFile, VersionTexts& texts) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(programFile, &ignored);
    if (size == 0) return false;
    std::vector<char> record(size);
    if (!GetFileVersionInfoA(programFile, 0, size, record.data())) return false;

    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(record.data(), "\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        !translation || length < sizeof(Translation)) {
        return false;
    }
    char table[40];
    std::snprintf(table, sizeof table, "\\StringFileInfo\\%08lx\\",
                  static_cast<unsigned long>((DWORD(translation->language) << 16) |
                                             translation->codePage));
    texts.productName = QueryString(record, table, "ProductName");
    texts.fileVersion = QueryString(record, table, "FileVersion");
    texts.legalCopyright = QueryString(record, table, "LegalCopyright");
    texts.companyName = QueryString(record, table, "CompanyName");
    return true;
}

LRESULT AboutDialog::OnInitDialog() {
    CenterOverOwner(Window());
    char programFile[MAX_PATH] = {};
    if (!GetModuleFileNameA(nullptr, programFile, MAX_PATH)) return TRUE;
    VersionTexts texts;
    if (!ReadVersionTexts(programFile, texts)) return TRUE;

    char caption[260] = {};
    GetWindowTextA(Window(), caption, sizeof caption);
    SetWindowTextA(Window(), FillPattern(caption, texts.productName).c_str());

    char product[260];
    std::snprintf(product, sizeof product, kProductFormat, texts.productName.c_str(),
                  texts.fileVersion.c_str());
    SetDlgItemTextA(Window(), kProductText, product);

    std::string legal = texts.legalCopyright;
    if (!texts.companyName.empty()) {
        if (!legal.empty()) legal += "\n";
        legal += texts.companyName;
    }
    SetDlgItemTextA(Window(), kLegalText, legal.c_str());
    return TRUE;
}

bool AboutDialog::OnCommand(int id, int /*code*/, HWND /*control*/) {
    if (id == IDOK || id == IDCANCEL) {
        End(IDOK);
        return true;
    }
    return false;
}
