#pragma once
// Small file helpers shared by the tests.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

inline std::wstring ReadText(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return L"<missing>";
    }
    char buffer[4096];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
    CloseHandle(file);
    return std::wstring(buffer, buffer + read);
}

inline void WriteText(const std::wstring& path, const std::string& text)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << GetLastError();
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

inline void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// The name of the running GoogleTest test.
inline std::wstring CurrentTestName()
{
    const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return std::wstring(name, name + strlen(name));
}

// A folder of a test's own under the temporary folder, removed with its
// contents (also those deeper than MAX_PATH).
class CTestFolder {
public:
    explicit CTestFolder(const std::wstring& stem)
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + stem + L"-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(LongForm());
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~CTestFolder() { RemoveTree(LongForm()); }
    CTestFolder(const CTestFolder&) = delete;
    CTestFolder& operator=(const CTestFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring Path(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring LongForm() const { return L"\\\\?\\" + m_path; }

    std::wstring m_path;
};
