#include "engine/progress_window.h"

#include <commctrl.h>

#include "common/system_library.h"
#include "engine/patch_process.h"
#include "common/message_ids.h"
#include "common/strings.h"

namespace {

// The controller whose window this is; set once, never cleared.
CPatchProcess* ProgressWindowOwner = nullptr;

HICON LoadWindowIcon(HMODULE module, UINT iconId, int widthMetric, int heightMetric) noexcept
{
    return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON, GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

// Common controls 6 (the marquee bar) come through the manifest's activation
// context; a name-only load with the search restricted to System32 gets them
// from there and never from the program's folder.
CUniqueLibrary LoadCommonControls() noexcept
{
    CUniqueLibrary library(LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library) {
        library = LoadSystemLibrary(L"comctl32.dll");
    }
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    if (const auto init = LookupFunction<InitFn>(library.Get(), "InitCommonControlsEx")) {
        const INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_PROGRESS_CLASS};
        init(&classes);
    }
    return library;
}

void Centre(HWND window) noexcept
{
    RECT rect;
    if (!GetWindowRect(window, &rect)) {
        return;
    }
    const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!monitor || !GetMonitorInfoW(monitor, &info)) {
        return;
    }
    const POINT position = CentredPosition(info.rcMonitor, rect);
    SetWindowPos(window, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

} // namespace

POINT CentredPosition(const RECT& monitor, const RECT& window) noexcept
{
    const LONG monitorWidth = monitor.right - monitor.left;
    const LONG monitorHeight = monitor.bottom - monitor.top;
    const LONG windowWidth = window.right - window.left;
    const LONG windowHeight = window.bottom - window.top;
    return {monitor.left + monitorWidth / 2 - windowWidth / 2, monitor.top + monitorHeight / 2 - windowHeight / 2};
}

bool CreateProgressWindow(CPatchProcess& process, HMODULE module)
{
    if (ProgressWindowOwner) {
        process.m_window = nullptr;
        return false;
    }
    ProgressWindowOwner = &process;
    if (!process.m_bigIcon) {
        process.m_bigIcon.Reset(LoadWindowIcon(module, process.m_iconId, SM_CXICON, SM_CYICON));
    }
    if (!process.m_smallIcon) {
        process.m_smallIcon.Reset(LoadWindowIcon(module, process.m_iconId, SM_CXSMICON, SM_CYSMICON));
    }
    process.m_commonControls = LoadCommonControls();

    process.m_window = nullptr;
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(ProgressDialogId), RT_DIALOG);
    const HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const auto* dialogTemplate = loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
    if (dialogTemplate) {
        process.m_window = CreateDialogIndirectParamW(module, dialogTemplate, nullptr, ProgressDialogProc, 0);
    }
    if (process.m_window) {
        if (const HWND bar = GetDlgItem(process.m_window, ProgressBarId)) {
            SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            SendMessageW(bar, PBM_SETPOS, 0, 0);
            SendMessageW(bar, PBM_SETMARQUEE, TRUE, 0);
        }
    }
    return process.m_window != nullptr;
}

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG) {
        return FALSE;
    }
    if (const HMENU menu = GetSystemMenu(window, FALSE)) {
        EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    }
    const CPatchProcess* owner = ProgressWindowOwner;
    try {
        SetWindowTextW(window, owner ? owner->m_caption.c_str() : L"");
        SetDlgItemTextW(window, ProgressTextId, ResourceText(IDS_PLEASE_WAIT).c_str());
    } catch (...) {
        // No memory for the texts: the window shows without them.
    }
    if (owner && owner->m_bigIcon) {
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(owner->m_bigIcon.Get()));
    }
    if (owner && owner->m_smallIcon) {
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(owner->m_smallIcon.Get()));
    }
    Centre(window);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW);
    return TRUE;
}

void DestroyProgressWindow(CPatchProcess& process)
{
    if (process.m_window) {
        if (DestroyWindow(process.m_window)) {
            process.m_window = nullptr;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    process.m_bigIcon.Reset();
    process.m_smallIcon.Reset();
    process.m_commonControls.Reset();
}
