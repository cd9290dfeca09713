#pragma once
// Facts about the machine the program runs on: the Windows version, the
// processor, and whether this process runs under WOW64.

#include <windows.h>

struct COsVersionInfo {
    DWORD majorVersion = 0;
    DWORD platformId = 0;
    bool filled = false;
};

// The operating system's version, read once per process with GetVersionExW.
// A failed read leaves the fields 0 and still counts as read.
const COsVersionInfo& OsVersionInfo() noexcept;

// Processor types 8664 (x64) and 2200 (IA-64) are 64-bit ones.
bool IsSixtyFourBitProcessorType(DWORD processorType) noexcept;

// The machine's own processor, as GetNativeSystemInfo reports it to a 32-bit process.
bool IsSixtyFourBitProcessor() noexcept;

// True for a 32-bit process on 64-bit Windows.
bool IsWow64() noexcept;
