// Build-time checker of the payloads, run under Wine by the release gate. It
// uses the updater's own code: the compiled-in catalogue, ReadFileVersion,
// and the payload expansion through the system's LZ32 functions.
//
// usage: payload_check.exe LIST REPORT
//   LIST: lines "id<TAB>source<TAB>packed<TAB>scratch" (Windows paths)
//   REPORT: one line per payload: "id<TAB>ok" or "id<TAB>FAIL<TAB>reason"
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/system_library.h"
#include "engine/staging.h"
#include "plan/catalog.h"
#include "plan/update_plan.h"

namespace {

std::vector<char> ReadAll(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring Wide(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], size);
    out.resize(wcslen(out.c_str()));
    return out;
}

std::string VersionText(const FourPartVersion& v)
{
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) + "." +
           std::to_string(v.revision);
}

const PatchCatalogEntry* CatalogRow(LONG id)
{
    for (const PatchCatalogEntry& row : PatchCatalog) {
        if (row.resourceId == id) {
            return &row;
        }
    }
    return nullptr;
}

std::string Check(LONG id, const std::wstring& source, const std::wstring& packed, const std::wstring& scratch)
{
    const PatchCatalogEntry* row = CatalogRow(id);
    if (!row) {
        return "no catalogue row carries this payload";
    }
    if (row->checkFileVersion) {
        VS_FIXEDFILEINFO info;
        if (!ReadFileVersion(source, &info)) {
            return "the program file has no version resource";
        }
        const FourPartVersion version = {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                                         HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS)};
        if (CompareVersions(version, row->maxVersion) <= 0) {
            return "file version " + VersionText(version) + " does not lie above the row's bound " +
                   VersionText(row->maxVersion) + ": a second run would replace it again";
        }
    }
    DeleteFileW(scratch.c_str());
    if (FAILED(ExpandPayloadFile(packed, scratch))) {
        return "LZ32 cannot expand it";
    }
    const std::vector<char> original = ReadAll(source);
    const std::vector<char> expanded = ReadAll(scratch);
    DeleteFileW(scratch.c_str());
    if (original != expanded) {
        return "LZ32 expands it to " + std::to_string(expanded.size()) + " bytes that differ from the " +
               std::to_string(original.size()) + "-byte source";
    }
    return std::string();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        fwprintf(stderr, L"usage: payload_check.exe LIST REPORT\n");
        return 2;
    }
    RestrictDllSearchToSystem32();
    std::ifstream list(argv[1]);
    std::ofstream report(argv[2], std::ios::binary);
    std::string line;
    int failures = 0;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        std::string id, source, packed, scratch;
        if (!std::getline(fields, id, '\t') || !std::getline(fields, source, '\t') ||
            !std::getline(fields, packed, '\t') || !std::getline(fields, scratch)) {
            continue;
        }
        const std::string failure = Check(std::stol(id), Wide(source), Wide(packed), Wide(scratch));
        report << id << '\t' << (failure.empty() ? "ok" : "FAIL\t" + failure) << '\n';
        failures += failure.empty() ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
