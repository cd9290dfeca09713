#pragma once
// Carries out one update plan: a worker thread does the file work between the
// pre- and post-install hooks, while the calling thread shows the progress
// window and pumps its messages until the worker is done.

#include <windows.h>

#include <atomic>
#include <string>

#include "common/unique_handle.h"
#include "plan/update_plan.h"

// What the two hooks share; defined by whoever provides the hooks.
struct PatchHookContext;

// A hook runs on the worker thread; its result replaces the result so far.
using PatchHook = HRESULT (*)(HRESULT resultSoFar, HANDLE cancelEvent, PatchPlan* plan, PatchHookContext* context);

struct PatchHooks {
    PatchHook preInstall = nullptr;
    PatchHook postInstall = nullptr;
};

class CPatchProcess {
public:
    CPatchProcess() noexcept;
    virtual ~CPatchProcess();
    CPatchProcess(const CPatchProcess&) = delete;
    CPatchProcess& operator=(const CPatchProcess&) = delete;

    // Runs `plan` and returns its HRESULT: E_UNEXPECTED while a worker exists,
    // E_OUTOFMEMORY when no worker can be started, S_FALSE when the progress
    // window's pump ended before the worker stored its result.
    [[nodiscard]] HRESULT Run(const PatchPlan& plan, PatchHookContext* context, const PatchHooks& hooks,
                              const std::wstring& caption, HMODULE instance);

    // Cancels and reaps the worker: S_OK, S_FALSE without a worker, E_ABORT
    // when it had to be terminated after 10 seconds.
    [[nodiscard]] HRESULT Stop() noexcept;

    HWND Window() const noexcept { return m_window; }

private:
    static DWORD WINAPI WorkerThread(LPVOID parameter);
    [[nodiscard]] HRESULT Work() noexcept;
    void PumpUntilClose() noexcept;

    friend bool CreateProgressWindow(CPatchProcess& process, HMODULE module);
    friend INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    friend void DestroyProgressWindow(CPatchProcess& process);

    std::atomic<HRESULT> m_result{S_FALSE};
    CUniqueHandle m_cancelEvent;
    CUniqueHandle m_thread;
    DWORD m_threadId = 0;
    std::atomic<PatchHookContext*> m_hookContext{nullptr};
    std::atomic<PatchHook> m_preHook{nullptr};
    std::atomic<PatchHook> m_postHook{nullptr};
    UINT m_iconId = 0;
    std::wstring m_caption;
    HMODULE m_instance = nullptr;
    PatchPlan m_plan;
    std::atomic<HWND> m_window{nullptr};
    CUniqueIcon m_bigIcon;
    CUniqueIcon m_smallIcon;
    CUniqueLibrary m_commonControls;
};
