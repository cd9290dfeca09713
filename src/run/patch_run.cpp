#include "run/patch_run.h"

#include "engine/transaction.h"
#include "engine/update_journal.h"
#include "records/hooks.h"

PatchHooks InstallHooks() noexcept
{
    return PatchHooks{PreInstallHook, PostInstallHook};
}

HRESULT RunPatchProcess(const PatchPlan& plan, const std::wstring& caption, HMODULE instance)
{
    // Without memory for it the context is null, and the hooks report that.
    PatchHookContext* context = CreatePatchHookContext();
    CPatchProcess process;
    const HRESULT result = process.Run(plan, context, InstallHooks(), caption, instance);
    // S_FALSE: the window went before the worker told its result, which may still be unfinished.
    if (SUCCEEDED(result) && result != S_FALSE) {
        // Files and records are done: nothing is left for a later run to finish.
        RemoveJournal(UpdateJournalPath(&plan));
    }
    return result;
}
