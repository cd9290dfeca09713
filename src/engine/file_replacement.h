#pragma once
// Replacing one target file, in steps that can each be undone. The new file
// is made beside the target under a name of its own; the old file is moved
// aside in the same folder and kept as the backup; the new file is renamed
// into the target's name. Until the whole update is decided, every step can
// be reversed from what is on disk, so a failure, or a run killed at any
// instant, never leaves a target missing or half written.

#include <windows.h>

#include <string>

// The three names a replacement works with, all in the target's folder.
struct ReplacementNames {
    std::wstring target;
    std::wstring fresh;  // the new file until it takes the target's name
    std::wstring backup; // the old file once it has made room
};

// "<target>.new.<process id>-<tick count>" and "<target>.tmp.<process
// id>-<tick count>", both numbers signed decimal.
ReplacementNames NamesFor(const std::wstring& target, DWORD processId, DWORD tickCount);
std::wstring AsideName(const std::wstring& target, DWORD processId, DWORD tickCount);

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

// Gives `path` the attributes `attributes` (less encryption). Read-only is
// set last, as a file that is already read-only may refuse other changes; by
// handle where the functions allow it, else, or when the handle route is
// refused, by path.
[[nodiscard]] bool SetAttributes(const std::wstring& path, DWORD attributes, const FileInfoFunctions& functions);

// Moves the target aside to its backup name and renames the fresh file into
// its place (write-through), with the old file's attributes. On failure
// nothing has changed: the old file is back under the target's name.
[[nodiscard]] HRESULT CommitReplacement(const ReplacementNames& names);
[[nodiscard]] HRESULT CommitReplacement(const ReplacementNames& names, const FileInfoFunctions& functions);

// Undoes whatever part of a replacement is on disk: a backup goes back under
// the target's name (the new file there is removed first), and a fresh file
// left over is removed. Safe to repeat. S_OK, or the failure that stopped it.
[[nodiscard]] HRESULT UndoReplacement(const ReplacementNames& names);

// Completes a replacement once the update is decided: a fresh file still
// beside a missing target takes its name, and the backup is deleted, or, when
// it is in use, deleted at the next restart of Windows. Safe to repeat.
[[nodiscard]] HRESULT FinishReplacement(const ReplacementNames& names);

// Deletes a file of ours, clearing read-only and hidden when they stand in the
// way. True when it is gone (or was never there).
bool DeleteOurFile(const std::wstring& path) noexcept;

// True when `path` names an existing file or folder.
bool PathExists(const std::wstring& path) noexcept;
