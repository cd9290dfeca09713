#include "engine/update_journal.h"

#include <cstdlib>
#include <vector>

#include "common/hresult.h"
#include "common/unique_handle.h"

namespace {

constexpr const char* JournalHeader = "ZentrelUpdateJournal 1";

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

bool Wide(const std::string& text, std::wstring& out)
{
    out.clear();
    if (text.empty()) {
        return true;
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) {
        return false;
    }
    out.resize(static_cast<std::size_t>(size));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &out[0],
                               size) == size;
}

const char* StateName(JournalState state) noexcept
{
    switch (state) {
    case JournalState::Preparing:
        return "preparing";
    case JournalState::Committing:
        return "committing";
    case JournalState::Committed:
        return "committed";
    }
    return "";
}

} // namespace

std::string JournalText(const UpdateJournal& journal)
{
    std::string text = std::string(JournalHeader) + "\n" + "state " + StateName(journal.state) + "\n";
    for (const JournalRow& row : journal.rows) {
        text += "row " + std::to_string(row.resourceId) + "\t" + Utf8(row.names.target) + "\t" + Utf8(row.names.fresh) +
                "\t" + Utf8(row.names.backup) + "\n";
    }
    return text + "end\n";
}

// The pieces of `text` between separators, as std::getline reads them: a
// separator at the very end starts no further piece. (No string streams: they
// bring the whole locale machinery, half a megabyte, into the program.)
std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

bool ParseJournal(const std::string& text, UpdateJournal& journal)
{
    UpdateJournal parsed;
    const std::vector<std::string> lines = Split(text, '\n');
    if (lines.size() < 2 || lines[0] != JournalHeader) {
        return false;
    }
    const std::string& line = lines[1];
    if (line == "state preparing") {
        parsed.state = JournalState::Preparing;
    } else if (line == "state committing") {
        parsed.state = JournalState::Committing;
    } else if (line == "state committed") {
        parsed.state = JournalState::Committed;
    } else {
        return false;
    }
    for (std::size_t at = 2; at < lines.size(); ++at) {
        const std::string& line = lines[at];
        if (line == "end") {
            if (at + 1 != lines.size()) {
                return false; // nothing may follow the end
            }
            journal = std::move(parsed);
            return true;
        }
        if (line.compare(0, 4, "row ") != 0) {
            return false;
        }
        const std::vector<std::string> fields = Split(line.substr(4), '\t');
        if (fields.size() != 4) {
            return false;
        }
        const std::string& id = fields[0];
        const std::string& target = fields[1];
        const std::string& fresh = fields[2];
        const std::string& backup = fields[3];
        JournalRow row;
        char* end = nullptr;
        row.resourceId = std::strtol(id.c_str(), &end, 10);
        if (id.empty() || *end != '\0' || !Wide(target, row.names.target) || !Wide(fresh, row.names.fresh) ||
            !Wide(backup, row.names.backup) || row.names.target.empty() || row.names.fresh.empty() ||
            row.names.backup.empty()) {
            return false;
        }
        parsed.rows.push_back(std::move(row));
    }
    return false; // a journal without its end was cut short
}

bool WriteJournal(const std::wstring& path, const UpdateJournal& journal)
{
    const std::string text = JournalText(journal);
    const std::wstring partial = path + L".new";
    {
        const CUniqueFileHandle file(
            CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !FlushFileBuffers(file.Get())) {
            DeleteFileW(partial.c_str());
            return false;
        }
    }
    if (!MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(partial.c_str());
        return false;
    }
    return true;
}

HRESULT ReadJournal(const std::wstring& path, UpdateJournal& journal)
{
    const CUniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? S_FALSE : HResultFromWin32(error);
    }
    std::string text;
    char buffer[16384];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        text.append(buffer, read);
        if (text.size() > (16u << 20)) {
            return HResultFromWin32(ERROR_INVALID_DATA);
        }
    }
    return ParseJournal(text, journal) ? S_OK : HResultFromWin32(ERROR_INVALID_DATA);
}

bool RemoveJournal(const std::wstring& path) noexcept
{
    DeleteFileW((path + L".new").c_str());
    return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}
