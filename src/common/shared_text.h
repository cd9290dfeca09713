#pragma once
// A wide string shared between copies by reference count. Copies of catalogue
// and plan rows share their paths; changing a row's text gives that row a new
// string and leaves the others alone.

#include <memory>
#include <string>
#include <utility>

class CSharedText {
public:
    CSharedText() noexcept = default;
    CSharedText(std::wstring text) : m_text(std::make_shared<const std::wstring>(std::move(text))) {}
    CSharedText(const wchar_t* text) : CSharedText(std::wstring(text ? text : L"")) {}

    const std::wstring& Get() const noexcept { return m_text ? *m_text : Empty(); }
    const wchar_t* CStr() const noexcept { return Get().c_str(); }
    bool IsEmpty() const noexcept { return Get().empty(); }
    // How many rows share this string (0 for the empty text that was never set).
    long ShareCount() const noexcept { return m_text.use_count(); }

private:
    static const std::wstring& Empty() noexcept
    {
        static const std::wstring empty;
        return empty;
    }

    std::shared_ptr<const std::wstring> m_text;
};
