#include "engine/transaction.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/hresult.h"
#include "common/unique_handle.h"
#include "engine/payload_digest.h"
#include "engine/update_journal.h"
#include "engine_fixture.h"

namespace {

std::string ReadBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Three program files of the application folder, "old" before the update.
class Transaction : public EngineFolder {
protected:
    void SetUp() override
    {
        EngineFolder::SetUp();
        for (int i = 0; i < 3; ++i) {
            WriteText(Path(m_names[i]), "old");
            m_plan.Append(PatchPlanEntry(PatchCatalog[1 + i], Path(m_names[i])));
        }
    }

    std::vector<std::wstring> Targets() const { return {L"UpdateLink.dll", L"Zentrel.exe", L"ZentrelTask.exe"}; }

    bool IsPayload(int i) const
    {
        PayloadDigest digest{};
        return SUCCEEDED(DigestOfFile(Path(m_names[i]), digest)) && digest == m_plan[i].digest;
    }

    const wchar_t* const m_names[3] = {L"UpdateLink.dll", L"Zentrel.exe", L"ZentrelTask.exe"};
    const std::wstring m_journal = Path(L"update.journal");
    PatchPlan m_plan;
};

TEST_F(Transaction, EveryTargetGetsItsVerifiedPayloadAndNothingElseIsLeft)
{
    ASSERT_EQ(S_OK, ApplyPatchPlan(m_plan, GetModuleHandleW(nullptr), m_journal));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(IsPayload(i)) << i;
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExW(Path(m_names[i]).c_str(), GetFileExInfoStandard, &data));
        SYSTEMTIME written;
        FileTimeToSystemTime(&data.ftLastWriteTime, &written);
        EXPECT_EQ(2013, written.wYear);
        EXPECT_EQ(6, written.wMonth);
        EXPECT_EQ(28, written.wDay);
        EXPECT_EQ(2, written.wHour);
    }
    // The decided journal stays until the run has written its records.
    UpdateJournal journal;
    ASSERT_EQ(S_OK, ReadJournal(m_journal, journal));
    EXPECT_EQ(JournalState::Committed, journal.state);
    std::vector<std::wstring> expected = Targets();
    expected.push_back(L"update.journal");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Files());
}

TEST_F(Transaction, AFailingRowPutsEveryRowBack)
{
    // The second target can be neither overwritten nor renamed.
    const CUniqueFileHandle holder(
        CreateFileW(Path(m_names[1]).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(HResultFromWin32(ERROR_SHARING_VIOLATION), ApplyPatchPlan(m_plan, GetModuleHandleW(nullptr), m_journal));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(L"old", ReadText(Path(m_names[i]))) << i;
    }
    EXPECT_EQ(Targets(), Files()) << "no new file, backup or journal left";
}

TEST_F(Transaction, APayloadThatIsNotWhatTheBuildMadeTouchesNoTarget)
{
    PatchPlan damaged;
    for (int i = 0; i < 3; ++i) {
        PatchPlanEntry row = m_plan[i];
        if (i == 2) {
            row.digest[5] ^= 0x01;
        }
        damaged.Append(row);
    }
    EXPECT_EQ(PayloadDigestMismatch, ApplyPatchPlan(damaged, GetModuleHandleW(nullptr), m_journal));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(L"old", ReadText(Path(m_names[i]))) << i;
    }
    EXPECT_EQ(Targets(), Files());
}

TEST_F(Transaction, AnEmptyPlanWritesNothing)
{
    PatchPlan empty;
    EXPECT_EQ(S_OK, ApplyPatchPlan(empty, GetModuleHandleW(nullptr), m_journal));
    EXPECT_EQ(Targets(), Files());
}

// What a run killed at some instant leaves, and what the next run makes of it.
class Recovering : public Transaction {
protected:
    void SetUp() override
    {
        Transaction::SetUp();
        // The real new files, made by a complete run in a folder of their own.
        const CTestFolder source{L"zentrel-recovery-source-" + CurrentTestName()};
        PatchPlan plan;
        for (int i = 0; i < 3; ++i) {
            WriteText(source.Path(m_names[i]), "old");
            plan.Append(PatchPlanEntry(PatchCatalog[1 + i], source.Path(m_names[i])));
        }
        ASSERT_EQ(S_OK, ApplyPatchPlan(plan, GetModuleHandleW(nullptr), source.Path(L"journal")));
        for (int i = 0; i < 3; ++i) {
            m_new[i] = ReadBytes(source.Path(m_names[i]));
            m_journalRows.rows.push_back({m_plan[i].resourceId, NamesFor(Path(m_names[i]), 5, 6)});
        }
    }

    // Lays out row i: which of target, fresh and backup exist, holding what.
    void Lay(int i, const char* target, const char* fresh, const char* backup)
    {
        const ReplacementNames& names = m_journalRows.rows[i].names;
        const auto put = [&](const std::wstring& path, const char* what) {
            DeleteOurFile(path);
            if (what) {
                WriteBytes(path, std::string(what) == "new" ? m_new[i] : what);
            }
        };
        put(names.target, target);
        put(names.fresh, fresh);
        put(names.backup, backup);
    }

    void WriteJournalIn(JournalState state)
    {
        m_journalRows.state = state;
        ASSERT_TRUE(WriteJournal(m_journal, m_journalRows));
    }

    std::string m_new[3];
    UpdateJournal m_journalRows;
};

TEST_F(Recovering, UndecidedUpdatesAreUndone)
{
    struct Case {
        JournalState state;
        const char* rows[3][3]; // per row: target, fresh, backup
    };
    const Case cases[] = {
        // Killed while the new files were being made.
        {JournalState::Preparing, {{"old", "new", nullptr}, {"old", "ne", nullptr}, {"old", nullptr, nullptr}}},
        // Killed while replacing: one row done, one half done, one not begun.
        {JournalState::Committing, {{"new", nullptr, "old"}, {nullptr, "new", "old"}, {"old", "new", nullptr}}},
        // Killed while undoing a failed update.
        {JournalState::Committing, {{"old", nullptr, nullptr}, {"new", nullptr, "old"}, {"old", nullptr, nullptr}}},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < 3; ++i) {
            Lay(i, c.rows[i][0], c.rows[i][1], c.rows[i][2]);
        }
        WriteJournalIn(c.state);
        Recovery done = Recovery::Nothing;
        ASSERT_EQ(S_OK, RecoverInterruptedUpdate(m_journal, done));
        EXPECT_EQ(Recovery::RolledBack, done);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(L"old", ReadText(Path(m_names[i]))) << i;
        }
        EXPECT_EQ(Targets(), Files());
    }
}

TEST_F(Recovering, DecidedUpdatesAreFinished)
{
    // Killed after the decision, while the old files were being removed.
    Lay(0, "new", nullptr, nullptr);
    Lay(1, "new", nullptr, "old");
    Lay(2, nullptr, "new", "old");
    WriteJournalIn(JournalState::Committed);
    Recovery done = Recovery::Nothing;
    ASSERT_EQ(S_OK, RecoverInterruptedUpdate(m_journal, done));
    EXPECT_EQ(Recovery::RolledForward, done);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(IsPayload(i)) << i;
    }
    std::vector<std::wstring> expected = Targets();
    expected.push_back(L"update.journal");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Files()) << "the journal stays until the records are written";
}

TEST_F(Recovering, ADecidedUpdateWhoseFileIsNotCurrentIsNoSuccess)
{
    Lay(0, "new", nullptr, nullptr);
    Lay(1, "damaged", nullptr, nullptr);
    Lay(2, "new", nullptr, nullptr);
    WriteJournalIn(JournalState::Committed);
    Recovery done = Recovery::Nothing;
    EXPECT_EQ(PayloadDigestMismatch, RecoverInterruptedUpdate(m_journal, done));
    EXPECT_NE(Recovery::RolledForward, done);
    EXPECT_TRUE(PathExists(m_journal)) << "kept for the next run";
}

TEST_F(Recovering, NoJournalIsNothingAndAnUnreadableOneIsAFailure)
{
    Recovery done = Recovery::RolledBack;
    EXPECT_EQ(S_OK, RecoverInterruptedUpdate(m_journal, done));
    EXPECT_EQ(Recovery::Nothing, done);
    EXPECT_EQ(S_OK, RecoverInterruptedUpdate(L"", done));
    EXPECT_EQ(Recovery::Nothing, done);

    WriteBytes(m_journal, "ZentrelUpdateJournal 1\nstate committing\nrow 402\tC:\\x");
    EXPECT_EQ(HResultFromWin32(ERROR_INVALID_DATA), RecoverInterruptedUpdate(m_journal, done));
    EXPECT_EQ(L"old", ReadText(Path(m_names[0])));
}

TEST(Journal, TextRoundTripsAndAnythingElseIsRefused)
{
    UpdateJournal journal;
    journal.state = JournalState::Committing;
    journal.rows.push_back({402, NamesFor(L"C:\\Program Files (x86)\\Zentrel\\UpdateLink.dll", 1, 2)});
    journal.rows.push_back({417, NamesFor(L"\\\\?\\C:\\Hilfe\\\x65e5\x672c\\zentrel.chm", 1, 2)});
    const std::string text = JournalText(journal);
    UpdateJournal parsed;
    ASSERT_TRUE(ParseJournal(text, parsed));
    EXPECT_EQ(JournalState::Committing, parsed.state);
    ASSERT_EQ(2u, parsed.rows.size());
    EXPECT_EQ(417, parsed.rows[1].resourceId);
    EXPECT_EQ(journal.rows[1].names.target, parsed.rows[1].names.target);
    EXPECT_EQ(journal.rows[1].names.backup, parsed.rows[1].names.backup);

    const std::string refused[] = {
        "",
        text.substr(0, text.size() - 4), // cut before its end
        text + "row 1\ta\tb\tc\n",       // something after the end
        "ZentrelUpdateJournal 2\nstate committed\nend\n",
        "ZentrelUpdateJournal 1\nstate done\nend\n",
        "ZentrelUpdateJournal 1\nstate committed\nrow x\ta\tb\tc\nend\n",
        "ZentrelUpdateJournal 1\nstate committed\nrow 1\ta\tb\nend\n",
    };
    for (const std::string& bad : refused) {
        UpdateJournal untouched;
        EXPECT_FALSE(ParseJournal(bad, untouched)) << bad;
    }
}

} // namespace
