#include "engine/file_replacement.h"

#include "common/hresult.h"
#include "common/system_library.h"
#include "common/unique_handle.h"
#include "common/strings.h"

namespace {

constexpr DWORD BlockingAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

CUniqueFileHandle OpenForAttributes(const std::wstring& path) noexcept
{
    return CUniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadBasicInfo(const FileInfoFunctions& functions, HANDLE file, FILE_BASIC_INFO& info) noexcept
{
    info = FILE_BASIC_INFO();
    return functions.getInformation(file, FileBasicInfo, &info, sizeof(info)) != FALSE;
}

// Clears read-only and hidden on the target and gives the source the target's
// attributes (less encryption). Returns whether the target's attributes were read.
bool CarryAttributesByHandle(const std::wstring& target, const std::wstring& source,
                             const FileInfoFunctions& functions, DWORD& targetAttributes) noexcept
{
    {
        const CUniqueFileHandle file = OpenForAttributes(target);
        if (!file) {
            return false;
        }
        FILE_BASIC_INFO info;
        if (!ReadBasicInfo(functions, file.Get(), info)) {
            return false;
        }
        targetAttributes = info.FileAttributes;
        if (targetAttributes & BlockingAttributes) {
            info.FileAttributes &= ~BlockingAttributes;
            functions.setInformation(file.Get(), FileBasicInfo, &info, sizeof(info));
        }
    }
    const CUniqueFileHandle file = OpenForAttributes(source);
    FILE_BASIC_INFO info;
    if (file && ReadBasicInfo(functions, file.Get(), info)) {
        info.FileAttributes = targetAttributes & ~FILE_ATTRIBUTE_ENCRYPTED;
        functions.setInformation(file.Get(), FileBasicInfo, &info, sizeof(info));
    }
    return true;
}

bool CarryAttributesByPath(const std::wstring& target, const std::wstring& source, DWORD& targetAttributes) noexcept
{
    targetAttributes = GetFileAttributesW(target.c_str());
    if (targetAttributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    if (targetAttributes & BlockingAttributes) {
        SetFileAttributesW(target.c_str(), targetAttributes & ~BlockingAttributes);
    }
    SetFileAttributesW(source.c_str(), targetAttributes & ~FILE_ATTRIBUTE_ENCRYPTED);
    return true;
}

// CopyFileW carries the source's attributes on Windows but not on every
// system that stands in for it; set them on the copy so the result is the same.
HRESULT CopyOver(const std::wstring& source, const std::wstring& target, bool haveAttributes,
                 DWORD targetAttributes) noexcept
{
    if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        return HResultFromLastError();
    }
    if (haveAttributes) {
        SetFileAttributesW(target.c_str(), targetAttributes & ~FILE_ATTRIBUTE_ENCRYPTED);
    }
    return S_OK;
}

} // namespace

FileInfoFunctions SystemFileInfoFunctions() noexcept
{
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    FileInfoFunctions functions;
    functions.getInformation = LookupFunction<FileInfoFunctions::GetFn>(kernel32, "GetFileInformationByHandleEx");
    functions.setInformation = LookupFunction<FileInfoFunctions::SetFn>(kernel32, "SetFileInformationByHandle");
    return functions;
}

std::wstring AsideName(const std::wstring& target, DWORD processId, DWORD tickCount)
{
    std::wstring aside;
    FormatText(aside, L"%s.tmp.%d-%d", target.c_str(), static_cast<int>(processId), static_cast<int>(tickCount));
    return aside;
}

HRESULT ReplaceTargetFile(const std::wstring& target, const std::wstring& source)
{
    return ReplaceTargetFile(target, source, SystemFileInfoFunctions());
}

HRESULT ReplaceTargetFile(const std::wstring& target, const std::wstring& source, const FileInfoFunctions& functions)
{
    DWORD targetAttributes = 0;
    const bool haveAttributes = functions.getInformation && functions.setInformation
                                    ? CarryAttributesByHandle(target, source, functions, targetAttributes)
                                    : CarryAttributesByPath(target, source, targetAttributes);

    HRESULT result = CopyOver(source, target, haveAttributes, targetAttributes);
    if (result != HResultFromWin32(ERROR_SHARING_VIOLATION)) {
        return result;
    }

    // In use: move the old file aside within its folder, have Windows delete
    // it at the next restart, and copy into the freed name.
    const std::wstring aside = AsideName(target, GetCurrentProcessId(), GetTickCount());
    if (!MoveFileW(target.c_str(), aside.c_str())) {
        return HResultFromLastError();
    }
    MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    result = CopyOver(source, target, haveAttributes, targetAttributes);
    if (FAILED(result)) {
        MoveFileW(aside.c_str(), target.c_str());
    }
    return result;
}
