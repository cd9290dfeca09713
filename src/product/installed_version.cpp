#include "product/installed_version.h"

#include "product/registry_key.h"

std::wstring ReadInstalledVersion()
{
    return ReadMachineString(ProductUninstallKey, DisplayVersionValue);
}
