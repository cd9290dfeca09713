#pragma once
// The run from start to exit: the checks that may refuse the update, the
// update itself, the message that tells the user the outcome, and the exit
// code (the run's HRESULT) that tells whoever started the program.

#include <windows.h>

#include <optional>
#include <string>

// A run that stops before the update engine.
enum class RunOutcome {
    AlreadyRunning,
    NotAdministrator,
    UnsupportedSystem,
    SameVersion,
    NotApplicable,
    NoTarget,
    NothingToUpdate,
    ProgramsRunning,
};

// What the user is shown and what the run returns.
struct RunReport {
    bool showMessage = false;
    UINT messageId = 0;
    UINT boxStyle = MB_OK;
    HRESULT result = S_OK;
};

RunReport DescribeOutcome(RunOutcome outcome) noexcept;
// The report of the update engine's result: no message for S_FALSE, 1210 for
// other successes, 1213 with the code for failures.
RunReport DescribeRunResult(HRESULT result) noexcept;

inline constexpr const wchar_t* SingleInstanceMutexName = L"Global\\HalvernKelvoZentrelINSUpdater-MutexAll";

// True only when the maker's update tool has set "LaunchInstaller" to 1.
bool IsSilentMode() noexcept;

// What the machine checks found, as plain data.
struct MachineFacts {
    bool adminTestMade = false; // CheckAdministratorMembership's result
    bool adminMember = false;   // its membership flag
    DWORD platformId = 0;       // OsVersionInfo().platformId
    bool sixtyFourBit = false;  // IsSixtyFourBitProcessor()
};

// Administrator test first, then the processor.
std::optional<RunOutcome> CheckMachine(const MachineFacts& facts) noexcept;

// The installed version must lie in 3.0.0.0 to 3.2.0.0; outside it, an
// installation already at the target version is told apart from all others.
std::optional<RunOutcome> CheckInstalledVersion(const std::wstring& installed);

// The whole run. Never throws; returns the exit code.
[[nodiscard]] HRESULT RunUpdateProgram(HINSTANCE instance) noexcept;
