#include "engine/file_replacement.h"

#include "common/hresult.h"
#include "common/strings.h"
#include "common/system_library.h"
#include "common/unique_handle.h"

namespace {

constexpr DWORD KeptAttributes = ~static_cast<DWORD>(FILE_ATTRIBUTE_ENCRYPTED);

bool SetAttributesByHandle(const std::wstring& path, DWORD attributes, const FileInfoFunctions& functions) noexcept
{
    if (!functions.getInformation || !functions.setInformation) {
        return false;
    }
    const CUniqueFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_BASIC_INFO info = {};
    if (!file || !functions.getInformation(file.Get(), FileBasicInfo, &info, sizeof(info))) {
        return false;
    }
    // Zero times are left as they are.
    info.CreationTime.QuadPart = 0;
    info.LastAccessTime.QuadPart = 0;
    info.LastWriteTime.QuadPart = 0;
    info.ChangeTime.QuadPart = 0;
    info.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (info.FileAttributes == 0) {
        info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    if (!functions.setInformation(file.Get(), FileBasicInfo, &info, sizeof(info))) {
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        info.FileAttributes = attributes;
        return functions.setInformation(file.Get(), FileBasicInfo, &info, sizeof(info)) != FALSE;
    }
    return true;
}

bool SetAttributesByPath(const std::wstring& path, DWORD attributes) noexcept
{
    const DWORD first = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (!SetFileAttributesW(path.c_str(), first != 0 ? first : FILE_ATTRIBUTE_NORMAL)) {
        return false;
    }
    return (attributes & FILE_ATTRIBUTE_READONLY) == 0 || SetFileAttributesW(path.c_str(), attributes);
}

bool IsMissing(DWORD error) noexcept
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

ReplacementNames NamesFor(const std::wstring& target, DWORD processId, DWORD tickCount)
{
    ReplacementNames names;
    names.target = target;
    FormatText(names.fresh, L"%s.new.%d-%d", target.c_str(), static_cast<int>(processId), static_cast<int>(tickCount));
    names.backup = AsideName(target, processId, tickCount);
    return names;
}

std::wstring AsideName(const std::wstring& target, DWORD processId, DWORD tickCount)
{
    std::wstring aside;
    FormatText(aside, L"%s.tmp.%d-%d", target.c_str(), static_cast<int>(processId), static_cast<int>(tickCount));
    return aside;
}

FileInfoFunctions SystemFileInfoFunctions() noexcept
{
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    FileInfoFunctions functions;
    functions.getInformation = LookupFunction<FileInfoFunctions::GetFn>(kernel32, "GetFileInformationByHandleEx");
    functions.setInformation = LookupFunction<FileInfoFunctions::SetFn>(kernel32, "SetFileInformationByHandle");
    return functions;
}

bool SetAttributes(const std::wstring& path, DWORD attributes, const FileInfoFunctions& functions)
{
    attributes &= KeptAttributes;
    return SetAttributesByHandle(path, attributes, functions) || SetAttributesByPath(path, attributes);
}

bool PathExists(const std::wstring& path) noexcept
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DeleteOurFile(const std::wstring& path) noexcept
{
    if (DeleteFileW(path.c_str()) || IsMissing(GetLastError())) {
        return true;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) || IsMissing(GetLastError());
}

HRESULT CommitReplacement(const ReplacementNames& names)
{
    return CommitReplacement(names, SystemFileInfoFunctions());
}

HRESULT CommitReplacement(const ReplacementNames& names, const FileInfoFunctions& functions)
{
    const DWORD attributes = GetFileAttributesW(names.target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A plan row's target exists; one that went away since is not made anew.
        return HResultFromLastError();
    }
    // The new file carries the old one's attributes before it takes its name,
    // so the target is never seen without them.
    if (!SetAttributes(names.fresh, attributes, functions)) {
        return HResultFromLastError();
    }
    // A file in use may still be renamed within its folder; it stays the
    // backup until the update is decided.
    if (!MoveFileExW(names.target.c_str(), names.backup.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return HResultFromLastError();
    }
    if (!MoveFileExW(names.fresh.c_str(), names.target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const HRESULT result = HResultFromLastError();
        MoveFileExW(names.backup.c_str(), names.target.c_str(), MOVEFILE_WRITE_THROUGH);
        return result;
    }
    return S_OK;
}

HRESULT UndoReplacement(const ReplacementNames& names)
{
    HRESULT result = S_OK;
    if (PathExists(names.backup)) {
        // The file under the target's name, if any, is the new one.
        if (PathExists(names.target) && !DeleteOurFile(names.target)) {
            result = HResultFromLastError();
        } else if (!MoveFileExW(names.backup.c_str(), names.target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            result = HResultFromLastError();
        }
    }
    // The new file is ours alone: it goes whatever happened to the old one.
    if (!DeleteOurFile(names.fresh) && SUCCEEDED(result)) {
        result = HResultFromLastError();
    }
    return result;
}

HRESULT FinishReplacement(const ReplacementNames& names)
{
    if (PathExists(names.fresh)) {
        if (!PathExists(names.target)) {
            if (!MoveFileExW(names.fresh.c_str(), names.target.c_str(), MOVEFILE_WRITE_THROUGH)) {
                return HResultFromLastError();
            }
        } else if (!DeleteOurFile(names.fresh)) {
            return HResultFromLastError();
        }
    }
    if (!PathExists(names.target)) {
        return HResultFromWin32(ERROR_FILE_NOT_FOUND);
    }
    if (!DeleteOurFile(names.backup)) {
        // Still loaded by a program: Windows deletes it at the next restart.
        if (!MoveFileExW(names.backup.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            return HResultFromLastError();
        }
    }
    return S_OK;
}
