#include "engine/patch_process.h"

#include "common/hresult.h"
#include "engine/progress_window.h"
#include "engine/transaction.h"

namespace {

constexpr UINT ProgressIconId = 100;
constexpr DWORD StopGraceMs = 10000;

} // namespace

CPatchProcess::CPatchProcess() noexcept : m_cancelEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CPatchProcess::~CPatchProcess()
{
    (void)Stop(); // a worker still running is reaped; nobody is left to tell
}

HRESULT CPatchProcess::Run(const PatchPlan& plan, PatchHookContext* context, const PatchHooks& hooks,
                           const std::wstring& caption, HMODULE instance)
{
    if (m_thread) {
        return E_UNEXPECTED;
    }
    if (m_cancelEvent) {
        ResetEvent(m_cancelEvent.Get());
    }
    m_plan.CopyFrom(plan);
    m_instance = instance;
    m_hookContext = context;
    m_preHook = hooks.preInstall;
    m_postHook = hooks.postInstall;
    m_caption = caption;
    m_iconId = ProgressIconId;

    DWORD threadId = 0;
    m_thread.Reset(CreateThread(nullptr, 0, WorkerThread, this, CREATE_SUSPENDED, &threadId));
    if (!m_thread) {
        return E_OUTOFMEMORY;
    }
    m_threadId = threadId;

    // Every field the worker reads, the window included, is set before it starts.
    // Without a window the run still goes on: it waits for the worker instead.
    (void)CreateProgressWindow(*this, instance);
    ResumeThread(m_thread.Get());
    if (m_window) {
        PumpUntilClose();
        DestroyProgressWindow(*this);
    } else {
        WaitForSingleObject(m_thread.Get(), INFINITE);
    }
    const HRESULT result = m_result;
    (void)Stop(); // the worker has stored its result; how it ended changes nothing
    return result;
}

HRESULT CPatchProcess::Stop() noexcept
{
    if (!m_thread) {
        return S_FALSE;
    }
    if (m_cancelEvent) {
        SetEvent(m_cancelEvent.Get());
    }
    m_hookContext = nullptr;
    m_preHook = nullptr;
    m_postHook = nullptr;
    HRESULT result = S_OK;
    if (WaitForSingleObject(m_thread.Get(), StopGraceMs) == WAIT_TIMEOUT) {
        TerminateThread(m_thread.Get(), 0);
        WaitForSingleObject(m_thread.Get(), INFINITE);
        result = E_ABORT;
    }
    m_plan.Clear();
    m_instance = nullptr;
    m_caption.clear();
    m_iconId = 0;
    m_thread.Reset();
    m_threadId = 0;
    return result;
}

DWORD WINAPI CPatchProcess::WorkerThread(LPVOID parameter)
{
    auto* process = static_cast<CPatchProcess*>(parameter);
    return process ? static_cast<DWORD>(process->Work()) : 0;
}

HRESULT CPatchProcess::Work() noexcept
{
    HRESULT result = S_OK;
    try {
        if (const PatchHook pre = m_preHook) {
            result = pre(S_OK, m_cancelEvent.Get(), &m_plan, m_hookContext);
        }
        if (SUCCEEDED(result)) {
            if (m_cancelEvent && WaitForSingleObject(m_cancelEvent.Get(), 0) == WAIT_OBJECT_0) {
                result = E_ABORT;
            } else {
                result = ApplyPatchPlan(m_plan, m_instance);
            }
        }
    } catch (...) {
        // The worker never ends the process: a failure becomes the result.
        result = ResultOfCurrentException();
    }
    try {
        if (const PatchHook post = m_postHook) {
            result = post(result, m_cancelEvent.Get(), &m_plan, m_hookContext);
        }
    } catch (...) {
        result = ResultOfCurrentException();
    }
    m_result = result;
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    return result;
}

void CPatchProcess::PumpUntilClose() noexcept
{
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, m_window, 0, 0)) != 0 && got != -1) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (message.message == WM_CLOSE) {
            break;
        }
    }
}
