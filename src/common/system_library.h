#pragma once
// The program runs elevated, often from a download folder that anybody may
// write to. No library may be found beside the program: everything loaded at
// run time comes from the system folder, by full path.

#include <windows.h>

#include "common/unique_handle.h"

// Restricts the process's DLL search to the system folder. Call first thing.
// Systems without SetDefaultDllDirectories still lose the current folder from
// the search; the program folder is then avoided by LoadSystemLibrary's full paths.
void RestrictDllSearchToSystem32() noexcept;

// Loads `fileName` (a bare name such as L"version.dll") from the system folder
// only. An empty holder when it is not there; GetLastError tells why.
[[nodiscard]] CUniqueLibrary LoadSystemLibrary(const wchar_t* fileName) noexcept;

// Looks up an export and casts it to the caller's function type.
template <typename Function> Function LookupFunction(HMODULE module, const char* name) noexcept
{
    if (!module) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
