#include "records/restart_manager.h"

#include "fake_restart_manager.h"
#include "support/planted_library.h"
#include "support/test_files.h"

namespace {

// The session's own loading holds without the entry point's process-wide
// restriction of the DLL search, which this test program never makes: a
// Restart Manager planted beside the program is not the one a session loads.
TEST(SessionLibrary, ComesFromTheSystemFolderNotFromBesideTheProgram)
{
    const CPlantedLibrary plant(L"Rstrtmgr.dll");
    ASSERT_TRUE(plant.Planted());
    // Nothing restricts the search here: a plain load picks up the plant.
    {
        const CUniqueLibrary plain(LoadLibraryW(L"Rstrtmgr.dll"));
        ASSERT_TRUE(plain) << GetLastError();
        ASSERT_TRUE(plant.WasLoaded());
    }
    ASSERT_TRUE(plant.ForgetLoads());

    const RestartManagerSession session;
    ASSERT_NE(nullptr, session.Module());
    EXPECT_EQ(SystemFolder(), ModuleFolder(session.Module()));
    EXPECT_NE(nullptr, GetProcAddress(session.Module(), "RmStartSession"));
    EXPECT_FALSE(plant.WasLoaded());
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteText(m_a, "a");
        WriteText(m_b, "b");
    }

    const CTestFolder m_temp{L"zentrel-rm"};
    const std::wstring m_folder = m_temp.Path();
    const std::wstring m_a = m_temp.Path(L"a.dll");
    const std::wstring m_b = m_temp.Path(L"b.dll");
    FakeRestartManager m_fake;
};

TEST_F(Session, KeepsTheExistingFilesOfTheListInOrder)
{
    RestartManagerSession session(CUniqueLibrary{});
    session.SetFiles(L";;" + m_b + L";" + m_folder + L"\\missing.dll;;" + m_a + L";" + m_b + L";");
    EXPECT_EQ(std::vector<std::wstring>({m_b, m_a, m_b}), session.Files());
    session.SetFiles(L";;;");
    EXPECT_TRUE(session.Files().empty());
    session.SetFiles(L" " + m_a);
    EXPECT_TRUE(session.Files().empty()) << "blanks are not trimmed";
}

TEST_F(Session, ARunStartsRegistersShutsDownRestartsAndEnds)
{
    RestartManagerSession session(FakeRestartManager::Load());
    session.SetFiles(m_a + L";" + m_b);
    EXPECT_EQ(0u, session.Register());
    EXPECT_EQ(77u, session.SessionHandle());
    session.ForceShutdown();
    session.Restart();
    session.Close();
    EXPECT_EQ(0u, session.SessionHandle());
    EXPECT_EQ(nullptr, session.Module());
    EXPECT_EQ("RmStartSession flags=0 result=0\n"
              "RmRegisterResources handle=77 files=2 applications=0 services=0 result=0\n"
              "  " +
                  Narrow(m_a) +
                  "\n"
                  "  " +
                  Narrow(m_b) +
                  "\n"
                  "RmShutdown handle=77 flags=1\n"
                  "RmRestart handle=77 flags=0\n"
                  "RmEndSession handle=77\n",
              m_fake.Calls());
}

TEST_F(Session, NoExistingFileStillRegistersAnEmptySession)
{
    RestartManagerSession session(FakeRestartManager::Load());
    session.SetFiles(m_folder + L"\\new.dll");
    EXPECT_EQ(0u, session.Register());
    EXPECT_EQ("RmStartSession flags=0 result=0\n"
              "RmRegisterResources handle=77 files=0 applications=0 services=0 result=0\n",
              m_fake.Calls());
}

TEST_F(Session, AFailedStartLeavesNoSessionToEnd)
{
    FakeRestartManager::Results(ERROR_SEM_TIMEOUT, 0);
    RestartManagerSession session(FakeRestartManager::Load());
    session.SetFiles(m_a);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SEM_TIMEOUT), session.Register());
    EXPECT_EQ(0u, session.SessionHandle());
    session.Close();
    EXPECT_EQ("RmStartSession flags=0 result=121\n", m_fake.Calls());
}

TEST_F(Session, AFailedRegistrationKeepsTheSessionOpenUntilClosed)
{
    FakeRestartManager::Results(0, ERROR_ACCESS_DENIED);
    RestartManagerSession session(FakeRestartManager::Load());
    session.SetFiles(m_a);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), session.Register());
    session.Close();
    const std::string calls = m_fake.Calls();
    EXPECT_NE(std::string::npos, calls.find("result=5\n"));
    EXPECT_NE(std::string::npos, calls.find("RmEndSession handle=77\n"));
}

TEST_F(Session, WithoutTheLibraryEveryOperationQuietlyDoesNothing)
{
    RestartManagerSession session(CUniqueLibrary{});
    session.SetFiles(m_a);
    EXPECT_EQ(1u, session.Register());
    session.ForceShutdown();
    session.Restart();
    session.Close();
    EXPECT_EQ("", m_fake.Calls());
}

TEST(RestartManagerAvailability, OnlyNtFromVersionSix)
{
    EXPECT_FALSE(RestartManagerSession::SystemHasRestartManager(VER_PLATFORM_WIN32_NT, 5));
    EXPECT_TRUE(RestartManagerSession::SystemHasRestartManager(VER_PLATFORM_WIN32_NT, 6));
    EXPECT_TRUE(RestartManagerSession::SystemHasRestartManager(VER_PLATFORM_WIN32_NT, 10));
    EXPECT_FALSE(RestartManagerSession::SystemHasRestartManager(VER_PLATFORM_WIN32_WINDOWS, 6));
    EXPECT_FALSE(RestartManagerSession::SystemHasRestartManager(0, 0));
}

TEST(RestartManagerAvailability, TheSystemsLibraryComesFromSystem32)
{
    RestartManagerSession session;
    ASSERT_NE(nullptr, session.Module()) << "Wine reports Windows 7 or later";
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(session.Module(), path, MAX_PATH);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(0, _wcsnicmp(path, system, wcslen(system))) << Narrow(path);
}

} // namespace
