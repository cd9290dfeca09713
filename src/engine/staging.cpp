#include "common/paths.h"
#include "engine/staging.h"

#include <sddl.h>
#include <shlwapi.h>

#include <vector>

#include "common/hresult.h"
#include "common/system_library.h"
#include "common/unique_handle.h"
#include "engine/file_replacement.h"
#include "common/strings.h"

namespace {

constexpr const wchar_t* StagingSecurity = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
constexpr unsigned MaxStagingAttempts = 100;

std::wstring FileNamePart(const std::wstring& path)
{
    return PathFindFileNameW(path.c_str());
}

// The system's LZ expand functions, from System32.
class CLzFunctions {
public:
    using OpenFn = INT(WINAPI*)(LPWSTR, LPOFSTRUCT, WORD);
    using CopyFn = LONG(WINAPI*)(INT, INT);
    using CloseFn = void(WINAPI*)(INT);

    CLzFunctions()
        : m_library(LoadSystemLibrary(L"lz32.dll"))
        , open(LookupFunction<OpenFn>(m_library.Get(), "LZOpenFileW"))
        , copy(LookupFunction<CopyFn>(m_library.Get(), "LZCopy"))
        , close(LookupFunction<CloseFn>(m_library.Get(), "LZClose"))
    {
    }
    bool Available() const noexcept { return open && copy && close; }

private:
    CUniqueLibrary m_library;

public:
    const OpenFn open;
    const CopyFn copy;
    const CloseFn close;
};

} // namespace

HRESULT ExpandPayloadFile(const std::wstring& compressedPath, const std::wstring& expandedPath)
{
    const HRESULT openFailed = HResultFromWin32(ERROR_OPEN_FAILED);
    const CLzFunctions lz;
    if (!lz.Available()) {
        return openFailed;
    }
    OFSTRUCT sourceInfo = {};
    OFSTRUCT targetInfo = {};
    sourceInfo.cBytes = sizeof(sourceInfo);
    targetInfo.cBytes = sizeof(targetInfo);
    std::wstring source = compressedPath;
    std::wstring target = expandedPath;
    const INT sourceFile = lz.open(&source[0], &sourceInfo, OF_READ | OF_SHARE_EXCLUSIVE);
    const INT targetFile = lz.open(&target[0], &targetInfo, OF_CREATE | OF_SHARE_EXCLUSIVE | OF_WRITE);
    if (sourceFile < 0 || targetFile < 0) {
        if (sourceFile >= 0) {
            lz.close(sourceFile);
        }
        if (targetFile >= 0) {
            lz.close(targetFile);
        }
        return openFailed;
    }
    const LONG copied = lz.copy(sourceFile, targetFile);
    lz.close(sourceFile);
    lz.close(targetFile);
    return copied < 0 ? openFailed : S_OK;
}

namespace {

void StampFileTime(const std::wstring& path, const PatchFileTime& time) noexcept
{
    const CUniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    SYSTEMTIME system = {};
    system.wYear = time.year;
    system.wMonth = time.month;
    system.wDay = time.day;
    system.wHour = time.hour;
    system.wMinute = time.minute;
    system.wSecond = time.second;
    system.wMilliseconds = time.millisecond;
    FILETIME stamp;
    if (SystemTimeToFileTime(&system, &stamp)) {
        SetFileTime(file.Get(), &stamp, &stamp, &stamp);
    }
}

HRESULT WritePayload(const std::wstring& path, const void* bytes, DWORD size)
{
    const CUniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) {
        return HResultFromLastError();
    }
    SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file.Get());
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes, size, &written, nullptr)) {
        return HResultFromLastError();
    }
    // A short write would leave a payload that expands to the wrong file.
    return written == size ? S_OK : HResultFromWin32(ERROR_WRITE_FAULT);
}

bool IsHelpRow(const PatchPlanEntry& row) noexcept
{
    return row.resourceId >= FirstHelpResourceId && row.resourceId <= LastHelpResourceId;
}

void DeleteStagedFile(const std::wstring& path) noexcept
{
    if (!DeleteFileW(path.c_str())) {
        // It may carry the read-only attribute of the target it was copied over.
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
}

} // namespace

CLocalMemory MakeStagingSecurityDescriptor() noexcept
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(StagingSecurity, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return CLocalMemory();
    }
    return CLocalMemory(descriptor);
}

bool GetModulePath(std::wstring& path)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            path.assign(buffer.data(), length);
            path.resize(wcsnlen(path.c_str(), path.size()));
            return !path.empty();
        }
        buffer.resize(buffer.size() + buffer.size() / 2);
    }
}

std::wstring CreateStagingFolder(const std::wstring& stagingName)
{
    const DWORD needed = GetTempPathW(0, nullptr);
    if (needed == 0) {
        throw CHResultError(E_INVALIDARG);
    }
    std::vector<wchar_t> buffer(needed + 1);
    const DWORD length = GetTempPathW(needed + 1, buffer.data());
    if (length == 0 || length > needed) {
        throw CHResultError(E_INVALIDARG);
    }
    std::wstring base(buffer.data(), length);
    if (base.back() != L'\\') {
        base += L'\\';
    }
    base += stagingName + L".tmp";

    const CLocalMemory descriptor = MakeStagingSecurityDescriptor();
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor.Get(), FALSE};

    // CreateDirectoryW fails on any existing name, a junction included, so the
    // folder used is always the one made here.
    std::wstring folder = base;
    for (unsigned attempt = 1; attempt <= MaxStagingAttempts; ++attempt) {
        if (CreateDirectoryW(MakeLongPath(folder).c_str(), descriptor ? &security : nullptr)) {
            return folder + L"\\";
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
        folder = base + L"." + std::to_wstring(attempt);
    }
    // No folder: each row fails when it creates its first file there.
    return base + L"\\";
}

HRESULT ExtractPayload(const std::wstring& stagingFolder, const PatchPlanEntry& row, HMODULE module,
                       std::wstring& expandedPath)
{
    expandedPath.clear();
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(static_cast<WORD>(row.resourceId)), L"PATCH");
    if (!resource) {
        return HResultFromLastError();
    }
    const std::wstring fileName = FileNamePart(row.fileName.Get());
    const DWORD size = SizeofResource(module, resource);
    const HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        return HResultFromLastError();
    }
    const std::wstring compressedPath = MakeLongPath(stagingFolder + fileName + L".tmp");
    const std::wstring expanded = MakeLongPath(stagingFolder + fileName);

    HRESULT result = WritePayload(compressedPath, bytes, size);
    if (SUCCEEDED(result)) {
        result = ExpandPayloadFile(compressedPath, expanded);
        if (SUCCEEDED(result)) {
            StampFileTime(expanded, row.fileTime);
            expandedPath = expanded;
        }
    }
    DeleteFileW(compressedPath.c_str());
    return result;
}

HRESULT ReplaceHelpFile(const std::wstring& target, const std::wstring& source, const ReplaceFunction& replace)
{
    const std::wstring aside = AsideName(target, GetCurrentProcessId(), GetTickCount());
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool movedAside = MoveFileW(target.c_str(), aside.c_str()) != FALSE;
    const HRESULT result = replace(target, source);
    if (!movedAside) {
        return result;
    }
    if (FAILED(result)) {
        MoveFileW(aside.c_str(), target.c_str());
        return result;
    }
    // The new file keeps the attributes the old one had, as an overwrite would.
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_ENCRYPTED);
    }
    if (!DeleteFileW(aside.c_str())) {
        SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(aside.c_str())) {
            MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
    }
    return result;
}

HRESULT ApplyPatchPlan(const PatchPlan& plan, HMODULE module)
{
    std::wstring modulePath;
    std::wstring stagingName;
    if (GetModulePath(modulePath)) {
        stagingName = FileNamePart(modulePath);
    }
    if (stagingName.empty()) {
        FormatText(stagingName, L"%x.%08x", GetCurrentProcessId(), GetTickCount());
    }
    const std::wstring stagingFolder = CreateStagingFolder(stagingName);

    const DWORD count = plan.Count();
    HRESULT result = S_OK;
    const ReplaceFunction replace = [](const std::wstring& target, const std::wstring& source) {
        return ReplaceTargetFile(target, source);
    };
    for (DWORD i = 0; i < count && SUCCEEDED(result); ++i) {
        const PatchPlanEntry& row = plan[i];
        std::wstring expanded;
        result = ExtractPayload(stagingFolder, row, module, expanded);
        if (FAILED(result)) {
            break;
        }
        const std::wstring& target = row.fileName.Get();
        const HRESULT replaced = IsHelpRow(row) && !target.empty() ? ReplaceHelpFile(target, expanded, replace)
                                                                   : ReplaceTargetFile(target, expanded);
        if (FAILED(replaced)) {
            result = replaced;
        }
        DeleteStagedFile(expanded);
    }
    if (!stagingFolder.empty()) {
        RemoveDirectoryW(MakeLongPath(stagingFolder).c_str());
    }
    return result;
}
