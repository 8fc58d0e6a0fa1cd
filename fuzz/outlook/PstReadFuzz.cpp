// Fuzzes reading a personal folders file as `quillbox-cli pst-dump --messages`
// does: the store opened read-only, every folder reached from the root (each
// once, as deep as pst-dump goes), its tables, every message with its
// recipients, attachments and embedded messages, every property described;
// then the checker over the same bytes. A bad file must end in PstError.
//
// The engine opens files by path, so the input is written to a memory file
// (memfd) and opened through /proc/self/fd.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstStore.h"

namespace {
using namespace qb::pst;

constexpr int kMaxDepth = 64;  // as pst-dump

void Describe(const Properties& props) {
    for (const auto& [id, value] : props) value.Describe();
}

void WalkMessage(const MessageData& message) {
    Describe(message.props);
    for (const Properties& recipient : message.recipients) Describe(recipient);
    for (const AttachmentData& attachment : message.attachments) {
        Describe(attachment.props);
        if (attachment.embedded) WalkMessage(*attachment.embedded);
    }
}

class Walker {
public:
    explicit Walker(const PstStore& store) : store_(store) {}

    void Run() {
        Describe(store_.StoreProperties());
        store_.IpmSubtree();
        store_.DeletedItems();
        store_.SearchRoot();
        for (std::uint16_t id = 0x8000; id < 0x8010; ++id) store_.GetNameFromId(id);
        Folder(store_.RootFolder(), 0);
    }

private:
    void Folder(Nid nid, int depth) {
        if (!visited_.insert(nid).second || depth > kMaxDepth) return;  // a damaged hierarchy may loop
        try {
            store_.Folder(nid);
            Describe(store_.FolderProperties(nid));
            store_.HierarchyTable(nid);
            store_.ContentsTable(nid);
            store_.AssociatedContentsTable(nid);
            for (bool associated : {false, true})
                for (Nid message : store_.Messages(nid, associated)) Message(message);
            for (Nid child : store_.Subfolders(nid)) Folder(child, depth + 1);
        } catch (const PstError&) {
            // pst-dump stops here; the walk goes on to reach more of the file.
        }
    }

    void Message(Nid nid) {
        try {
            WalkMessage(store_.ReadMessage(nid));
        } catch (const PstError&) {
        }
    }

    const PstStore& store_;
    std::set<Nid> visited_;
};

// One memory file for the whole run; each input replaces its content.
const std::string& InputPath() {
    static const std::string path = [] {
        int fd = memfd_create("fuzz_pst", 0);
        if (fd < 0) std::abort();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

void WriteInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = std::stoi(InputPath().substr(std::string("/proc/self/fd/").size()));
    if (ftruncate(fd, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteInput(data, size);
    try {
        auto store = PstStore::Open(InputPath(), false);
        Walker(*store).Run();
    } catch (const PstError&) {
        // pst-dump reports it and fails; that is the expected end of bad input.
    }
    CheckPstFile(InputPath());
    return 0;
}
