#pragma once
// A parsed MIME entity (a message or one of its parts) with its content
// decoded.

#include "notes/api/mime/ContentType.h"
#include "notes/api/mime/HeaderList.h"
#include "notes/api/mime/MailDate.h"

#include <optional>
#include <string>
#include <vector>

namespace qb::mime {

enum class Disposition { None, Inline, Attachment };

struct MimeEntity {
    HeaderList headers;
    ContentType contentType;
    std::string transferEncoding;  // lower case, "" when absent
    Disposition disposition = Disposition::None;
    // Content-Disposition filename, else the Content-Type name; UTF-8, any
    // folder part removed.
    std::string fileName;
    std::string contentId;  // without the angle brackets
    // Leaf parts: the body after the transfer decoding. message/rfc822: the
    // enclosed message as bytes (its parsed form is the only child).
    std::string body;
    // text/* leaf parts: the body in UTF-8 with the declared charset applied.
    std::string text;
    // multipart: text before the first and after the last boundary.
    std::string preamble;
    std::string epilogue;
    std::vector<MimeEntity> children;

    bool IsMultipart() const { return contentType.IsMultipart(); }
    bool IsMessage() const { return contentType.type == "message" && contentType.subtype == "rfc822"; }
    // A part that a mail reader shows as a file rather than as body text.
    bool IsAttachment() const;
};

struct MimeMessage {
    MimeEntity root;
    // One line per defect met (missing boundary, bad base64, unknown
    // charset ...); parsing goes on best effort after each.
    std::vector<std::string> warnings;

    // Header texts of the root, encoded words decoded, "" when absent.
    std::string HeaderText(std::string_view name) const;
    std::string Subject() const { return HeaderText("Subject"); }
    std::string From() const { return HeaderText("From"); }
    std::optional<MailDate> Date() const;
};

}  // namespace qb::mime
