#pragma once
// Files and folders for the engine's tests, in a folder of the test's own
// under the temporary folder.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/test_files.h"

class EngineFolder : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(m_folder.c_str())) << m_folder; }

    std::wstring Path(const wchar_t* name) const { return m_temp.Path(name); }

    // The files in the folder, by name, sorted.
    std::vector<std::wstring> Files() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW(Path(L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    names.push_back(found.cFileName);
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    const CTestFolder m_temp{L"zentrel-engine-" + CurrentTestName()};
    const std::wstring m_folder = m_temp.Path();
};
