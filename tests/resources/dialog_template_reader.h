// Reads an extended dialog template (DLGTEMPLATEEX) resource into plain records, so tests can
// check what a template holds without creating its window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct TemplateItem {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    int32_t id = 0;
    std::string className;   // UTF-8; the predefined atoms read as "Button", "Edit", ...
    std::string title;       // UTF-8; empty when the title is an ordinal
    int titleOrdinal = -1;   // resource id of an icon title, else -1
};

struct DialogTemplateInfo {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string caption;
    int pointSize = 0;
    std::string font;
    std::vector<TemplateItem> items;

    const TemplateItem* Find(int32_t id) const;
};

// Parses `size` bytes at `data`; false when they are not a whole extended template.
bool ReadDialogTemplate(const void* data, size_t size, DialogTemplateInfo& info);

// Template `id` of this exe in exactly `language`; false when that language has none.
bool LoadDialogTemplate(int id, LANGID language, DialogTemplateInfo& info);

// The same through the lookup without a language.
bool LoadAnyDialogTemplate(int id, DialogTemplateInfo& info);

// UTF-16 to UTF-8, independent of the process code page.
std::string Utf8(const wchar_t* text, int length = -1);
