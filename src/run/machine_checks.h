#pragma once
// Tests on the machine before any file is touched: administrator rights,
// a 64-bit processor, and running programs of the product.

#include <windows.h>

struct COsVersionInfo {
    DWORD majorVersion = 0;
    DWORD platformId = 0;
    bool filled = false;
};

// The operating system's version, read once per process with GetVersionExW.
// A failed read leaves the fields 0 and still counts as read.
const COsVersionInfo& OsVersionInfo() noexcept;

// Makes the token test. Returns true when the test was made; `isMember` is
// then true only when the process token holds the Administrators group
// enabled. Returns false without a test on non-NT platforms and whenever the
// token cannot be read.
bool CheckAdministratorMembership(bool* isMember) noexcept;

// True when `groups` holds `administrators` with SE_GROUP_ENABLED. A deny-only
// entry (the filtered token of a non-elevated administrator) does not count.
bool HoldsEnabledGroup(const TOKEN_GROUPS& groups, PSID administrators) noexcept;

// Processor types 8664 (x64) and 2200 (IA-64) are 64-bit ones.
bool IsSixtyFourBitProcessorType(DWORD processorType) noexcept;

// The machine's own processor, as GetNativeSystemInfo reports it to a 32-bit process.
bool IsSixtyFourBitProcessor() noexcept;

// True when a running process has exactly this image name (case counts).
bool IsProcessRunning(const wchar_t* imageName) noexcept;

// True while "Kelvo.exe" or "Zentrel.exe" runs.
bool IsRelatedProgramRunning() noexcept;
