// The floor of an update's cost, for the update benchmark: it carries the
// same payloads as the updater and only LZ-expands each onto its target,
// with no checks, no staging, no verification and no records.
//
// usage: lz_floor.exe LIST    LIST: lines "<resource id> <TAB> <target path>" (UTF-8)
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::wstring Wide(const std::string& text)
{
    std::wstring out(text.size(), L'\0');
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                         static_cast<int>(out.size()));
    out.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    return out;
}

bool Expand(int id, std::wstring target, const std::wstring& scratch)
{
    const HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"PATCH");
    const HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        return false;
    }
    const HANDLE file = CreateFileW(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, bytes, SizeofResource(nullptr, resource), &written, nullptr);
    CloseHandle(file);
    if (!wrote) {
        return false;
    }
    std::wstring source = scratch;
    OFSTRUCT sourceInfo = {};
    OFSTRUCT targetInfo = {};
    const INT from = LZOpenFileW(&source[0], &sourceInfo, OF_READ);
    const INT to = LZOpenFileW(&target[0], &targetInfo, OF_CREATE | OF_WRITE);
    const bool copied = from >= 0 && to >= 0 && LZCopy(from, to) >= 0;
    if (from >= 0) {
        LZClose(from);
    }
    if (to >= 0) {
        LZClose(to);
    }
    DeleteFileW(scratch.c_str());
    return copied;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        return 2;
    }
    std::ifstream list(argv[1]);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::string line;
    int failures = 0;
    while (std::getline(list, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        const int id = std::stoi(line.substr(0, tab));
        const std::wstring scratch = std::wstring(temp) + L"lz_floor." + std::to_wstring(id);
        if (!Expand(id, Wide(line.substr(tab + 1)), scratch)) {
            ++failures;
        }
    }
    return failures;
}
