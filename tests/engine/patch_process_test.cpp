// The controller and its progress window. Only the first controller in a
// process gets a window, so CTest runs each of these tests in a process of
// its own.
#include "engine/patch_process.h"

#include <commctrl.h>

#include <new>
#include <stdexcept>

#include "engine/progress_window.h"
#include "engine_fixture.h"
#include "common/message_ids.h"
#include "common/strings.h"

namespace {

// What a test's hooks see and record; handed over as the hook context.
struct HookProbe {
    CPatchProcess* process = nullptr;
    HRESULT preReturns = S_OK;
    bool preCancels = false;
    bool preThrows = false;
    bool preRunsAgain = false;
    bool preClosesWindowAndBlocks = false;
    HRESULT runAgainResult = S_OK;
    int preCalls = 0;
    int postCalls = 0;
    HRESULT postReceived = S_OK;
    HWND windowSeen = nullptr;
    bool windowVisible = false;
    std::wstring caption;
    std::wstring text;
    UINT closeState = 0;
    LONG_PTR barStyle = 0;
    RECT windowRect = {};
    RECT monitorRect = {};
};

HookProbe& Probe(PatchHookContext* context)
{
    return *reinterpret_cast<HookProbe*>(context);
}

std::wstring TextOf(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

HRESULT PreHook(HRESULT, HANDLE cancelEvent, PatchPlan*, PatchHookContext* context)
{
    HookProbe& probe = Probe(context);
    ++probe.preCalls;
    if (const HWND window = probe.process->Window()) {
        probe.windowSeen = window;
        probe.windowVisible = IsWindowVisible(window) != FALSE;
        probe.caption = TextOf(window);
        probe.text = TextOf(GetDlgItem(window, ProgressTextId));
        probe.closeState = GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
        probe.barStyle = GetWindowLongPtrW(GetDlgItem(window, ProgressBarId), GWL_STYLE);
        GetWindowRect(window, &probe.windowRect);
        MONITORINFO info = {};
        info.cbSize = sizeof(info);
        GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info);
        probe.monitorRect = info.rcMonitor;
    }
    if (probe.preThrows) {
        throw std::bad_alloc();
    }
    if (probe.preCancels) {
        SetEvent(cancelEvent);
    }
    if (probe.preRunsAgain) {
        PatchPlan other;
        probe.runAgainResult = probe.process->Run(other, nullptr, PatchHooks(), L"again", GetModuleHandleW(nullptr));
    }
    if (probe.preClosesWindowAndBlocks) {
        PostMessageW(probe.process->Window(), WM_CLOSE, 0, 0);
        Sleep(60000);
    }
    return probe.preReturns;
}

HRESULT PostHook(HRESULT result, HANDLE, PatchPlan*, PatchHookContext* context)
{
    HookProbe& probe = Probe(context);
    ++probe.postCalls;
    probe.postReceived = result;
    return result == S_OK ? static_cast<HRESULT>(2) : result; // marks that this hook decided
}

class Controller : public EngineFolder {
protected:
    void SetUp() override
    {
        EngineFolder::SetUp();
        m_target = Path(L"vxplay.dll");
        WriteText(m_target, "old");
        m_plan.Append(PatchPlanEntry(PatchCatalog[7], m_target));
        m_probe.process = &m_process;
    }

    HRESULT Run(const PatchHooks& hooks)
    {
        return m_process.Run(m_plan, reinterpret_cast<PatchHookContext*>(&m_probe), hooks, L"Test Caption",
                             GetModuleHandleW(nullptr));
    }

    bool Replaced() { return ReadText(m_target) != L"old"; }

    std::wstring m_target;
    PatchPlan m_plan;
    CPatchProcess m_process;
    HookProbe m_probe;
    const PatchHooks m_both = {PreHook, PostHook};
};

TEST_F(Controller, WithoutHooksTheResultIsTheFileWorks)
{
    EXPECT_EQ(S_OK, Run(PatchHooks()));
    EXPECT_TRUE(Replaced());
}

TEST_F(Controller, HooksBracketTheFileWork)
{
    EXPECT_EQ(2, Run(m_both));
    EXPECT_EQ(1, m_probe.preCalls);
    EXPECT_EQ(1, m_probe.postCalls);
    EXPECT_EQ(S_OK, m_probe.postReceived);
    EXPECT_TRUE(Replaced());
    EXPECT_EQ(S_FALSE, m_process.Stop()) << "the worker was reaped";
}

TEST_F(Controller, AFailedPreHookSkipsTheFileWork)
{
    m_probe.preReturns = E_FAIL;
    EXPECT_EQ(E_FAIL, Run(m_both));
    EXPECT_EQ(E_FAIL, m_probe.postReceived);
    EXPECT_FALSE(Replaced());
}

TEST_F(Controller, ACancelledWorkerSkipsTheFileWork)
{
    m_probe.preCancels = true;
    EXPECT_EQ(E_ABORT, Run(m_both));
    EXPECT_EQ(E_ABORT, m_probe.postReceived);
    EXPECT_FALSE(Replaced());
}

TEST_F(Controller, AnExceptionOnTheWorkerBecomesTheResult)
{
    m_probe.preThrows = true;
    EXPECT_EQ(E_OUTOFMEMORY, Run(m_both));
    EXPECT_EQ(E_OUTOFMEMORY, m_probe.postReceived);
    EXPECT_FALSE(Replaced());
    EXPECT_EQ(E_OUTOFMEMORY, Run(PatchHooks{PreHook, nullptr}));
}

TEST_F(Controller, RunWhileRunningIsRefused)
{
    m_probe.preRunsAgain = true;
    EXPECT_EQ(2, Run(m_both));
    EXPECT_EQ(E_UNEXPECTED, m_probe.runAgainResult);
    EXPECT_TRUE(Replaced()) << "the first run went on with its own plan";
}

TEST_F(Controller, StopWithoutAWorkerChangesNothing)
{
    EXPECT_EQ(S_FALSE, m_process.Stop());
    EXPECT_EQ(S_FALSE, m_process.Stop());
}

TEST_F(Controller, TheFirstRunShowsTheProgressWindowAndLaterRunsDoNot)
{
    EXPECT_EQ(2, Run(m_both));
    ASSERT_NE(nullptr, m_probe.windowSeen) << "needs a display";
    EXPECT_TRUE(m_probe.windowVisible);
    EXPECT_EQ(L"Test Caption", m_probe.caption);
    EXPECT_EQ(ResourceText(IDS_PLEASE_WAIT), m_probe.text);
    EXPECT_EQ(L"Now processing...\nPlease wait for a while.", m_probe.text);
    EXPECT_TRUE(m_probe.closeState & MF_GRAYED) << "the user cannot close it";
    EXPECT_TRUE(m_probe.barStyle & PBS_MARQUEE);
    const POINT centred = CentredPosition(m_probe.monitorRect, m_probe.windowRect);
    EXPECT_EQ(centred.x, m_probe.windowRect.left);
    EXPECT_EQ(centred.y, m_probe.windowRect.top);
    EXPECT_FALSE(IsWindow(m_probe.windowSeen)) << "destroyed after the run";

    HookProbe second;
    CPatchProcess other;
    second.process = &other;
    EXPECT_EQ(2, other.Run(m_plan, reinterpret_cast<PatchHookContext*>(&second), m_both, L"Second",
                           GetModuleHandleW(nullptr)));
    EXPECT_EQ(1, second.preCalls);
    EXPECT_EQ(nullptr, second.windowSeen);
}

TEST_F(Controller, AWorkerStuckAfterThePumpEndsIsTerminated)
{
    m_probe.preClosesWindowAndBlocks = true;
    const DWORD started = GetTickCount();
    EXPECT_EQ(S_FALSE, Run(m_both)) << "the pump ended before the worker stored a result";
    EXPECT_GE(GetTickCount() - started, 9500u) << "ten seconds' grace";
    EXPECT_LT(GetTickCount() - started, 30000u) << "then terminated, not waited for";
    EXPECT_EQ(0, m_probe.postCalls);
    EXPECT_FALSE(Replaced());
}

TEST(CentredPosition, HalvesRoundTowardZeroSeparately)
{
    const RECT monitor = {0, 0, 1025, 769};
    const RECT window = {10, 10, 10 + 377, 10 + 101};
    const POINT p = CentredPosition(monitor, window);
    EXPECT_EQ(512 - 188, p.x);
    EXPECT_EQ(384 - 50, p.y);
    const RECT second = {-1280, 0, 0, 1024};
    EXPECT_EQ(-1280 + 640 - 188, CentredPosition(second, window).x);
}

} // namespace
