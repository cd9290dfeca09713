#include "engine/staging.h"

#include <sddl.h>
#include <winternl.h>

#include <vector>

#include "common/hresult.h"
#include "common/paths.h"
#include "common/system_library.h"
#include "engine/payload_digest.h"

namespace {

constexpr const wchar_t* StagingSecurity = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
constexpr unsigned MaxStagingAttempts = 100;

// NtCreateFile's dispositions and options.
constexpr ULONG CreateNew = 0x00000002;
constexpr ULONG DirectoryFile = 0x00000001;
constexpr ULONG NonDirectoryFile = 0x00000040;
constexpr ULONG SynchronousIo = 0x00000020;
constexpr ULONG DeleteOnClose = 0x00001000;
constexpr ULONG OpenReparsePoint = 0x00200000;
constexpr ULONG CaseInsensitive = 0x00000040;

// Creates a file or folder that did not exist, and opens it in one step, so
// no other program can put something else in its place in between. A null
// `root` makes `name` a full NT path, else a name inside the folder `root`.
HRESULT CreateNewObject(HANDLE root, const std::wstring& name, PSECURITY_DESCRIPTOR security, ULONG options,
                        ULONG share, CUniqueFileHandle& created) noexcept
{
    using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                            ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
    using ToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto create = LookupFunction<NtCreateFileFn>(ntdll, "NtCreateFile");
    const auto toDosError = LookupFunction<ToDosErrorFn>(ntdll, "RtlNtStatusToDosError");
    if (!create || !toDosError) {
        return HResultFromWin32(ERROR_PROC_NOT_FOUND);
    }
    if (name.empty() || name.size() > 32000) {
        return HResultFromWin32(ERROR_FILENAME_EXCED_RANGE);
    }
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<PWSTR>(name.c_str());
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof(attributes);
    attributes.RootDirectory = root;
    attributes.ObjectName = &objectName;
    attributes.Attributes = CaseInsensitive;
    attributes.SecurityDescriptor = security;
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    const NTSTATUS status =
        create(&handle, GENERIC_READ | GENERIC_WRITE | DELETE | SYNCHRONIZE, &attributes, &io, nullptr,
               FILE_ATTRIBUTE_NORMAL, share, CreateNew, options | SynchronousIo | DeleteOnClose, nullptr, 0);
    if (status < 0) {
        const ULONG error = toDosError(status);
        return HResultFromWin32(error != 0 ? error : ERROR_GEN_FAILURE);
    }
    created.Reset(handle);
    return S_OK;
}

// Makes every missing folder of `folder` ("C:\a\b\" or "\\server\share\a\").
HRESULT MakeFolderPath(const std::wstring& folder)
{
    std::size_t start = 3; // after "C:\"
    if (folder.compare(0, 2, L"\\\\") == 0) {
        const std::size_t server = folder.find(L'\\', 2);
        start = server == std::wstring::npos ? folder.size() : folder.find(L'\\', server + 1);
        start = start == std::wstring::npos ? folder.size() : start + 1;
    }
    for (std::size_t at = folder.find(L'\\', start); at != std::wstring::npos; at = folder.find(L'\\', at + 1)) {
        const std::wstring part = MakeLongPath(folder.substr(0, at));
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return HResultFromLastError();
        }
    }
    return S_OK;
}

HRESULT WriteAll(HANDLE file, const void* bytes, DWORD size) noexcept
{
    const BYTE* next = static_cast<const BYTE*>(bytes);
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(file, next, size, &written, nullptr)) {
            return HResultFromLastError();
        }
        if (written == 0) {
            // A short write would leave a file that is not the payload.
            return HResultFromWin32(ERROR_WRITE_FAULT);
        }
        next += written;
        size -= written;
    }
    return S_OK;
}

// An open LZ handle, closed with the run's LZ functions.
class CLzHandle {
public:
    CLzHandle(const CLzFunctions& lz, INT handle) noexcept : m_lz(lz), m_handle(handle) {}
    ~CLzHandle()
    {
        if (m_handle >= 0) {
            m_lz.m_close(m_handle);
        }
    }
    CLzHandle(const CLzHandle&) = delete;
    CLzHandle& operator=(const CLzHandle&) = delete;
    INT Get() const noexcept { return m_handle; }

private:
    const CLzFunctions& m_lz;
    INT m_handle;
};

} // namespace

CLocalMemory MakeStagingSecurityDescriptor() noexcept
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(StagingSecurity, SDDL_REVISION_1, &descriptor, nullptr)) {
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

std::wstring NtPathOf(const std::wstring& path)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0) {
        return L"\\??\\" + path.substr(4);
    }
    if (path.compare(0, 2, L"\\\\") == 0) {
        return L"\\??\\UNC\\" + path.substr(2);
    }
    return L"\\??\\" + path;
}

HRESULT CStagingFolder::Create(const std::wstring& name)
{
    const DWORD needed = GetTempPathW(0, nullptr);
    if (needed == 0) {
        return E_INVALIDARG;
    }
    std::vector<wchar_t> buffer(needed + 1);
    const DWORD length = GetTempPathW(needed + 1, buffer.data());
    if (length == 0 || length > needed) {
        return E_INVALIDARG;
    }
    std::wstring temp(buffer.data(), length);
    if (temp.back() != L'\\') {
        temp += L'\\';
    }
    const HRESULT made = MakeFolderPath(temp);
    if (FAILED(made)) {
        return made;
    }
    const CLocalMemory descriptor = MakeStagingSecurityDescriptor();
    if (!descriptor) {
        return HResultFromLastError();
    }
    const std::wstring base = temp + name + L".tmp";
    for (unsigned attempt = 0; attempt <= MaxStagingAttempts; ++attempt) {
        const std::wstring folder = attempt == 0 ? base : base + L"." + std::to_wstring(attempt);
        // Shared for reading and writing but not for deleting: while it is
        // held nobody can rename it, delete it or put a link in its place.
        CUniqueFileHandle held;
        const HRESULT result =
            CreateNewObject(nullptr, NtPathOf(folder), descriptor.Get(), DirectoryFile | OpenReparsePoint,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, held);
        if (SUCCEEDED(result)) {
            m_folder = std::move(held);
            m_path = folder + L"\\";
            m_base = base;
            return S_OK;
        }
        if (result != HResultFromWin32(ERROR_ALREADY_EXISTS) && result != HResultFromWin32(ERROR_FILE_EXISTS)) {
            return result;
        }
    }
    return HResultFromWin32(ERROR_ALREADY_EXISTS);
}

void CStagingFolder::Close() noexcept
{
    m_folder.Reset();
    if (m_base.empty()) {
        return;
    }
    // A folder deleted on close goes only when it is empty by then, so a run
    // killed while a file in it was open leaves the folder behind, empty.
    // RemoveDirectoryW takes only an empty folder, and a link itself, never
    // what it points to.
    RemoveDirectoryW(MakeLongPath(m_base).c_str());
    for (unsigned n = 1; n <= MaxStagingAttempts; ++n) {
        RemoveDirectoryW(MakeLongPath(m_base + L"." + std::to_wstring(n)).c_str());
    }
    m_base.clear();
}

HRESULT CStagingFolder::CreateScratchFile(const std::wstring& fileName, CUniqueFileHandle& file) const
{
    if (!m_folder) {
        return E_UNEXPECTED;
    }
    return CreateNewObject(m_folder.Get(), fileName, nullptr, NonDirectoryFile, 0, file);
}

CLzFunctions::CLzFunctions() noexcept
    : m_library(LoadSystemLibrary(L"lz32.dll")), m_init(LookupFunction<InitFn>(m_library.Get(), "LZInit")),
      m_read(LookupFunction<ReadFn>(m_library.Get(), "LZRead")),
      m_close(LookupFunction<CloseFn>(m_library.Get(), "LZClose")),
      m_open(LookupFunction<OpenFn>(m_library.Get(), "LZOpenFileW")),
      m_copy(LookupFunction<CopyFn>(m_library.Get(), "LZCopy"))
{
}

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
    const CLzHandle sourceFile(lz, lz.m_open(&source[0], &sourceInfo, OF_READ | OF_SHARE_EXCLUSIVE));
    const CLzHandle targetFile(lz, lz.m_open(&target[0], &targetInfo, OF_CREATE | OF_SHARE_EXCLUSIVE | OF_WRITE));
    if (sourceFile.Get() < 0 || targetFile.Get() < 0) {
        return openFailed;
    }
    return lz.m_copy(sourceFile.Get(), targetFile.Get()) < 0 ? openFailed : S_OK;
}

HRESULT ExpandPayload(const CStagingFolder& staging, const CLzFunctions& lz, const PatchPlanEntry& row, HMODULE module,
                      HANDLE destination, PayloadDigest& digest)
{
    const HRESULT openFailed = HResultFromWin32(ERROR_OPEN_FAILED);
    if (!lz.Available()) {
        return openFailed;
    }
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(static_cast<WORD>(row.resourceId)), L"PATCH");
    if (!resource) {
        return HResultFromLastError();
    }
    const DWORD size = SizeofResource(module, resource);
    const HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        return HResultFromLastError();
    }
    CUniqueFileHandle compressed;
    HRESULT result = staging.CreateScratchFile(std::to_wstring(row.resourceId) + L".sz_", compressed);
    if (FAILED(result)) {
        return result;
    }
    result = WriteAll(compressed.Get(), bytes, size);
    if (FAILED(result)) {
        return result;
    }
    if (SetFilePointer(compressed.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return HResultFromLastError();
    }
    // LZ32 reads through a Win32 file handle given as its 32-bit file number.
    const INT source = lz.m_init(static_cast<INT>(reinterpret_cast<INT_PTR>(compressed.Get())));
    if (source < 0) {
        return openFailed;
    }
    (void)compressed.Release(); // the LZ handle owns the file now, and closes (and so deletes) it
    const CLzHandle expanding(lz, source);

    CSha256 sha;
    if (!sha.Ready()) {
        return E_FAIL;
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const INT read = lz.m_read(expanding.Get(), buffer.data(), static_cast<INT>(buffer.size()));
        if (read < 0) {
            return openFailed;
        }
        if (read == 0) {
            break;
        }
        if (!sha.Update(buffer.data(), static_cast<DWORD>(read))) {
            return E_FAIL;
        }
        result = WriteAll(destination, buffer.data(), static_cast<DWORD>(read));
        if (FAILED(result)) {
            return result;
        }
    }
    return sha.Finish(digest) ? S_OK : E_FAIL;
}
