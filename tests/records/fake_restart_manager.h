#pragma once
// The recording Restart Manager of the test harness, loaded from its build
// path and handed to a session as its module; its calls land in a log file.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "common/unique_handle.h"
#include "support/build_files.h"

class FakeRestartManager {
public:
    FakeRestartManager()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_log = std::wstring(temp) + L"fake-rm-" + std::to_wstring(GetCurrentProcessId()) + L".log";
        DeleteFileW(m_log.c_str());
        SetEnvironmentVariableW(L"FAKE_RM_LOG", m_log.c_str());
        Results(0, 0);
    }
    ~FakeRestartManager()
    {
        DeleteFileW(m_log.c_str());
        SetEnvironmentVariableW(L"FAKE_RM_LOG", nullptr);
    }

    static void Results(DWORD start, DWORD registration)
    {
        SetEnvironmentVariableW(L"FAKE_RM_START_RESULT", std::to_wstring(start).c_str());
        SetEnvironmentVariableW(L"FAKE_RM_REGISTER_RESULT", std::to_wstring(registration).c_str());
    }

    // A fresh load of the library for one session.
    static CUniqueLibrary Load()
    {
        const std::wstring path = BuildFilePath("FAKE_RSTRTMGR");
        if (path.empty()) {
            return CUniqueLibrary();
        }
        CUniqueLibrary library(LoadLibraryW(path.c_str()));
        EXPECT_TRUE(library) << GetLastError();
        return library;
    }

    // The calls so far, one per line (file lists indented below their call).
    std::string Calls() const
    {
        std::ifstream in(m_log.c_str());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::wstring m_log;
};
