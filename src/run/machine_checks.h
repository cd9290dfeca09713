#pragma once
// Tests on the machine before any file is touched: administrator rights
// and running programs of the product.

#include <windows.h>

// Makes the token test. Returns true when the test was made; `isMember` is
// then true only when the process token holds the Administrators group
// enabled. Returns false without a test on non-NT platforms and whenever the
// token cannot be read.
[[nodiscard]] bool CheckAdministratorMembership(bool* isMember) noexcept;

// True when `groups` holds `administrators` with SE_GROUP_ENABLED. A deny-only
// entry (the filtered token of a non-elevated administrator) does not count.
bool HoldsEnabledGroup(const TOKEN_GROUPS& groups, PSID administrators) noexcept;

// True when a running process has exactly this image name (case counts).
bool IsProcessRunning(const wchar_t* imageName) noexcept;

// True while "Kelvo.exe" or "Zentrel.exe" runs.
bool IsRelatedProgramRunning() noexcept;
