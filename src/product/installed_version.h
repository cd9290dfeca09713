#pragma once
// The installed Zentrel version, as its installer left it in the uninstall record.

#include <string>

inline constexpr const wchar_t* ProductUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\InstallShield_{3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}";

// "DisplayVersion" of the uninstall record, or empty when it cannot be read.
std::wstring ReadInstalledVersion();
