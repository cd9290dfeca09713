#include "product/registry_key.h"

#include <gtest/gtest.h>

#include <string>

#include "common/unique_handle.h"
#include "product/installed_version.h"
#include "support/machine_registry.h"

namespace {

// Each test works under a key of its own in HKLM\Software, in one or both
// registry views, and removes it afterwards.
class RegistryViews : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_subKey = L"Software\\ZentrelTests\\" + std::to_wstring(GetCurrentProcessId()) + L"-";
        for (const char* c = info->name(); *c; ++c) {
            m_subKey += static_cast<wchar_t>(*c);
        }
    }
    void TearDown() override { DeleteMachineKey(m_subKey.c_str()); }

    void Seed(REGSAM view, const wchar_t* name, DWORD type, const void* data, DWORD bytes)
    {
        if (name) {
            SetMachineValue(m_subKey.c_str(), view, name, type, data, bytes);
        } else {
            CreateMachineKey(m_subKey.c_str(), view);
        }
    }
    void SeedText(REGSAM view, const wchar_t* name, const std::wstring& text)
    {
        SetMachineString(m_subKey.c_str(), view, name, text);
    }

    std::wstring m_subKey;
};

TEST_F(RegistryViews, ThirtyTwoBitViewFirstSixtyFourOnlyWhenTheKeyIsMissing)
{
    SeedText(KEY_WOW64_64KEY, L"Where", L"64");
    CRegKeyEx key;
    ASSERT_TRUE(OpenMachineKeyForRead(key, m_subKey.c_str(), true));
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), key.View());
    std::wstring text;
    EXPECT_EQ(ERROR_SUCCESS, key.ReadString(L"Where", text));
    EXPECT_EQ(L"64", text);

    // Present in both views: the 32-bit one wins, even without the value.
    Seed(KEY_WOW64_32KEY, nullptr, 0, nullptr, 0);
    ASSERT_TRUE(OpenMachineKeyForRead(key, m_subKey.c_str(), true));
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), key.View());
    text = L"default";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadString(L"Where", text));
    EXPECT_EQ(L"default", text);

    SeedText(KEY_WOW64_32KEY, L"Where", L"32");
    ASSERT_TRUE(OpenMachineKeyForRead(key, m_subKey.c_str(), true));
    EXPECT_EQ(ERROR_SUCCESS, key.ReadString(L"Where", text));
    EXPECT_EQ(L"32", text);

    // 32-bit Windows: one open, no view bits.
    ASSERT_TRUE(OpenMachineKeyForRead(key, m_subKey.c_str(), false));
    EXPECT_EQ(0u, key.View());
}

TEST_F(RegistryViews, AFailedOpenKeepsTheHeldKey)
{
    SeedText(KEY_WOW64_32KEY, L"Value", L"kept");
    CRegKeyEx key;
    ASSERT_EQ(ERROR_SUCCESS, key.OpenKey(m_subKey.c_str(), KEY_READ | KEY_WOW64_32KEY));
    const HKEY held = key.Key();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.OpenKey((m_subKey + L"\\missing").c_str(), KEY_READ | KEY_WOW64_64KEY));
    EXPECT_EQ(held, key.Key());
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), key.View());
    std::wstring text;
    EXPECT_EQ(ERROR_SUCCESS, key.ReadString(L"Value", text));
    EXPECT_EQ(L"kept", text);
    EXPECT_FALSE(OpenMachineKeyForRead(key, (m_subKey + L"\\missing").c_str(), true));
    EXPECT_EQ(held, key.Key());

    EXPECT_EQ(ERROR_SUCCESS, key.CloseKey());
    EXPECT_EQ(nullptr, key.Key());
    EXPECT_EQ(0u, key.View());
    EXPECT_EQ(ERROR_SUCCESS, key.CloseKey());
}

TEST_F(RegistryViews, ReadStringAcceptsTextOnly)
{
    const DWORD number = 7;
    const wchar_t unterminated[] = {L'a', L'b', L'c'};
    const wchar_t embedded[] = {L'a', L'b', 0, L'c', 0};
    Seed(KEY_WOW64_32KEY, L"Empty", REG_SZ, L"", 0);
    Seed(KEY_WOW64_32KEY, L"Number", REG_DWORD, &number, sizeof(number));
    Seed(KEY_WOW64_32KEY, L"Expand", REG_EXPAND_SZ, L"%TEMP%\\x", 18);
    Seed(KEY_WOW64_32KEY, L"Unterminated", REG_SZ, unterminated, sizeof(unterminated));
    Seed(KEY_WOW64_32KEY, L"Odd", REG_SZ, L"xy", 3);
    Seed(KEY_WOW64_32KEY, L"Embedded", REG_SZ, embedded, sizeof(embedded));

    CRegKeyEx key;
    ASSERT_TRUE(OpenMachineKeyForRead(key, m_subKey.c_str(), true));
    struct Case {
        const wchar_t* name;
        LONG result;
        const wchar_t* text;
    } cases[] = {
        {L"Empty", ERROR_SUCCESS, L""},
        {L"Number", ERROR_INVALID_DATA, L"before"},
        {L"Expand", ERROR_SUCCESS, L"%TEMP%\\x"},
        {L"Unterminated", ERROR_INVALID_DATA, L"abc"},
        // Sized for whole characters, the second read cannot take the odd byte.
        {L"Odd", ERROR_MORE_DATA, L"before"},
        {L"Embedded", ERROR_SUCCESS, L"ab"},
        {L"Missing", ERROR_FILE_NOT_FOUND, L"before"},
    };
    for (const auto& c : cases) {
        std::wstring text = L"before";
        EXPECT_EQ(c.result, key.ReadString(c.name, text)) << c.name;
        EXPECT_EQ(c.text, text) << c.name;
    }
}

TEST_F(RegistryViews, WriteStringStoresTheTerminator)
{
    CRegKeyEx key;
    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, nullptr, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &raw, nullptr));
    const CUniqueRegKey software(raw);
    ASSERT_EQ(ERROR_SUCCESS, key.CreateKey(software.Get(), m_subKey.substr(9).c_str()));
    EXPECT_EQ(0u, key.View());
    EXPECT_EQ(ERROR_SUCCESS, key.WriteString(L"Three", L"abc"));
    EXPECT_EQ(ERROR_INVALID_DATA, key.WriteString(L"Null", nullptr));

    DWORD type = 0;
    DWORD bytes = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.Key(), L"Three", nullptr, &type, nullptr, &bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(8u, bytes);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key.Key(), L"Null", nullptr, nullptr, nullptr, &bytes));
}

TEST(InstalledVersion, EmptyWithoutAnUninstallRecord)
{
    // The test prefix has no Zentrel installed.
    EXPECT_EQ(L"", ReadInstalledVersion());
}

} // namespace
