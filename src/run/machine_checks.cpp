#include "run/machine_checks.h"

#include <tlhelp32.h>

#include <cwchar>

#include "common/machine.h"
#include "common/unique_handle.h"

bool HoldsEnabledGroup(const TOKEN_GROUPS& groups, PSID administrators) noexcept
{
    for (DWORD i = 0; i < groups.GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& group = groups.Groups[i];
        if ((group.Attributes & SE_GROUP_ENABLED) != 0 && EqualSid(group.Sid, administrators)) {
            return true;
        }
    }
    return false;
}

bool CheckAdministratorMembership(bool* isMember) noexcept
{
    if (!isMember) {
        return false;
    }
    *isMember = false;
    if (OsVersionInfo().platformId != VER_PLATFORM_WIN32_NT) {
        return false;
    }

    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        return false;
    }
    const CUniqueHandle token(rawToken);

    DWORD needed = 0;
    if (GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    const CLockedGlobalBuffer buffer(needed);
    if (!buffer.Data()) {
        return false;
    }
    if (!GetTokenInformation(token.Get(), TokenGroups, buffer.Data(), needed, &needed)) {
        return false;
    }

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID rawSid = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &rawSid)) {
        return false;
    }
    const CUniqueSid administrators(rawSid);
    *isMember = HoldsEnabledGroup(*static_cast<const TOKEN_GROUPS*>(buffer.Data()), administrators.Get());
    return true;
}

bool IsProcessRunning(const wchar_t* imageName) noexcept
{
    const CUniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return false;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    // When the first read fails the zeroed entry names nothing, which matches no name.
    Process32FirstW(snapshot.Get(), &entry);
    do {
        if (std::wcscmp(imageName, entry.szExeFile) == 0) {
            return true;
        }
    } while (Process32NextW(snapshot.Get(), &entry));
    return false;
}

bool IsRelatedProgramRunning() noexcept
{
    return IsProcessRunning(L"Kelvo.exe") || IsProcessRunning(L"Zentrel.exe");
}
