#include "run/run_sequence.h"

#include <new>

#include "common/hresult.h"
#include "common/unique_handle.h"
#include "engine/transaction.h"
#include "engine/update_journal.h"
#include "plan/update_plan.h"
#include "product/installation.h"
#include "product/installed_version.h"
#include "product/registry_key.h"
#include "product/versions.h"
#include "common/machine.h"
#include "records/hooks.h"
#include "run/machine_checks.h"
#include "run/patch_run.h"
#include "common/message_ids.h"
#include "common/strings.h"

namespace {

// The caption of every message box and of the progress window. Lives for the
// whole process.
std::wstring ProgramCaption;

constexpr UINT WarningBox = MB_ICONEXCLAMATION;
constexpr UINT ErrorBox = MB_ICONHAND;

void ShowMessage(const RunReport& report)
{
    std::wstring text;
    if (report.messageId == IDS_UPDATE_FAILED) {
        FormatLocalizedString(text, IDS_UPDATE_FAILED, static_cast<unsigned>(report.result));
    } else {
        text = ResourceText(report.messageId);
    }
    MessageBoxW(nullptr, text.c_str(), ProgramCaption.c_str(), report.boxStyle);
}

// Shows the report unless the run is silent, and never lets a failure to
// build the text change the exit code.
void Report(const RunReport& report, bool silent) noexcept
{
    if (silent || !report.showMessage) {
        return;
    }
    try {
        ShowMessage(report);
    } catch (...) {
        // Nothing more can be shown; the exit code still tells the outcome.
    }
}

struct RunState {
    bool silent = false;
};

HRESULT RunUpdate(HINSTANCE instance, RunState& state)
{
    if (const HMODULE module = FindStringModule(IDS_PROGRAM_CAPTION)) {
        (void)LoadLocalizedString(IDS_PROGRAM_CAPTION, module, ProgramCaption); // else the caption stays empty
    }
    state.silent = IsSilentMode();
    const std::wstring installedVersion = ReadInstalledVersion();

    CUniqueHandle mutex(CreateMutexW(nullptr, FALSE, SingleInstanceMutexName));
    const auto stopWith = [&](RunOutcome outcome) {
        mutex.Reset();
        const RunReport report = DescribeOutcome(outcome);
        Report(report, state.silent);
        return report.result;
    };
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        return stopWith(RunOutcome::AlreadyRunning);
    }

    MachineFacts facts;
    facts.adminTestMade = CheckAdministratorMembership(&facts.adminMember);
    facts.platformId = OsVersionInfo().platformId;
    facts.sixtyFourBit = IsSixtyFourBitProcessor();
    if (const auto outcome = CheckMachine(facts)) {
        return stopWith(*outcome);
    }

    // An update that an earlier run left unfinished is finished or undone
    // first, before the installed version is judged.
    const std::wstring journal = UpdateJournalPath();
    Recovery recovery = Recovery::Nothing;
    const HRESULT recovered = RecoverInterruptedUpdate(journal, recovery);
    if (FAILED(recovered) || recovery == Recovery::RolledForward) {
        if (recovery == Recovery::RolledForward) {
            WriteInstallRecords(PatchId, PatchName);
            RemoveJournal(journal);
        }
        mutex.Reset();
        Report(DescribeRunResult(recovered), state.silent);
        return recovered;
    }
    if (const auto outcome = CheckInstalledVersion(installedVersion)) {
        return stopWith(*outcome);
    }

    PatchPlan plan;
    const LONG found = BuildUpdatePlan(plan);
    if (plan.Count() == 0) {
        return stopWith(found < 0 ? RunOutcome::NoTarget : RunOutcome::NothingToUpdate);
    }
    if (IsRelatedProgramRunning()) {
        return stopWith(RunOutcome::ProgramsRunning);
    }

    const HRESULT result = RunPatchProcess(plan, ProgramCaption, instance);

    mutex.Reset();
    Report(DescribeRunResult(result), state.silent);
    return result;
}

} // namespace

RunReport DescribeOutcome(RunOutcome outcome) noexcept
{
    switch (outcome) {
    case RunOutcome::AlreadyRunning:
        return {true, IDS_ALREADY_RUNNING, MB_OK, HResultFromWin32(ERROR_SINGLE_INSTANCE_APP)};
    case RunOutcome::NotAdministrator:
        return {true, IDS_NOT_ADMINISTRATOR, WarningBox, E_ACCESSDENIED};
    case RunOutcome::UnsupportedSystem:
        return {true, IDS_UNSUPPORTED_SYSTEM, WarningBox, E_ACCESSDENIED};
    case RunOutcome::SameVersion:
        return {true, IDS_SAME_VERSION, WarningBox, E_ACCESSDENIED};
    case RunOutcome::NotApplicable:
        return {true, IDS_NOT_APPLICABLE, WarningBox, E_ACCESSDENIED};
    case RunOutcome::NoTarget:
        return {true, IDS_NO_TARGET, MB_OK, S_OK};
    case RunOutcome::NothingToUpdate:
        return {true, IDS_NOTHING_TO_UPDATE, MB_OK, S_OK};
    case RunOutcome::ProgramsRunning:
        return {true, IDS_PROGRAMS_RUNNING, WarningBox, E_ACCESSDENIED};
    }
    return {true, IDS_UPDATE_FAILED, ErrorBox, E_UNEXPECTED};
}

RunReport DescribeRunResult(HRESULT result) noexcept
{
    if (result == S_FALSE) {
        return {false, 0, MB_OK, result};
    }
    if (result >= 0) {
        return {true, IDS_UPDATE_SUCCEEDED, MB_OK, result};
    }
    return {true, IDS_UPDATE_FAILED, ErrorBox, result};
}

bool IsSilentMode() noexcept
{
    HKEY key = nullptr;
    // No view flag: the 32-bit process reads the update tool's 32-bit key.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UpdateToolKey, 0, RegKeyRead, &key) != ERROR_SUCCESS) {
        return false;
    }
    const CUniqueRegKey holder(key);
    BYTE buffer[4] = {0, 0, 0, 0};
    DWORD size = sizeof(buffer);
    if (RegQueryValueExW(holder.Get(), LaunchInstallerValue, nullptr, nullptr, buffer, &size) != ERROR_SUCCESS) {
        return false;
    }
    DWORD value = 0;
    memcpy(&value, buffer, sizeof(value));
    return value == 1;
}

std::optional<RunOutcome> CheckMachine(const MachineFacts& facts) noexcept
{
    const bool administrator = facts.adminTestMade ? facts.adminMember : facts.platformId != VER_PLATFORM_WIN32_NT;
    if (!administrator) {
        return RunOutcome::NotAdministrator;
    }
    if (!facts.sixtyFourBit) {
        return RunOutcome::UnsupportedSystem;
    }
    return std::nullopt;
}

std::optional<RunOutcome> CheckInstalledVersion(const std::wstring& installed)
{
    if (VersionAtLeast(installed, SupportedVersionLow) && VersionAtMost(installed, SupportedVersionHigh)) {
        return std::nullopt;
    }
    return VersionEquals(ProductTargetVersion, installed) ? RunOutcome::SameVersion : RunOutcome::NotApplicable;
}

HRESULT RunUpdateProgram(HINSTANCE instance) noexcept
{
    RunState state;
    try {
        return RunUpdate(instance, state);
    } catch (...) {
        // Whatever went wrong, the run ends with a result instead of a crash;
        // everything the run held has been released by now.
        const HRESULT result = ResultOfCurrentException();
        Report(DescribeRunResult(result), state.silent);
        return result;
    }
}
