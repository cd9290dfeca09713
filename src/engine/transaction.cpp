#include "engine/transaction.h"

#include <shlwapi.h>

#include "common/hresult.h"
#include "common/strings.h"
#include "engine/file_replacement.h"
#include "engine/payload_digest.h"
#include "engine/staging.h"
#include "engine/update_journal.h"
#include "product/installation.h"

namespace {

void StampFileTime(HANDLE file, const PatchFileTime& time) noexcept
{
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
        SetFileTime(file, &stamp, &stamp, &stamp);
    }
}

std::wstring StagingName()
{
    std::wstring modulePath;
    if (GetModulePath(modulePath)) {
        const std::wstring name = PathFindFileNameW(modulePath.c_str());
        if (!name.empty()) {
            return name;
        }
    }
    std::wstring name;
    FormatText(name, L"%x.%08x", GetCurrentProcessId(), GetTickCount());
    return name;
}

const PatchCatalogEntry* CatalogRow(LONG resourceId) noexcept
{
    for (const PatchCatalogEntry& row : PatchCatalog) {
        if (row.resourceId == resourceId) {
            return &row;
        }
    }
    return nullptr;
}

HRESULT CheckPlacedFile(const std::wstring& path, const PayloadDigest& expected) noexcept
{
    PayloadDigest digest{};
    const HRESULT result = DigestOfFile(path, digest);
    if (FAILED(result)) {
        return result;
    }
    return digest == expected ? S_OK : PayloadDigestMismatch;
}

// Expands every payload beside its target and checks it; no target is touched.
HRESULT PrepareAll(const PatchPlan& plan, HMODULE module, const UpdateJournal& journal)
{
    CStagingFolder staging;
    HRESULT result = staging.Create(StagingName());
    if (FAILED(result)) {
        return result;
    }
    const CLzFunctions lz;
    if (!lz.Available()) {
        return HResultFromWin32(ERROR_OPEN_FAILED);
    }
    for (DWORD i = 0; i < plan.Count(); ++i) {
        const PatchPlanEntry& row = plan[i];
        const CUniqueFileHandle fresh(CreateFileW(journal.rows[i].names.fresh.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!fresh) {
            return HResultFromLastError();
        }
        PayloadDigest digest{};
        result = ExpandPayload(staging, lz, row, module, fresh.Get(), digest);
        if (FAILED(result)) {
            return result;
        }
        if (digest != row.digest) {
            return PayloadDigestMismatch;
        }
        StampFileTime(fresh.Get(), row.fileTime);
        if (!FlushFileBuffers(fresh.Get())) {
            return HResultFromLastError();
        }
    }
    return S_OK;
}

// Puts every row back as it was, last row first. S_OK, or the failure that
// stopped it (the journal is then kept, so the next run tries again).
HRESULT UndoAll(const UpdateJournal& journal)
{
    HRESULT result = S_OK;
    for (auto row = journal.rows.rbegin(); row != journal.rows.rend(); ++row) {
        const HRESULT undone = UndoReplacement(row->names);
        if (FAILED(undone) && SUCCEEDED(result)) {
            result = undone;
        }
    }
    return result;
}

// Gives up the update: everything back as it was, and the journal removed
// once that is done. Returns `failure`, the reason for giving up.
HRESULT Abandon(const UpdateJournal& journal, const std::wstring& journalPath, HRESULT failure)
{
    if (SUCCEEDED(UndoAll(journal))) {
        RemoveJournal(journalPath);
    }
    return failure;
}

HRESULT CommitAll(const PatchPlan& plan, UpdateJournal& journal, const std::wstring& journalPath)
{
    journal.state = JournalState::Committing;
    if (!WriteJournal(journalPath, journal)) {
        return HResultFromLastError();
    }
    for (DWORD i = 0; i < plan.Count(); ++i) {
        const ReplacementNames& names = journal.rows[i].names;
        HRESULT result = CommitReplacement(names);
        if (SUCCEEDED(result)) {
            // What was put in place is read back: it must be what the build made.
            result = CheckPlacedFile(names.target, plan[i].digest);
        }
        if (FAILED(result)) {
            return result;
        }
    }
    journal.state = JournalState::Committed;
    if (!WriteJournal(journalPath, journal)) {
        return HResultFromLastError();
    }
    // Decided: the old files go, those still loaded at the next restart.
    for (const JournalRow& row : journal.rows) {
        (void)FinishReplacement(row.names); // a backup left behind harms nothing; the next run retries it
    }
    return S_OK;
}

} // namespace

std::wstring UpdateJournalPath(const PatchPlan* plan)
{
    std::wstring folder = ReadInstallationFolders().application;
    if (folder.empty() && plan && plan->Count() > 0) {
        const std::wstring& target = (*plan)[0].fileName.Get();
        folder = target.substr(0, target.find_last_of(L'\\'));
    }
    if (folder.empty()) {
        return std::wstring();
    }
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder + UpdateJournalName;
}

HRESULT ApplyPatchPlan(const PatchPlan& plan, HMODULE module)
{
    return ApplyPatchPlan(plan, module, UpdateJournalPath(&plan));
}

HRESULT ApplyPatchPlan(const PatchPlan& plan, HMODULE module, const std::wstring& journalPath)
{
    if (plan.Count() == 0) {
        return S_OK;
    }
    if (journalPath.empty()) {
        return HResultFromWin32(ERROR_PATH_NOT_FOUND);
    }
    UpdateJournal journal;
    const DWORD processId = GetCurrentProcessId();
    const DWORD tickCount = GetTickCount();
    for (const PatchPlanEntry& row : plan) {
        journal.rows.push_back({row.resourceId, NamesFor(row.fileName.Get(), processId, tickCount)});
    }
    // Before anything is made beside a target, the journal says where.
    if (!WriteJournal(journalPath, journal)) {
        return HResultFromLastError();
    }
    HRESULT result = PrepareAll(plan, module, journal);
    if (SUCCEEDED(result)) {
        result = CommitAll(plan, journal, journalPath);
    }
    return FAILED(result) ? Abandon(journal, journalPath, result) : S_OK;
}

HRESULT RecoverInterruptedUpdate(const std::wstring& journalPath, Recovery& done)
{
    done = Recovery::Nothing;
    if (journalPath.empty()) {
        return S_OK;
    }
    UpdateJournal journal;
    HRESULT result = ReadJournal(journalPath, journal);
    if (result == S_FALSE) {
        return S_OK;
    }
    if (FAILED(result)) {
        return result;
    }
    if (journal.state != JournalState::Committed) {
        result = UndoAll(journal);
        if (FAILED(result)) {
            return result;
        }
        RemoveJournal(journalPath);
        done = Recovery::RolledBack;
        return S_OK;
    }
    for (const JournalRow& row : journal.rows) {
        result = FinishReplacement(row.names);
        if (FAILED(result)) {
            return result;
        }
        const PatchCatalogEntry* catalogRow = CatalogRow(row.resourceId);
        result = catalogRow ? CheckPlacedFile(row.names.target, catalogRow->digest) : E_UNEXPECTED;
        if (FAILED(result)) {
            return result;
        }
    }
    done = Recovery::RolledForward;
    return S_OK;
}
