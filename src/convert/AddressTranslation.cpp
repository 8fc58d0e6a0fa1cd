#include "convert/AddressTranslation.h"

#include <fmt/format.h>

#include <cstdio>
#include <fstream>

#include "shell/platform/FileInfo.h"
#include "text/TextCase.h"

namespace qb {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

struct Part {
    std::size_t start = 0;
    std::size_t end = std::string_view::npos;
};

// Finds up to two parts: quoted texts, texts between brackets, or plain runs
// of characters (blanks inside a run belong to it).
std::vector<Part> ScanParts(std::string_view text) {
    std::vector<Part> parts;
    char quote = 0;
    bool inPart = false;
    auto endPart = [&](std::size_t at) {
        if (inPart) parts.back().end = at;
        inPart = false;
    };
    auto startPart = [&](std::size_t at) {
        if (parts.size() == 2) return false;  // a third part ends the scan
        parts.push_back({at});
        inPart = true;
        return true;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            if (!inPart && quote == 0) {
                quote = c;
                if (!startPart(i + 1)) break;
                continue;
            }
            if (c == quote) {
                endPart(i);
                quote = 0;
                while (i + 1 < text.size() && IsBlank(text[i + 1])) ++i;
                continue;
            }
        } else if (quote == 0 && (c == '(' || c == '<' || c == '[' || c == ')' || c == '>' || c == ']')) {
            endPart(i);
            continue;
        }
        if (!inPart && !IsBlank(c) && c != '\b') {
            if (!startPart(i)) break;
        }
    }
    return parts;
}

std::string_view PartText(std::string_view text, const Part& part) {
    const std::size_t end = part.end == std::string_view::npos ? text.size() : part.end;
    return text.substr(part.start, end - part.start);
}

using text::StartsWithIgnoreCase;

struct NotesNameForms {
    std::string abbreviated;
    std::string common;
};

NotesNameForms MakeNameForms(std::string_view name) {
    NotesNameForms forms;
    if (name.size() > 3 && StartsWithIgnoreCase(name, "CN=")) {
        std::string_view rest = name.substr(3);
        bool commonDone = false;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            forms.abbreviated += rest[i];
            if (rest[i] != '/') continue;
            for (std::string_view prefix : {"OU=", "O=", "C="}) {
                if (StartsWithIgnoreCase(rest.substr(i + 1), prefix)) {
                    if (!commonDone) forms.common = forms.abbreviated.substr(0, forms.abbreviated.size() - 1);
                    commonDone = true;
                    i += prefix.size();
                    break;
                }
            }
        }
        if (!commonDone) forms.common = forms.abbreviated;
    } else {
        forms.abbreviated = std::string(name);
        forms.common = std::string(name.substr(0, name.find('/')));
    }
    return forms;
}

std::string BlanksToStops(std::string text) {
    for (char& c : text)
        if (c == ' ') c = '.';
    return text;
}

}  // namespace

AddressParts AddressTranslator::TranslateAddress(std::string_view input, bool useDomain, bool previousResult) const {
    AddressParts out;
    if (input.empty()) {
        out.result = previousResult;
        return out;
    }
    std::string_view text = input;
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);

    const std::vector<Part> parts = ScanParts(text);
    if (parts.empty()) {
        out.displayName = std::string(input);
        out.address = kInvalidAddress;
        return out;
    }
    std::string_view first = TrimBlanks(PartText(text, parts[0]));
    out.kind = AddressKind::InternetAddress;
    bool hadAt = false;
    if (parts.size() == 1) {
        const auto at = first.find('@');
        if (at != std::string_view::npos) {
            hadAt = true;
            const auto lastDot = first.rfind('.');
            if (lastDot != std::string_view::npos && lastDot > at) {
                if (const auto second = first.find('@', at + 1); second != std::string_view::npos)
                    first = TrimBlanks(first.substr(0, second));
            } else {
                out.kind = AddressKind::NotesName;
                out.notesDomain = std::string(TrimBlanks(first.substr(at + 1)));
                first = TrimBlanks(first.substr(0, at));
            }
        } else {
            out.kind = AddressKind::NotesName;
        }
    }
    out.result = true;

    if (out.kind == AddressKind::InternetAddress) {
        out.displayName = std::string(first);
        out.address = parts.size() == 1 ? std::string(first) : std::string(TrimBlanks(PartText(text, parts[1])));
        return out;
    }

    const NotesNameForms forms = MakeNameForms(first);
    out.displayName = forms.common;
    out.address = hadAt && useDomain ? fmt::format("{}@{}", forms.abbreviated, out.notesDomain) : forms.abbreviated;
    if (options.translate) {
        out.address = table.Lookup(options.ignoreNotesDomain ? forms.abbreviated : out.address);
    } else if (options.makeSmtp) {
        out.address = fmt::format("{}@{}", BlanksToStops(forms.common), options.smtpDomain);
    }
    return out;
}

bool TranslationTable::Load(const std::string& path, std::string& error) {
    const auto status = platform::GetFileStatus(path);
    if (!status) {
        error = "GetStatus Can not open file: " + path;
        return false;
    }
    if (loaded_ && path == loadedPath_ && status->modified == loadedModified_) return true;

    toByFrom_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        loaded_ = false;
        error = "Can not open file: " + path;
        return false;
    }
    loaded_ = false;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto comma = line.find(',');
        if (comma == std::string::npos) {
            error = fmt::format("Missing To Address Line {}", number);
            return false;
        }
        if (line.find(',', comma + 1) != std::string::npos) {
            error = fmt::format("To Many Delimiters Line {}", number);
            return false;
        }
        // A key given twice keeps its first value.
        toByFrom_.try_emplace(text::ToLower(std::string_view(line).substr(0, comma)), line.substr(comma + 1));
    }
    loaded_ = true;
    loadedModified_ = status->modified;
    loadedPath_ = path;
    return true;
}

std::string TranslationTable::Lookup(std::string_view key) const {
    const auto found = toByFrom_.find(text::ToLower(key));
    return found != toByFrom_.end() ? found->second : std::string(key);
}

bool IsInternetAddress(std::string_view text) {
    return AddressTranslator().TranslateAddress(text, true).kind == AddressKind::InternetAddress;
}

}  // namespace qb
