#include "product/installation.h"
#include "run/run_sequence.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "common/hresult.h"
#include "support/machine_registry.h"

namespace {

// Non-administrators and 32-bit Windows cannot be produced under Wine; the
// decision is reached through the facts the checks gather.
TEST(CheckMachine, AdministratorFirstThenProcessor)
{
    const DWORD nt = VER_PLATFORM_WIN32_NT;
    const DWORD windows9x = VER_PLATFORM_WIN32_WINDOWS;
    struct Case {
        const char* name;
        MachineFacts facts;
        std::optional<RunOutcome> expected;
    } cases[] = {
        {"elevated administrator, x64", {true, true, nt, true}, std::nullopt},
        {"non-administrator on 32-bit Windows sees the administrator message",
         {true, false, nt, false},
         RunOutcome::NotAdministrator},
        {"non-administrator on x64", {true, false, nt, true}, RunOutcome::NotAdministrator},
        {"token unreadable on NT never counts as administrator",
         {false, false, nt, true},
         RunOutcome::NotAdministrator},
        {"no token test outside NT counts as administrator", {false, false, windows9x, true}, std::nullopt},
        {"GetVersionExW failed: platform 0", {false, false, 0, true}, std::nullopt},
        {"administrator on 32-bit Windows", {true, true, nt, false}, RunOutcome::UnsupportedSystem},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, CheckMachine(c.facts)) << c.name;
    }
}

TEST(CheckInstalledVersion, AcceptsThreeZeroToThreeTwoAndKnowsTheTarget)
{
    struct Case {
        const wchar_t* installed;
        std::optional<RunOutcome> expected;
    } cases[] = {
        {L"3.0.0.0", std::nullopt},
        {L"3.2.0.0", std::nullopt},
        {L"3.1.00.14000", std::nullopt},
        {L" 3.1.0.0", std::nullopt},
        {L"3.2.00.07040", RunOutcome::SameVersion},
        {L"3.2.0.7040", RunOutcome::SameVersion},
        {L"3.2.0.1", RunOutcome::NotApplicable},
        {L"2.9.9.9", RunOutcome::NotApplicable},
        {L"3.2", RunOutcome::NotApplicable},
        {L"", RunOutcome::NotApplicable},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, CheckInstalledVersion(c.installed)) << "installed \"" << c.installed << "\"";
    }
}

// The exit codes are read by the maker's update tool; they must not drift.
TEST(Reports, OutcomesMapToTheirMessageStyleAndExitCode)
{
    struct Case {
        RunOutcome outcome;
        UINT id;
        UINT style;
        HRESULT result;
    } cases[] = {
        {RunOutcome::AlreadyRunning, 1201, MB_OK, static_cast<HRESULT>(0x80070480)},
        {RunOutcome::NotAdministrator, 1219, MB_ICONEXCLAMATION, E_ACCESSDENIED},
        {RunOutcome::UnsupportedSystem, 1216, MB_ICONEXCLAMATION, E_ACCESSDENIED},
        {RunOutcome::SameVersion, 1218, MB_ICONEXCLAMATION, E_ACCESSDENIED},
        {RunOutcome::NotApplicable, 1217, MB_ICONEXCLAMATION, E_ACCESSDENIED},
        {RunOutcome::NoTarget, 1202, MB_OK, S_OK},
        {RunOutcome::NothingToUpdate, 1203, MB_OK, S_OK},
        {RunOutcome::ProgramsRunning, 1215, MB_ICONEXCLAMATION, E_ACCESSDENIED},
    };
    for (const auto& c : cases) {
        const RunReport report = DescribeOutcome(c.outcome);
        EXPECT_TRUE(report.showMessage);
        EXPECT_EQ(c.id, report.messageId);
        EXPECT_EQ(c.style, report.boxStyle);
        EXPECT_EQ(c.result, report.result);
    }
}

TEST(Reports, EngineResults)
{
    const RunReport notFinished = DescribeRunResult(S_FALSE);
    EXPECT_FALSE(notFinished.showMessage);
    EXPECT_EQ(S_FALSE, notFinished.result);

    for (const HRESULT success : {S_OK, static_cast<HRESULT>(2)}) {
        const RunReport report = DescribeRunResult(success);
        EXPECT_TRUE(report.showMessage);
        EXPECT_EQ(1210u, report.messageId);
        EXPECT_EQ(static_cast<UINT>(MB_OK), report.boxStyle);
        EXPECT_EQ(success, report.result);
    }
    for (const HRESULT failure : {E_OUTOFMEMORY, E_ABORT, E_NOTIMPL, static_cast<HRESULT>(0x80070020)}) {
        const RunReport report = DescribeRunResult(failure);
        EXPECT_TRUE(report.showMessage);
        EXPECT_EQ(1213u, report.messageId);
        EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), report.boxStyle);
        EXPECT_EQ(failure, report.result);
    }
}

char* volatile allocationSink = nullptr;

HRESULT ResultOf(void (*thrower)())
{
    try {
        thrower();
    } catch (...) {
        return ResultOfCurrentException();
    }
    return S_OK;
}

TEST(Exceptions, BecomeTheRunsResult)
{
    EXPECT_EQ(E_OUTOFMEMORY, ResultOf([] { throw std::bad_alloc(); }));
    // More than a 32-bit process can ever hold.
    EXPECT_EQ(E_OUTOFMEMORY, ResultOf([] { allocationSink = new char[0x7FFFFFF0u]; }));
    EXPECT_EQ(E_OUTOFMEMORY, ResultOf([] { throw CHResultError(E_OUTOFMEMORY); }));
    EXPECT_EQ(E_FAIL, ResultOf([] { throw CHResultError(E_FAIL); }));
    EXPECT_EQ(E_UNEXPECTED, ResultOf([] { throw CHResultError(S_OK); }));
    EXPECT_EQ(E_UNEXPECTED, ResultOf([] { throw std::runtime_error("x"); }));
    EXPECT_EQ(E_UNEXPECTED, ResultOf([] { throw 42; }));
}

// Seeds "LaunchInstaller" in the update tool's key (the 32-bit view, which
// this 32-bit test program opens without a view flag) and reads the flag.
class SilentMode : public ::testing::Test {
protected:
    void TearDown() override { DeleteMachineKey(UpdateToolKey); }

    bool WithValue(DWORD type, const void* data, DWORD size)
    {
        SetMachineValue(UpdateToolKey, 0, L"LaunchInstaller", type, data, size);
        return IsSilentMode();
    }
};

TEST_F(SilentMode, OnlyTheNumberOneMakesTheRunSilent)
{
    DeleteMachineKey(UpdateToolKey);
    EXPECT_FALSE(IsSilentMode()) << "no key";

    const DWORD one = 1;
    const DWORD two = 2;
    const DWORD zero = 0;
    const ULONGLONG wide = 1;
    const BYTE binaryOne[4] = {1, 0, 0, 0};
    const BYTE shortOne[1] = {1};
    EXPECT_TRUE(WithValue(REG_DWORD, &one, sizeof(one)));
    EXPECT_FALSE(WithValue(REG_DWORD, &two, sizeof(two)));
    EXPECT_FALSE(WithValue(REG_DWORD, &zero, sizeof(zero)));
    // Whatever the type, the first four bytes decide.
    EXPECT_TRUE(WithValue(REG_BINARY, binaryOne, sizeof(binaryOne)));
    EXPECT_TRUE(WithValue(REG_BINARY, shortOne, sizeof(shortOne)));
    EXPECT_FALSE(WithValue(REG_SZ, L"1", 4));
    // Eight bytes do not fit the four-byte buffer: the read fails.
    EXPECT_FALSE(WithValue(REG_QWORD, &wide, sizeof(wide)));
}

} // namespace
