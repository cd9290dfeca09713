#pragma once
// The update plan: the catalogue rows whose target exists on this machine and
// whose version lies within the row's bounds, each with its full target path.

#include <windows.h>

#include <memory>
#include <string>

#include "plan/catalog.h"

// A catalogue row admitted to the plan; `fileName` holds the full target path.
struct PatchPlanEntry : PatchCatalogEntry {
    PatchPlanEntry() = default;
    PatchPlanEntry(const PatchCatalogEntry& row, CSharedText targetPath) : PatchCatalogEntry(row)
    {
        fileName = std::move(targetPath);
    }
};

// A growable array of plan rows. Without a fixed step it grows by an eighth of
// its size, at least 4 and at most 1024 rows, so 21 rows pass through the
// capacities 1, 5, 9, 13, 17 and 21.
class PatchPlan {
public:
    explicit PatchPlan(DWORD growBy = 0) noexcept : m_growBy(growBy) {}
    PatchPlan(const PatchPlan&) = delete;
    PatchPlan& operator=(const PatchPlan&) = delete;

    // Appends a copy of `row` (sharing its strings). Raises std::bad_alloc
    // when the plan cannot grow, leaving it as it was.
    void Append(const PatchPlanEntry& row);
    // Releases every row and the storage.
    void Clear() noexcept;
    // Replaces the rows with copies of `source`'s, in a block sized to them.
    void CopyFrom(const PatchPlan& source);

    DWORD Count() const noexcept { return m_count; }
    DWORD Capacity() const noexcept { return m_capacity; }
    const PatchPlanEntry& operator[](DWORD index) const noexcept { return m_entries[index]; }
    const PatchPlanEntry* begin() const noexcept { return m_entries.get(); }
    const PatchPlanEntry* end() const noexcept { return m_entries.get() + m_count; }

private:
    void Reserve(DWORD capacity);

    std::unique_ptr<PatchPlanEntry[]> m_entries;
    DWORD m_count = 0;
    DWORD m_capacity = 0;
    DWORD m_growBy;
};

// Finds the application's folders, completes the folder table and admits the
// catalogue rows. -1 when the installation was not found, else the number of
// rows admitted.
[[nodiscard]] LONG BuildUpdatePlan(PatchPlan& plan);

// Admits catalogue rows whose target exists and whose version passes. -1 when
// no target of the rows for this Windows exists.
[[nodiscard]] LONG CollectPlanEntries(PatchPlan& plan, const CTargetFolderTable& folders);
[[nodiscard]] LONG CollectPlanEntries(PatchPlan& plan, const CTargetFolderTable& folders, bool sixtyFourBit,
                                      const std::wstring& installedVersion);

// The fixed file information of a file's version resource. False for a
// missing file, a folder, or a file without a version resource.
[[nodiscard]] bool ReadFileVersion(const std::wstring& path, VS_FIXEDFILEINFO* info);
