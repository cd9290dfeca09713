#include "records/hooks.h"

#include <new>

#include "product/versions.h"
#include "records/history_file.h"
#include "records/install_records.h"

namespace {

// An install record that fails, for whatever reason, does not stop the others.
template <typename Step> void RecordStep(Step step) noexcept
{
    try {
        step();
    } catch (...) {
    }
}

} // namespace

PatchHookContext* CreatePatchHookContext() noexcept
{
    try {
        return new (std::nothrow) PatchHookContext();
    } catch (...) {
        return nullptr;
    }
}

void WriteInstallRecords(const std::wstring& patchId, const std::wstring& patchName) noexcept
{
    RecordStep([&] { (void)RegisterPatch(patchId, patchName); });
    RecordStep([&] { UpdateHistoryFile(ProductTargetVersion, patchName); });
    // Still reads the version from before the update: the next step rewrites it.
    RecordStep([] { DeleteHelpVersionMarker(); });
    RecordStep([] { WriteProductValues(ProductTargetVersion); });
}

void FillPatchIdentity(PatchHookContext& context)
{
    context.patchId = PatchId;
    context.patchName = PatchName;
}

void ReleasePatchHookContext(PatchHookContext& context) noexcept
{
    context.restartSession.Close();
    context.patchName = CSharedText();
    context.patchId = CSharedText();
}

HRESULT PreInstallHook(HRESULT resultSoFar, HANDLE, PatchPlan* plan, PatchHookContext* context)
{
    if (!context) {
        return E_INVALIDARG;
    }
    if (FAILED(resultSoFar)) {
        return resultSoFar;
    }
    if (plan && plan->Count() > 0) {
        std::wstring files;
        for (const PatchPlanEntry& row : *plan) {
            if (!files.empty()) {
                files += L';';
            }
            files += row.fileName.Get();
        }
        RestartManagerSession& session = context->restartSession;
        session.SetFiles(files);
        if (session.Register() == ERROR_SUCCESS) {
            session.ForceShutdown();
        }
    }
    FillPatchIdentity(*context);
    return S_OK;
}

HRESULT PostInstallHook(HRESULT resultSoFar, HANDLE, PatchPlan*, PatchHookContext* context)
{
    if (!context) {
        return E_INVALIDARG;
    }
    // Frees the context on every way out of this hook.
    const std::unique_ptr<PatchHookContext> owned(context);
    if (SUCCEEDED(resultSoFar)) {
        std::wstring patchId;
        std::wstring patchName;
        RecordStep([&] {
            patchId = context->patchId.Get();
            patchName = context->patchName.Get();
        });
        WriteInstallRecords(patchId, patchName);
    }
    if (context->restartSession.SessionHandle() != 0) {
        context->restartSession.Restart();
    }
    ReleasePatchHookContext(*context);
    return resultSoFar;
}
