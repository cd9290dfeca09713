#pragma once
// One Restart Manager session: the applications holding the files about to be
// replaced are closed before the file work and restarted after it. The
// library is optional; without it every operation quietly does nothing.

#include <windows.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"

class RestartManagerSession {
public:
    static constexpr std::size_t SessionKeyLength = 32; // CCH_RM_SESSION_KEY

    // Loads Rstrtmgr.dll from System32 on Windows Vista and later.
    RestartManagerSession();
    // Works with `module` instead (which it then owns); for tests.
    explicit RestartManagerSession(CUniqueLibrary module) noexcept;
    ~RestartManagerSession() { Close(); }
    RestartManagerSession(const RestartManagerSession&) = delete;
    RestartManagerSession& operator=(const RestartManagerSession&) = delete;

    // Windows has a Restart Manager from major version 6 on NT.
    static bool SystemHasRestartManager(DWORD platformId, DWORD majorVersion) noexcept;

    // Keeps, in order, the paths of the ";"-separated list that exist.
    void SetFiles(const std::wstring& list);
    // Starts the session (once) and registers the files. 0 on success, the
    // Restart Manager's error, or 1 when a function is missing.
    [[nodiscard]] DWORD Register() noexcept;
    // Has the applications holding the files shut down, forcibly.
    void ForceShutdown() noexcept;
    // Restarts the applications the shutdown closed.
    void Restart() noexcept;
    // Ends the session and unloads the library.
    void Close() noexcept;

    const std::vector<std::wstring>& Files() const noexcept { return m_files; }
    DWORD SessionHandle() const noexcept { return m_sessionHandle; }
    HMODULE Module() const noexcept { return m_module.Get(); }

private:
    std::vector<std::wstring> m_files;
    wchar_t m_sessionKey[SessionKeyLength + 1] = {};
    DWORD m_sessionHandle = 0;
    CUniqueLibrary m_module;
};
