#pragma once
// Failures that the program raises instead of returning: exhausted memory and
// text formatting that cannot be done. The run's entry point turns them into
// its result.

#include <windows.h>

#include <exception>

class CHResultError : public std::exception {
public:
    explicit CHResultError(HRESULT result) noexcept : m_result(result) {}
    HRESULT Result() const noexcept { return m_result; }
    const char* what() const noexcept override { return "HRESULT failure"; }

private:
    HRESULT m_result;
};

// HRESULT_FROM_WIN32 as a function: 0 stays S_OK, codes above 0 get the
// Win32 facility and the failure bit.
constexpr HRESULT HResultFromWin32(DWORD error) noexcept
{
    return error == 0 ? S_OK : static_cast<HRESULT>((error & 0x0000FFFFu) | 0x80070000u);
}

// The HRESULT of the last Win32 error, or E_FAIL when the call set none.
inline HRESULT HResultFromLastError() noexcept
{
    const DWORD error = GetLastError();
    return error == 0 ? E_FAIL : HResultFromWin32(error);
}

// The HRESULT of the exception being handled: E_OUTOFMEMORY for exhausted
// memory, the carried failure of a CHResultError, E_UNEXPECTED for anything
// else. Call only inside a catch block.
[[nodiscard]] HRESULT ResultOfCurrentException() noexcept;
