#include "records/restart_manager.h"

#include <shlwapi.h>

#include <new>

#include "common/system_library.h"

namespace {

// The Restart Manager's functions, looked up by name at each call.
using RmStartSessionFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using RmRegisterResourcesFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, void*, UINT, LPCWSTR*);
using RmShutdownFn = DWORD(WINAPI*)(DWORD, ULONG, void*);
using RmRestartFn = DWORD(WINAPI*)(DWORD, DWORD, void*);
using RmEndSessionFn = DWORD(WINAPI*)(DWORD);

constexpr ULONG RmForceShutdown = 1;
constexpr DWORD MissingFunction = 1;

} // namespace

bool RestartManagerSession::SystemHasRestartManager(DWORD platformId, DWORD majorVersion) noexcept
{
    return platformId == VER_PLATFORM_WIN32_NT && majorVersion > 5;
}

RestartManagerSession::RestartManagerSession()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const bool known = GetVersionExW(&version) != FALSE;
#pragma GCC diagnostic pop
    if (known && SystemHasRestartManager(version.dwPlatformId, version.dwMajorVersion)) {
        // Never from the program's folder: the program runs elevated.
        m_module = LoadSystemLibrary(L"Rstrtmgr.dll");
    }
}

RestartManagerSession::RestartManagerSession(CUniqueLibrary module) noexcept : m_module(std::move(module)) {}

void RestartManagerSession::SetFiles(const std::wstring& list)
{
    m_files.clear();
    std::size_t position = 0;
    while (position < list.size()) {
        if (list[position] == L';') {
            ++position;
            continue;
        }
        std::size_t end = list.find(L';', position);
        if (end == std::wstring::npos) {
            end = list.size();
        }
        std::wstring token = list.substr(position, end - position);
        if (PathFileExistsW(token.c_str())) {
            m_files.push_back(std::move(token));
        }
        position = end;
    }
}

DWORD RestartManagerSession::Register() noexcept
{
    if (m_sessionHandle == 0) {
        const auto start = LookupFunction<RmStartSessionFn>(m_module.Get(), "RmStartSession");
        if (!start) {
            return MissingFunction;
        }
        const DWORD started = start(&m_sessionHandle, 0, m_sessionKey);
        if (started != ERROR_SUCCESS) {
            return started;
        }
    }
    std::vector<LPCWSTR> paths;
    try {
        paths.reserve(m_files.size());
    } catch (...) {
        return ERROR_SUCCESS; // nothing registered, as when there is nothing to register
    }
    for (const std::wstring& file : m_files) {
        paths.push_back(file.c_str());
    }
    const auto registerResources = LookupFunction<RmRegisterResourcesFn>(m_module.Get(), "RmRegisterResources");
    if (!registerResources) {
        return MissingFunction;
    }
    return registerResources(m_sessionHandle, static_cast<UINT>(paths.size()), paths.empty() ? nullptr : paths.data(),
                             0, nullptr, 0, nullptr);
}

void RestartManagerSession::ForceShutdown() noexcept
{
    if (const auto shutdown = LookupFunction<RmShutdownFn>(m_module.Get(), "RmShutdown")) {
        shutdown(m_sessionHandle, RmForceShutdown, nullptr);
    }
}

void RestartManagerSession::Restart() noexcept
{
    if (const auto restart = LookupFunction<RmRestartFn>(m_module.Get(), "RmRestart")) {
        restart(m_sessionHandle, 0, nullptr);
    }
}

void RestartManagerSession::Close() noexcept
{
    if (m_sessionHandle != 0) {
        if (const auto end = LookupFunction<RmEndSessionFn>(m_module.Get(), "RmEndSession")) {
            end(m_sessionHandle);
        }
        m_sessionHandle = 0;
    }
    SecureZeroMemory(m_sessionKey, sizeof(m_sessionKey));
    m_module.Reset();
    m_files.clear();
}
