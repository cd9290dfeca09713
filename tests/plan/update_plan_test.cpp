#include "product/installation.h"
#include "common/paths.h"
#include "plan/update_plan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "support/build_files.h"
#include "support/test_files.h"

namespace {

// Installed-file fixtures: a real PE file (a payload library of the build)
// with its fixed file version patched to the version a test wants.
void WriteVersionedFile(const std::wstring& path, const FourPartVersion* version)
{
    const char* source = std::getenv("FIXTURE_PE");
    ASSERT_NE(nullptr, source) << "FIXTURE_PE is not set";
    std::ifstream in(WindowsPathOf(source).c_str(), std::ios::binary);
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(data.empty());
    if (version) {
        const DWORD signature = 0xFEEF04BD;
        bool patched = false;
        for (std::size_t at = 0; at + 16 <= data.size(); at += 4) {
            if (memcmp(&data[at], &signature, 4) == 0) {
                const DWORD ms = (DWORD(version->major) << 16) | version->minor;
                const DWORD ls = (DWORD(version->build) << 16) | version->revision;
                memcpy(&data[at + 8], &ms, 4);
                memcpy(&data[at + 12], &ls, 4);
                patched = true;
                break;
            }
        }
        ASSERT_TRUE(patched);
    } else {
        data.assign(100, 'x'); // a file without any version resource
    }
    const CUniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
}

void MakeFolders(std::wstring path)
{
    // Creates every folder of `path` (long-path form allowed).
    for (std::size_t at = path.find(L'\\', 7); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

const wchar_t* const HelpLanguages[] = {L"CHS", L"CHT", L"DEU", L"ENU", L"ESP", L"FRA", L"ITA",
                                        L"JPN", L"KOR", L"NLD", L"PLK", L"PTB", L"RUS"};

// An installation under a folder of its own: application, library and help
// folders, a folder table completed for them, and the files the test seeds.
class Installation : public ::testing::Test {
protected:
    void SetUp() override { SetRoot(m_root); }

    void SetRoot(const std::wstring& root)
    {
        m_app = root + L"\\Zentrel";
        m_library = root + L"\\RedOvad";
        m_help = root + L"\\Help";
        for (DWORD i = 0; i < TargetFolderCount; ++i) {
            m_folders[i].applyOn32Bit = TRUE;
            m_folders[i].applyOn64Bit = TRUE;
            m_folders[i].folderKind = i + 1;
            const std::wstring base = i == 0 ? m_app : i == 1 ? m_library : m_help;
            m_folders[i].path = base + TargetFolderSuffix(i + 1);
        }
    }

    std::wstring Target(DWORD kind, const wchar_t* name) const { return m_folders[kind - 1].path.Get() + L"\\" + name; }

    void Seed(DWORD kind, const wchar_t* name, FourPartVersion version)
    {
        const std::wstring path = MakeLongPath(Target(kind, name));
        MakeFolders(path.substr(0, path.rfind(L'\\')));
        WriteVersionedFile(path, &version);
    }

    void SeedProgramsAt(FourPartVersion version)
    {
        const struct {
            DWORD kind;
            const wchar_t* name;
        } programs[] = {{1, L"CardProbe.dll"}, {1, L"UpdateLink.dll"}, {1, L"Zentrel.exe"},  {1, L"ZentrelTask.exe"},
                        {1, L"FrameCore.dll"}, {2, L"CardProbe.dll"},  {2, L"vxdecode.dll"}, {2, L"vxplay.dll"}};
        for (const auto& program : programs) {
            Seed(program.kind, program.name, version);
        }
    }

    void SeedHelpFiles()
    {
        for (DWORD kind = 4; kind <= 16; ++kind) {
            Seed(kind, L"zentrel.chm", {1, 0, 0, 0});
        }
    }

    std::vector<LONG> Collect(const wchar_t* installedVersion, LONG* result)
    {
        PatchPlan plan;
        *result = CollectPlanEntries(plan, m_folders, true, installedVersion);
        std::vector<LONG> ids;
        for (const PatchPlanEntry& row : plan) {
            ids.push_back(row.resourceId);
        }
        return ids;
    }

    const CTestFolder m_temp{L"zentrel-plan-" + CurrentTestName()};
    const std::wstring m_root = m_temp.Path();
    std::wstring m_app, m_library, m_help;
    CTargetFolderTable m_folders;
};

std::vector<LONG> Ids(LONG first, LONG last)
{
    std::vector<LONG> ids;
    for (LONG id = first; id <= last; ++id) {
        ids.push_back(id);
    }
    return ids;
}

TEST_F(Installation, EveryTargetPresentAndInRangeGivesAllRowsInCatalogueOrder)
{
    SeedProgramsAt({3, 1, 0, 14000});
    SeedHelpFiles();
    PatchPlan plan;
    EXPECT_EQ(21, CollectPlanEntries(plan, m_folders, true, L"3.1.00.14000"));
    ASSERT_EQ(21u, plan.Count());
    for (DWORD i = 0; i < plan.Count(); ++i) {
        EXPECT_EQ(PatchCatalog[i].resourceId, plan[i].resourceId);
        EXPECT_EQ(Target(PatchCatalog[i].folderKind, PatchCatalog[i].fileName.CStr()), plan[i].fileName.Get());
        EXPECT_EQ(2013, plan[i].fileTime.year);
    }
}

TEST_F(Installation, ProgramFilesAreJudgedByTheirOwnVersion)
{
    SeedHelpFiles();
    struct Case {
        const char* name;
        FourPartVersion version;
        bool admitted;
    } cases[] = {
        {"exactly at the bound", {4, 1, 0, 14000}, true},
        {"one above the bound", {4, 1, 0, 14001}, false},
        {"far below", {0, 0, 0, 1}, true},
        {"the payload's own version", {4, 1, 0, 14200}, false},
    };
    for (const auto& c : cases) {
        Seed(1, L"CardProbe.dll", c.version);
        LONG result = 0;
        const std::vector<LONG> ids = Collect(L"3.1.00.14000", &result);
        std::vector<LONG> expected = Ids(409, 421);
        if (c.admitted) {
            expected.insert(expected.begin(), 401);
        }
        EXPECT_EQ(expected, ids) << c.name;
        EXPECT_EQ(static_cast<LONG>(expected.size()), result) << c.name;
    }
}

TEST_F(Installation, HelpFilesAreJudgedByTheProductVersion)
{
    SeedProgramsAt({9, 0, 0, 0}); // every program file above its bounds
    SeedHelpFiles();
    struct Case {
        const wchar_t* installed;
        LONG expected;
    } cases[] = {{L"3.0.0.0", 13}, {L"3.2.0.0", 13}, {L"3.2.0.1", 0}, {L"2.9.9.9", 0}, {L"", 0}};
    for (const auto& c : cases) {
        LONG result = -2;
        const std::vector<LONG> ids = Collect(c.installed, &result);
        EXPECT_EQ(c.expected, result) << c.installed;
        EXPECT_EQ(c.expected ? Ids(409, 421) : std::vector<LONG>(), ids) << c.installed;
    }
}

TEST_F(Installation, PresentButNotAdmittedIsNotAbsent)
{
    LONG result = 0;
    EXPECT_TRUE(Collect(L"3.1.00.14000", &result).empty());
    EXPECT_EQ(-1, result) << "no target at all";

    // A file without a version resource is present, but not admitted.
    const std::wstring bare = Target(2, L"vxplay.dll");
    MakeFolders(m_library);
    WriteVersionedFile(bare, nullptr);
    EXPECT_TRUE(Collect(L"3.1.00.14000", &result).empty());
    EXPECT_EQ(0, result);
    DeleteFileW(bare.c_str());

    // A folder named like a target is no target.
    MakeFolders(Target(1, L"Zentrel.exe"));
    EXPECT_TRUE(Collect(L"3.1.00.14000", &result).empty());
    EXPECT_EQ(-1, result);
}

TEST_F(Installation, TheSameLibraryInTwoFoldersHasTwoBounds)
{
    Seed(1, L"CardProbe.dll", {4, 1, 0, 14100});
    Seed(2, L"CardProbe.dll", {4, 1, 0, 14100});
    LONG result = 0;
    EXPECT_EQ(std::vector<LONG>({406}), Collect(L"3.1.00.14000", &result));
    Seed(1, L"CardProbe.dll", {4, 1, 0, 14000});
    EXPECT_EQ(std::vector<LONG>({401, 406}), Collect(L"3.1.00.14000", &result));
}

TEST_F(Installation, FoldersEndingInABackslashGetNoSecondOne)
{
    m_folders[0].path = m_app + L"\\";
    Seed(1, L"Zentrel.exe", {3, 1, 0, 0});
    PatchPlan plan;
    EXPECT_EQ(1, CollectPlanEntries(plan, m_folders, true, L"3.1.0.0"));
    ASSERT_EQ(1u, plan.Count());
    EXPECT_EQ(m_app + L"\\Zentrel.exe", plan[0].fileName.Get());
}

TEST_F(Installation, LongInstallPathsAreReachedThroughTheLongPathForm)
{
    std::wstring root = m_root;
    while (root.size() < 280) {
        root += L"\\a-rather-long-folder-name";
    }
    SetRoot(root);
    Seed(1, L"Zentrel.exe", {3, 1, 0, 0});
    Seed(7, L"zentrel.chm", {1, 0, 0, 0});
    PatchPlan plan;
    EXPECT_EQ(2, CollectPlanEntries(plan, m_folders, true, L"3.1.0.0"));
    ASSERT_EQ(2u, plan.Count());
    EXPECT_EQ(L"\\\\?\\" + Target(1, L"Zentrel.exe"), plan[0].fileName.Get());
    EXPECT_EQ(L"\\\\?\\" + Target(7, L"zentrel.chm"), plan[1].fileName.Get());
}

TEST(PlanPaths, DeriveHelpFolder)
{
    const struct {
        const wchar_t* library;
        const wchar_t* help;
    } cases[] = {
        {L"C:\\Program Files (x86)\\Halvern\\RedOvad", L"C:\\Program Files (x86)\\Halvern\\Help"},
        {L"C:\\Halvern\\Libraries", L"C:\\Halvern\\Libraries"},
        {L"C:\\RedOvad\\RedOvad\\", L"C:\\Help\\Help\\"},
        {L"C:\\RedOvadRedOvad", L"C:\\HelpHelp"},
        {L"C:\\redovad", L"C:\\redovad"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.help, DeriveHelpFolder(c.library)) << c.library;
    }
}

TEST(PlanPaths, MakeLongPath)
{
    const std::wstring at259 = L"C:\\" + std::wstring(256, L'x');
    const std::wstring at260 = at259 + L"y";
    const std::wstring unc = L"\\\\server\\share\\" + std::wstring(250, L'z');
    EXPECT_EQ(at259, MakeLongPath(at259));
    EXPECT_EQ(L"\\\\?\\" + at260, MakeLongPath(at260));
    EXPECT_EQ(L"\\\\?\\UNC" + unc.substr(1), MakeLongPath(unc));
    EXPECT_EQ(L"\\\\?\\" + at260, MakeLongPath(L"\\\\?\\" + at260));
    EXPECT_EQ(L"C:\\", MakeLongPath(L"C:\\"));
    EXPECT_EQ(L"", MakeLongPath(L""));
}

TEST(PlanGrowth, CapacityRunsOneFiveNineUpToTwentyOne)
{
    PatchPlan plan;
    std::vector<DWORD> capacities;
    for (const PatchCatalogEntry& row : PatchCatalog) {
        plan.Append(PatchPlanEntry(row, row.fileName));
        if (capacities.empty() || capacities.back() != plan.Capacity()) {
            capacities.push_back(plan.Capacity());
        }
    }
    EXPECT_EQ(std::vector<DWORD>({1, 5, 9, 13, 17, 21}), capacities);
    ASSERT_EQ(21u, plan.Count());
    for (DWORD i = 0; i < plan.Count(); ++i) {
        EXPECT_EQ(PatchCatalog[i].resourceId, plan[i].resourceId);
    }

    PatchPlan stepped(10);
    for (int i = 0; i < 11; ++i) {
        stepped.Append(PatchPlanEntry(PatchCatalog[0], L"x"));
    }
    EXPECT_EQ(20u, stepped.Capacity());
}

TEST(PlanGrowth, CopiesShareTheirPaths)
{
    PatchPlan plan;
    plan.Append(PatchPlanEntry(PatchCatalog[2], std::wstring(L"C:\\Zentrel\\Zentrel.exe")));
    EXPECT_EQ(1, plan[0].fileName.ShareCount());
    {
        PatchPlan copy;
        copy.CopyFrom(plan);
        EXPECT_EQ(1u, copy.Capacity());
        EXPECT_EQ(2, plan[0].fileName.ShareCount());
        EXPECT_EQ(&plan[0].fileName.Get(), &copy[0].fileName.Get());
    }
    EXPECT_EQ(1, plan[0].fileName.ShareCount());
    plan.Clear();
    EXPECT_EQ(0u, plan.Count());
    EXPECT_EQ(0u, plan.Capacity());
}

TEST(Catalogue, HelpRowsAreExactlyThePayloads409To421)
{
    for (const PatchCatalogEntry& row : PatchCatalog) {
        const bool help = row.resourceId >= FirstHelpResourceId && row.resourceId <= LastHelpResourceId;
        EXPECT_EQ(!help, row.checkFileVersion) << row.resourceId;
        EXPECT_EQ(help, row.fileName.Get() == L"zentrel.chm") << row.resourceId;
        EXPECT_NE(3u, row.folderKind) << "the bare help folder never receives a file";
        EXPECT_TRUE(row.applyOn32Bit && row.applyOn64Bit);
    }
}

} // namespace
