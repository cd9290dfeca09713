// Planted beside a program under a system library's name. When anything loads
// it, it writes "<its own path>.loaded" holding the loading program's path.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t marker[MAX_PATH + 16];
    const DWORD length = GetModuleFileNameW(instance, marker, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return TRUE;
    }
    lstrcatW(marker, L".loaded");
    const HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char program[MAX_PATH];
        const DWORD programLength = GetModuleFileNameA(nullptr, program, MAX_PATH);
        DWORD written = 0;
        WriteFile(file, program, programLength, &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
