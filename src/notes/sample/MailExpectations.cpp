#include "notes/sample/MailExpectations.h"

#include <fmt/format.h>

#include <cctype>
#include <optional>
#include <stdexcept>

#include "notes/api/NotesFormat.h"
#include "notes/api/RichTextRender.h"
#include "notes/sample/OutlookFolderPlan.h"
#include "text/JsonText.h"
#include "text/TextCase.h"

namespace qb::notes::sample {

using text::JsonString;

namespace {

constexpr const char* kNoBodyText = "(This message contains no body text)";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

using text::StartsWithIgnoreCase;

// "CN=Anna Müller/OU=Berlin/O=Acme" -> common "Anna Müller", abbreviated
// "Anna Müller/Berlin/Acme".
ExpectedAddress NotesName(std::string_view canonical, const std::string& domain) {
    ExpectedAddress result;
    std::size_t start = 0;
    bool first = true;
    while (start <= canonical.size()) {
        const std::size_t slash = std::min(canonical.find('/', start), canonical.size());
        std::string_view component = canonical.substr(start, slash - start);
        for (std::string_view label : {"CN=", "OU=", "O=", "C="}) {
            if (StartsWithIgnoreCase(component, label)) {
                component.remove_prefix(label.size());
                break;
            }
        }
        if (first) result.name = std::string(component);
        result.address += (first ? "" : "/") + std::string(component);
        first = false;
        start = slash + 1;
    }
    if (!domain.empty()) result.address += "@" + domain;
    return result;
}

std::string UtcText(const SampleTime& time) { return time.UtcText(); }

std::vector<std::string> TextValues(const SampleDocument& doc, const char* name) {
    const SampleItem* item = doc.Find(name);
    if (!item) return {};
    if (item->kind == ItemKind::Text || item->kind == ItemKind::TextList) return item->texts;
    if (item->kind == ItemKind::Rfc822Text && !item->texts.empty()) return {item->texts.front()};
    return {};
}

std::optional<std::string> FirstText(const SampleDocument& doc, const char* name) {
    std::vector<std::string> values = TextValues(doc, name);
    if (values.empty()) return std::nullopt;
    return values.front();
}

int MessageState(const SampleDocument& doc) {
    if (doc.Find("PostedDate")) return 2;
    if (doc.Find("DeliveredDate")) return 3;
    return 1;
}

std::optional<SampleTime> PostedTime(const SampleDocument& doc) {
    const SampleItem* item = doc.Find("PostedDate");
    if (!item || item->times.empty()) return std::nullopt;
    if (item->kind != ItemKind::Datetime && item->kind != ItemKind::Rfc822Date) return std::nullopt;
    return item->times.front();
}

std::string DecodeBase64(std::string_view text) {
    Bytes bytes;
    notes::DecodeBase64(text, &bytes);
    return bytes;
}

std::string HeaderParameter(const std::string& headers, const std::string& name) {
    const std::string key = name + "=\"";
    const auto at = headers.find(key);
    if (at == std::string::npos) return {};
    const auto end = headers.find('"', at + key.size());
    return headers.substr(at + key.size(), end - at - key.size());
}

// What a document's body gives: plain text, whether it is rich text,
// attachment files (name as stored, size) and the number of pictures.
struct BodyContent {
    const char* kind = "none";  // "none", "text", "rich" or "mime"
    std::string text;
    bool rich = false;
    int pictures = 0;
    std::vector<std::pair<std::string, long long>> mimeFiles;
};

BodyContent RichBody(const SampleItem& body, const SampleExportSettings& settings) {
    BodyContent content;
    content.kind = "rich";
    content.rich = true;
    for (std::size_t p = 0; p < body.paragraphs.size(); ++p) {
        const RichParagraph& paragraph = body.paragraphs[p];
        // Every paragraph record gives a line feed; stored records leave the
        // first paragraph's record out, as Notes does.
        if (p > 0 || !body.rawRecords) content.text += '\n';
        for (const RichRun& run : paragraph.runs) {
            switch (run.kind) {
            case RichRun::Kind::Text: content.text += run.text; break;
            case RichRun::Kind::DocLink:
                if (settings.exportDocLinks)
                    content.text += " " + NotesUrl("", run.replicaId, run.viewUnid, run.documentUnid) + " ";
                break;
            case RichRun::Kind::Picture: ++content.pictures; break;
            case RichRun::Kind::AttachmentRef: break;
            }
        }
    }
    return content;
}

// Notes shows a MIME body as rich text: text parts as paragraphs, inline
// pictures as graphics, attached parts as file attachments.
BodyContent MimeBody(const SampleDocument& doc) {
    BodyContent content;
    content.kind = "mime";
    content.rich = true;
    for (const SampleItem& item : doc.items) {
        if (item.kind != ItemKind::MimePart || item.name != "Body" || item.texts.size() < 3) continue;
        const std::string& headers = item.texts[1];
        if (headers.find("Content-Type: text/plain") != std::string::npos) {
            content.text += item.texts[2];
        } else if (headers.find("Content-Disposition: attachment") != std::string::npos) {
            content.mimeFiles.emplace_back(HeaderParameter(headers, "filename"),
                                           static_cast<long long>(DecodeBase64(item.texts[2]).size()));
        } else if (headers.find("Content-Type: image/") != std::string::npos) {
            ++content.pictures;
        }
    }
    return content;
}

BodyContent BodyOf(const SampleDocument& doc, const SampleExportSettings& settings) {
    if (doc.Find("$NoteHasNativeMIME")) return MimeBody(doc);
    const SampleItem* body = doc.Find("Body");
    BodyContent content;
    if (!body) {
        content.text = kNoBodyText;
        return content;
    }
    if (body->kind == ItemKind::RichText) return RichBody(*body, settings);
    content.kind = "text";
    for (std::size_t i = 0; i < body->texts.size(); ++i) content.text += (i ? "\n" : "") + body->texts[i];
    return content;
}

std::string JsonAddress(const ExpectedAddress& address) {
    return fmt::format("[{}, {}]", JsonString(address.name), JsonString(address.address));
}

std::string JsonList(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? ", " : "") + JsonString(texts[i]);
    return out + "]";
}

}  // namespace

ExpectedAddress ExpectedAddressOf(const std::string& input) {
    const std::string text = Trim(input);
    if (text.empty()) return {};
    const auto open = text.find('<');
    const auto close = text.find('>', open == std::string::npos ? 0 : open);
    if (open != std::string::npos && close != std::string::npos) {
        std::string name = Trim(text.substr(0, open));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
        const std::string address = Trim(text.substr(open + 1, close - open - 1));
        return {name.empty() ? address : name, address};
    }
    const auto at = text.find('@');
    if (at != std::string::npos && text.find('.', at) != std::string::npos) return {text, text};
    if (at == std::string::npos) return NotesName(text, "");
    return NotesName(Trim(text.substr(0, at)), Trim(text.substr(at + 1)));
}

std::vector<std::string> ExpectedAttachmentNames(const std::vector<std::string>& storedNames, bool renameExecutables) {
    std::vector<std::string> names;
    std::string extension;
    int fileNumber = 1;
    for (const std::string& stored : storedNames) {
        std::string name = stored.substr(stored.find_last_of("\\/") == std::string::npos ? 0
                                                                                         : stored.find_last_of("\\/") + 1);
        for (char& c : name)
            if (static_cast<unsigned char>(c) < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
                c = ' ';
        name = Trim(name);
        if (!name.empty()) {
            const auto dot = name.rfind('.');
            extension = dot == std::string::npos ? "" : name.substr(dot + 1);
        } else {
            name = fmt::format("FILE{}.{}", fileNumber++, extension);
        }
        std::string upper = extension;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto lastDot = name.rfind('.');
        if (renameExecutables && upper == "EXE" && lastDot != std::string::npos && lastDot > 0)
            name = name.substr(0, lastDot) + ".EX~";
        names.push_back(std::move(name));
    }
    return names;
}

MailExpectationWriter::MailExpectationWriter(std::string path, const SampleExportSettings& settings)
    : path_(std::move(path)), settings_(settings), out_(path_, std::ios::binary | std::ios::trunc) {
    if (!out_) throw std::runtime_error("cannot create " + path_);
    out_ << "{\n  \"messages\": [";
}

MailExpectationWriter::~MailExpectationWriter() {
    if (!closed_) {
        try {
            Close();
        } catch (...) {
            // A destructor cannot report it; Close reports it when called.
        }
    }
}

void MailExpectationWriter::Add(const SampleDocument& doc, const std::vector<std::string>& folders) {
    const int state = MessageState(doc);
    const std::string senderText = FirstText(doc, "From").value_or(doc.updatedBy.empty() ? "unknown" : doc.updatedBy);
    const ExpectedAddress sender = ExpectedAddressOf(senderText);
    const ExpectedAddress principal = ExpectedAddressOf(FirstText(doc, "Principal").value_or(senderText));
    const std::optional<std::string> replyToText = FirstText(doc, "ReplyTo");
    const std::string replyTo = replyToText ? JsonAddress(ExpectedAddressOf(*replyToText)) : "null";

    std::string recipients;
    const std::pair<const char*, const char*> classes[] = {{"SendTo", "To"}, {"CopyTo", "Cc"}, {"BlindCopyTo", "Bcc"}};
    for (const auto& [item, type] : classes) {
        for (const std::string& value : TextValues(doc, item)) {
            const ExpectedAddress address = ExpectedAddressOf(value);
            if (address.address.empty()) continue;  // the writer adds no recipient without an address
            recipients += fmt::format("{}[{}, {}, \"{}\"]", recipients.empty() ? "" : ", ", JsonString(address.name),
                                      JsonString(address.address), type);
        }
    }

    const BodyContent body = BodyOf(doc, settings_);
    std::vector<std::string> stored;
    std::vector<long long> sizes;
    for (const SampleItem& item : doc.items) {
        if (item.kind != ItemKind::File) continue;
        stored.push_back(item.file.name);
        sizes.push_back(static_cast<long long>(item.file.content.size()));
    }
    for (const auto& [name, size] : body.mimeFiles) {
        stored.push_back(name);
        sizes.push_back(size);
    }
    const std::vector<std::string> names = ExpectedAttachmentNames(stored, settings_.renameExecutables);
    std::string attachments;
    if (settings_.attachImages)
        for (int n = 1; n <= body.pictures; ++n)
            attachments += fmt::format("{}[\"_IMAGE{}.tif\", null]", attachments.empty() ? "" : ", ", n);
    for (std::size_t i = 0; i < names.size(); ++i)
        attachments += fmt::format("{}[{}, {}]", attachments.empty() ? "" : ", ", JsonString(names[i]), sizes[i]);

    const std::optional<SampleTime> posted = PostedTime(doc);
    out_ << (messages_ ? ",\n" : "\n") << "    {\"unid\": " << JsonString(doc.unid)
         << ", \"form\": " << JsonString(doc.form) << ", \"folders\": " << JsonList(folders)
         << ",\n     \"subject\": " << JsonString(FirstText(doc, "Subject").value_or(""))
         << ", \"state\": " << state << ",\n     \"sender\": " << JsonAddress(sender)
         << ", \"principal\": " << JsonAddress(principal) << ", \"reply_to\": " << replyTo
         << ",\n     \"recipients\": [" << recipients << "]"
         << ",\n     \"created\": " << JsonString(UtcText(doc.created))
         << ", \"posted\": " << (posted ? JsonString(UtcText(*posted)) : std::string("null"))
         << ", \"delivered\": " << JsonString(UtcText(DocumentDate(doc)))
         << ",\n     \"body_kind\": \"" << body.kind << "\", \"body\": " << JsonString(body.text) << ", \"rich\": " << (body.rich ? "true" : "false")
         << ", \"rtf\": " << (body.rich && settings_.richTextBodies ? "true" : "false")
         << ",\n     \"attachments\": [" << attachments << "]}";
    ++messages_;
}

void MailExpectationWriter::Close() {
    if (closed_) return;
    closed_ = true;
    out_ << (messages_ ? "\n  ]\n}\n" : "]\n}\n");
    out_.close();
    if (!out_) throw std::runtime_error("cannot write " + path_);
}

}  // namespace qb::notes::sample
