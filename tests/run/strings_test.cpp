#include "common/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/hresult.h"
#include "common/message_ids.h"

namespace {

// Builds a string-table block from up to 16 texts (missing ones are empty).
std::vector<WORD> MakeBlock(const std::vector<std::wstring>& texts)
{
    std::vector<WORD> block;
    for (unsigned i = 0; i < 16; ++i) {
        const std::wstring text = i < texts.size() ? texts[i] : std::wstring();
        block.push_back(static_cast<WORD>(text.size()));
        block.insert(block.end(), text.begin(), text.end());
    }
    return block;
}

std::wstring EntryText(const std::vector<WORD>& block, std::size_t bytes, unsigned index)
{
    StringEntry entry;
    if (!FindStringEntry(block.data(), bytes, index, &entry)) {
        return L"<absent>";
    }
    return std::wstring(entry.text, entry.length);
}

TEST(FindStringEntry, WalksCountedEntries)
{
    const auto block =
        MakeBlock({L"zero", L"", L"two", L"", L"", L"", L"", L"", L"", L"", L"", L"", L"", L"", L"", L"last"});
    const std::size_t bytes = block.size() * sizeof(WORD);
    struct Case {
        unsigned index;
        const wchar_t* expected;
    } cases[] = {
        {0, L"zero"}, {1, L"<absent>"}, {2, L"two"}, {3, L"<absent>"}, {15, L"last"}, {16, L"<absent>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, EntryText(block, bytes, c.index)) << "index " << c.index;
    }
}

TEST(FindStringEntry, NeverReadsPastATruncatedBlock)
{
    const auto block = MakeBlock({L"zero", L"one", L"two"});
    // Cut inside the text of entry 1: its count is there, its text is not.
    const std::size_t cut = (1 + 4 + 1 + 1) * sizeof(WORD);
    EXPECT_EQ(L"zero", EntryText(block, cut, 0));
    EXPECT_EQ(L"<absent>", EntryText(block, cut, 1));
    EXPECT_EQ(L"<absent>", EntryText(block, cut, 2));
    EXPECT_EQ(L"<absent>", EntryText(block, 0, 0));
}

// The English table is what the maker's documentation and support quote.
TEST(StringTables, EnglishTextsAreExact)
{
    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    struct Case {
        UINT id;
        const wchar_t* text;
    } cases[] = {
        {200, L"Zentrel Update Program"},
        {1201, L"Another instance of this update program is already running."},
        {1202, L"There is no target model for this program."},
        {1203, L"There is no need to update the program."},
        {1210, L"Update completed successfully."},
        {1213, L"Package Update Failed.\r\n(code = 0x%08x)"},
        {1215, L"Cannot install because related programs are running.\nExit all programs, and try again."},
        {1216, L"The operating system is not adequate for running Zentrel."},
        {1217, L"No software version applicable to this update is installed. The update will be cancelled."},
        {1218,
         L"The version of Zentrel already installed on the computer is the same version.\nThe program will quit."},
        {1219, L"You must be logged on with a computer administrator account to run this program."},
        {1230, L"Now processing...\nPlease wait for a while."},
    };
    const HMODULE module = GetModuleHandleW(nullptr);
    for (const auto& c : cases) {
        const HRSRC resource = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(c.id / 16 + 1), english);
        ASSERT_NE(nullptr, resource) << c.id;
        StringEntry entry;
        ASSERT_TRUE(FindStringEntry(LockResource(LoadResource(module, resource)), SizeofResource(module, resource),
                                    c.id % 16, &entry))
            << c.id;
        EXPECT_EQ(c.text, std::wstring(entry.text, entry.length)) << c.id;
    }
}

TEST(StringTables, EveryLanguageHoldsEveryText)
{
    const LANGID languages[] = {1028, 1031, 1033, 1036, 1040, 1041, 1042, 1043, 1045, 1046, 1049, 2052, 3082};
    const UINT ids[] = {200, 1201, 1202, 1203, 1210, 1213, 1215, 1216, 1217, 1218, 1219, 1230};
    const HMODULE module = GetModuleHandleW(nullptr);
    const std::wstring codeLine = L"\r\n(code = 0x%08x)";
    for (const LANGID language : languages) {
        std::wstring englishFailed;
        for (const UINT id : ids) {
            const HRSRC resource = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
            ASSERT_NE(nullptr, resource) << "language " << language << " id " << id;
            StringEntry entry;
            ASSERT_TRUE(FindStringEntry(LockResource(LoadResource(module, resource)), SizeofResource(module, resource),
                                        id % 16, &entry))
                << "language " << language << " id " << id;
            const std::wstring text(entry.text, entry.length);
            if (id == IDS_UPDATE_FAILED) {
                ASSERT_GT(text.size(), codeLine.size());
                EXPECT_EQ(codeLine, text.substr(text.size() - codeLine.size())) << "language " << language;
                // Exactly one conversion: the result code.
                EXPECT_EQ(1u, static_cast<unsigned>(std::count(text.begin(), text.end(), L'%'))) << language;
            }
            if (id != IDS_PROGRAM_CAPTION && language != 1033) {
                // Translated, not English left in place.
                const HRSRC english = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), 1033);
                StringEntry englishEntry;
                ASSERT_TRUE(FindStringEntry(LockResource(LoadResource(module, english)),
                                            SizeofResource(module, english), id % 16, &englishEntry));
                EXPECT_NE(std::wstring(englishEntry.text, englishEntry.length), text) << language << " " << id;
            }
        }
    }
}

// The test prefix runs with an English UI.
TEST(LocalizedStrings, LoadFromTheProgramsOwnTables)
{
    const HMODULE module = FindStringModule(IDS_UPDATE_SUCCEEDED);
    ASSERT_NE(nullptr, module);
    std::wstring text = L"unchanged";
    EXPECT_TRUE(LoadLocalizedString(IDS_UPDATE_SUCCEEDED, module, text));
    EXPECT_EQ(L"Update completed successfully.", text);

    // An id without text: no module, and a failed load leaves the text alone.
    EXPECT_EQ(nullptr, FindStringModule(1204));
    EXPECT_EQ(nullptr, FindStringModule(60000));
    text = L"unchanged";
    EXPECT_FALSE(LoadLocalizedString(1204, module, text));
    EXPECT_EQ(L"unchanged", text);
}

TEST(LocalizedStrings, ResourceTextTellsIdsFromLiterals)
{
    EXPECT_EQ(L"", ResourceText(0));
    EXPECT_EQ(L"There is no need to update the program.", ResourceText(1203));
    EXPECT_EQ(L"", ResourceText(1204));
    const wchar_t* literal = L"a literal text";
    EXPECT_EQ(L"a literal text", ResourceText(reinterpret_cast<ULONG_PTR>(literal)));
}

TEST(LocalizedStrings, FormatsTheFailureMessage)
{
    std::wstring text;
    FormatLocalizedString(text, IDS_UPDATE_FAILED, 0x80004005u);
    EXPECT_EQ(L"Package Update Failed.\r\n(code = 0x80004005)", text);
    FormatLocalizedString(text, IDS_UPDATE_FAILED, static_cast<unsigned>(E_OUTOFMEMORY));
    EXPECT_EQ(L"Package Update Failed.\r\n(code = 0x8007000e)", text);
}

TEST(LocalizedStrings, AMissingFormatIsAnError)
{
    std::wstring text = L"unchanged";
    try {
        FormatLocalizedString(text, 1204, 1);
        FAIL() << "no error raised";
    } catch (const CHResultError& error) {
        EXPECT_EQ(E_FAIL, error.Result());
    }
    EXPECT_EQ(L"unchanged", text);
}

TEST(FormatText, UsesWindowsWideConversions)
{
    std::wstring text;
    FormatText(text, L"%s|%d|%05d|%02d|%x|%08x", L"wide", -7, 42, 5, 0xbeefu, 0x1au);
    EXPECT_EQ(L"wide|-7|00042|05|beef|0000001a", text);
    FormatText(text, L"");
    EXPECT_EQ(L"", text);
    const std::wstring longArgument(5000, L'x');
    FormatText(text, L"[%s]", longArgument.c_str());
    EXPECT_EQ(L"[" + longArgument + L"]", text);
}

TEST(FormatText, ANullFormatIsAnInvalidArgument)
{
    std::wstring text;
    try {
        FormatText(text, nullptr);
        FAIL() << "no error raised";
    } catch (const CHResultError& error) {
        EXPECT_EQ(E_INVALIDARG, error.Result());
    }
}

} // namespace
