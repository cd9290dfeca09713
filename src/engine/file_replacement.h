#pragma once
// Copies one expanded payload over its target, keeping the target's file
// attributes. A target in use is moved aside within its folder, scheduled for
// deletion at the next restart, and the new file copied into the freed name.

#include <windows.h>

#include <string>

// The handle-based file information functions, looked up at run time; either
// may be missing on old systems, and the attributes then go by path.
struct FileInfoFunctions {
    using GetFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    using SetFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    GetFn getInformation = nullptr;
    SetFn setInformation = nullptr;
};

// kernel32's functions, when it has them.
FileInfoFunctions SystemFileInfoFunctions() noexcept;

// "<target>.tmp.<process id>-<tick count>", both numbers signed decimal.
std::wstring AsideName(const std::wstring& target, DWORD processId, DWORD tickCount);

// S_OK when `target` now holds `source`'s content, else the failure HRESULT.
[[nodiscard]] HRESULT ReplaceTargetFile(const std::wstring& target, const std::wstring& source);
[[nodiscard]] HRESULT ReplaceTargetFile(const std::wstring& target, const std::wstring& source, const FileInfoFunctions& functions);
