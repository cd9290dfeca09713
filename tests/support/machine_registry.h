#pragma once
// Keys and values under HKEY_LOCAL_MACHINE for the tests, in a chosen
// registry view. The tests run in a throwaway Wine prefix, so they may write
// the maker's and the product's keys there freely; whatever a test writes it
// removes again.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/unique_handle.h"

constexpr REGSAM BothRegistryViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

// Removes `key` with everything below it from both views; a missing key is
// fine. The key itself is opened in each view: a view flag on HKLM's root
// handle would not carry over to the keys below it.
inline void DeleteMachineKey(const wchar_t* key)
{
    for (const REGSAM view : BothRegistryViews) {
        HKEY raw = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS | view, &raw) != ERROR_SUCCESS) {
            continue;
        }
        {
            const CUniqueRegKey held(raw);
            RegDeleteTreeW(held.Get(), nullptr);
        }
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, view, 0);
    }
}

// Creates `key` (and the keys above it) in one view; a view of 0 is the test
// program's own (the 32-bit one in the 32-bit build).
inline void CreateMachineKey(const wchar_t* key, REGSAM view)
{
    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &raw, nullptr))
        << "cannot create HKLM\\" << std::wstring(key).c_str();
    const CUniqueRegKey holder(raw);
}

// Writes one value of any type, creating the key when needed.
inline void SetMachineValue(const wchar_t* key, REGSAM view, const wchar_t* name, DWORD type, const void* data,
                            DWORD bytes)
{
    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &raw, nullptr))
        << "cannot create HKLM\\" << std::wstring(key).c_str();
    const CUniqueRegKey holder(raw);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(holder.Get(), name, 0, type, static_cast<const BYTE*>(data), bytes));
}

// Writes a REG_SZ value with its terminating null.
inline void SetMachineString(const wchar_t* key, REGSAM view, const wchar_t* name, const std::wstring& value)
{
    SetMachineValue(key, view, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// A string value as stored, "<no key>" or "<no value>" when it is missing;
// `bytes` receives its stored size.
inline std::wstring ReadMachineString(const wchar_t* key, const wchar_t* name, REGSAM view, DWORD* bytes = nullptr)
{
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, &raw) != ERROR_SUCCESS) {
        return L"<no key>";
    }
    const CUniqueRegKey holder(raw);
    wchar_t data[256] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(holder.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
        return L"<no value>";
    }
    if (bytes) {
        *bytes = size;
    }
    return data;
}
