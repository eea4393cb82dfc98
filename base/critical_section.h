// CriticalSection: an owned, re-entrant critical section, locked by scope through Lock().
#pragma once

#include <windows.h>

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // Enter and Leave by hand only where a lock must be held across calls.
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

    class Guard {
    public:
        explicit Guard(CriticalSection& section) : section_(&section) { section_->Enter(); }
        ~Guard() {
            if (section_) section_->Leave();
        }
        Guard(Guard&& other) noexcept : section_(other.section_) { other.section_ = nullptr; }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        Guard& operator=(Guard&&) = delete;

    private:
        CriticalSection* section_;
    };

    [[nodiscard]] Guard Lock() { return Guard(*this); }

private:
    CRITICAL_SECTION section_;
};
