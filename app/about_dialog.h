// AboutDialog: the About box (template 103), filled from the program file's version record.
#pragma once

#include <string>

#include "app/dialog.h"

// The texts of the version record the About box shows; empty when an entry is missing.
struct VersionTexts {
    std::string productName;
    std::string fileVersion;
    std::string legalCopyright;
    std::string companyName;
};

// Reads the first translation's string table of `programFile`'s version record. False when the
// file has no (or an empty) version record.
bool ReadVersionTexts(const char* programFile, VersionTexts& texts);

class AboutDialog : public Dialog {
protected:
    LRESULT OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
};
