#pragma once
// The program's texts by message id, in the user's language, and printf-style
// formatting into wide strings.
//
// Language choice is left to Windows' resource loader: the string-table block
// in the user's UI language when the program carries it, otherwise the
// loader's own fallback.

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <string>

// One counted entry of a string-table block.
struct StringEntry {
    const wchar_t* text = nullptr;
    std::size_t length = 0;
};

// Walks a string-table block (16 counted entries) to entry `index` (0..15).
// True only when the entry lies wholly inside the block and is not empty.
[[nodiscard]] bool FindStringEntry(const void* block, std::size_t blockBytes, unsigned index,
                                   StringEntry* entry) noexcept;

// The module whose string tables hold a non-empty entry for `id`, or null.
// Only the program's own module is searched.
HMODULE FindStringModule(UINT id) noexcept;

// Loads entry `id` of `module` into `text`. False, with `text` unchanged,
// when the block or the entry is missing or the entry is empty.
[[nodiscard]] bool LoadLocalizedString(UINT id, HMODULE module, std::wstring& text);

// A literal text, or a message id when the value fits in 16 bits. Null and
// ids without text give the empty string.
std::wstring ResourceText(ULONG_PTR textOrId);

// printf-style formatting with Windows' wide conversions ("%s" takes a wide
// string). Raises CHResultError: E_INVALIDARG for a null format, E_FAIL when
// the text cannot be formatted, E_OUTOFMEMORY when there is no room for it.
void FormatText(std::wstring& out, const wchar_t* format, ...);
void FormatTextV(std::wstring& out, const wchar_t* format, va_list args);

// Formats with the text of message `id` as the format. Raises E_FAIL when the
// message cannot be loaded, otherwise as FormatText.
void FormatLocalizedString(std::wstring& out, UINT id, ...);
