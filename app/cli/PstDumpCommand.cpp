// quillbox-cli pst-dump: the folder tree of a personal folders file with
// message counts and, on request, every message with its properties,
// recipients and attachments.

#include <cstdio>
#include <functional>
#include <ostream>
#include <vector>

#include "CliCommands.h"
#include "outlook/pst/PstStore.h"
#include "text/JsonText.h"

namespace qb::cli {
namespace {
using namespace qb::pst;

using text::JsonString;

std::string TagText(std::uint16_t id, std::uint16_t type) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X%04X", id, type);
    return buf;
}

class Dumper {
public:
    Dumper(const PstStore& store, std::ostream& out, bool json, bool messages)
        : store_(store), out_(out), json_(json), messages_(messages) {}

    void Run() {
        Properties sp = store_.StoreProperties();
        std::string name = sp.count(0x3001) ? sp.at(0x3001).AsString() : "";
        const char* format = store_.format() == PstFormat::Unicode ? "unicode" : "ansi";
        if (json_) out_ << "{\"format\":\"" << format << "\",\"displayName\":" << JsonString(name) << ",\"folders\":[";
        else out_ << "Store " << JsonString(name) << " (" << format << ")\n";
        top_ = store_.IpmSubtree();
        // Iterative, so that folders of any depth are dumped; a damaged
        // hierarchy that loops shows each folder once.
        WalkFolderTree(store_.RootFolder(), [&](Nid nid, std::size_t depth) { return Folder(nid, depth); }, nullptr);
        if (json_) out_ << "]}\n";
    }

private:
    // Paths count from the mail tree's top; folders outside it start with "\\".
    std::string PathOf(std::size_t depth) const {
        std::size_t first = 1;
        std::string path;
        for (std::size_t i = 1; i <= depth; ++i) {
            if (chain_[i] == top_) {
                first = i + 1;
                path.clear();
            }
        }
        // assign(count, char): g++ 12 warns falsely (-Wrestrict) on a one-character literal here.
        if (first == 1) path.assign(1, '\\');
        for (std::size_t i = first; i <= depth; ++i) {
            if (i > first) path += "\\";
            path += names_[i];
        }
        return path;
    }

    std::vector<Nid> Folder(Nid nid, std::size_t depth) {
        FolderInfo info = store_.Folder(nid);
        chain_.resize(depth + 1);
        names_.resize(depth + 1);
        chain_[depth] = nid;
        names_[depth] = info.name;
        std::vector<Nid> messages = store_.Messages(nid);
        if (json_) {
            if (!first_) out_ << ",";
            first_ = false;
            out_ << "{\"path\":" << JsonString(PathOf(depth)) << ",\"nid\":" << nid << ",\"name\":" << JsonString(info.name)
                 << ",\"containerClass\":" << JsonString(info.containerClass) << ",\"messages\":" << messages.size()
                 << ",\"contentCount\":" << info.contentCount;
            if (messages_) {
                out_ << ",\"items\":[";
                for (std::size_t i = 0; i < messages.size(); ++i) {
                    if (i) out_ << ",";
                    JsonMessage(store_.ReadMessage(messages[i]));
                }
                out_ << "]";
            }
            out_ << "}";
        } else {
            out_ << std::string(depth * 2, ' ') << (info.name.empty() ? "(root)" : info.name) << " ["
                 << messages.size() << " messages";
            if (!info.containerClass.empty()) out_ << ", " << info.containerClass;
            out_ << "] " << HexId(nid) << "\n";
            if (messages_)
                for (Nid m : messages) TextMessage(store_.ReadMessage(m), int(depth) + 1);
        }
        return store_.Subfolders(nid);
    }

    void TextProps(const Properties& props, int depth) {
        for (const auto& [id, v] : props) {
            std::string text = v.Describe();
            if (text.size() > 300) {
                std::size_t cut = 300;
                while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // whole characters
                text = text.substr(0, cut) + "...";
            }
            for (char& c : text)
                if (c == '\r' || c == '\n') c = ' ';
            out_ << std::string(std::size_t(depth) * 2, ' ') << TagText(id, v.type) << " = " << text << "\n";
        }
    }

    void TextMessage(const MessageData& m, int depth) {
        std::string pad(std::size_t(depth) * 2, ' ');
        out_ << pad << "Message " << HexId(m.nid) << "\n";
        TextProps(m.props, depth + 1);
        for (std::size_t i = 0; i < m.recipients.size(); ++i) {
            out_ << pad << "  Recipient " << i << "\n";
            TextProps(m.recipients[i], depth + 2);
        }
        for (const AttachmentData& a : m.attachments) {
            out_ << pad << "  Attachment " << HexId(a.nid) << "\n";
            TextProps(a.props, depth + 2);
            if (a.embedded) TextMessage(*a.embedded, depth + 2);
        }
    }

    void JsonProps(const Properties& props) {
        out_ << "{";
        bool first = true;
        for (const auto& [id, v] : props) {
            if (!first) out_ << ",";
            first = false;
            out_ << JsonString(TagText(id, v.type)) << ":" << JsonString(v.Describe());
        }
        out_ << "}";
    }

    void JsonMessage(const MessageData& m) {
        out_ << "{\"nid\":" << m.nid << ",\"props\":";
        JsonProps(m.props);
        out_ << ",\"recipients\":[";
        for (std::size_t i = 0; i < m.recipients.size(); ++i) {
            if (i) out_ << ",";
            JsonProps(m.recipients[i]);
        }
        out_ << "],\"attachments\":[";
        for (std::size_t i = 0; i < m.attachments.size(); ++i) {
            if (i) out_ << ",";
            out_ << "{\"nid\":" << m.attachments[i].nid << ",\"props\":";
            JsonProps(m.attachments[i].props);
            if (m.attachments[i].embedded) {
                out_ << ",\"embedded\":";
                JsonMessage(*m.attachments[i].embedded);
            }
            out_ << "}";
        }
        out_ << "]}";
    }

    const PstStore& store_;
    std::ostream& out_;
    bool json_;
    bool messages_;
    bool first_ = true;
    Nid top_ = 0;
    // The folders from the root down to the one being dumped, and their names.
    std::vector<Nid> chain_;
    std::vector<std::string> names_;
};
}  // namespace

int RunPstDump(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("pst-dump");
    std::string path, problem;
    bool json = false, messages = false;
    ArgReader reader(args);
    for (std::string arg; reader.Next(arg);) {
        if (arg == "--json") json = true;
        else if (arg == "--messages") messages = true;
        else if (!TakePositional(arg, path, problem)) return UsageError(context, self, problem);
    }
    if (path.empty()) return UsageError(context, self, "a file is needed");
    try {
        auto store = PstStore::Open(path, false);
        Dumper(*store, context.out, json, messages).Run();
    } catch (const PstError& e) {
        context.err << "quillbox-cli pst-dump: " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qb::cli
