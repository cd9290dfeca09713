#include "records/install_records.h"

#include "common/system_library.h"
#include "plan/update_plan.h"
#include "product/installed_version.h"
#include "product/registry_key.h"
#include "product/versions.h"
#include "records/local_time_stamp.h"
#include "run/machine_checks.h"
#include "run/strings.h"

namespace {

REGSAM WriteView() noexcept
{
    return IsSixtyFourBitProcessor() ? KEY_WOW64_32KEY : 0;
}

} // namespace

bool IsWow64() noexcept
{
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64Process = LookupFunction<IsWow64ProcessFn>(GetModuleHandleA("kernel32"), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool RegisterPatch(const std::wstring& patchId, const std::wstring& patchName)
{
    const REGSAM view = IsSixtyFourBitProcessor() && IsWow64() ? KEY_WOW64_32KEY : 0;
    CRegKey product;
    if (product.OpenKey(AppDbProductKey, RegKeyReadWrite | view) != ERROR_SUCCESS) {
        return false; // the product's entry is never created here
    }
    CRegKey patch;
    // Created below the product key, the patch key lies in the same view.
    if (patch.CreateKey(product.Key(), (L"PatchList\\" + patchId).c_str()) != ERROR_SUCCESS) {
        return false;
    }
    return patch.WriteString(L"patchid", patchId.c_str()) == ERROR_SUCCESS &&
           patch.WriteString(L"patchname", patchName.c_str()) == ERROR_SUCCESS &&
           patch.WriteString(L"version", ProductTargetVersion) == ERROR_SUCCESS;
}

std::wstring InstallDateText(const LocalTimeStamp& now)
{
    std::wstring text;
    FormatText(text, L"%d%02d%02d\n", now.Year(), now.Month(), now.Day());
    return text;
}

void WriteProductValues(const std::wstring& versionText)
{
    const REGSAM view = WriteView();
    const std::wstring installDate = InstallDateText(LocalTimeStamp());

    CRegKey product;
    if (product.OpenKey(ProductKey, RegKeyWrite | view) == ERROR_SUCCESS && !versionText.empty()) {
        (void)product.WriteString(L"Version", versionText.c_str());
        (void)product.WriteString(L"CopyrightYear", ProductCopyrightYear);
    }
    product.CloseKey();

    CRegKey uninstall;
    if (uninstall.OpenKey(ProductUninstallKey, RegKeyWrite | view) == ERROR_SUCCESS && !versionText.empty() &&
        uninstall.WriteString(L"DisplayVersion", versionText.c_str()) == ERROR_SUCCESS && !installDate.empty()) {
        (void)uninstall.WriteString(L"InstallDate", installDate.c_str());
    }
}

void DeleteHelpVersionMarker()
{
    const std::wstring installed = ReadInstalledVersion();
    if (!VersionAtLeast(installed, 3, 0, 0, 0) || !VersionAtMost(installed, 3, 1, 0, 0)) {
        return;
    }
    // An empty folder would point at the root of the current drive.
    const std::wstring libraryFolder = ReadMachineString(ProductAppKey, L"VideoEditLibPath");
    if (libraryFolder.empty()) {
        return;
    }
    // A missing marker is no error.
    DeleteFileW(MakeLongPath(DeriveHelpFolder(libraryFolder) + L"\\" + HelpMarkerName).c_str());
}
