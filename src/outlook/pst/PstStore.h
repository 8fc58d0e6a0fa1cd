#pragma once
// PstStore: a personal folders file (.pst, Unicode or ANSI) as a message store.
//
// Design
// - Layers follow the file format: NodeDatabase (blocks, pages, the node and
//   block B-trees, allocation maps), the lists-tables-properties layer
//   (heap-on-node, BTree-on-heap, property and table contexts) and this
//   messaging layer (store, name-to-id map, folders with hierarchy, contents
//   and associated-contents tables, messages with recipient and attachment
//   tables, attachments, embedded messages).
// - The API is store-level and knows nothing of MAPI objects, but keeps MAPI
//   semantics: folders and messages are node ids, properties are tags
//   (id << 16 | PT_ type) with values of every PT_ type, recipients are table
//   rows, attachments carry their own properties and stream their data in
//   chunks, named properties map GUID + id/name to ids 0x8000+.
// - Writing is append-only and copy-on-write. A saved message's blocks are
//   written at once; its folder's tables and the B-trees are written by a
//   commit, which ends by writing the header. Until then the file's header
//   still describes the last commit, so a crash or a full disk loses only
//   what was saved after it. Commits run after a small batch of saved
//   messages or a short time (SetCommitPolicy), on Commit() and on Close().
// - Contents tables grow in place (TableAppender): a saved message's row
//   goes into the table's last blocks and a commit writes those, never the
//   rows before, and no row is kept in memory. Hierarchy tables (a row per
//   subfolder) are kept as packed rows and rewritten at a commit, keeping
//   the blocks whose bytes did not change.
// - Texts are UTF-8 at the API. A Unicode store keeps strings as PT_UNICODE,
//   an ANSI store as PT_STRING8 (Windows-1252); values are converted on the
//   way in.

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "outlook/pst/NameMap.h"
#include "outlook/pst/NodeDatabase.h"
#include "outlook/pst/PropertyContext.h"
#include "outlook/pst/TableAppender.h"

namespace qb::pst {

struct FolderInfo {
    Nid nid = 0;
    Nid parent = 0;
    std::string name;
    std::string containerClass;
    std::int64_t contentCount = 0;
    std::int64_t unreadCount = 0;
    std::int64_t associatedCount = 0;
    bool hasSubfolders = false;
};

struct MessageData;

struct AttachmentData {
    Nid nid = 0;
    Properties props;  // PR_ATTACH_DATA_BIN included
    std::shared_ptr<MessageData> embedded;  // PR_ATTACH_METHOD 5
};

struct MessageData {
    Nid nid = 0;
    Nid parent = 0;
    Properties props;
    std::vector<Properties> recipients;
    std::vector<AttachmentData> attachments;
};

class PstStore;
class MessageBuilder;

// Walks a folder tree depth first without recursion, so that any depth a file
// holds is walked: `expand` handles a folder (its depth below `root` given)
// and returns the subfolders to descend into, in order. Each folder is
// expanded once, so the walk ends after at most as many folders as the file
// has nodes; a folder met again (a loop, or a folder listed by two parents)
// goes to `again` with the folder that listed it, and is not descended.
void WalkFolderTree(Nid root, const std::function<std::vector<Nid>(Nid folder, std::size_t depth)>& expand,
                    const std::function<void(Nid folder, Nid listedBy)>& again);

// One attachment of a message being built. Its data (PR_ATTACH_DATA_BIN) is
// written in chunks and never held whole in memory.
class AttachmentBuilder {
public:
    void SetProperty(std::uint32_t tag, PropValue value);
    void Write(const std::uint8_t* data, std::size_t size);
    void Write(const Bytes& data) { Write(data.data(), data.size()); }
    // Makes the attachment an embedded message (PR_ATTACH_METHOD 5) and
    // returns the builder of that message; it is saved with the attachment.
    MessageBuilder& EmbeddedMessage();
    std::uint64_t dataSize() const { return dataSize_; }

    ~AttachmentBuilder();
    AttachmentBuilder(const AttachmentBuilder&) = delete;
    AttachmentBuilder& operator=(const AttachmentBuilder&) = delete;

private:
    friend class MessageBuilder;
    AttachmentBuilder(PstStore& store, Nid nid);
    void FlushBlock();
    // Writes the attachment's node; returns its subnode entry and table row.
    SubnodeEntry Finish(Properties& rowOut);
    void Discard();

    PstStore& store_;
    Nid nid_;
    Properties props_;
    Bytes pending_;
    std::vector<Bid> blocks_;
    std::vector<std::uint32_t> sizes_;
    std::uint64_t dataSize_ = 0;
    bool hasData_ = false;
    bool finished_ = false;
    std::unique_ptr<MessageBuilder> embedded_;
};

// A message being built: properties, recipients (rows) and attachments.
// Save() writes it into its folder; dropping it unsaved releases what it wrote.
class MessageBuilder {
public:
    void SetProperty(std::uint32_t tag, PropValue value);
    void SetProperties(const Properties& props);
    // Sets many at once, as SetProperty one after another would: a message's
    // properties arrive in no order and are sorted once.
    void SetProperties(std::vector<std::pair<std::uint32_t, PropValue>> values);
    void AddRecipient(Properties row);
    AttachmentBuilder& AddAttachment();
    // Drops an attachment of this message before it is saved, releasing the
    // blocks its data took.
    void RemoveAttachment(AttachmentBuilder& attachment);
    // Writes the message and adds it to its folder. Returns its node id.
    Nid Save();
    const Properties& properties() const { return props_; }

    ~MessageBuilder();
    MessageBuilder(const MessageBuilder&) = delete;
    MessageBuilder& operator=(const MessageBuilder&) = delete;

private:
    friend class PstStore;
    friend class AttachmentBuilder;
    MessageBuilder(PstStore& store, Nid folder, bool associated, bool embedded);
    // Writes data and subnodes; fills the computed properties.
    SubnodeEntry Build();

    PstStore& store_;
    Nid folder_;
    bool associated_;
    bool embedded_;
    bool saved_ = false;
    Properties props_;
    std::vector<Properties> recipients_;
    std::vector<std::unique_ptr<AttachmentBuilder>> attachments_;
    std::uint32_t nextAttachment_ = 0;
};

// Measured with bench/PstWriteBench (10 KB messages, shared 2-core machine,
// tables growing in place): a commit per message gives ~1,600 messages/s,
// per 16 ~8,000/s, per 256 ~14,000/s.
struct CommitPolicy {
    std::size_t messages = 256;                                  // commit after this many saves
    std::chrono::milliseconds interval{2000};                     // or when this much time passed
    bool sync = true;                                            // fdatasync before and after the header
    // Stretch a batch while commits are expensive (a slow disk), so that
    // they take at most about an eighth of the writing time; never beyond
    // kMaxStretch times `messages`, which bounds what a crash can take.
    bool adaptive = true;
    static constexpr std::size_t kMaxStretch = 2;
    // With sync: wait for the disk and write the header on a second thread
    // while the next batch is written, instead of in the commit. The counts
    // then catch up when the next commit, save or MakeDurable sees it done,
    // so only a caller that follows them (a recovery journal) opts in.
    bool writeBehind = false;
};

class PstStore {
public:
    static std::unique_ptr<PstStore> Create(const std::string& path, PstFormat format, const std::string& displayName);
    static std::unique_ptr<PstStore> Open(const std::string& path, bool writable);
    ~PstStore();
    PstStore(const PstStore&) = delete;
    PstStore& operator=(const PstStore&) = delete;

    PstFormat format() const { return db_->traits().format; }
    bool writable() const { return writable_; }
    NodeDatabase& database() { return *db_; }
    const NodeDatabase& database() const { return *db_; }

    // ---- store
    Properties StoreProperties() const;
    void SetStoreProperty(std::uint32_t tag, PropValue value);
    Nid RootFolder() const { return kNidRootFolder; }
    // The folder an entry id property of the store points to (0 when none).
    Nid StoreFolder(std::uint32_t entryIdTag) const;
    Nid IpmSubtree() const;
    Nid DeletedItems() const;
    Nid SearchRoot() const;
    Bytes EntryIdOf(Nid nid) const;
    Nid NidFromEntryId(const Bytes& entryId) const;

    // ---- folders
    FolderInfo Folder(Nid folder) const;
    Properties FolderProperties(Nid folder) const;
    void SetFolderProperty(Nid folder, std::uint32_t tag, PropValue value);
    std::vector<Nid> Subfolders(Nid folder) const;
    // Finds a direct subfolder by display name (case-insensitive ASCII), 0 when none.
    Nid FindSubfolder(Nid parent, const std::string& name) const;
    // Folders nest at most this many levels below the root folder (the mail
    // client's own stores stay far below it); deeper ones are refused.
    static constexpr std::size_t kMaxFolderDepth = 300;
    // Levels between a folder and the root folder (the root is 0); a value
    // above kMaxFolderDepth when the chain of parents is longer or loops.
    std::size_t FolderDepth(Nid folder) const;
    Nid CreateFolder(Nid parent, const std::string& name, const std::string& containerClass = "IPF.Note");
    TableData HierarchyTable(Nid folder) const;
    TableData ContentsTable(Nid folder) const;
    TableData AssociatedContentsTable(Nid folder) const;
    std::vector<Nid> Messages(Nid folder, bool associated = false) const;

    // ---- messages
    std::unique_ptr<MessageBuilder> CreateMessage(Nid folder, bool associated = false);
    MessageData ReadMessage(Nid message) const;

    // ---- named properties
    std::uint16_t GetIdFromName(const NamedProperty& name, bool create);
    std::optional<NamedProperty> GetNameFromId(std::uint16_t id) const;
    // Gives a store without named properties the ones the mail client gives
    // every store (the categories of items, its version stamps). libpff
    // refuses a store whose name-to-id map lacks entries or GUIDs, so every
    // new store has them from its first commit. False when it had names.
    bool EnsureStandardNames();

    // ---- durability
    void SetCommitPolicy(const CommitPolicy& policy);
    const CommitPolicy& commitPolicy() const { return policy_; }
    // Publishes every saved change (tables, B-trees, maps, then the header).
    void Commit();
    // Syncs the last commit's header unless a sync already made it durable
    // (one fdatasync at most); commits nothing.
    void MakeDurable();
    // Commits and closes; further calls fail.
    void Close();
    // Messages saved since the store was opened; of them, those published
    // by a commit's header (a process kill can no longer lose them), and
    // those a power loss can no longer lose. A commit syncs its data before
    // it writes the header, never after, so the durable count lags one commit
    // behind until the next commit, MakeDurable or Close (and one more while
    // a commit writes behind). With syncing off (CommitPolicy::sync) nothing
    // is ever synced: durable means committed.
    std::size_t committedMessages() const { return committedMessages_; }
    std::size_t durableMessages() const { return durableMessages_; }
    std::size_t savedMessages() const { return savedMessages_; }
    std::uint64_t commitCount() const { return commitCount_; }

    // Converts a value to the string width of this store.
    PropValue Normalize(std::uint32_t& tag, PropValue value) const;

private:
    friend class MessageBuilder;
    friend class AttachmentBuilder;
    struct TableState {
        std::vector<TableColumn> columns;
        // Contents tables: written as they grow; none until a row is added to a
        // table read from the file.
        std::unique_ptr<TableAppender> appender;
        // Hierarchy tables: every row in memory.
        std::vector<std::pair<std::uint32_t, Bytes>> rows;  // row id, packed values
        BlockCache heap;
        BlockCache matrix;
        SubnodeMap lastSubnodes;
        Bid lastSubBid = 0;
        bool loadedFromDisk = false;
        Bid diskData = 0, diskSub = 0;
        bool dirty = false;
    };
    struct FolderState {
        Nid nid = 0;
        Nid parent = 0;
        Properties props;
        BlockCache pcCache;
        Bid diskData = 0, diskSub = 0;
        bool pcFromDisk = false;
        bool dirty = false;
        TableState tables[3];  // hierarchy, contents, associated
    };

    explicit PstStore(std::unique_ptr<NodeDatabase> db, bool writable);
    void RequireWritable() const;
    void LoadNameMap();
    FolderState& State(Nid folder);
    void LoadTable(FolderState& f, int which);
    void InitTable(TableState& t, int which);
    // Makes a contents table's appender hold every row it has (those in the
    // file, those added since, and `extra` when given) in row id order.
    void RebuildContentsTable(FolderState& f, int which, const TableRow* extra = nullptr);
    // Writes a contents table's rows added since its last write, so that the file can be read.
    void FlushContentsTable(FolderState& f, int which) const;
    std::vector<std::uint32_t> TemplateTags(int which) const;
    void WriteFolder(FolderState& f);
    void WriteTable(FolderState& f, int which);
    void UpdateHierarchyRow(FolderState& f);
    void AddContentsRow(Nid folder, bool associated, Nid message, const Properties& props);
    void MessageSaved();
    // Brings the counts up to the headers written and durable (collecting a finished write behind).
    void UpdateCounts();
    // After a failure: no more writes; a header still being written behind
    // is waited for, and counted when it made it.
    void MarkFailed() noexcept;
    // Runs a step of writing; its failure fails the store and goes on to the caller.
    template <class Step>
    void FailingOnError(Step&& step) {
        try {
            step();
        } catch (...) {
            MarkFailed();
            throw;
        }
    }
    void UpdateCountsFromDatabase() noexcept;
    void WriteNode(Nid nid, const Properties& props, Nid parent);
    void WriteEmptyTable(Nid nid, const std::vector<std::uint32_t>& tags);
    void BuildNewStore(const std::string& displayName);
    TableData ReadTable(Nid nid) const;
    TableData ReadContentsTable(Nid folder, int which) const;
    // `depth` counts the embedded messages above this one.
    MessageData ReadMessageNode(Nid nid, Nid parent, Bid bidData, Bid bidSub, int depth = 0) const;
    std::vector<std::uint32_t> NormalizeTags(std::vector<std::uint32_t> tags) const;

    std::unique_ptr<NodeDatabase> db_;
    bool writable_;
    bool closed_ = false;
    bool failed_ = false;
    NameMap names_;
    Properties storeProps_;
    bool storeDirty_ = false;
    BlockCache storeCache_;
    BlockCache nameCache_;
    std::map<Nid, std::unique_ptr<FolderState>> folders_;
    CommitPolicy policy_;
    std::size_t savedSinceCommit_ = 0;
    std::chrono::steady_clock::time_point lastCommit_ = std::chrono::steady_clock::now();
    std::size_t savedMessages_ = 0;
    std::size_t committedMessages_ = 0;
    // The saved count each header published that is not durable yet, oldest
    // first, with the database's header number: a few at most, as each sync
    // makes the header before it durable.
    struct PublishedCount {
        std::size_t messages = 0;
        std::uint64_t header = 0;
    };
    std::deque<PublishedCount> published_;
    std::size_t durableMessages_ = 0;
    std::uint64_t commitCount_ = 0;
    std::uint32_t rowVersion_ = 1;
    std::chrono::steady_clock::duration lastCommitCost_{};
};

}  // namespace qb::pst
