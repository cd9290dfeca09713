#include "records/history_file.h"

#include <fstream>
#include <iterator>

#include "support/test_files.h"

namespace {

LocalTimeStamp July2nd2013()
{
    std::tm time = {};
    time.tm_year = 113;
    time.tm_mon = 6;
    time.tm_mday = 2;
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 0;
    return LocalTimeStamp(&time);
}

std::vector<std::wstring> Lines(std::initializer_list<const wchar_t*> lines)
{
    return std::vector<std::wstring>(lines.begin(), lines.end());
}

// The lines of a history that must read whole.
std::vector<std::wstring> ReadLines(const std::wstring& path)
{
    std::vector<std::wstring> lines;
    EXPECT_TRUE(ReadHistoryLines(path, lines)) << "cannot read " << std::string(path.begin(), path.end());
    return lines;
}

std::string Group(int n)
{
    const std::string number = std::to_string(n);
    return "Updated_" + number + "_Date=2013/7/2 09:05:00\r\n" + "Updated_" + number + "_ProductName=Zentrel\r\n" +
           "Updated_" + number + "_Version=3.2.00.07040\r\n" + "Updated_" + number +
           "_ProductGUID={3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}\r\n";
}

TEST(HistoryContent, TheCounterRisesAndTheNewGroupFollowsTheOldLines)
{
    struct Case {
        const char* name;
        std::vector<std::wstring> old;
        std::string expected;
    } cases[] = {
        {"counter present", Lines({L"3.1.00.14000", L"UpdateCount=2", L"Updated_2_Date=2012/1/1 10:00:00"}),
         "3.2.00.07040\r\n3.1.00.14000\r\nUpdateCount=3\r\nUpdated_2_Date=2012/1/1 10:00:00\r\n" + Group(3)},
        {"no counter", Lines({L"3.1.00.14000", L"note"}),
         "3.2.00.07040\r\n3.1.00.14000\r\nnote\r\nUpdateCount=1\r\n" + Group(1)},
        {"empty file", Lines({}), "3.2.00.07040\r\nUpdateCount=1\r\n" + Group(1)},
        {"counter 0", Lines({L"UpdateCount=0"}), "3.2.00.07040\r\nUpdateCount=1\r\n" + Group(1)},
        {"counter without digits", Lines({L"UpdateCount=x7"}), "3.2.00.07040\r\nUpdateCount=1\r\n" + Group(1)},
        {"counter with blanks and trailing text", Lines({L"UpdateCount= +41 extra"}),
         "3.2.00.07040\r\nUpdateCount=42\r\n" + Group(42)},
        {"other letter case is not a counter", Lines({L"updatecount=5", L" UpdateCount=5"}),
         "3.2.00.07040\r\nupdatecount=5\r\n UpdateCount=5\r\nUpdateCount=1\r\n" + Group(1)},
        {"two counters: the last decides", Lines({L"UpdateCount=4", L"UpdateCount=9"}),
         "3.2.00.07040\r\nUpdateCount=5\r\nUpdateCount=10\r\n" + Group(10)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, HistoryFileContent(L"Zentrel", c.old, L"3.2.00.07040", July2nd2013())) << c.name;
    }
}

TEST(HistoryContent, ACounterAtTheTopOfItsRangeStillRises)
{
    const std::string content =
        HistoryFileContent(L"Zentrel", Lines({L"UpdateCount=2147483647"}), L"3.2.00.07040", July2nd2013());
    EXPECT_NE(std::string::npos, content.find("UpdateCount=2147483648\r\nUpdated_2147483648_Date="));
}

TEST(HistoryContent, AnInvalidTimeShowsMinusOnes)
{
    const std::string content = HistoryFileContent(L"Zentrel", {}, L"3.2.00.07040", LocalTimeStamp(nullptr));
    EXPECT_NE(std::string::npos, content.find("Updated_1_Date=-1/-1/-1 -1:-1:-1\r\n"));
}

class HistoryFile : public ::testing::Test {
protected:
    void WriteBytes(const std::string& bytes)
    {
        std::ofstream out(m_path.c_str(), std::ios::binary);
        out << bytes;
    }
    std::string ReadBytes()
    {
        std::ifstream in(m_path.c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    const CTestFolder m_temp{L"zentrel-history"};
    const std::wstring m_folder = m_temp.Path();
    const std::wstring m_path = m_temp.Path(L"version.txt");
};

TEST_F(HistoryFile, LinesEndAtLfOrCrLfAndBlankOnesDrop)
{
    WriteBytes("first\r\n\r\nsecond\n\nthird\rstill third\nlast without end");
    EXPECT_EQ(Lines({L"first", L"second", L"third\rstill third", L"last without end"}), ReadLines(m_path));
    EXPECT_TRUE(ReadLines(m_folder + L"\\missing.txt").empty());
}

TEST_F(HistoryFile, EveryOldLineComesBackByteForByte)
{
    // Every byte value but LF and CR, a NUL inside a line, Ctrl-Z, and a 1 MB line.
    std::string hostile;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte != '\n' && byte != '\r') {
            hostile += static_cast<char>(byte);
        }
    }
    const std::string withNul = std::string("before") + '\0' + "after\x1a";
    const std::string big(1 << 20, 'x');
    WriteBytes(hostile + "\n" + withNul + "\r\n" + big + "\nUpdateCount=7\n");
    ASSERT_TRUE(WriteHistoryFile(L"Zentrel", ReadLines(m_path), m_path, L"3.2.00.07040"));
    const std::string content = ReadBytes();
    const std::string expectedStart =
        "3.2.00.07040\r\n" + hostile + "\r\n" + withNul + "\r\n" + big + "\r\nUpdateCount=8\r\nUpdated_8_Date=";
    ASSERT_GE(content.size(), expectedStart.size());
    EXPECT_TRUE(content.compare(0, expectedStart.size(), expectedStart) == 0);
    EXPECT_EQ(0u, content.size() - content.rfind("Updated_8_ProductGUID={3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}\r\n") -
                      std::string("Updated_8_ProductGUID={3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}\r\n").size());
}

TEST_F(HistoryFile, AFailedWriteLeavesTheOldFileExactlyAsItWas)
{
    WriteBytes("3.1.00.14000\nUpdateCount=2\n");
    // A history held open by another program cannot be replaced: nothing
    // changes, nothing is left behind.
    const std::vector<std::wstring> lines = ReadLines(m_path);
    const HANDLE holder =
        CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_FALSE(WriteHistoryFile(L"Zentrel", lines, m_path, L"3.2.00.07040"));
    CloseHandle(holder);
    EXPECT_EQ("3.1.00.14000\nUpdateCount=2\n", ReadBytes());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((m_path + L".new").c_str()));

    // Nor when the new file cannot even be made.
    EXPECT_FALSE(WriteHistoryFile(L"Zentrel", {}, m_folder + L"\\missing\\version.txt", L"3.2.00.07040"));
}

TEST(LocalTime, FieldsOfAValidAndAnInvalidStamp)
{
    const LocalTimeStamp stamp = July2nd2013();
    EXPECT_TRUE(stamp.IsValid());
    EXPECT_EQ(2013, stamp.Year());
    EXPECT_EQ(7, stamp.Month());
    EXPECT_EQ(2, stamp.Day());
    EXPECT_EQ(9, stamp.Hour());
    EXPECT_EQ(5, stamp.Minute());
    EXPECT_EQ(0, stamp.Second());

    std::tm impossible = {};
    impossible.tm_year = 113;
    impossible.tm_mon = 1;
    impossible.tm_mday = 30; // 30 February
    const LocalTimeStamp invalid(&impossible);
    EXPECT_FALSE(invalid.IsValid());
    EXPECT_EQ(-1, invalid.Year());
    EXPECT_EQ(-1, invalid.Second());

    const LocalTimeStamp now;
    EXPECT_TRUE(now.IsValid());
    EXPECT_GE(now.Year(), 2024);
}

} // namespace
