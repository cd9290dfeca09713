#pragma once
// The file work of a run: each payload is written from the program's "PATCH"
// resources into a private staging folder, expanded with the system's LZ
// functions, stamped with its row's time and copied over its target.

#include <windows.h>

#include <functional>
#include <string>

#include "common/unique_handle.h"
#include "plan/update_plan.h"

// The staging folder's security: full control for Administrators and SYSTEM,
// inherited by everything inside, nothing inherited from the user's
// temporary folder. Empty when it cannot be built.
CLocalMemory MakeStagingSecurityDescriptor() noexcept;

// The full path of the program's own file; false when it cannot be had.
[[nodiscard]] bool GetModulePath(std::wstring& path);

// Creates the staging folder "<temp>\<name>.tmp\" fresh, open to
// Administrators and SYSTEM only. An existing file, folder or reparse point of
// that name is never used: the next free name "<name>.tmp.<n>" is taken
// instead. Returns the path with its final backslash. Raises E_INVALIDARG when
// the temporary folder is not known.
std::wstring CreateStagingFolder(const std::wstring& stagingName);

// Expands an SZDD file with the system's LZ32 functions (from System32).
// S_OK, or 0x8007006E when they are missing or fail.
[[nodiscard]] HRESULT ExpandPayloadFile(const std::wstring& compressedPath, const std::wstring& expandedPath);

// Writes the row's payload next to the staging folder's other files, expands
// it under the target's file name and stamps it. S_OK with the expanded
// file's path, or the failure (0x8007006E when the LZ functions fail).
[[nodiscard]] HRESULT ExtractPayload(const std::wstring& stagingFolder, const PatchPlanEntry& row, HMODULE module,
                       std::wstring& expandedPath);

// Replaces a help file. The old file is moved aside within its folder first,
// so that a file that cannot be overwritten in place is still replaced; when
// the copy fails the old file is put back, so nothing is lost.
using ReplaceFunction = std::function<HRESULT(const std::wstring& target, const std::wstring& source)>;
[[nodiscard]] HRESULT ReplaceHelpFile(const std::wstring& target, const std::wstring& source, const ReplaceFunction& replace);

// Walks the plan in order and stops at the first failing row. S_OK, or the
// failure of that row.
[[nodiscard]] HRESULT ApplyPatchPlan(const PatchPlan& plan, HMODULE module);
