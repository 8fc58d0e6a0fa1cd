#pragma once
// The last failure of an interface object, kept for its GetLastError: the
// result code and a text for the user.

#include <string>
#include <string_view>

#include "outlook/mapi/MapiTypes.h"

namespace qb::mapi {

class LastError {
public:
    // Records the failure and gives hr back, for "return lastError_.Fail(...)".
    HRESULT Fail(HRESULT hr, std::string text);
    // A MAPIERROR (one MAPI buffer) for hr: the recorded text when hr is the
    // recorded failure, else a text naming the code.
    HRESULT Get(HRESULT hr, std::string_view component, LPMAPIERROR* out) const;
    void Clear() {
        hr_ = S_OK;
        text_.clear();
    }

private:
    HRESULT hr_ = S_OK;
    std::string text_;
};

}  // namespace qb::mapi
