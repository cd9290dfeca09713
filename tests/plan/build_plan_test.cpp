// The plan builder against the registry: where the installation is found.
#include "product/installation.h"
#include "plan/update_plan.h"

#include <gtest/gtest.h>

#include <string>

#include "support/machine_registry.h"

namespace {

class AppKey : public ::testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }

    static void Clear() { DeleteMachineKey(ProductAppKey); }

    static void Set(REGSAM view, const wchar_t* name, const wchar_t* value)
    {
        SetMachineString(ProductAppKey, view, name, value);
    }
};

TEST_F(AppKey, MissingOrEmptyFolderValuesMeanNoInstallation)
{
    const struct {
        const char* name;
        const wchar_t* application;
        const wchar_t* library;
    } cases[] = {
        {"no key", nullptr, nullptr},
        {"no ApplicationDir", nullptr, L"C:\\Halvern\\RedOvad"},
        {"empty ApplicationDir", L"", L"C:\\Halvern\\RedOvad"},
        {"no VideoEditLibPath", L"C:\\Halvern\\Zentrel", nullptr},
    };
    for (const auto& c : cases) {
        Clear();
        if (c.application) {
            Set(KEY_WOW64_32KEY, L"ApplicationDir", c.application);
        }
        if (c.library) {
            Set(KEY_WOW64_32KEY, L"VideoEditLibPath", c.library);
        }
        PatchPlan plan;
        plan.Append(PatchPlanEntry(PatchCatalog[0], L"left over"));
        EXPECT_EQ(-1, BuildUpdatePlan(plan)) << c.name;
        EXPECT_EQ(0u, plan.Count()) << c.name;
        EXPECT_EQ(0u, plan.Capacity()) << c.name;
    }
}

TEST_F(AppKey, DiscoveryCompletesTheFolderTableEveryTimeAlike)
{
    Set(KEY_WOW64_64KEY, L"ApplicationDir", L"C:\\nowhere\\Zentrel");
    Set(KEY_WOW64_64KEY, L"VideoEditLibPath", L"C:\\nowhere\\RedOvad");
    for (int run = 0; run < 2; ++run) {
        PatchPlan plan;
        EXPECT_EQ(-1, BuildUpdatePlan(plan)) << "nothing is installed there";
        EXPECT_EQ(L"C:\\nowhere\\Zentrel", TargetFolderTable[0].path.Get());
        EXPECT_EQ(L"C:\\nowhere\\RedOvad", TargetFolderTable[1].path.Get());
        EXPECT_EQ(L"C:\\nowhere\\Help", TargetFolderTable[2].path.Get());
        EXPECT_EQ(L"C:\\nowhere\\Help\\DEU", TargetFolderTable[5].path.Get());
        EXPECT_EQ(L"C:\\nowhere\\Help\\RUS", TargetFolderTable[15].path.Get());
    }
}

TEST_F(AppKey, ALibraryFolderWithoutRedOvadHoldsTheHelpFoldersItself)
{
    Set(KEY_WOW64_32KEY, L"ApplicationDir", L"C:\\nowhere\\Zentrel");
    Set(KEY_WOW64_32KEY, L"VideoEditLibPath", L"C:\\nowhere\\Libraries\\");
    PatchPlan plan;
    EXPECT_EQ(-1, BuildUpdatePlan(plan));
    EXPECT_EQ(L"C:\\nowhere\\Libraries\\", TargetFolderTable[2].path.Get());
    // Plain concatenation: a folder ending in a backslash gives a doubled one.
    EXPECT_EQ(L"C:\\nowhere\\Libraries\\\\DEU", TargetFolderTable[5].path.Get());
}

} // namespace
