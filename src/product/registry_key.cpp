#include "product/registry_key.h"

#include <new>

#include "common/machine.h"

CRegKey::~CRegKey()
{
    CloseKey();
}

void CRegKey::Adopt(HKEY key, REGSAM view) noexcept
{
    CloseKey();
    m_key = key;
    m_view = view;
}

LONG CRegKey::OpenKey(const wchar_t* subKey, REGSAM access) noexcept
{
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, access, &key);
    if (result == ERROR_SUCCESS) {
        Adopt(key, access & RegViewMask);
    }
    return result;
}

LONG CRegKey::CreateKey(HKEY parent, const wchar_t* subKey) noexcept
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG result = RegCreateKeyExW(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, RegKeyReadWrite, nullptr,
                                        &key, &disposition);
    if (result == ERROR_SUCCESS) {
        Adopt(key, 0);
    }
    return result;
}

LONG CRegKey::WriteString(const wchar_t* valueName, const wchar_t* text) noexcept
{
    if (!text) {
        return ERROR_INVALID_DATA;
    }
    const DWORD bytes = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t));
    return RegSetValueExW(m_key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

LONG CRegKey::CloseKey() noexcept
{
    LONG result = ERROR_SUCCESS;
    if (m_key) {
        result = RegCloseKey(m_key);
        m_key = nullptr;
    }
    m_view = 0;
    return result;
}

LONG CRegKeyEx::ReadString(const wchar_t* valueName, std::wstring& text)
{
    DWORD type = 0;
    DWORD byteCount = 0;
    LONG result = RegQueryValueExW(m_key, valueName, nullptr, &type, nullptr, &byteCount);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return ERROR_INVALID_DATA;
    }

    const std::size_t characters = byteCount / sizeof(wchar_t);
    std::wstring buffer(characters + 1, L'\0');
    DWORD readBytes = static_cast<DWORD>(characters * sizeof(wchar_t));
    result = RegQueryValueExW(m_key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &readBytes);
    if (result == ERROR_SUCCESS) {
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            result = ERROR_INVALID_DATA;
        } else if (readBytes == 0) {
            buffer[0] = L'\0';
        } else if (readBytes % sizeof(wchar_t) != 0 || buffer[readBytes / sizeof(wchar_t) - 1] != L'\0') {
            result = ERROR_INVALID_DATA;
        }
    }
    if (result == ERROR_SUCCESS || result == ERROR_INVALID_DATA) {
        // Text up to the first NUL; a missing terminator keeps what was read.
        buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
        text.swap(buffer);
    }
    return result;
}

bool OpenMachineKeyForRead(CRegKey& key, const wchar_t* subKey, bool sixtyFourBit) noexcept
{
    if (!sixtyFourBit) {
        return key.OpenKey(subKey, RegKeyRead) == ERROR_SUCCESS;
    }
    return key.OpenKey(subKey, RegKeyRead | KEY_WOW64_32KEY) == ERROR_SUCCESS ||
           key.OpenKey(subKey, RegKeyRead | KEY_WOW64_64KEY) == ERROR_SUCCESS;
}

bool OpenMachineKeyForRead(CRegKey& key, const wchar_t* subKey) noexcept
{
    return OpenMachineKeyForRead(key, subKey, IsSixtyFourBitProcessor());
}

std::wstring ReadMachineString(const wchar_t* subKey, const wchar_t* valueName)
{
    std::wstring text;
    CRegKeyEx key;
    if (OpenMachineKeyForRead(key, subKey)) {
        (void)key.ReadString(valueName, text);
        key.CloseKey();
    }
    return text;
}
