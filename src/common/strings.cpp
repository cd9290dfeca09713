#include "common/strings.h"

#include <cstdio>
#include <new>

#include "common/hresult.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr unsigned EntriesPerBlock = 16;

HMODULE OwnModule() noexcept
{
    return reinterpret_cast<HMODULE>(&__ImageBase);
}

LPCWSTR BlockName(UINT id) noexcept
{
    return MAKEINTRESOURCEW(id / EntriesPerBlock + 1);
}

bool EntryOfResource(HMODULE module, HRSRC resource, UINT id, StringEntry* entry) noexcept
{
    if (!resource) {
        return false;
    }
    const HGLOBAL loaded = LoadResource(module, resource);
    const void* block = loaded ? LockResource(loaded) : nullptr;
    if (!block) {
        return false;
    }
    return FindStringEntry(block, SizeofResource(module, resource), id % EntriesPerBlock, entry);
}

} // namespace

bool FindStringEntry(const void* block, std::size_t blockBytes, unsigned index, StringEntry* entry) noexcept
{
    if (!block || index >= EntriesPerBlock) {
        return false;
    }
    const auto* units = static_cast<const WORD*>(block);
    const std::size_t unitCount = blockBytes / sizeof(WORD);
    std::size_t position = 0;
    for (unsigned skipped = 0; skipped < index; ++skipped) {
        if (position >= unitCount) {
            return false;
        }
        position += 1 + units[position];
    }
    if (position >= unitCount || units[position] == 0) {
        return false;
    }
    const std::size_t length = units[position];
    // The whole text must lie inside the block, not just its count.
    if (length > unitCount - position - 1) {
        return false;
    }
    entry->text = reinterpret_cast<const wchar_t*>(units + position + 1);
    entry->length = length;
    return true;
}

HMODULE FindStringModule(UINT id) noexcept
{
    const HMODULE modules[] = {OwnModule()};
    for (const HMODULE module : modules) {
        const HRSRC resource =
            FindResourceExW(module, RT_STRING, BlockName(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
        StringEntry entry;
        if (EntryOfResource(module, resource, id, &entry)) {
            return module;
        }
    }
    return nullptr;
}

bool LoadLocalizedString(UINT id, HMODULE module, std::wstring& text)
{
    StringEntry entry;
    if (!EntryOfResource(module, FindResourceW(module, BlockName(id), RT_STRING), id, &entry)) {
        return false;
    }
    text.assign(entry.text, entry.length);
    return true;
}

std::wstring ResourceText(ULONG_PTR textOrId)
{
    std::wstring text;
    if (textOrId == 0) {
        return text;
    }
    if (textOrId <= 0xFFFF) {
        const UINT id = static_cast<UINT>(textOrId);
        if (const HMODULE module = FindStringModule(id)) {
            (void)LoadLocalizedString(id, module, text); // an id without text gives the empty string
        }
        return text;
    }
    text = reinterpret_cast<const wchar_t*>(textOrId);
    return text;
}

void FormatTextV(std::wstring& out, const wchar_t* format, va_list args)
{
    if (!format) {
        throw CHResultError(E_INVALIDARG);
    }
    // msvcrt's own wide formatting: "%s" is a wide string, as Windows has it.
    va_list measureArgs;
    va_copy(measureArgs, args);
    const int count = _vscwprintf(format, measureArgs);
    va_end(measureArgs);
    if (count < 0) {
        throw CHResultError(E_FAIL);
    }
    std::wstring text;
    try {
        text.resize(static_cast<std::size_t>(count) + 1);
    } catch (const std::bad_alloc&) {
        throw CHResultError(E_OUTOFMEMORY);
    }
    va_list writeArgs;
    va_copy(writeArgs, args);
    const int written = _vsnwprintf(&text[0], static_cast<std::size_t>(count) + 1, format, writeArgs);
    va_end(writeArgs);
    if (written != count) {
        throw CHResultError(E_FAIL);
    }
    text.resize(static_cast<std::size_t>(count));
    out.swap(text);
}

void FormatText(std::wstring& out, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    try {
        FormatTextV(out, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void FormatLocalizedString(std::wstring& out, UINT id, ...)
{
    std::wstring format;
    const HMODULE module = FindStringModule(id);
    if (!module || !LoadLocalizedString(id, module, format)) {
        throw CHResultError(E_FAIL);
    }
    va_list args;
    va_start(args, id);
    try {
        FormatTextV(out, format.c_str(), args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}
