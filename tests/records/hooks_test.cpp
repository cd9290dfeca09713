// The hooks around the file work, with the recording Restart Manager as the
// session's library, and the install records in the test prefix's registry.
#include "product/installation.h"
#include "records/hooks.h"

#include "common/unique_handle.h"
#include "fake_restart_manager.h"
#include "product/installed_version.h"
#include "records/install_records.h"
#include "support/machine_registry.h"
#include "support/test_files.h"

namespace {

const wchar_t* const PatchKey = L"Software\\Halvern Corporation\\Shared Info\\AppDB\\Zentrel\\PatchList\\RX4819305562";

// A small installation: its keys in the 32-bit view, two files, a history.
class Hooks : public ::testing::Test {
protected:
    void SetUp() override
    {
        Clear();
        CreateDirectoryW((m_root + L"\\Zentrel").c_str(), nullptr);
        CreateDirectoryW((m_root + L"\\Help").c_str(), nullptr);
        WriteText(m_root + L"\\Zentrel\\Zentrel.exe", "old");
        WriteText(m_root + L"\\Zentrel\\version.txt", "3.1.0.0\r\n");
        WriteText(m_root + L"\\Help\\VersionZentrelHelp.txt", "3.1.0.0");
        SetMachineString(ProductAppKey, KEY_WOW64_32KEY, L"ApplicationDir", m_root + L"\\Zentrel");
        SetMachineString(ProductAppKey, KEY_WOW64_32KEY, L"VideoEditLibPath", m_root + L"\\RedOvad");
        SetMachineString(ProductUninstallKey, KEY_WOW64_32KEY, L"DisplayVersion", L"3.1.0.0");
        SetMachineString(ProductKey, KEY_WOW64_32KEY, L"Version", L"3.1.0.0");
        CreateMachineKey(AppDbProductKey, KEY_WOW64_32KEY);
        m_plan.Append(PatchPlanEntry(PatchCatalog[2], m_root + L"\\Zentrel\\Zentrel.exe"));
        m_plan.Append(PatchPlanEntry(PatchCatalog[3], m_root + L"\\Zentrel\\ZentrelTask.exe")); // not installed
    }
    void TearDown() override { Clear(); }
    static void Clear()
    {
        DeleteMachineKey(L"Software\\Halvern Corporation");
        DeleteMachineKey(ProductUninstallKey);
    }

    PatchHookContext* NewContext() { return new PatchHookContext(FakeRestartManager::Load()); }

    bool RecordsWritten() { return ReadMachineString(PatchKey, L"patchid", KEY_WOW64_32KEY) == L"RX4819305562"; }

    const CTestFolder m_temp{L"zentrel-hooks"};
    const std::wstring m_root = m_temp.Path();
    PatchPlan m_plan;
    FakeRestartManager m_fake;
};

TEST_F(Hooks, ASuccessfulRunClosesWritesTheRecordsAndRestarts)
{
    PatchHookContext* context = NewContext();
    EXPECT_EQ(S_OK, PreInstallHook(S_OK, nullptr, &m_plan, context));
    EXPECT_EQ(L"RX4819305562", context->patchId.Get());
    EXPECT_EQ(L"Zentrel", context->patchName.Get());
    EXPECT_EQ("RmStartSession flags=0 result=0\n"
              "RmRegisterResources handle=77 files=1 applications=0 services=0 result=0\n"
              "  " +
                  std::string(m_root.begin(), m_root.end()) +
                  "\\Zentrel\\Zentrel.exe\n"
                  "RmShutdown handle=77 flags=1\n",
              m_fake.Calls());

    EXPECT_EQ(S_OK, PostInstallHook(S_OK, nullptr, &m_plan, context));
    const std::string calls = m_fake.Calls();
    EXPECT_NE(std::string::npos, calls.find("RmShutdown handle=77 flags=1\nRmRestart handle=77 flags=0\n"
                                            "RmEndSession handle=77\n"));

    EXPECT_TRUE(RecordsWritten());
    EXPECT_EQ(L"Zentrel", ReadMachineString(PatchKey, L"patchname", KEY_WOW64_32KEY));
    EXPECT_EQ(L"3.2.00.07040", ReadMachineString(PatchKey, L"version", KEY_WOW64_32KEY));
    EXPECT_EQ(L"<no key>", ReadMachineString(PatchKey, L"patchid", KEY_WOW64_64KEY)) << "the 32-bit view only";
    EXPECT_EQ(L"3.2.00.07040", ReadMachineString(ProductKey, L"Version", KEY_WOW64_32KEY));
    EXPECT_EQ(L"2013", ReadMachineString(ProductKey, L"CopyrightYear", KEY_WOW64_32KEY));
    EXPECT_EQ(L"3.2.00.07040", ReadMachineString(ProductUninstallKey, L"DisplayVersion", KEY_WOW64_32KEY));
    DWORD bytes = 0;
    const std::wstring date = ReadMachineString(ProductUninstallKey, L"InstallDate", KEY_WOW64_32KEY, &bytes);
    EXPECT_EQ(9u, date.size());
    EXPECT_EQ(L'\n', date.back());
    EXPECT_EQ(20u, bytes) << "with its terminating null";
    EXPECT_EQ(L"<missing>", ReadText(m_root + L"\\Help\\VersionZentrelHelp.txt")) << "3.1.0.0 deletes the marker";
    EXPECT_EQ(0u, ReadText(m_root + L"\\Zentrel\\version.txt").find(L"3.2.00.07040\r\n3.1.0.0\r\nUpdateCount=1\r\n"));
}

TEST_F(Hooks, AFailedRunWritesNoRecordButStillRestarts)
{
    for (const HRESULT failure : {E_ABORT, static_cast<HRESULT>(0x80070020), E_OUTOFMEMORY}) {
        DeleteFileW(std::wstring(m_root + L"\\x").c_str());
        PatchHookContext* context = NewContext();
        EXPECT_EQ(S_OK, PreInstallHook(S_OK, nullptr, &m_plan, context));
        EXPECT_EQ(failure, PostInstallHook(failure, nullptr, &m_plan, context));
        EXPECT_FALSE(RecordsWritten());
        EXPECT_EQ(L"3.1.0.0", ReadMachineString(ProductUninstallKey, L"DisplayVersion", KEY_WOW64_32KEY));
        EXPECT_EQ(L"3.1.0.0\r\n", ReadText(m_root + L"\\Zentrel\\version.txt"));
        const std::string calls = m_fake.Calls();
        EXPECT_NE(std::string::npos, calls.rfind("RmRestart handle=77 flags=0\nRmEndSession handle=77\n"));
    }
}

TEST_F(Hooks, AFailureBeforeThePreHookStartsNoSession)
{
    PatchHookContext* context = NewContext();
    EXPECT_EQ(E_FAIL, PreInstallHook(E_FAIL, nullptr, &m_plan, context));
    EXPECT_EQ(E_FAIL, PostInstallHook(E_FAIL, nullptr, &m_plan, context));
    EXPECT_EQ("", m_fake.Calls());
}

TEST_F(Hooks, AnEmptyPlanStartsNoSession)
{
    PatchPlan empty;
    PatchHookContext* context = NewContext();
    EXPECT_EQ(S_OK, PreInstallHook(S_OK, nullptr, &empty, context));
    EXPECT_EQ(S_OK, PostInstallHook(S_OK, nullptr, &empty, context));
    EXPECT_EQ("", m_fake.Calls());
    EXPECT_TRUE(RecordsWritten());
}

TEST_F(Hooks, WithoutAContextBothHooksReportIt)
{
    EXPECT_EQ(E_INVALIDARG, PreInstallHook(S_OK, nullptr, &m_plan, nullptr));
    EXPECT_EQ(E_INVALIDARG, PostInstallHook(S_OK, nullptr, &m_plan, nullptr));
    EXPECT_FALSE(RecordsWritten());
}

TEST_F(Hooks, TheRecordsAreIndependentOfEachOther)
{
    // No product entry in the application database: no patch entry, nothing
    // created there, the other records still written.
    DeleteMachineKey(L"Software\\Halvern Corporation\\Shared Info");
    // No uninstall record: "DisplayVersion" and "InstallDate" skipped, the rest written.
    DeleteMachineKey(ProductUninstallKey);
    PatchHookContext* context = NewContext();
    EXPECT_EQ(S_OK, PreInstallHook(S_OK, nullptr, &m_plan, context));
    EXPECT_EQ(S_OK, PostInstallHook(S_OK, nullptr, &m_plan, context));
    EXPECT_EQ(L"<no key>", ReadMachineString(L"Software\\Halvern Corporation\\Shared Info", L"", KEY_WOW64_32KEY));
    EXPECT_EQ(L"<no key>", ReadMachineString(ProductUninstallKey, L"DisplayVersion", KEY_WOW64_32KEY));
    EXPECT_EQ(L"3.2.00.07040", ReadMachineString(ProductKey, L"Version", KEY_WOW64_32KEY));
    EXPECT_EQ(0u, ReadText(m_root + L"\\Zentrel\\version.txt").find(L"3.2.00.07040\r\n"));
}

TEST_F(Hooks, NoApplicationFolderMeansNoHistoryAnywhere)
{
    DeleteMachineKey(L"Software\\Halvern Corporation\\Zentrel\\1.0\\App");
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring rootHistory = std::wstring(current).substr(0, 2) + L"\\version.txt";
    DeleteFileW(rootHistory.c_str());
    PatchHookContext* context = NewContext();
    EXPECT_EQ(S_OK, PreInstallHook(S_OK, nullptr, &m_plan, context));
    EXPECT_EQ(S_OK, PostInstallHook(S_OK, nullptr, &m_plan, context));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(rootHistory.c_str())) << "never at the drive's root";
    EXPECT_TRUE(RecordsWritten());
}

TEST_F(Hooks, TheHelpMarkerGoesOnlyForThreeZeroToThreeOne)
{
    const struct {
        const wchar_t* installed;
        bool deleted;
    } cases[] = {{L"3.0.0.0", true},      {L"3.1.0.0", true},  {L"3.1.0.1", false},
                 {L"3.1.0.14000", false}, {L"2.9.9.9", false}, {L"", false}};
    for (const auto& c : cases) {
        WriteText(m_root + L"\\Help\\VersionZentrelHelp.txt", "marker");
        SetMachineString(ProductUninstallKey, KEY_WOW64_32KEY, L"DisplayVersion", c.installed);
        DeleteHelpVersionMarker();
        EXPECT_EQ(c.deleted ? L"<missing>" : L"marker", ReadText(m_root + L"\\Help\\VersionZentrelHelp.txt"))
            << c.installed;
    }
}

TEST(InstallDate, YearMonthDayAndALineFeed)
{
    std::tm july = {};
    july.tm_year = 113;
    july.tm_mon = 6;
    july.tm_mday = 2;
    EXPECT_EQ(L"20130702\n", InstallDateText(LocalTimeStamp(&july)));
    EXPECT_EQ(L"-1-1-1\n", InstallDateText(LocalTimeStamp(nullptr)));
}

} // namespace
