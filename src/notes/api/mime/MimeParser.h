#pragma once
// Parser of MIME messages (RFC 2045, 2046): header blocks, nested
// multiparts, transfer decodings and charsets.

#include "notes/api/mime/MimeEntity.h"

#include <string_view>

namespace qb::mime {

struct MimeParseOptions {
    // Deeper nesting is kept as an undecoded leaf (with a warning), so that
    // hostile input cannot exhaust the stack.
    int maxDepth = 32;
    // Parts beyond this count are dropped (with a warning).
    size_t maxParts = 10000;
};

// Never fails: whatever cannot be read is kept best effort and reported in
// the warnings.
MimeMessage ParseMimeMessage(std::string_view raw, const MimeParseOptions& options = {});

}  // namespace qb::mime
