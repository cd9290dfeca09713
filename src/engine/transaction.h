#pragma once
// The file work of a run, as one transaction: every payload is expanded
// beside its target and checked against its digest before any target is
// touched; then each target is replaced by renames; if any row fails, every
// replaced row is put back, so the installation is byte for byte what it
// was. A journal written before each step lets the next run finish or undo
// what a run killed at any instant left.

#include <windows.h>

#include <string>

#include "plan/update_plan.h"

// Where the journal goes: the application folder the installer recorded, or
// for a plan made without one, the folder of its first target. Empty when
// neither is known.
std::wstring UpdateJournalPath(const PatchPlan* plan = nullptr);

// Runs the plan as a transaction. S_OK when every target holds its new file
// (the journal then stays, decided, until the run has written its records
// and removes it); otherwise the failure of the first failing row, with
// every target as it was and no journal left.
[[nodiscard]] HRESULT ApplyPatchPlan(const PatchPlan& plan, HMODULE module);
[[nodiscard]] HRESULT ApplyPatchPlan(const PatchPlan& plan, HMODULE module, const std::wstring& journalPath);

enum class Recovery {
    Nothing,      // no interrupted update
    RolledBack,   // it was undone: the installation is as it was before it
    RolledForward // it had been decided: every target now holds its new file
};

// Finishes or undoes the update an interrupted run left. S_OK with what was
// done (after RolledForward the journal stays until the records are written);
// a failure, with the journal kept for the next run, when that cannot be done.
[[nodiscard]] HRESULT RecoverInterruptedUpdate(const std::wstring& journalPath, Recovery& done);
