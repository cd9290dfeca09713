#include "engine/staging.h"

#include <sddl.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/hresult.h"
#include "engine_fixture.h"
#include "support/build_files.h"

namespace {

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp, length);
}

std::wstring UniqueName(const wchar_t* stem)
{
    return std::wstring(stem) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
}

TEST(StagingFolder, IsMadeFreshUnderTheTemporaryFolder)
{
    const std::wstring name = UniqueName(L"update.exe");
    const std::wstring first = CreateStagingFolder(name);
    EXPECT_EQ(TempFolder() + name + L".tmp\\", first);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(first.c_str()));

    // The name is taken now: never reused, the next free one instead.
    const std::wstring second = CreateStagingFolder(name);
    EXPECT_EQ(TempFolder() + name + L".tmp.1\\", second);

    // A file of the name is passed over the same way.
    const std::wstring blocked = UniqueName(L"blocked.exe");
    WriteText(TempFolder() + blocked + L".tmp", "planted");
    EXPECT_EQ(TempFolder() + blocked + L".tmp.1\\", CreateStagingFolder(blocked));
    EXPECT_EQ(L"planted", ReadText(TempFolder() + blocked + L".tmp"));

    RemoveDirectoryW(first.c_str());
    RemoveDirectoryW(second.c_str());
    RemoveDirectoryW((TempFolder() + blocked + L".tmp.1").c_str());
    DeleteFileW((TempFolder() + blocked + L".tmp").c_str());
}

// Wine keeps no access lists of its own on files, so what is checked here is
// the security the folder is created with.
TEST(StagingFolder, OnlyAdministratorsAndSystemMayEnter)
{
    const CLocalMemory descriptor = MakeStagingSecurityDescriptor();
    ASSERT_TRUE(descriptor);
    LPWSTR text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.Get(), SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &text, nullptr));
    const CLocalMemory holder(text);
    // Protected (no inherited entries), and full control for Administrators
    // and SYSTEM alone, passed on to files and folders inside.
    EXPECT_EQ(std::wstring(L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"), text);
}

// The test program carries the real payloads as its own PATCH resources.
class Payloads : public EngineFolder {};

std::vector<char> ReadBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(Payloads, ExtractExpandsStampsAndCleansUp)
{
    PatchPlanEntry row(PatchCatalog[7], std::wstring(L"C:\\somewhere\\vxplay.dll"));
    std::wstring expanded;
    ASSERT_EQ(S_OK, ExtractPayload(m_folder + L"\\", row, GetModuleHandleW(nullptr), expanded));
    EXPECT_EQ(m_folder + L"\\vxplay.dll", expanded);
    EXPECT_EQ(ReadBytes(BuildFilePath("PAYLOAD_VXPLAY")), ReadBytes(expanded));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((m_folder + L"\\vxplay.dll.tmp").c_str()))
        << "the compressed file is deleted";

    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(expanded.c_str(), GetFileExInfoStandard, &data));
    SYSTEMTIME written;
    FileTimeToSystemTime(&data.ftLastWriteTime, &written);
    EXPECT_EQ(2013, written.wYear);
    EXPECT_EQ(6, written.wMonth);
    EXPECT_EQ(28, written.wDay);
    EXPECT_EQ(2, written.wHour);
    EXPECT_EQ(0, written.wMinute);
    EXPECT_EQ(0, CompareFileTime(&data.ftLastWriteTime, &data.ftCreationTime));
}

TEST_F(Payloads, AMissingPayloadTouchesNoFile)
{
    PatchPlanEntry row(PatchCatalog[0], std::wstring(L"C:\\somewhere\\CardProbe.dll"));
    row.resourceId = 499;
    std::wstring expanded = L"left over";
    EXPECT_EQ(HResultFromWin32(ERROR_RESOURCE_NAME_NOT_FOUND),
              ExtractPayload(m_folder + L"\\", row, GetModuleHandleW(nullptr), expanded));
    EXPECT_EQ(L"", expanded);
    WIN32_FIND_DATAW found;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW((m_folder + L"\\*.dll*").c_str(), &found));
}

TEST_F(Payloads, TheWalkStopsAtTheFirstFailingRow)
{
    // Three targets; the second cannot be overwritten nor moved.
    const wchar_t* names[] = {L"UpdateLink.dll", L"Zentrel.exe", L"ZentrelTask.exe"};
    PatchPlan plan;
    for (int i = 0; i < 3; ++i) {
        WriteText(Path(names[i]), "old");
        plan.Append(PatchPlanEntry(PatchCatalog[1 + i], Path(names[i])));
    }
    const HANDLE holder = CreateFileW(Path(L"Zentrel.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_EQ(HResultFromWin32(ERROR_SHARING_VIOLATION), ApplyPatchPlan(plan, GetModuleHandleW(nullptr)));
    CloseHandle(holder);
    EXPECT_NE(L"old", ReadText(Path(L"UpdateLink.dll")));
    EXPECT_EQ(L"old", ReadText(Path(L"Zentrel.exe")));
    EXPECT_EQ(L"old", ReadText(Path(L"ZentrelTask.exe")));
}

TEST(StagingWalk, AnEmptyPlanLeavesNoFolder)
{
    PatchPlan plan;
    EXPECT_EQ(S_OK, ApplyPatchPlan(plan, GetModuleHandleW(nullptr)));
    std::wstring module;
    ASSERT_TRUE(GetModulePath(module));
    const std::wstring name = module.substr(module.rfind(L'\\') + 1);
    EXPECT_EQ(L"engine_tests.exe", name);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((TempFolder() + name + L".tmp").c_str()));
}

} // namespace
