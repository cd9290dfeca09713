#include "common/system_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring ModuleFolder(HMODULE module)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Plants the marker DLL beside this test program under a system library's
// name, for the length of one test.
class PlantedLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* planted = std::getenv("PLANTED_DLL");
        ASSERT_NE(nullptr, planted) << "PLANTED_DLL is not set";
        wchar_t source[MAX_PATH];
        MultiByteToWideChar(CP_UTF8, 0, planted, -1, source, MAX_PATH);
        std::wstring sourcePath = source;
        if (sourcePath[0] == L'/') {
            sourcePath = L"Z:" + sourcePath;
        }
        m_plant = ModuleFolder(nullptr) + L"\\Rstrtmgr.dll";
        m_marker = m_plant + L".loaded";
        DeleteFileW(m_marker.c_str());
        ASSERT_TRUE(CopyFileW(sourcePath.c_str(), m_plant.c_str(), FALSE)) << GetLastError();
    }
    void TearDown() override
    {
        DeleteFileW(m_plant.c_str());
        DeleteFileW(m_marker.c_str());
    }

    std::wstring m_plant;
    std::wstring m_marker;
};

TEST_F(PlantedLibrary, IsNeverLoadedFromTheProgramFolder)
{
    wchar_t system[MAX_PATH];
    const std::wstring systemFolder(system, GetSystemDirectoryW(system, MAX_PATH));

    // The plant is real: a plain search picks it up from the program folder.
    {
        const CUniqueLibrary library(LoadLibraryW(L"Rstrtmgr.dll"));
        ASSERT_TRUE(library) << GetLastError();
        EXPECT_TRUE(FileExists(m_marker));
    }
    ASSERT_TRUE(DeleteFileW(m_marker.c_str()));

    {
        const CUniqueLibrary library = LoadSystemLibrary(L"Rstrtmgr.dll");
        ASSERT_TRUE(library);
        EXPECT_EQ(systemFolder, ModuleFolder(library.Get()));
        EXPECT_NE(nullptr, LookupFunction<FARPROC>(library.Get(), "RmStartSession"));
    }
    EXPECT_FALSE(FileExists(m_marker));

    // Once the search is restricted, even a plain search no longer finds it.
    RestrictDllSearchToSystem32();
    {
        const CUniqueLibrary library(LoadLibraryW(L"Rstrtmgr.dll"));
        ASSERT_TRUE(library);
        EXPECT_EQ(systemFolder, ModuleFolder(library.Get()));
    }
    EXPECT_FALSE(FileExists(m_marker));
}

TEST(SystemLibrary, AMissingLibraryGivesAnEmptyHolder)
{
    const CUniqueLibrary library = LoadSystemLibrary(L"no-such-library-here.dll");
    EXPECT_FALSE(library);
    EXPECT_EQ(nullptr, LookupFunction<FARPROC>(library.Get(), "Anything"));
}

} // namespace
