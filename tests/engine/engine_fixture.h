#pragma once
// Files and folders for the engine's tests, in a folder of the test's own
// under the temporary folder.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_files.h"

class EngineFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder = std::wstring(temp) + L"zentrel-engine-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::wstring(info->name(), info->name() + strlen(info->name()));
        RemoveTree(m_folder);
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr)) << GetLastError();
    }
    void TearDown() override { RemoveTree(m_folder); }

    std::wstring Path(const wchar_t* name) const { return m_folder + L"\\" + name; }

    std::wstring m_folder;
};
