#include "common/machine.h"

#include "common/system_library.h"

const COsVersionInfo& OsVersionInfo() noexcept
{
    static COsVersionInfo info;
    if (!info.filled) {
        OSVERSIONINFOW version = {};
        version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (GetVersionExW(&version)) {
#pragma GCC diagnostic pop
            info.majorVersion = version.dwMajorVersion;
            info.platformId = version.dwPlatformId;
        }
        info.filled = true;
    }
    return info;
}

bool IsSixtyFourBitProcessorType(DWORD processorType) noexcept
{
    return processorType == PROCESSOR_AMD_X8664 || processorType == PROCESSOR_INTEL_IA64;
}

bool IsSixtyFourBitProcessor() noexcept
{
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return IsSixtyFourBitProcessorType(info.dwProcessorType);
}

bool IsWow64() noexcept
{
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64Process = LookupFunction<IsWow64ProcessFn>(GetModuleHandleA("kernel32"), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}
