#pragma once
// The file phase of a run: one controller over the plan, with the progress
// window and, around the file work, the hooks that close and restart the
// applications holding the targets and write the install records.

#include <windows.h>

#include <string>

#include "engine/patch_process.h"

// The hooks the run installs in the controller.
PatchHooks InstallHooks() noexcept;

// Runs one controller over `plan` with a new hook context and returns the
// run's HRESULT.
[[nodiscard]] HRESULT RunPatchProcess(const PatchPlan& plan, const std::wstring& caption, HMODULE instance);
