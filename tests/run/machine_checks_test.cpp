#include "common/machine.h"
#include "run/machine_checks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "support/build_files.h"
#include "support/test_files.h"

namespace {

// A well-known SID built for a test token.
struct TestSid {
    explicit TestSid(WELL_KNOWN_SID_TYPE type)
    {
        DWORD size = sizeof(bytes);
        EXPECT_TRUE(CreateWellKnownSid(type, nullptr, bytes, &size));
    }
    PSID Get() { return bytes; }
    BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
};

struct Group {
    WELL_KNOWN_SID_TYPE sid;
    DWORD attributes;
};

bool HoldsAdministrators(const std::vector<Group>& groups)
{
    std::vector<std::unique_ptr<TestSid>> sids;
    std::vector<BYTE> buffer(sizeof(TOKEN_GROUPS) + groups.size() * sizeof(SID_AND_ATTRIBUTES));
    auto* tokenGroups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
    tokenGroups->GroupCount = static_cast<DWORD>(groups.size());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        sids.push_back(std::make_unique<TestSid>(groups[i].sid));
        tokenGroups->Groups[i].Sid = sids.back()->Get();
        tokenGroups->Groups[i].Attributes = groups[i].attributes;
    }
    TestSid administrators(WinBuiltinAdministratorsSid);
    return HoldsEnabledGroup(*tokenGroups, administrators.Get());
}

constexpr DWORD Enabled = SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY;

TEST(AdministratorTest, OnlyAnEnabledAdministratorsGroupCounts)
{
    struct Case {
        const char* name;
        std::vector<Group> groups;
        bool expected;
    } cases[] = {
        {"no groups", {}, false},
        {"elevated: enabled, last of many",
         {{WinWorldSid, Enabled},
          {WinBuiltinUsersSid, Enabled},
          {WinAuthenticatedUserSid, Enabled},
          {WinInteractiveSid, Enabled},
          {WinBuiltinAdministratorsSid, Enabled | SE_GROUP_OWNER}},
         true},
        {"elevated: enabled, first", {{WinBuiltinAdministratorsSid, Enabled}, {WinWorldSid, Enabled}}, true},
        {"filtered token of a non-elevated administrator",
         {{WinWorldSid, Enabled},
          {WinBuiltinAdministratorsSid, SE_GROUP_USE_FOR_DENY_ONLY},
          {WinBuiltinUsersSid, Enabled}},
         false},
        {"present but not enabled", {{WinBuiltinAdministratorsSid, SE_GROUP_MANDATORY}}, false},
        {"other groups only", {{WinBuiltinUsersSid, Enabled}, {WinBuiltinPowerUsersSid, Enabled}}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, HoldsAdministrators(c.groups)) << c.name;
    }
}

TEST(AdministratorTest, TheElevatedWineUserIsAnAdministrator)
{
    bool member = false;
    EXPECT_TRUE(CheckAdministratorMembership(&member));
    EXPECT_TRUE(member);
    EXPECT_FALSE(CheckAdministratorMembership(nullptr));
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), OsVersionInfo().platformId);
}

TEST(ProcessorTest, OnlyX64AndItaniumAreSixtyFourBit)
{
    struct Case {
        DWORD type;
        bool expected;
    } cases[] = {
        {PROCESSOR_AMD_X8664, true},  {PROCESSOR_INTEL_IA64, true},     {PROCESSOR_INTEL_386, false},
        {PROCESSOR_INTEL_486, false}, {PROCESSOR_INTEL_PENTIUM, false}, {0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, IsSixtyFourBitProcessorType(c.type)) << c.type;
    }
    // This 32-bit test program runs in a 64-bit prefix.
    EXPECT_TRUE(IsSixtyFourBitProcessor());
}

// Runs the sleeper helper under another image name until destroyed.
class CRunningProgram {
public:
    explicit CRunningProgram(const std::wstring& imageName) : m_path(m_folder.Path(imageName))
    {
        const std::wstring sleeper = BuildFilePath("SLEEPER_EXE");
        if (sleeper.empty()) {
            return;
        }
        if (!CopyFileW(sleeper.c_str(), m_path.c_str(), FALSE)) {
            ADD_FAILURE() << "cannot copy the sleeper: " << GetLastError();
            return;
        }
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        std::wstring commandLine = L"\"" + m_path + L"\"";
        if (!CreateProcessW(m_path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info)) {
            ADD_FAILURE() << "cannot start the sleeper: " << GetLastError();
            return;
        }
        CloseHandle(info.hThread);
        m_process.Reset(info.hProcess);
        // Give the process time to appear in the process list under its name.
        Sleep(300);
    }
    ~CRunningProgram()
    {
        if (m_process) {
            TerminateProcess(m_process.Get(), 0);
            WaitForSingleObject(m_process.Get(), 5000);
        }
    }

private:
    static int s_started;
    // A folder of each program's own: programs may run at once.
    const CTestFolder m_folder{L"zentrel-process-" + std::to_wstring(++s_started)};
    const std::wstring m_path;
    CUniqueHandle m_process;
};

int CRunningProgram::s_started = 0;

TEST(RunningPrograms, MatchTheWholeImageNameWithItsCase)
{
    EXPECT_FALSE(IsProcessRunning(L"Zentrel.exe"));
    EXPECT_FALSE(IsRelatedProgramRunning());
    {
        const CRunningProgram longer(L"Zentrel.exe.exe");
        const CRunningProgram upper(L"ZENTREL.EXE");
        EXPECT_FALSE(IsProcessRunning(L"Zentrel.exe"));
        EXPECT_TRUE(IsProcessRunning(L"ZENTREL.EXE"));
        EXPECT_FALSE(IsRelatedProgramRunning());
    }
    {
        const CRunningProgram product(L"Zentrel.exe");
        EXPECT_TRUE(IsProcessRunning(L"Zentrel.exe"));
        EXPECT_FALSE(IsProcessRunning(L"zentrel.exe"));
        EXPECT_TRUE(IsRelatedProgramRunning());
    }
    {
        const CRunningProgram companion(L"Kelvo.exe");
        EXPECT_TRUE(IsRelatedProgramRunning());
    }
    EXPECT_FALSE(IsRelatedProgramRunning());
}

} // namespace
