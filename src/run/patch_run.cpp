#include "run/patch_run.h"

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
    return process.Run(plan, context, InstallHooks(), caption, instance);
}
