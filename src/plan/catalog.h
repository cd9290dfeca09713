#pragma once
// What the update carries and where it goes: one row per payload, and the
// table of the application's folders the rows refer to by kind.

#include <windows.h>

#include <array>

#include "common/shared_text.h"
#include "product/versions.h"

// The time stamp an installed file receives, read without time-zone conversion.
struct PatchFileTime {
    WORD year = 0;
    WORD month = 0;
    WORD day = 0;
    WORD hour = 0;
    WORD minute = 0;
    WORD second = 0;
    WORD millisecond = 0;
};

// SHA-256 of a payload's expanded bytes.
using PayloadDigest = std::array<BYTE, 32>;

struct PatchCatalogEntry {
    bool applyOn32Bit = false;
    bool applyOn64Bit = false;
    // True: bounds apply to the target file's own version resource; false: to
    // the installed product version.
    bool checkFileVersion = false;
    DWORD folderKind = 0; // 1..16, a TargetFolder's kind
    LONG resourceId = 0;  // the "PATCH" resource holding the payload
    CSharedText fileName; // bare file name in the catalogue; full path in a plan row
    PatchFileTime fileTime;
    FourPartVersion minVersion;
    FourPartVersion maxVersion;
    PayloadDigest digest{}; // what the expanded payload must hash to
};

struct TargetFolder {
    BOOL applyOn32Bit = FALSE;
    BOOL applyOn64Bit = FALSE;
    DWORD folderKind = 0;
    CSharedText path; // the suffix until discovery puts the base folder in front
};

constexpr std::size_t PatchCatalogSize = 21;
constexpr std::size_t TargetFolderCount = 16;

constexpr LONG FirstHelpResourceId = 409;
constexpr LONG LastHelpResourceId = 421;

using CPatchCatalog = std::array<PatchCatalogEntry, PatchCatalogSize>;
using CTargetFolderTable = std::array<TargetFolder, TargetFolderCount>;

// Built before the entry point runs; live until the process ends.
extern const CPatchCatalog PatchCatalog;
extern CTargetFolderTable TargetFolderTable;

// The suffix of a folder kind in the table ("\\DEU" for kind 6, empty for 1 to 3).
const wchar_t* TargetFolderSuffix(DWORD folderKind) noexcept;
