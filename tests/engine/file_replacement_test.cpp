#include "engine/file_replacement.h"

#include "engine/staging.h"
#include "engine_fixture.h"

#include "common/hresult.h"
#include "common/unique_handle.h"

namespace {

class Replacement : public EngineFolder {};

TEST_F(Replacement, ProtectedAttributesComeBackOnTheNewFileByHandleAndByPath)
{
    const FileInfoFunctions byPath;
    for (const FileInfoFunctions& functions : {SystemFileInfoFunctions(), byPath}) {
        ASSERT_NE(nullptr, SystemFileInfoFunctions().getInformation);
        const std::wstring target = Path(L"target.dll");
        const std::wstring source = Path(L"source.dll");
        WriteText(target, "old");
        WriteText(source, "new");
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);

        EXPECT_EQ(S_OK, ReplaceTargetFile(target, source, functions));
        EXPECT_EQ(L"new", ReadText(target));
        const DWORD attributes = GetFileAttributesW(target.c_str());
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
                  attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
            << (functions.getInformation ? "by handle" : "by path");
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(Replacement, AMissingTargetIsCreated)
{
    WriteText(Path(L"source.dll"), "new");
    EXPECT_EQ(S_OK, ReplaceTargetFile(Path(L"target.dll"), Path(L"source.dll")));
    EXPECT_EQ(L"new", ReadText(Path(L"target.dll")));
}

TEST_F(Replacement, OtherCopyFailuresAreReturnedAndTheTargetKept)
{
    WriteText(Path(L"target.dll"), "old");
    EXPECT_EQ(HResultFromWin32(ERROR_FILE_NOT_FOUND), ReplaceTargetFile(Path(L"target.dll"), Path(L"none.dll")));
    EXPECT_EQ(L"old", ReadText(Path(L"target.dll")));
}

TEST_F(Replacement, ATargetInUseThatMayBeMovedIsReplacedBesideIt)
{
    const std::wstring target = Path(L"busy.dll");
    WriteText(target, "old");
    WriteText(Path(L"source.dll"), "new");
    const CUniqueFileHandle holder(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(S_OK, ReplaceTargetFile(target, Path(L"source.dll")));
    EXPECT_EQ(L"new", ReadText(target));

    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Path(L"busy.dll.tmp.*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search) << "the old file, moved aside";
    FindClose(search);
    EXPECT_EQ(L"old", ReadText(Path(found.cFileName)));
}

TEST_F(Replacement, ATargetThatCanBeNeitherOverwrittenNorMovedStays)
{
    const std::wstring target = Path(L"stuck.dll");
    WriteText(target, "old");
    WriteText(Path(L"source.dll"), "new");
    const CUniqueFileHandle holder(
        CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(HResultFromWin32(ERROR_SHARING_VIOLATION), ReplaceTargetFile(target, Path(L"source.dll")));
    EXPECT_EQ(L"old", ReadText(target));
}

TEST(AsideName, NumbersAreSignedDecimal)
{
    EXPECT_EQ(L"C:\\a\\b.dll.tmp.1234-5678", AsideName(L"C:\\a\\b.dll", 1234, 5678));
    EXPECT_EQ(L"C:\\a\\b.dll.tmp.1234--2147483648", AsideName(L"C:\\a\\b.dll", 1234, 0x80000000u));
    EXPECT_EQ(L"x.tmp.0--1", AsideName(L"x", 0, 0xFFFFFFFFu));
}

class HelpFiles : public EngineFolder {};

TEST_F(HelpFiles, AFailedCopyPutsTheOldFileBack)
{
    const std::wstring target = Path(L"zentrel.chm");
    WriteText(target, "old help");
    bool targetWasFree = false;
    const HRESULT failure = HResultFromWin32(ERROR_DISK_FULL);
    EXPECT_EQ(failure, ReplaceHelpFile(target, Path(L"new.chm"), [&](const std::wstring& t, const std::wstring&) {
                  targetWasFree = GetFileAttributesW(t.c_str()) == INVALID_FILE_ATTRIBUTES;
                  return failure;
              }));
    EXPECT_TRUE(targetWasFree) << "the old file was moved aside before the copy";
    EXPECT_EQ(L"old help", ReadText(target));
    WIN32_FIND_DATAW found;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(Path(L"zentrel.chm.tmp.*").c_str(), &found));
}

TEST_F(HelpFiles, ASuccessfulCopyLeavesNoAsideFile)
{
    const std::wstring target = Path(L"zentrel.chm");
    WriteText(target, "old help");
    WriteText(Path(L"new.chm"), "new help");
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(S_OK, ReplaceHelpFile(target, Path(L"new.chm"), [](const std::wstring& t, const std::wstring& s) {
                  return ReplaceTargetFile(t, s);
              }));
    EXPECT_EQ(L"new help", ReadText(target));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              GetFileAttributesW(target.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
        << "the attributes of the old help file";
    WIN32_FIND_DATAW found;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(Path(L"zentrel.chm.tmp.*").c_str(), &found));
}

} // namespace
