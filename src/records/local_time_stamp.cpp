#include "records/local_time_stamp.h"

#include <oleauto.h>

LocalTimeStamp::LocalTimeStamp() noexcept
{
    const std::time_t now = std::time(nullptr);
    Set(std::localtime(&now));
}

LocalTimeStamp::LocalTimeStamp(const std::tm* local) noexcept
{
    Set(local);
}

void LocalTimeStamp::Set(const std::tm* local) noexcept
{
    m_valid = false;
    if (!local) {
        return;
    }
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(local->tm_year + 1900);
    time.wMonth = static_cast<WORD>(local->tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(local->tm_wday);
    time.wDay = static_cast<WORD>(local->tm_mday);
    time.wHour = static_cast<WORD>(local->tm_hour);
    time.wMinute = static_cast<WORD>(local->tm_min);
    time.wSecond = static_cast<WORD>(local->tm_sec);
    double date = 0;
    if (!SystemTimeToVariantTime(&time, &date)) {
        return;
    }
    SYSTEMTIME back = {};
    if (!VariantTimeToSystemTime(date, &back)) {
        return;
    }
    // The date must come back as it went in: a field out of range does not.
    m_valid = back.wYear == time.wYear && back.wMonth == time.wMonth && back.wDay == time.wDay &&
              back.wHour == time.wHour && back.wMinute == time.wMinute && back.wSecond == time.wSecond;
    m_date = date;
}

int LocalTimeStamp::Field(WORD SYSTEMTIME::*field) const noexcept
{
    SYSTEMTIME time = {};
    if (!m_valid || !VariantTimeToSystemTime(m_date, &time)) {
        return -1;
    }
    return time.*field;
}
