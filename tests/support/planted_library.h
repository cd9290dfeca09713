#pragma once
// The marker DLL of the harness (tests/harness/planted_dll.cpp) planted beside
// this test program under a system library's name, for as long as the holder
// lives. Whatever loads the plant leaves "<plant>.loaded" behind.
//
// Test programs share one folder: tests that plant there hold the CTest
// resource lock "program_folder".

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/build_files.h"

// The folder a loaded module came from.
inline std::wstring ModuleFolder(HMODULE module)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    const std::wstring file(path, length);
    return file.substr(0, file.find_last_of(L'\\'));
}

inline std::wstring SystemFolder()
{
    wchar_t system[MAX_PATH];
    return std::wstring(system, GetSystemDirectoryW(system, MAX_PATH));
}

class CPlantedLibrary {
public:
    explicit CPlantedLibrary(const wchar_t* name)
        : m_plant(ModuleFolder(nullptr) + L"\\" + name), m_marker(m_plant + L".loaded")
    {
        DeleteFileW(m_marker.c_str());
        const std::wstring source = BuildFilePath("PLANTED_DLL");
        m_planted = !source.empty() && CopyFileW(source.c_str(), m_plant.c_str(), FALSE);
        EXPECT_TRUE(m_planted) << "cannot plant " << m_plant.c_str() << ": " << GetLastError();
    }
    ~CPlantedLibrary()
    {
        DeleteFileW(m_plant.c_str());
        DeleteFileW(m_marker.c_str());
    }
    CPlantedLibrary(const CPlantedLibrary&) = delete;
    CPlantedLibrary& operator=(const CPlantedLibrary&) = delete;

    bool Planted() const { return m_planted; }
    bool WasLoaded() const { return GetFileAttributesW(m_marker.c_str()) != INVALID_FILE_ATTRIBUTES; }
    // Forgets an earlier load, so that the next check sees only later ones.
    bool ForgetLoads() const { return DeleteFileW(m_marker.c_str()) != FALSE; }

private:
    const std::wstring m_plant;
    const std::wstring m_marker;
    bool m_planted = false;
};
