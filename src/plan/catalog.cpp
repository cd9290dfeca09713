#include "plan/catalog.h"

#include "product/installation.h"

namespace {

// Computed by the build from the very files it packs.
constexpr PayloadDigest PayloadDigests[PatchCatalogSize] = {
#include "payload_digests.inc"
};

constexpr PatchFileTime UpdateFileTime = {2013, 6, 28, 2, 0, 0, 0};
constexpr FourPartVersion NoLowerBound = {0, 0, 0, 0};

PatchCatalogEntry ProgramFile(LONG resourceId, const wchar_t* fileName, DWORD folderKind, FourPartVersion maxVersion)
{
    PatchCatalogEntry row;
    row.applyOn32Bit = true;
    row.applyOn64Bit = true;
    row.checkFileVersion = true;
    row.folderKind = folderKind;
    row.resourceId = resourceId;
    row.fileName = fileName;
    row.fileTime = UpdateFileTime;
    row.minVersion = NoLowerBound;
    row.maxVersion = maxVersion;
    row.digest = PayloadDigests[resourceId - 401];
    return row;
}

PatchCatalogEntry HelpFile(LONG resourceId, DWORD folderKind)
{
    PatchCatalogEntry row = ProgramFile(resourceId, L"zentrel.chm", folderKind, SupportedVersionHigh);
    row.checkFileVersion = false;
    row.minVersion = SupportedVersionLow;
    return row;
}

const wchar_t* const FolderSuffixes[TargetFolderCount] = {
    L"",      L"",      L"",      L"\\CHS", L"\\CHT", L"\\DEU", L"\\ENU", L"\\ESP",
    L"\\FRA", L"\\ITA", L"\\JPN", L"\\KOR", L"\\NLD", L"\\PLK", L"\\PTB", L"\\RUS",
};

CTargetFolderTable MakeTargetFolderTable()
{
    CTargetFolderTable table;
    for (DWORD i = 0; i < TargetFolderCount; ++i) {
        table[i].applyOn32Bit = TRUE;
        table[i].applyOn64Bit = TRUE;
        table[i].folderKind = i + 1;
        table[i].path = FolderSuffixes[i];
    }
    return table;
}

} // namespace

// Row order is the order of the file work.
const CPatchCatalog PatchCatalog = {
    ProgramFile(401, L"CardProbe.dll", 1, {4, 1, 0, 14000}),
    ProgramFile(402, L"UpdateLink.dll", 1, {3, 1, 0, 14000}),
    ProgramFile(403, L"Zentrel.exe", 1, {3, 1, 0, 14000}),
    ProgramFile(404, L"ZentrelTask.exe", 1, {3, 1, 0, 14000}),
    ProgramFile(405, L"FrameCore.dll", 1, {3, 2, 0, 0}),
    ProgramFile(406, L"CardProbe.dll", 2, {4, 1, 0, 14100}),
    ProgramFile(407, L"vxdecode.dll", 2, {5, 0, 2, 16100}),
    ProgramFile(408, L"vxplay.dll", 2, {5, 2, 2, 1152}),
    HelpFile(409, 4),
    HelpFile(410, 5),
    HelpFile(411, 6),
    HelpFile(412, 7),
    HelpFile(413, 8),
    HelpFile(414, 9),
    HelpFile(415, 10),
    HelpFile(416, 11),
    HelpFile(417, 12),
    HelpFile(418, 13),
    HelpFile(419, 14),
    HelpFile(420, 15),
    HelpFile(421, 16),
};

CTargetFolderTable TargetFolderTable = MakeTargetFolderTable();

const wchar_t* TargetFolderSuffix(DWORD folderKind) noexcept
{
    return folderKind >= 1 && folderKind <= TargetFolderCount ? FolderSuffixes[folderKind - 1] : L"";
}
