// Extended dialog template reader for the tests (layout as documented for DLGTEMPLATEEX and
// DLGITEMTEMPLATEEX: fixed fields, then strings or ordinals, items on DWORD boundaries).
#include "tests/resources/dialog_template_reader.h"

#include <cstring>

namespace {

class Cursor {
public:
    Cursor(const void* data, size_t size)
        : begin_(static_cast<const uint8_t*>(data)), at_(begin_), end_(begin_ + size) {}

    bool ok() const { return ok_; }

    template <typename T>
    T Read() {
        T value{};
        if (size_t(end_ - at_) < sizeof(T)) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }

    // A string, or an ordinal (0xFFFF then the number) reported through `ordinal`.
    std::string ReadStringOrOrdinal(int& ordinal) {
        ordinal = -1;
        const WORD first = Read<WORD>();
        if (!ok_) return {};
        if (first == 0xFFFF) {
            ordinal = Read<WORD>();
            return {};
        }
        std::wstring text;
        for (WORD unit = first; ok_ && unit != 0; unit = Read<WORD>()) text += wchar_t(unit);
        return Utf8(text.c_str(), int(text.size()));
    }

    std::string ReadString() {
        int ordinal = -1;
        return ReadStringOrOrdinal(ordinal);
    }

    void AlignDword() {
        const size_t offset = size_t(at_ - begin_);
        const size_t padding = (4 - offset % 4) % 4;
        if (size_t(end_ - at_) < padding) {
            at_ = end_;
            return;
        }
        at_ += padding;
    }

    void Skip(size_t bytes) {
        if (size_t(end_ - at_) < bytes) {
            ok_ = false;
            return;
        }
        at_ += bytes;
    }

private:
    const uint8_t* begin_;
    const uint8_t* at_;
    const uint8_t* end_;
    bool ok_ = true;
};

std::string ClassName(const std::string& name, int atom) {
    switch (atom) {
    case -1: return name;
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x83: return "ListBox";
    case 0x84: return "ScrollBar";
    case 0x85: return "ComboBox";
    default: return "#" + std::to_string(atom);
    }
}

bool LoadFrom(HRSRC found, DialogTemplateInfo& info) {
    if (!found) return false;
    const HMODULE module = GetModuleHandleA(nullptr);
    const HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return false;
    return ReadDialogTemplate(data, SizeofResource(module, found), info);
}

}  // namespace

const TemplateItem* DialogTemplateInfo::Find(int32_t id) const {
    for (const TemplateItem& item : items) {
        if (item.id == id) return &item;
    }
    return nullptr;
}

std::string Utf8(const wchar_t* text, int length) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string result(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &result[0], bytes, nullptr, nullptr);
    if (length < 0) result.resize(result.size() - 1);  // the converted terminator
    return result;
}

bool ReadDialogTemplate(const void* data, size_t size, DialogTemplateInfo& info) {
    Cursor in(data, size);
    const WORD version = in.Read<WORD>();
    const WORD signature = in.Read<WORD>();
    if (!in.ok() || version != 1 || signature != 0xFFFF) return false;
    info = DialogTemplateInfo();
    info.helpId = in.Read<DWORD>();
    info.exStyle = in.Read<DWORD>();
    info.style = in.Read<DWORD>();
    const WORD count = in.Read<WORD>();
    info.x = in.Read<int16_t>();
    info.y = in.Read<int16_t>();
    info.width = in.Read<int16_t>();
    info.height = in.Read<int16_t>();
    int ordinal = -1;
    in.ReadStringOrOrdinal(ordinal);  // menu
    in.ReadStringOrOrdinal(ordinal);  // window class
    info.caption = in.ReadString();
    if (info.style & (DS_SETFONT | DS_SHELLFONT)) {
        info.pointSize = in.Read<WORD>();
        in.Read<WORD>();  // weight
        in.Read<BYTE>();  // italic
        in.Read<BYTE>();  // character set
        info.font = in.ReadString();
    }
    for (WORD i = 0; i < count && in.ok(); ++i) {
        in.AlignDword();
        TemplateItem item;
        item.helpId = in.Read<DWORD>();
        item.exStyle = in.Read<DWORD>();
        item.style = in.Read<DWORD>();
        item.x = in.Read<int16_t>();
        item.y = in.Read<int16_t>();
        item.width = in.Read<int16_t>();
        item.height = in.Read<int16_t>();
        item.id = in.Read<int32_t>();
        int atom = -1;
        const std::string name = in.ReadStringOrOrdinal(atom);
        item.className = ClassName(name, atom);
        item.title = in.ReadStringOrOrdinal(item.titleOrdinal);
        in.Skip(in.Read<WORD>());  // creation data
        info.items.push_back(item);
    }
    return in.ok() && info.items.size() == count;
}

bool LoadDialogTemplate(int id, LANGID language, DialogTemplateInfo& info) {
    return LoadFrom(FindResourceExA(GetModuleHandleA(nullptr), RT_DIALOG, MAKEINTRESOURCEA(id),
                                    language),
                    info);
}

bool LoadAnyDialogTemplate(int id, DialogTemplateInfo& info) {
    return LoadFrom(FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), RT_DIALOG),
                    info);
}
