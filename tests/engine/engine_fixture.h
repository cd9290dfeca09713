#pragma once
// Files and folders for the engine's tests, in a folder of the test's own
// under the temporary folder.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_files.h"

class EngineFolder : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(m_folder.c_str())) << m_folder; }

    std::wstring Path(const wchar_t* name) const { return m_temp.Path(name); }

    const CTestFolder m_temp{L"zentrel-engine-" + CurrentTestName()};
    const std::wstring m_folder = m_temp.Path();
};
