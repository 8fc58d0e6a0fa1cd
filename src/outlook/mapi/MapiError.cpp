#include "outlook/mapi/MapiError.h"

#include <cstdio>

#include "outlook/mapi/PropUtil.h"

namespace qb::mapi {

HRESULT LastError::Fail(HRESULT hr, std::string text) {
    hr_ = hr;
    text_ = std::move(text);
    return hr;
}

HRESULT LastError::Get(HRESULT hr, std::string_view component, LPMAPIERROR* out) const {
    if (hr == hr_ && !text_.empty()) return MakeMapiError(text_, component, static_cast<ULONG>(hr), out);
    char text[64];
    std::snprintf(text, sizeof text, "The operation failed (0x%08X).", static_cast<unsigned>(hr));
    return MakeMapiError(text, component, static_cast<ULONG>(hr), out);
}

}  // namespace qb::mapi
