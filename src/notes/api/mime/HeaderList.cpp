#include "notes/api/mime/HeaderList.h"

namespace qb::mime {

std::string_view Trim(std::string_view text) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

void HeaderList::Add(std::string name, std::string value) {
    fields_.push_back(HeaderField{std::move(name), std::move(value)});
}

const HeaderField* HeaderList::Find(std::string_view name) const {
    for (const auto& field : fields_)
        if (EqualsIgnoreCase(field.name, name)) return &field;
    return nullptr;
}

std::optional<std::string> HeaderList::Value(std::string_view name) const {
    const HeaderField* field = Find(name);
    if (!field) return std::nullopt;
    return field->value;
}

std::vector<const HeaderField*> HeaderList::All(std::string_view name) const {
    std::vector<const HeaderField*> found;
    for (const auto& field : fields_)
        if (EqualsIgnoreCase(field.name, name)) found.push_back(&field);
    return found;
}

namespace {

// One physical line without its line end; next is set past the line end.
std::string_view NextLine(std::string_view text, size_t pos, size_t& next) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
        next = text.size();
        end = text.size();
    } else {
        next = end + 1;
    }
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool ValidFieldName(std::string_view name) {
    if (name.empty()) return false;
    for (unsigned char c : name)
        if (c <= 32 || c >= 127) return false;
    return true;
}

}  // namespace

HeaderBlock ParseHeaderBlock(std::string_view text) {
    HeaderBlock block;
    std::string name;
    std::string value;
    bool open = false;
    auto flush = [&] {
        if (open) block.headers.Add(std::move(name), std::string(Trim(value)));
        name.clear();
        value.clear();
        open = false;
    };
    size_t pos = 0;
    while (pos < text.size()) {
        size_t next = 0;
        std::string_view line = NextLine(text, pos, next);
        if (line.empty()) {
            pos = next;
            flush();
            block.bodyOffset = pos;
            return block;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            if (open) {
                value.append(line);
            } else {
                ++block.malformedLines;
            }
        } else {
            flush();
            size_t colon = line.find(':');
            std::string_view fieldName = colon == std::string_view::npos ? std::string_view() : Trim(line.substr(0, colon));
            if (ValidFieldName(fieldName)) {
                name = std::string(fieldName);
                value = std::string(line.substr(colon + 1));
                open = true;
            } else if (pos == 0 && line.starts_with("From ")) {
                // mbox separator line in front of a stored message
            } else {
                // No empty line before the body: the body starts here.
                ++block.malformedLines;
                block.bodyOffset = pos;
                return block;
            }
        }
        pos = next;
    }
    flush();
    block.bodyOffset = text.size();
    return block;
}

}  // namespace qb::mime
