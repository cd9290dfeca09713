#include "product/installation.h"

#include "product/registry_key.h"

InstallationFolders ReadInstallationFolders()
{
    InstallationFolders folders;
    folders.application = ReadMachineString(ProductAppKey, ApplicationDirValue);
    folders.library = ReadMachineString(ProductAppKey, LibraryDirValue);
    folders.help = DeriveHelpFolder(folders.library);
    return folders;
}

std::wstring DeriveHelpFolder(const std::wstring& libraryFolder)
{
    static const std::wstring from = L"RedOvad";
    static const std::wstring to = L"Help";
    std::wstring folder = libraryFolder;
    for (std::size_t at = folder.find(from); at != std::wstring::npos; at = folder.find(from, at + to.size())) {
        folder.replace(at, from.size(), to);
    }
    return folder;
}
