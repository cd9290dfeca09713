#pragma once
// Staging and expansion: each payload is written from the program's "PATCH"
// resources into a private staging folder and expanded with the system's LZ
// functions, its SHA-256 computed on the way.
//
// The staging folder lies under the user's temporary folder, which the user
// controls. So the folder is made fresh by this run and held open while the
// run works in it: nobody can rename, replace or redirect it, and every file
// in it is made through the held folder, never by path. Files and folder are
// deleted when closed, so even a run that is killed leaves nothing behind.

#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "plan/update_plan.h"

// The staging folder's security: full control for Administrators and SYSTEM,
// inherited by everything inside, nothing inherited from the user's
// temporary folder. Empty when it cannot be built.
[[nodiscard]] CLocalMemory MakeStagingSecurityDescriptor() noexcept;

// The full path of the program's own file; false when it cannot be had.
[[nodiscard]] bool GetModulePath(std::wstring& path);

// "\??\C:\..." or "\??\UNC\server\share\..." for a full Win32 path.
std::wstring NtPathOf(const std::wstring& path);

class CStagingFolder {
public:
    CStagingFolder() noexcept = default;
    CStagingFolder(const CStagingFolder&) = delete;
    CStagingFolder& operator=(const CStagingFolder&) = delete;

    // Makes the user's temporary folder if it is missing, then a new folder
    // "<temp>\<name>.tmp" (or the first free "<name>.tmp.<n>", n up to 100),
    // open to Administrators and SYSTEM only, and holds it. A name that
    // exists in any form (file, folder, link) is never used. Fails with
    // 0x800700B7 when every name is taken, or with the failure to make one.
    [[nodiscard]] HRESULT Create(const std::wstring& name);

    // Makes a new file in the folder, open for reading and writing, deleted
    // when its handle closes.
    [[nodiscard]] HRESULT CreateScratchFile(const std::wstring& fileName, CUniqueFileHandle& file) const;

    // The folder as it was made, with its final backslash.
    const std::wstring& Path() const noexcept { return m_path; }

    // Lets go of the folder, which goes with it (it is deleted on close), and
    // removes empty staging folders that killed runs left under its names.
    void Close() noexcept;
    ~CStagingFolder() { Close(); }

private:
    CUniqueFileHandle m_folder;
    std::wstring m_path;
    std::wstring m_base; // "<temp>\<name>.tmp"
};

// The system's LZ expand functions, loaded from System32 once for a run.
class CLzFunctions {
public:
    CLzFunctions() noexcept;
    [[nodiscard]] bool Available() const noexcept { return m_init && m_read && m_close && m_open && m_copy; }

    using InitFn = INT(WINAPI*)(INT);
    using ReadFn = INT(WINAPI*)(INT, LPSTR, INT);
    using CloseFn = void(WINAPI*)(INT);
    using OpenFn = INT(WINAPI*)(LPWSTR, LPOFSTRUCT, WORD);
    using CopyFn = LONG(WINAPI*)(INT, INT);

private:
    CUniqueLibrary m_library;

public:
    const InitFn m_init;
    const ReadFn m_read;
    const CloseFn m_close;
    const OpenFn m_open;
    const CopyFn m_copy;
};

// Expands an SZDD file into another with the system's LZ32 functions (used
// by the build's payload check). S_OK, or 0x8007006E when they are missing
// or fail.
[[nodiscard]] HRESULT ExpandPayloadFile(const std::wstring& compressedPath, const std::wstring& expandedPath);

// Writes the row's payload into the staging folder, expands it into
// `destination` (open for writing, at its start) and computes the SHA-256 of
// what it wrote. S_OK, or the failure (0x8007006E when the LZ functions fail,
// the resource failure when the payload is missing).
[[nodiscard]] HRESULT ExpandPayload(const CStagingFolder& staging, const CLzFunctions& lz, const PatchPlanEntry& row,
                                    HMODULE module, HANDLE destination, PayloadDigest& digest);
