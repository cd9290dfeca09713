#include "records/history_file.h"

#include <algorithm>
#include <cwchar>

#include "common/paths.h"
#include "common/unique_handle.h"
#include "product/installation.h"
#include "common/strings.h"

namespace {

constexpr wchar_t CounterPrefix[] = L"UpdateCount=";
constexpr std::size_t CounterPrefixLength = 12;

// Characters 0-255 as the bytes of the same value.
void AppendBytes(std::string& out, const std::wstring& text)
{
    for (const wchar_t c : text) {
        out += static_cast<char>(static_cast<unsigned char>(c));
    }
}

void AppendLine(std::string& out, const std::wstring& text)
{
    AppendBytes(out, text);
    out += "\r\n";
}

// Decimal as wcstol reads it: blanks, one sign, digits; no digits give 0.
long long CounterValue(const std::wstring& line)
{
    const std::wstring rest = line.substr(CounterPrefixLength);
    const wchar_t* p = rest.c_str();
    while (*p == L' ' || (*p >= L'\t' && *p <= L'\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == L'+' || *p == L'-') {
        negative = *p == L'-';
        ++p;
    }
    long long value = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        if (value < 1000000000000LL) {
            value = value * 10 + (*p - L'0');
        }
    }
    return negative ? -value : value;
}

bool WriteAll(HANDLE file, const std::string& content) noexcept
{
    std::size_t done = 0;
    while (done < content.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file, content.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return FlushFileBuffers(file) != FALSE;
}

} // namespace

bool ReadHistoryLines(const std::wstring& path, std::vector<std::wstring>& lines)
{
    lines.clear();
    const CUniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return GetLastError() == ERROR_FILE_NOT_FOUND; // a missing file is an empty history
    }
    std::wstring line;
    char buffer[65536];
    DWORD read = 0;
    const auto finishLine = [&]() {
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back(); // CR LF ends a line as LF does
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
        line.clear();
    };
    for (;;) {
        if (!ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            break;
        }
        for (DWORD i = 0; i < read; ++i) {
            const unsigned char byte = static_cast<unsigned char>(buffer[i]);
            if (byte == '\n') {
                finishLine();
            } else {
                line += static_cast<wchar_t>(byte);
            }
        }
    }
    finishLine(); // a last line without a line end is kept
    return true;
}

std::string HistoryFileContent(const std::wstring& productName, const std::vector<std::wstring>& oldLines,
                               const std::wstring& versionText, const LocalTimeStamp& now)
{
    std::string out;
    AppendLine(out, versionText);
    long long number = 1;
    bool counterSeen = false;
    for (const std::wstring& line : oldLines) {
        if (line.compare(0, CounterPrefixLength, CounterPrefix) == 0) {
            number = CounterValue(line) + 1;
            counterSeen = true;
            AppendLine(out, CounterPrefix + std::to_wstring(number));
        } else {
            AppendLine(out, line);
        }
    }
    if (!counterSeen) {
        AppendLine(out, CounterPrefix + std::to_wstring(number));
    }
    const long long n = number;
    std::wstring text;
    FormatText(text, L"Updated_%I64d_Date=%d/%d/%d %02d:%02d:%02d", n, now.Year(), now.Month(), now.Day(), now.Hour(),
               now.Minute(), now.Second());
    AppendLine(out, text);
    FormatText(text, L"Updated_%I64d_ProductName=%s", n, productName.c_str());
    AppendLine(out, text);
    FormatText(text, L"Updated_%I64d_Version=%s", n, versionText.c_str());
    AppendLine(out, text);
    FormatText(text, L"Updated_%I64d_ProductGUID=%s", n, ProductCode);
    AppendLine(out, text);
    return out;
}

bool WriteHistoryFile(const std::wstring& productName, const std::vector<std::wstring>& oldLines,
                      const std::wstring& path, const std::wstring& versionText)
{
    const std::string content = HistoryFileContent(productName, oldLines, versionText, LocalTimeStamp());
    // The new file goes beside the old one, so the final move stays on one volume.
    const std::wstring partial = path + L".new";
    CUniqueFileHandle file(
        CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    const bool written = WriteAll(file.Get(), content);
    file.Reset();
    if (!written) {
        DeleteFileW(partial.c_str()); // the old file is untouched
        return false;
    }
    if (!MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(partial.c_str());
        return false;
    }
    return true;
}

void UpdateHistoryFile(const std::wstring& versionText, const std::wstring& productName)
{
    const std::wstring folder = ReadInstallationFolders().application;
    if (folder.empty()) {
        return; // never "\version.txt" at the root of the current drive
    }
    const std::wstring path = MakeLongPath(folder + L"\\version.txt");
    std::vector<std::wstring> lines;
    if (!ReadHistoryLines(path, lines)) {
        return; // a history that cannot be read is not replaced by a shorter one
    }
    if (!lines.empty() && lines.front() == versionText) {
        return; // this update is already recorded
    }
    (void)WriteHistoryFile(productName, lines, path, versionText); // the old history stays on failure
}
