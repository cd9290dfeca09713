#pragma once
// Registry keys under HKEY_LOCAL_MACHINE, opened in the right registry view.
//
// The updater is a 32-bit process; on 64-bit Windows HKLM\Software has a
// 32-bit and a 64-bit view, and the product may have written its keys into
// either. Results are Win32 error codes.

#include <windows.h>

#include <string>

// Owns one open key and closes it when destroyed. A failed open or create
// leaves the holder exactly as it was.
class CRegKey {
public:
    CRegKey() noexcept = default;
    ~CRegKey();
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // RegOpenKeyExW under HKEY_LOCAL_MACHINE; remembers the view bits of `access`.
    [[nodiscard]] LONG OpenKey(const wchar_t* subKey, REGSAM access) noexcept;
    // RegCreateKeyExW with read and write access; the key carries no view bits.
    [[nodiscard]] LONG CreateKey(HKEY parent, const wchar_t* subKey) noexcept;
    // Stores `text` as REG_SZ with its terminating NUL. ERROR_INVALID_DATA for null.
    [[nodiscard]] LONG WriteString(const wchar_t* valueName, const wchar_t* text) noexcept;
    // Closes the key; 0 when none was open.
    LONG CloseKey() noexcept;

    HKEY Key() const noexcept { return m_key; }
    REGSAM View() const noexcept { return m_view; }

protected:
    HKEY m_key = nullptr;
    REGSAM m_view = 0;

private:
    void Adopt(HKEY key, REGSAM view) noexcept;
};

class CRegKeyEx : public CRegKey {
public:
    CRegKeyEx() noexcept = default;
    virtual ~CRegKeyEx() = default;

    // Reads a REG_SZ or REG_EXPAND_SZ value (unexpanded) into `text`.
    // ERROR_INVALID_DATA for other types, in which case `text` is unchanged;
    // a stored text without its terminating NUL also gives ERROR_INVALID_DATA
    // but keeps the characters read. Other failures leave `text` unchanged.
    [[nodiscard]] LONG ReadString(const wchar_t* valueName, std::wstring& text);
};

constexpr REGSAM RegKeyRead = KEY_READ;                  // 0x20019
constexpr REGSAM RegKeyWrite = KEY_WRITE;                // 0x20006
constexpr REGSAM RegKeyReadWrite = KEY_READ | KEY_WRITE; // 0x2001F
constexpr REGSAM RegViewMask = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

// Opens `subKey` for reading: on 64-bit Windows the 32-bit view first and the
// 64-bit view only when the key cannot be opened there; without view bits on
// 32-bit Windows. True when the holder holds the key afterwards.
[[nodiscard]] bool OpenMachineKeyForRead(CRegKey& key, const wchar_t* subKey, bool sixtyFourBit) noexcept;
[[nodiscard]] bool OpenMachineKeyForRead(CRegKey& key, const wchar_t* subKey) noexcept;

// A text value of a key under HKEY_LOCAL_MACHINE, read by the view rule above;
// empty when the key or the value cannot be read.
std::wstring ReadMachineString(const wchar_t* subKey, const wchar_t* valueName);
