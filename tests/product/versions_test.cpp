#include "product/versions.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseVersion, SplitsAtDotsAsWcstolReads)
{
    struct Case {
        const wchar_t* text;
        long parts[4];
    } cases[] = {
        {L"3.1.00.14000", {3, 1, 0, 14000}},
        {L"3.2.00.07040", {3, 2, 0, 7040}},
        {L"3.2.0.0.9", {3, 2, 0, 0}},
        {L"3.2", {3, 2, 2, 2}},
        {L"3", {3, 3, 3, 3}},
        {L"3.2.", {3, 2, 0, 0}},
        {L"3.1a.0.0", {3, 1, 0, 0}},
        {L"ver3.1.0.0", {0, 1, 0, 0}},
        {L"3.-1.0.0", {3, -1, 0, 0}},
        {L" 3.1.0.0", {3, 1, 0, 0}},
        {L"", {0, 0, 0, 0}},
        {L"99999999999.0.0.0", {2147483647, 0, 0, 0}},
        {L"-99999999999.0.0.0", {-2147483647L - 1, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const ParsedVersion parsed = ParseVersion(c.text);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(c.parts[i], parsed.parts[i]) << "\"" << c.text << "\" part " << i;
        }
    }
}

TEST(VersionRules, BoundsAreInclusiveAndNumeric)
{
    struct Case {
        const wchar_t* text;
        bool atLeast300;
        bool atMost320;
        bool equalsTarget;
    } cases[] = {
        {L"3.1.00.14000", true, true, false}, {L"3.0.0.0", true, true, false},    {L"3.2.0.0", true, true, false},
        {L"3.2.00.07040", true, false, true}, {L"3.2.0.7040", true, false, true}, {L"3.2.0.1", true, false, false},
        {L"2.9.9.9", false, true, false},     {L"3.2", true, false, false},       {L" 3.1.0.0", true, true, false},
        {L"3.-1.0.0", false, true, false},    {L"", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.atLeast300, VersionAtLeast(c.text, 3, 0, 0, 0)) << c.text;
        EXPECT_EQ(c.atMost320, VersionAtMost(c.text, 3, 2, 0, 0)) << c.text;
        EXPECT_EQ(c.equalsTarget, VersionEquals(c.text, ProductTargetVersion)) << c.text;
    }
    // Parsed pieces are signed and unbounded by 16 bits; bounds are unsigned.
    EXPECT_FALSE(VersionAtLeast(L"-3.0.0.0", 0, 0, 0, 0));
    EXPECT_TRUE(VersionAtLeast(L"65536.0.0.0", 65535, 0, 0, 0));
}

TEST(VersionRules, EqualityNeedsTwoTexts)
{
    EXPECT_FALSE(VersionEquals(L"", L""));
    EXPECT_FALSE(VersionEquals(L"", L"0.0.0.0"));
    EXPECT_TRUE(VersionEquals(L"0", L"0.0.0.0"));
    EXPECT_TRUE(VersionEquals(L"3.2", L"3.2.2.2"));
}

TEST(FourPartVersion, OrderedFromMajorDownUnsigned)
{
    const FourPartVersion low{4, 1, 0, 14000};
    const FourPartVersion high{4, 1, 0, 14001};
    const FourPartVersion wide{0, 0, 0, 65535};
    const FourPartVersion major{1, 0, 0, 0};
    EXPECT_EQ(0, CompareVersions(low, low));
    EXPECT_EQ(-1, CompareVersions(low, high));
    EXPECT_EQ(1, CompareVersions(high, low));
    EXPECT_EQ(-1, CompareVersions(wide, major));
    EXPECT_TRUE(VersionAtLeast(L"4.1.0.14000", low));
    EXPECT_TRUE(VersionAtMost(L"4.1.0.14000", low));
    EXPECT_FALSE(VersionAtMost(L"4.1.0.14001", low));
}

} // namespace
