#pragma once
// Files of the build that CTest hands to a test program in environment
// variables. CTest runs on Linux, so they hold Unix paths; under Wine those
// are reached through drive Z:.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// "/a/b" -> "Z:\a\b"; a path that already has a drive keeps it. The text is UTF-8.
inline std::wstring WindowsPathOf(const char* path)
{
    std::wstring wide;
    const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    if (length > 1) {
        wide.resize(static_cast<std::size_t>(length));
        MultiByteToWideChar(CP_UTF8, 0, path, -1, &wide[0], length);
        wide.resize(static_cast<std::size_t>(length) - 1);
    }
    if (!wide.empty() && wide[0] == L'/') {
        wide = L"Z:" + wide;
    }
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return wide;
}

// The Windows path of the build file named by `variable`; empty, and the
// test failed, when CTest did not set it.
inline std::wstring BuildFilePath(const char* variable)
{
    const char* value = std::getenv(variable);
    if (!value || !*value) {
        ADD_FAILURE() << variable << " is not set";
        return std::wstring();
    }
    return WindowsPathOf(value);
}
