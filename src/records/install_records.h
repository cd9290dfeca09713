#pragma once
// What a successful update leaves behind besides the files: the patch entry
// in the maker's application database, the product's new version in its own
// key and in the list of installed programs, and the removal of an outdated
// help marker. Each step fails silently and never changes the run's result.

#include <string>

#include "product/versions.h"
#include "records/local_time_stamp.h"

inline constexpr const wchar_t* HelpMarkerName = L"VersionZentrelHelp.txt";
// The last installed version whose help marker is outdated.
inline constexpr FourPartVersion HelpMarkerLastVersion = {3, 1, 0, 0};
// The year of this update's files.
inline constexpr const wchar_t* ProductCopyrightYear = L"2013";

// Enters the patch under "PatchList" of the product's key in the maker's
// application database, which must exist. True when all three values were written.
[[nodiscard]] bool RegisterPatch(const std::wstring& patchId, const std::wstring& patchName);

// "Version" and "CopyrightYear" in the product's key, "DisplayVersion" and
// "InstallDate" in its uninstall record; the 32-bit view on 64-bit Windows.
void WriteProductValues(const std::wstring& versionText);

// The install date as stored: year, month and day, then a line feed.
std::wstring InstallDateText(const LocalTimeStamp& now);

// Deletes "VersionZentrelHelp.txt" in the help folder when the installed
// version lies in 3.0.0.0 to 3.1.0.0.
void DeleteHelpVersionMarker();
