#pragma once
// The independent readers of personal folders files, as tests run them:
// readpst (libpst) and pffexport (libpff), each asked for its message count,
// beside our own reader's. A reader that fails gives no count.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>

#include "outlook/pst/PstStore.h"

namespace qb::test {

inline std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline bool ProgramAvailable(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Files named by number only under `dir` (readpst -M), or directories named
// MessageN (pffexport), recursively.
inline std::size_t CountEntries(const std::string& dir, const std::regex& name, bool directories) {
    std::size_t count = 0;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory() != directories) continue;
        if (std::regex_match(it->path().filename().string(), name)) ++count;
    }
    return count;
}

// readpst -M: one file per message. Empty when readpst fails.
inline std::optional<std::size_t> ReadpstMessageCount(const std::string& pst, const std::string& scratch) {
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    const std::string cmd = "readpst -j 0 -q -D -M -b -o " + ShellQuote(scratch) + " " + ShellQuote(pst) + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return std::nullopt;
    return CountEntries(scratch, std::regex("[0-9]+"), false);
}

// pffexport -m items: one MessageN folder per message (no embedded messages in these tests).
inline std::optional<std::size_t> PffexportMessageCount(const std::string& pst, const std::string& scratch) {
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    const std::string target = scratch + "/pff";
    const std::string cmd = "pffexport -q -m items -t " + ShellQuote(target) + " " + ShellQuote(pst) + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return std::nullopt;
    return CountEntries(target + ".export", std::regex("Message[0-9]+"), true);
}

// Our reader: the messages of every folder of the tree.
inline std::size_t OurMessageCount(const pst::PstStore& store) {
    std::size_t count = 0;
    pst::WalkFolderTree(
        store.RootFolder(),
        [&](pst::Nid nid, std::size_t) {
            count += store.Messages(nid).size();
            return store.Subfolders(nid);
        },
        nullptr);
    return count;
}

template <class Visit>
void ForEachMessageSubject(const pst::PstStore& store, Visit&& visit) {
    pst::WalkFolderTree(
        store.RootFolder(),
        [&](pst::Nid nid, std::size_t) {
            for (pst::Nid m : store.Messages(nid)) {
                const pst::MessageData data = store.ReadMessage(m);
                auto it = data.props.find(0x0037);
                if (it != data.props.end()) visit(it->second.AsString());
            }
            return store.Subfolders(nid);
        },
        nullptr);
}

}  // namespace qb::test
