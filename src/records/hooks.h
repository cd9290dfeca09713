#pragma once
// The two hooks around the file work: before it, the Restart Manager closes
// the applications holding the targets; after a successful run, the install
// records are written; whatever the outcome, the closed applications are
// restarted and the session ended.

#include <windows.h>

#include <memory>
#include <string>

#include "common/shared_text.h"
#include "engine/patch_process.h"
#include "records/restart_manager.h"

inline constexpr const wchar_t* PatchId = L"RX4819305562";
inline constexpr const wchar_t* PatchName = L"Zentrel";

struct PatchHookContext {
    CSharedText patchId;
    CSharedText patchName;
    RestartManagerSession restartSession;

    PatchHookContext() = default;
    explicit PatchHookContext(CUniqueLibrary restartManager) noexcept : restartSession(std::move(restartManager)) {}
};

// A new context (null when there is no memory); the post-install hook frees it.
PatchHookContext* CreatePatchHookContext() noexcept;

[[nodiscard]] HRESULT PreInstallHook(HRESULT resultSoFar, HANDLE cancelEvent, PatchPlan* plan,
                                     PatchHookContext* context);
[[nodiscard]] HRESULT PostInstallHook(HRESULT resultSoFar, HANDLE cancelEvent, PatchPlan* plan,
                                      PatchHookContext* context);

// The install records of a finished update, in their order: the patch entry,
// the update history, the outdated help marker, the product's values. Each
// step runs whatever the others did; none changes the run's result. Safe to
// repeat: a run that finishes an interrupted update writes them again.
void WriteInstallRecords(const std::wstring& patchId, const std::wstring& patchName) noexcept;

void FillPatchIdentity(PatchHookContext& context);
void ReleasePatchHookContext(PatchHookContext& context) noexcept;
