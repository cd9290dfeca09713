#include "product/versions.h"

#include <cwchar>

namespace {

long ConvertPiece(const std::wstring& piece)
{
    // wcstol clamps to the 32-bit range itself (long is 32 bits on Windows).
    return std::wcstol(piece.c_str(), nullptr, 10);
}

// -1, 0 or 1 as the parsed version lies below, at or above the bound.
int CompareWithBound(const std::wstring& text, WORD major, WORD minor, WORD build, WORD revision)
{
    const ParsedVersion parsed = ParseVersion(text);
    const long bound[4] = {major, minor, build, revision};
    for (int i = 0; i < 4; ++i) {
        if (parsed.parts[i] != bound[i]) {
            return parsed.parts[i] > bound[i] ? 1 : -1;
        }
    }
    return 0;
}

} // namespace

int CompareVersions(const FourPartVersion& a, const FourPartVersion& b) noexcept
{
    const WORD left[4] = {a.major, a.minor, a.build, a.revision};
    const WORD right[4] = {b.major, b.minor, b.build, b.revision};
    for (int i = 0; i < 4; ++i) {
        if (left[i] != right[i]) {
            return left[i] > right[i] ? 1 : -1;
        }
    }
    return 0;
}

ParsedVersion ParseVersion(const std::wstring& text)
{
    ParsedVersion parsed;
    std::wstring rest = text;
    for (int i = 0; i < 3; ++i) {
        const std::size_t dot = rest.find(L'.');
        if (dot == std::wstring::npos) {
            parsed.parts[i] = ConvertPiece(rest);
        } else {
            parsed.parts[i] = ConvertPiece(rest.substr(0, dot));
            rest.erase(0, dot + 1);
        }
    }
    parsed.parts[3] = ConvertPiece(rest);
    return parsed;
}

bool VersionAtLeast(std::wstring text, WORD major, WORD minor, WORD build, WORD revision)
{
    return !text.empty() && CompareWithBound(text, major, minor, build, revision) >= 0;
}

bool VersionAtMost(std::wstring text, WORD major, WORD minor, WORD build, WORD revision)
{
    return !text.empty() && CompareWithBound(text, major, minor, build, revision) <= 0;
}

bool VersionAtLeast(const std::wstring& text, const FourPartVersion& bound)
{
    return VersionAtLeast(text, bound.major, bound.minor, bound.build, bound.revision);
}

bool VersionAtMost(const std::wstring& text, const FourPartVersion& bound)
{
    return VersionAtMost(text, bound.major, bound.minor, bound.build, bound.revision);
}

bool VersionEquals(std::wstring text1, std::wstring text2)
{
    if (text1.empty() || text2.empty()) {
        return false;
    }
    const ParsedVersion a = ParseVersion(text1);
    const ParsedVersion b = ParseVersion(text2);
    for (int i = 0; i < 4; ++i) {
        if (a.parts[i] != b.parts[i]) {
            return false;
        }
    }
    return true;
}
