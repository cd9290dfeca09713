#pragma once
// Version numbers and the rules that compare them.

#include <windows.h>

#include <string>

// A file version as a version resource holds it: four unsigned 16-bit numbers,
// ordered from major down.
struct FourPartVersion {
    WORD major = 0;
    WORD minor = 0;
    WORD build = 0;
    WORD revision = 0;
};

int CompareVersions(const FourPartVersion& a, const FourPartVersion& b) noexcept;

// The version this update brings the product to.
inline constexpr const wchar_t* ProductTargetVersion = L"3.2.00.07040";

// A version text as four signed numbers. Pieces are split at "." and read as
// wcstol does in base 10; a last piece without a "." repeats for the numbers
// left, so "3.2" reads as 3, 2, 2, 2.
struct ParsedVersion {
    long parts[4] = {0, 0, 0, 0};
};
ParsedVersion ParseVersion(const std::wstring& text);

// Both ends included; an empty text fails every test.
bool VersionAtLeast(std::wstring text, WORD major, WORD minor, WORD build, WORD revision);
bool VersionAtMost(std::wstring text, WORD major, WORD minor, WORD build, WORD revision);
bool VersionAtLeast(const std::wstring& text, const FourPartVersion& bound);
bool VersionAtMost(const std::wstring& text, const FourPartVersion& bound);
// Compares the numbers, not the texts: "3.2.0.7040" equals "3.2.00.07040".
bool VersionEquals(std::wstring text1, std::wstring text2);
