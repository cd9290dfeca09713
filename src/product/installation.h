#pragma once
// What the program knows of the installed product: where its installer and
// the maker's tools keep their keys and values, its product code, the
// versions this update applies to, and how its folders are found.

#include <string>

#include "product/versions.h"

#define ZENTREL_PRODUCT_CODE L"{3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}"
inline constexpr const wchar_t* ProductCode = ZENTREL_PRODUCT_CODE;

// Keys under HKEY_LOCAL_MACHINE.
inline constexpr const wchar_t* ProductUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\InstallShield_" ZENTREL_PRODUCT_CODE;
inline constexpr const wchar_t* ProductKey = L"Software\\Halvern Corporation\\Zentrel\\1.0";
inline constexpr const wchar_t* ProductAppKey = L"Software\\Halvern Corporation\\Zentrel\\1.0\\App";
inline constexpr const wchar_t* AppDbProductKey = L"Software\\Halvern Corporation\\Shared Info\\AppDB\\Zentrel";
// The maker's update tool, which starts this program (silently when it says so).
inline constexpr const wchar_t* UpdateToolKey = L"SOFTWARE\\Halvern Corporation\\Mirelo Update";

// Values of those keys.
inline constexpr const wchar_t* DisplayVersionValue = L"DisplayVersion";
inline constexpr const wchar_t* InstallDateValue = L"InstallDate";
inline constexpr const wchar_t* ApplicationDirValue = L"ApplicationDir";
inline constexpr const wchar_t* LibraryDirValue = L"VideoEditLibPath";
inline constexpr const wchar_t* VersionValue = L"Version";
inline constexpr const wchar_t* CopyrightYearValue = L"CopyrightYear";
inline constexpr const wchar_t* LaunchInstallerValue = L"LaunchInstaller";

// The installed versions this update applies to, both ends included.
inline constexpr FourPartVersion SupportedVersionLow = {3, 0, 0, 0};
inline constexpr FourPartVersion SupportedVersionHigh = {3, 2, 0, 0};

// The product's folders as its installer recorded them.
struct InstallationFolders {
    std::wstring application; // "ApplicationDir"
    std::wstring library;     // "VideoEditLibPath"
    std::wstring help;        // derived from the library folder
};

// Reads both folder values; a field is empty when its value cannot be read.
InstallationFolders ReadInstallationFolders();

// The library folder with every "RedOvad" replaced by "Help".
std::wstring DeriveHelpFolder(const std::wstring& libraryFolder);
