#pragma once
// The small progress window the user sees while the worker installs the
// files: the caption, a request to wait in the user's language, and a marquee
// bar. The user cannot close it; it goes when the worker is done.

#include <windows.h>

class CPatchProcess;

constexpr WORD ProgressDialogId = 1000;
constexpr int ProgressTextId = 1100;
constexpr int ProgressBarId = 1101;

// Sets the controller's window; false when there is none. Only the first
// controller in a process gets a window.
[[nodiscard]] bool CreateProgressWindow(CPatchProcess& process, HMODULE module);
INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Destroys the controller's window and icons, and drains the thread's queue.
void DestroyProgressWindow(CPatchProcess& process);

// Where a window of this size goes to be centred on a monitor.
POINT CentredPosition(const RECT& monitor, const RECT& window) noexcept;
