#include "engine/file_replacement.h"

#include <algorithm>
#include <vector>

#include "common/hresult.h"
#include "common/unique_handle.h"
#include "engine_fixture.h"

namespace {

constexpr DWORD Protected = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

// A target with its new file beside it, as the transaction prepares them.
class Replacement : public EngineFolder {
protected:
    void SetUp() override
    {
        EngineFolder::SetUp();
        m_names = NamesFor(Path(L"target.dll"), 12, 34);
    }

    ReplacementNames m_names;
};

TEST(ReplacementNames, NumbersAreSignedDecimal)
{
    EXPECT_EQ(L"C:\\a\\b.dll.tmp.1234-5678", AsideName(L"C:\\a\\b.dll", 1234, 5678));
    EXPECT_EQ(L"C:\\a\\b.dll.tmp.1234--2147483648", AsideName(L"C:\\a\\b.dll", 1234, 0x80000000u));
    EXPECT_EQ(L"x.tmp.0--1", AsideName(L"x", 0, 0xFFFFFFFFu));
    const ReplacementNames names = NamesFor(L"C:\\a\\b.dll", 7, 8);
    EXPECT_EQ(L"C:\\a\\b.dll", names.target);
    EXPECT_EQ(L"C:\\a\\b.dll.new.7-8", names.fresh);
    EXPECT_EQ(L"C:\\a\\b.dll.tmp.7-8", names.backup);
}

TEST_F(Replacement, TheNewFileTakesTheNameAndTheOldOnesAttributesByHandleAndByPath)
{
    const FileInfoFunctions byPath;
    for (const FileInfoFunctions& functions : {SystemFileInfoFunctions(), byPath}) {
        ASSERT_NE(nullptr, SystemFileInfoFunctions().getInformation);
        const char* route = functions.getInformation ? "by handle" : "by path";
        DeleteOurFile(m_names.backup);
        WriteText(m_names.target, "old");
        WriteText(m_names.fresh, "new");
        SetFileAttributesW(m_names.target.c_str(), Protected | FILE_ATTRIBUTE_ARCHIVE);

        EXPECT_EQ(S_OK, CommitReplacement(m_names, functions)) << route;
        EXPECT_EQ(L"new", ReadText(m_names.target)) << route;
        EXPECT_EQ(Protected, GetFileAttributesW(m_names.target.c_str()) & Protected) << route;
        EXPECT_EQ(L"old", ReadText(m_names.backup)) << route;
        EXPECT_FALSE(PathExists(m_names.fresh)) << route;
        SetFileAttributesW(m_names.target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(Replacement, ATargetInUseThatMayBeRenamedIsReplaced)
{
    WriteText(m_names.target, "old");
    WriteText(m_names.fresh, "new");
    const CUniqueFileHandle holder(CreateFileW(
        m_names.target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(S_OK, CommitReplacement(m_names));
    EXPECT_EQ(L"new", ReadText(m_names.target));
    EXPECT_EQ(L"old", ReadText(m_names.backup));
}

TEST_F(Replacement, AFailedCommitChangesNothing)
{
    struct Case {
        const char* what;
        bool holdTarget;  // open without sharing delete: it cannot be renamed
        bool freshExists; // without it the rename into place fails
        HRESULT expected;
    };
    const Case cases[] = {
        {"target held", true, true, HResultFromWin32(ERROR_SHARING_VIOLATION)},
        {"no new file", false, false, HResultFromWin32(ERROR_FILE_NOT_FOUND)},
    };
    for (const Case& c : cases) {
        DeleteOurFile(m_names.fresh);
        WriteText(m_names.target, "old");
        if (c.freshExists) {
            WriteText(m_names.fresh, "new");
        }
        CUniqueFileHandle holder;
        if (c.holdTarget) {
            holder.Reset(
                CreateFileW(m_names.target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(holder) << c.what;
        }
        EXPECT_EQ(c.expected, CommitReplacement(m_names)) << c.what;
        holder.Reset();
        EXPECT_EQ(L"old", ReadText(m_names.target)) << c.what;
        EXPECT_FALSE(PathExists(m_names.backup)) << c.what;
    }
}

TEST_F(Replacement, UndoPutsTheOldFileBackFromEveryStateAndMayBeRepeated)
{
    // What lies on disk when a run stops between the steps of one replacement.
    struct Case {
        const char* state;
        const char* target; // null: absent
        const char* fresh;
        const char* backup;
    };
    const Case cases[] = {
        {"new file made, nothing moved", "old", "new", nullptr},
        {"old file moved aside", nullptr, "new", "old"},
        {"new file in place", "new", nullptr, "old"},
        {"untouched", "old", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        for (const std::wstring& path : {m_names.target, m_names.fresh, m_names.backup}) {
            DeleteOurFile(path);
        }
        if (c.target) {
            WriteText(m_names.target, c.target);
            SetFileAttributesW(m_names.target.c_str(), Protected);
        }
        if (c.fresh) {
            WriteText(m_names.fresh, c.fresh);
        }
        if (c.backup) {
            WriteText(m_names.backup, c.backup);
        }
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(S_OK, UndoReplacement(m_names)) << c.state << ", round " << round;
            EXPECT_EQ(L"old", ReadText(m_names.target)) << c.state;
            EXPECT_EQ(std::vector<std::wstring>{L"target.dll"}, Files()) << c.state;
        }
    }
}

TEST_F(Replacement, FinishLeavesTheNewFileAndNothingElseFromEveryDecidedState)
{
    struct Case {
        const char* state;
        const char* target;
        const char* fresh;
        const char* backup;
    };
    const Case cases[] = {
        {"old file moved aside", nullptr, "new", "old"},
        {"new file in place", "new", nullptr, "old"},
        {"already finished", "new", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        for (const std::wstring& path : {m_names.target, m_names.fresh, m_names.backup}) {
            DeleteOurFile(path);
        }
        if (c.target) {
            WriteText(m_names.target, c.target);
        }
        if (c.fresh) {
            WriteText(m_names.fresh, c.fresh);
        }
        if (c.backup) {
            WriteText(m_names.backup, c.backup);
            SetFileAttributesW(m_names.backup.c_str(), Protected);
        }
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(S_OK, FinishReplacement(m_names)) << c.state << ", round " << round;
            EXPECT_EQ(L"new", ReadText(m_names.target)) << c.state;
            EXPECT_EQ(std::vector<std::wstring>{L"target.dll"}, Files()) << c.state;
        }
    }
}

TEST_F(Replacement, ABackupStillInUseIsDeletedAtTheNextRestart)
{
    WriteText(m_names.target, "new");
    WriteText(m_names.backup, "old");
    const CUniqueFileHandle holder(
        CreateFileW(m_names.backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(S_OK, FinishReplacement(m_names));
    EXPECT_TRUE(PathExists(m_names.backup)) << "in use: it stays until the restart";

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager",
                                           0, KEY_READ, &key));
    const CUniqueRegKey session(key);
    std::vector<wchar_t> pending(1 << 16);
    DWORD size = static_cast<DWORD>(pending.size() * sizeof(wchar_t));
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(session.Get(), L"PendingFileRenameOperations", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(pending.data()), &size));
    const std::wstring operations(pending.data(), size / sizeof(wchar_t));
    EXPECT_NE(std::wstring::npos, operations.find(L"\\??\\" + m_names.backup + L'\0' + L'\0'));
}

TEST_F(Replacement, AttributesAreSetWithReadOnlyLast)
{
    // Once read-only, a file may refuse further changes to its attributes
    // (Wine run by a user other than root does): read-only comes last.
    const std::wstring path = Path(L"plain.dll");
    WriteText(path, "x");
    const FileInfoFunctions byPath;
    for (const FileInfoFunctions& functions : {SystemFileInfoFunctions(), byPath}) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_TRUE(SetAttributes(path, Protected | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ENCRYPTED, functions));
        EXPECT_EQ(Protected | FILE_ATTRIBUTE_SYSTEM,
                  GetFileAttributesW(path.c_str()) & (Protected | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ENCRYPTED));
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
