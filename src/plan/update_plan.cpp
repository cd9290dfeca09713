#include "plan/update_plan.h"

#include <algorithm>
#include <new>
#include <vector>

#include "common/paths.h"
#include "common/system_library.h"
#include "product/installation.h"
#include "product/installed_version.h"
#include "common/machine.h"

namespace {

bool IsExistingFile(const std::wstring& path) noexcept
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

FourPartVersion FileVersionOf(const VS_FIXEDFILEINFO& info) noexcept
{
    return {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionLS),
            LOWORD(info.dwFileVersionLS)};
}

bool Admits(const PatchCatalogEntry& row, const std::wstring& targetPath, const std::wstring& installedVersion)
{
    if (!row.checkFileVersion) {
        return VersionAtLeast(installedVersion, row.minVersion) && VersionAtMost(installedVersion, row.maxVersion);
    }
    VS_FIXEDFILEINFO info;
    if (!ReadFileVersion(targetPath, &info)) {
        return false;
    }
    const FourPartVersion version = FileVersionOf(info);
    return CompareVersions(row.minVersion, version) <= 0 && CompareVersions(version, row.maxVersion) <= 0;
}

} // namespace

void PatchPlan::Reserve(DWORD capacity)
{
    std::unique_ptr<PatchPlanEntry[]> block(new PatchPlanEntry[capacity]());
    std::move(m_entries.get(), m_entries.get() + m_count, block.get());
    m_entries = std::move(block);
    m_capacity = capacity;
}

void PatchPlan::Append(const PatchPlanEntry& row)
{
    if (m_count == m_capacity) {
        const DWORD needed = m_count + 1;
        if (!m_entries) {
            Reserve(std::max(needed, m_growBy));
        } else {
            const DWORD step = m_growBy != 0 ? m_growBy : std::min<DWORD>(std::max<DWORD>(m_count / 8, 4), 1024);
            Reserve(std::max(m_capacity + step, needed));
        }
    }
    m_entries[m_count] = row;
    ++m_count;
}

void PatchPlan::Clear() noexcept
{
    m_entries.reset();
    m_count = 0;
    m_capacity = 0;
}

void PatchPlan::CopyFrom(const PatchPlan& source)
{
    Clear();
    if (source.m_count == 0) {
        return;
    }
    Reserve(source.m_count);
    std::copy(source.begin(), source.end(), m_entries.get());
    m_count = source.m_count;
}

bool ReadFileVersion(const std::wstring& path, VS_FIXEDFILEINFO* info)
{
    if (path.empty() || !info || !IsExistingFile(path)) {
        return false;
    }
    // version.dll is not a known DLL: it is loaded from System32 only.
    using GetSizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using GetInfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    const CUniqueLibrary version = LoadSystemLibrary(L"version.dll");
    const auto getSize = LookupFunction<GetSizeFn>(version.Get(), "GetFileVersionInfoSizeW");
    const auto getInfo = LookupFunction<GetInfoFn>(version.Get(), "GetFileVersionInfoW");
    const auto query = LookupFunction<QueryFn>(version.Get(), "VerQueryValueW");
    if (!getSize || !getInfo || !query) {
        return false;
    }
    DWORD handle = 0;
    const DWORD size = getSize(path.c_str(), &handle);
    if (size == 0) {
        return false;
    }
    std::vector<BYTE> buffer;
    try {
        buffer.resize(size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!getInfo(path.c_str(), 0, size, buffer.data())) {
        return false;
    }
    void* fixed = nullptr;
    UINT length = 0;
    if (!query(buffer.data(), L"\\", &fixed, &length) || !fixed || length == 0) {
        return false;
    }
    *info = *static_cast<const VS_FIXEDFILEINFO*>(fixed);
    return true;
}

LONG CollectPlanEntries(PatchPlan& plan, const CTargetFolderTable& folders, bool sixtyFourBit,
                        const std::wstring& installedVersion)
{
    bool foundAny = false;
    LONG admitted = 0;
    for (const PatchCatalogEntry& row : PatchCatalog) {
        if (!(sixtyFourBit ? row.applyOn64Bit : row.applyOn32Bit)) {
            continue;
        }
        const auto folder = std::find_if(folders.begin(), folders.end(), [&](const TargetFolder& f) {
            return f.folderKind == row.folderKind && (sixtyFourBit ? f.applyOn64Bit : f.applyOn32Bit);
        });
        if (folder == folders.end()) {
            continue;
        }
        std::wstring directory = folder->path.Get();
        if (directory.empty() || directory.back() != L'\\') {
            directory += L'\\';
        }
        const std::wstring targetPath = MakeLongPath(directory + row.fileName.Get());
        if (!IsExistingFile(targetPath)) {
            continue; // a file that is not installed is never added
        }
        foundAny = true;
        if (Admits(row, targetPath, installedVersion)) {
            plan.Append(PatchPlanEntry(row, targetPath));
            ++admitted;
        }
    }
    return foundAny ? admitted : -1;
}

LONG CollectPlanEntries(PatchPlan& plan, const CTargetFolderTable& folders)
{
    return CollectPlanEntries(plan, folders, IsSixtyFourBitProcessor(), ReadInstalledVersion());
}

LONG BuildUpdatePlan(PatchPlan& plan)
{
    plan.Clear();
    const InstallationFolders installation = ReadInstallationFolders();
    if (installation.application.empty() || installation.library.empty() || installation.help.empty()) {
        return -1;
    }
    for (TargetFolder& folder : TargetFolderTable) {
        const std::wstring& base = folder.folderKind == 1   ? installation.application
                                   : folder.folderKind == 2 ? installation.library
                                                            : installation.help;
        // Always from the table's own suffix, so a second discovery in the
        // same process does not stack base folders.
        folder.path = base + TargetFolderSuffix(folder.folderKind);
    }
    return CollectPlanEntries(plan, TargetFolderTable);
}
