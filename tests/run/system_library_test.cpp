#include "common/system_library.h"

#include <gtest/gtest.h>

#include <string>

#include "support/planted_library.h"

namespace {

// Plants the marker DLL beside this test program as Rstrtmgr.dll for the
// length of one test.
class PlantedLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_plant.Planted()); }

    const CPlantedLibrary m_plant{L"Rstrtmgr.dll"};
};

TEST_F(PlantedLibrary, IsNeverLoadedFromTheProgramFolder)
{
    const std::wstring systemFolder = SystemFolder();

    // The plant is real: a plain search picks it up from the program folder.
    {
        const CUniqueLibrary library(LoadLibraryW(L"Rstrtmgr.dll"));
        ASSERT_TRUE(library) << GetLastError();
        EXPECT_TRUE(m_plant.WasLoaded());
    }
    ASSERT_TRUE(m_plant.ForgetLoads());

    {
        const CUniqueLibrary library = LoadSystemLibrary(L"Rstrtmgr.dll");
        ASSERT_TRUE(library);
        EXPECT_EQ(systemFolder, ModuleFolder(library.Get()));
        EXPECT_NE(nullptr, LookupFunction<FARPROC>(library.Get(), "RmStartSession"));
    }
    EXPECT_FALSE(m_plant.WasLoaded());

    // Once the search is restricted, even a plain search no longer finds it.
    RestrictDllSearchToSystem32();
    {
        const CUniqueLibrary library(LoadLibraryW(L"Rstrtmgr.dll"));
        ASSERT_TRUE(library);
        EXPECT_EQ(systemFolder, ModuleFolder(library.Get()));
    }
    EXPECT_FALSE(m_plant.WasLoaded());
}

TEST(SystemLibrary, AMissingLibraryGivesAnEmptyHolder)
{
    const CUniqueLibrary library = LoadSystemLibrary(L"no-such-library-here.dll");
    EXPECT_FALSE(library);
    EXPECT_EQ(nullptr, LookupFunction<FARPROC>(library.Get(), "Anything"));
}

} // namespace
