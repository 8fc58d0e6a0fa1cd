#pragma once
// What a mail reader shows of a parsed MIME message: the body text, the
// HTML body, inline pictures and attached files.

#include "notes/api/mime/MimeEntity.h"

#include <string>
#include <vector>

namespace qb::mime {

struct MessageContent {
    // UTF-8, lines ending "\r\n". The text/plain parts shown inline, joined
    // by an empty line; when there is none, the text of the HTML body.
    std::string plainText;
    bool textFromHtml = false;
    // UTF-8 HTML body, "" when the message has none.
    std::string html;
    // Pictures shown in the body: image parts inline or referenced by a
    // Content-ID from a multipart/related body.
    std::vector<const MimeEntity*> inlineImages;
    // Everything a reader lists as a file, in message order (enclosed
    // messages too, as their raw bytes in MimeEntity::body).
    std::vector<const MimeEntity*> attachments;
};

// Pointers refer into root, which must outlive the result.
MessageContent ExtractContent(const MimeEntity& root);

}  // namespace qb::mime
