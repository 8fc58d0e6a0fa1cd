#pragma once
// The rich text a MIME body is shown as: its HTML body with styles and the
// pictures it refers to, or else its text as paragraphs; then the inline
// pictures not shown yet. Attached files are not part of it (they become
// file objects of the document).

#include "notes/api/mime/MessageContent.h"
#include "notes/api/render/RichText.h"

namespace qb::render {

RichTextDocument RichTextFromMime(const mime::MessageContent& content, const TextStyle& style = {});

}  // namespace qb::render
