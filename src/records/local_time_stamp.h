#pragma once
// The current local date and time, held as an OLE Automation date. Every
// field reads -1 when the stamp is invalid.

#include <windows.h>

#include <ctime>

class LocalTimeStamp {
public:
    // Now, from the runtime library's clock and local-time conversion.
    LocalTimeStamp() noexcept;
    // From broken-down local time; null gives an invalid stamp.
    explicit LocalTimeStamp(const std::tm* local) noexcept;

    bool IsValid() const noexcept { return m_valid; }
    int Year() const noexcept { return Field(&SYSTEMTIME::wYear); }
    int Month() const noexcept { return Field(&SYSTEMTIME::wMonth); }
    int Day() const noexcept { return Field(&SYSTEMTIME::wDay); }
    int Hour() const noexcept { return Field(&SYSTEMTIME::wHour); }
    int Minute() const noexcept { return Field(&SYSTEMTIME::wMinute); }
    int Second() const noexcept { return Field(&SYSTEMTIME::wSecond); }

private:
    void Set(const std::tm* local) noexcept;
    int Field(WORD SYSTEMTIME::*field) const noexcept;

    double m_date = 0;
    bool m_valid = false;
};
