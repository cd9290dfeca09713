#include "product/installed_version.h"

#include "product/registry_key.h"

std::wstring ReadInstalledVersion()
{
    std::wstring version;
    CRegKeyEx key;
    if (OpenMachineKeyForRead(key, ProductUninstallKey)) {
        (void)key.ReadString(L"DisplayVersion", version);
        key.CloseKey();
    }
    return version;
}
