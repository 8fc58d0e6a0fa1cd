// Wide strings for MAPI structures on top of the text layer's UTF-16.

#include "outlook/mapi/MapiText.h"

#include "text/TextCase.h"
#include "text/Utf8.h"

namespace qb::mapi {

std::wstring Utf8ToWide(std::string_view utf8) {
    if constexpr (sizeof(wchar_t) >= 4) {
        std::wstring out;
        out.reserve(utf8.size());
        for (std::size_t i = 0; i < utf8.size();) out.push_back(static_cast<wchar_t>(text::NextCodePoint(utf8, i)));
        return out;
    } else {
        const std::u16string units = text::Utf8ToUtf16(utf8);
        return std::wstring(units.begin(), units.end());
    }
}

std::string WideToUtf8(std::wstring_view wide) {
    if constexpr (sizeof(wchar_t) >= 4) {
        std::string out;
        out.reserve(wide.size());
        for (wchar_t c : wide) text::AppendUtf8(out, static_cast<char32_t>(c));
        return out;
    } else {
        const std::u16string units(wide.begin(), wide.end());
        return text::Utf16ToUtf8(units);
    }
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return text::EqualsIgnoreCase(a, b); }

}  // namespace qb::mapi
