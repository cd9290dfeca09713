// A Restart Manager that records what it is asked. It exports the five
// functions the updater uses; each appends one line to the file named by
// FAKE_RM_LOG. FAKE_RM_START_RESULT and FAKE_RM_REGISTER_RESULT (decimal)
// choose what RmStartSession and RmRegisterResources return; a started
// session gets the handle 77 and a key.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

DWORD Configured(const wchar_t* name)
{
    const std::wstring value = Environment(name);
    return value.empty() ? 0 : static_cast<DWORD>(_wtoi(value.c_str()));
}

void Log(const std::wstring& line)
{
    const std::wstring path = Environment(L"FAKE_RM_LOG");
    if (path.empty()) {
        return;
    }
    if (FILE* log = _wfopen(path.c_str(), L"ab")) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, &utf8[0], size, nullptr, nullptr);
        fprintf(log, "%s\n", utf8.c_str());
        fclose(log);
    }
}

} // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI RmStartSession(DWORD* handle, DWORD flags, WCHAR* key)
{
    const DWORD result = Configured(L"FAKE_RM_START_RESULT");
    Log(L"RmStartSession flags=" + std::to_wstring(flags) + L" result=" + std::to_wstring(result));
    if (result == 0) {
        *handle = 77;
        wcscpy(key, L"0123456789abcdef0123456789abcdef");
    }
    return result;
}

__declspec(dllexport) DWORD WINAPI RmRegisterResources(DWORD handle, UINT files, LPCWSTR* names, UINT applications,
                                                       void* applicationList, UINT services, LPCWSTR* serviceNames)
{
    const DWORD result = Configured(L"FAKE_RM_REGISTER_RESULT");
    std::wstring line = L"RmRegisterResources handle=" + std::to_wstring(handle) + L" files=" + std::to_wstring(files) +
                        L" applications=" + std::to_wstring(applications) + (applicationList ? L"+list" : L"") +
                        L" services=" + std::to_wstring(services) + (serviceNames ? L"+list" : L"") + L" result=" +
                        std::to_wstring(result);
    for (UINT i = 0; i < files; ++i) {
        line += L"\n  ";
        line += names[i];
    }
    Log(line);
    return result;
}

__declspec(dllexport) DWORD WINAPI RmShutdown(DWORD handle, ULONG flags, void* callback)
{
    Log(L"RmShutdown handle=" + std::to_wstring(handle) + L" flags=" + std::to_wstring(flags) +
        (callback ? L" callback" : L""));
    return 0;
}

__declspec(dllexport) DWORD WINAPI RmRestart(DWORD handle, DWORD flags, void* callback)
{
    Log(L"RmRestart handle=" + std::to_wstring(handle) + L" flags=" + std::to_wstring(flags) +
        (callback ? L" callback" : L""));
    return 0;
}

__declspec(dllexport) DWORD WINAPI RmEndSession(DWORD handle)
{
    Log(L"RmEndSession handle=" + std::to_wstring(handle));
    return 0;
}

} // extern "C"
