#include "engine/staging.h"

#include <sddl.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/hresult.h"
#include "engine/payload_digest.h"
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

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(StagingFolder, IsMadeFreshHeldAndGoneWhenClosed)
{
    const std::wstring name = UniqueName(L"update.exe");
    CStagingFolder first;
    ASSERT_EQ(S_OK, first.Create(name));
    EXPECT_EQ(TempFolder() + name + L".tmp\\", first.Path());
    EXPECT_TRUE(IsFolder(first.Path()));

    // Held: it can be neither renamed nor deleted while the run works in it.
    EXPECT_FALSE(MoveFileW((TempFolder() + name + L".tmp").c_str(), (TempFolder() + name + L".moved").c_str()));
    EXPECT_FALSE(RemoveDirectoryW((TempFolder() + name + L".tmp").c_str()));

    // The name is taken now: never reused, the next free one instead.
    CStagingFolder second;
    ASSERT_EQ(S_OK, second.Create(name));
    EXPECT_EQ(TempFolder() + name + L".tmp.1\\", second.Path());

    first.Close();
    second.Close();
    EXPECT_FALSE(IsFolder(TempFolder() + name + L".tmp")) << "deleted when let go";
    EXPECT_FALSE(IsFolder(TempFolder() + name + L".tmp.1"));
}

TEST(StagingFolder, NamesThatExistAreNeverUsedAndEmptyLeftoversAreSwept)
{
    const std::wstring name = UniqueName(L"taken.exe");
    const std::wstring base = TempFolder() + name + L".tmp";
    // A file under the first name, folders under the others.
    WriteText(base, "planted");
    for (int n = 1; n <= 100; ++n) {
        ASSERT_TRUE(CreateDirectoryW((base + L"." + std::to_wstring(n)).c_str(), nullptr));
    }
    CStagingFolder staging;
    EXPECT_EQ(HResultFromWin32(ERROR_ALREADY_EXISTS), staging.Create(name));
    EXPECT_EQ(L"planted", ReadText(base));
    CUniqueFileHandle file;
    EXPECT_EQ(E_UNEXPECTED, staging.CreateScratchFile(L"401.sz_", file)) << "no folder, no file";

    RemoveDirectoryW((base + L".100").c_str());
    ASSERT_EQ(S_OK, staging.Create(name));
    EXPECT_EQ(base + L".100\\", staging.Path()) << "the one free name";
    staging.Close();
    // Empty folders under its names (what killed runs leave) go with it; anything else stays.
    EXPECT_FALSE(IsFolder(base + L".1"));
    EXPECT_FALSE(IsFolder(base + L".99"));
    EXPECT_EQ(L"planted", ReadText(base));
    DeleteFileW(base.c_str());
    for (int n = 1; n <= 100; ++n) {
        RemoveDirectoryW((base + L"." + std::to_wstring(n)).c_str());
    }
}

TEST(StagingFolder, AMissingTemporaryFolderIsMade)
{
    const CTestFolder scratch{L"zentrel-missing-temp"};
    const std::wstring temp = scratch.Path(L"no\\such\\temp");
    wchar_t saved[MAX_PATH] = {};
    const DWORD savedLength = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", temp.c_str()));
    CStagingFolder staging;
    const HRESULT result = staging.Create(L"update.exe");
    SetEnvironmentVariableW(L"TMP", savedLength ? saved : nullptr);
    ASSERT_EQ(S_OK, result);
    EXPECT_EQ(temp + L"\\update.exe.tmp\\", staging.Path());
    staging.Close();
}

TEST(StagingFolder, ScratchFilesAreMadeNewInsideAndGoWhenClosed)
{
    CStagingFolder staging;
    ASSERT_EQ(S_OK, staging.Create(UniqueName(L"scratch.exe")));
    {
        CUniqueFileHandle file;
        ASSERT_EQ(S_OK, staging.CreateScratchFile(L"401.sz_", file));
        EXPECT_TRUE(GetFileAttributesW((staging.Path() + L"401.sz_").c_str()) != INVALID_FILE_ATTRIBUTES);
        CUniqueFileHandle again;
        EXPECT_EQ(HResultFromWin32(ERROR_ALREADY_EXISTS), staging.CreateScratchFile(L"401.sz_", again));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((staging.Path() + L"401.sz_").c_str()));
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

TEST(NtPaths, DrivesUncAndLongForms)
{
    EXPECT_EQ(L"\\??\\C:\\a\\b", NtPathOf(L"C:\\a\\b"));
    EXPECT_EQ(L"\\??\\UNC\\server\\share\\a", NtPathOf(L"\\\\server\\share\\a"));
    EXPECT_EQ(L"\\??\\C:\\long", NtPathOf(L"\\\\?\\C:\\long"));
}

// The test program carries the real payloads as its own PATCH resources.
class Payloads : public EngineFolder {};

std::vector<char> ReadBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(Payloads, ExpansionWritesThePayloadAndItsDigestAndLeavesNothingInStaging)
{
    CStagingFolder staging;
    ASSERT_EQ(S_OK, staging.Create(UniqueName(L"expand.exe")));
    const CLzFunctions lz;
    ASSERT_TRUE(lz.Available());
    const PatchPlanEntry row(PatchCatalog[7], std::wstring(L"C:\\somewhere\\vxplay.dll"));
    const std::wstring expanded = Path(L"vxplay.dll");
    PayloadDigest digest{};
    {
        const CUniqueFileHandle out(
            CreateFileW(expanded.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(out);
        ASSERT_EQ(S_OK, ExpandPayload(staging, lz, row, GetModuleHandleW(nullptr), out.Get(), digest));
    }
    EXPECT_EQ(ReadBytes(BuildFilePath("PAYLOAD_VXPLAY")), ReadBytes(expanded));
    EXPECT_TRUE(digest == row.digest) << "the digest the build compiled in";
    PayloadDigest fromFile{};
    ASSERT_EQ(S_OK, DigestOfFile(expanded, fromFile));
    EXPECT_TRUE(fromFile == digest);
    WIN32_FIND_DATAW found;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW((staging.Path() + L"*.sz_").c_str(), &found))
        << "the compressed file is gone";
}

TEST_F(Payloads, AMissingPayloadIsAFailure)
{
    CStagingFolder staging;
    ASSERT_EQ(S_OK, staging.Create(UniqueName(L"missing.exe")));
    const CLzFunctions lz;
    PatchPlanEntry row(PatchCatalog[0], std::wstring(L"C:\\somewhere\\CardProbe.dll"));
    row.resourceId = 499;
    const CUniqueFileHandle out(
        CreateFileW(Path(L"out.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    PayloadDigest digest{};
    EXPECT_EQ(HResultFromWin32(ERROR_RESOURCE_NAME_NOT_FOUND),
              ExpandPayload(staging, lz, row, GetModuleHandleW(nullptr), out.Get(), digest));
}

TEST(Digest, KnownAnswer)
{
    const CTestFolder folder{L"zentrel-digest"};
    WriteText(folder.Path(L"abc.txt"), "abc");
    PayloadDigest digest{};
    ASSERT_EQ(S_OK, DigestOfFile(folder.Path(L"abc.txt"), digest));
    const PayloadDigest abc = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                               0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                               0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
    EXPECT_TRUE(digest == abc);
    EXPECT_EQ(HResultFromWin32(ERROR_FILE_NOT_FOUND), DigestOfFile(folder.Path(L"none.txt"), digest));
}

} // namespace
