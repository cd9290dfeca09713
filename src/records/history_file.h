#pragma once
// The application's update history, "version.txt" in its folder: the newest
// version on the first line, the old lines below, an update counter and four
// lines for every update. Single-byte text: each byte is the character of the
// same code, so old lines are written back byte for byte.

#include <string>
#include <vector>

#include "records/local_time_stamp.h"

// Adds this update to "version.txt" in the application folder. Skipped when
// the folder cannot be read from the registry, and when the history already
// names `versionText` as its newest version: an update that a run finished
// for an interrupted one is recorded once.
void UpdateHistoryFile(const std::wstring& versionText, const std::wstring& productName);

// The non-empty lines of the file, in order (LF or CR LF ends a line). False
// when the file cannot be read whole; a missing file counts as read and empty.
[[nodiscard]] bool ReadHistoryLines(const std::wstring& path, std::vector<std::wstring>& lines);

// The complete new content, lines ending in CR LF, one character per byte.
std::string HistoryFileContent(const std::wstring& productName, const std::vector<std::wstring>& oldLines,
                               const std::wstring& versionText, const LocalTimeStamp& now);

// Writes the new content to a new file in the same folder and puts it in the
// old file's place only when it is complete. False, with the old file exactly
// as it was, when anything fails.
[[nodiscard]] bool WriteHistoryFile(const std::wstring& productName, const std::vector<std::wstring>& oldLines,
                                    const std::wstring& path, const std::wstring& versionText);
