#include "common/system_library.h"

#include <string>

namespace {

// kernel32 is always loaded and always comes from the system folder.
HMODULE Kernel32() noexcept
{
    return GetModuleHandleW(L"kernel32.dll");
}

} // namespace

void RestrictDllSearchToSystem32() noexcept
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);

    if (const auto setDefault = LookupFunction<SetDefaultDllDirectoriesFn>(Kernel32(), "SetDefaultDllDirectories")) {
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // An empty string removes the current folder from the search order.
    if (const auto setDirectory = LookupFunction<SetDllDirectoryFn>(Kernel32(), "SetDllDirectoryW")) {
        setDirectory(L"");
    }
}

CUniqueLibrary LoadSystemLibrary(const wchar_t* fileName) noexcept
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return CUniqueLibrary();
    }
    try {
        std::wstring path(folder, length);
        if (path.back() != L'\\') {
            path += L'\\';
        }
        path += fileName;
        // A full path is never searched for; the altered search path makes the
        // library's own dependencies resolve from its folder, the system folder.
        return CUniqueLibrary(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return CUniqueLibrary();
    }
}
