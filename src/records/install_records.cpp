#include "records/install_records.h"

#include "common/system_library.h"
#include "common/paths.h"
#include "product/installation.h"
#include "product/installed_version.h"
#include "product/registry_key.h"
#include "product/versions.h"
#include "records/local_time_stamp.h"
#include "common/machine.h"
#include "common/strings.h"

namespace {

REGSAM WriteView() noexcept
{
    return IsSixtyFourBitProcessor() ? KEY_WOW64_32KEY : 0;
}

} // namespace

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
        (void)product.WriteString(VersionValue, versionText.c_str());
        (void)product.WriteString(CopyrightYearValue, ProductCopyrightYear);
    }
    product.CloseKey();

    CRegKey uninstall;
    if (uninstall.OpenKey(ProductUninstallKey, RegKeyWrite | view) == ERROR_SUCCESS && !versionText.empty() &&
        uninstall.WriteString(DisplayVersionValue, versionText.c_str()) == ERROR_SUCCESS && !installDate.empty()) {
        (void)uninstall.WriteString(InstallDateValue, installDate.c_str());
    }
}

void DeleteHelpVersionMarker()
{
    const std::wstring installed = ReadInstalledVersion();
    if (!VersionAtLeast(installed, SupportedVersionLow) || !VersionAtMost(installed, HelpMarkerLastVersion)) {
        return;
    }
    // An empty folder would point at the root of the current drive.
    const InstallationFolders folders = ReadInstallationFolders();
    if (folders.library.empty()) {
        return;
    }
    // A missing marker is no error.
    DeleteFileW(MakeLongPath(folders.help + L"\\" + HelpMarkerName).c_str());
}
