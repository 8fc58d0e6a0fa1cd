// PstStore: the store itself. Creating a new file with its fixed folders,
// opening one, the store's properties and entry identifiers, normalising
// tags and values for the store's format, the name-to-id map. Folders,
// commits, reading messages and the builders live in PstStoreFolders.cpp,
// PstStoreCommit.cpp, PstStoreMessages.cpp and PstMessageBuilder.cpp.

#include "outlook/pst/PstStore.h"

#include <algorithm>
#include <random>

#include "outlook/pst/PstStoreInternal.h"
#include "outlook/pst/PstTags.h"

namespace qb::pst {

using namespace store_detail;

namespace {

bool IsStringType(std::uint16_t type) {
    std::uint16_t base = type & ~kPtMvFlag;
    return base == kPtUnicode || base == kPtString8;
}

}  // namespace

// ---------------------------------------------------------------- store

PstStore::PstStore(std::unique_ptr<NodeDatabase> db, bool writable) : db_(std::move(db)), writable_(writable) {}

PstStore::~PstStore() {
    // Closing publishes the space the last commit released and flushes that commit;
    // with a bare commit here a file left by every session without Close() would keep
    // that space marked in use for good (a reopened file trusts its allocation maps).
    if (writable_ && !closed_ && !failed_) {
        try {
            Close();
        } catch (const PstError&) {
            // The last commit stays readable; the caller saw no Close().
        }
    }
}

std::unique_ptr<PstStore> PstStore::Create(const std::string& path, PstFormat format, const std::string& displayName) {
    std::unique_ptr<PstStore> store(new PstStore(NodeDatabase::Create(path, format), true));
    store->BuildNewStore(displayName);
    store->Commit();
    return store;
}

std::unique_ptr<PstStore> PstStore::Open(const std::string& path, bool writable) {
    std::unique_ptr<PstStore> store(new PstStore(NodeDatabase::Open(path, writable), writable));
    try {
        const std::optional<NbtEntry> entry = store->db_->FindNode(kNidMessageStore);
        if (!entry) throw PstError("'" + path + "' has no message store node");
        store->storeProps_ = ReadPropertyContext(*store->db_, entry->bidData, store->db_->ReadSubnodes(entry->bidSub));
        store->LoadNameMap();
    } catch (const PstError& e) {
        store->failed_ = true;  // nothing of it is written back
        if (!writable) throw;
        throw NodeDatabase::DamagedError(path, e.what());
    }
    return store;
}

void PstStore::LoadNameMap() {
    const std::optional<NbtEntry> entry = db_->FindNode(kNidNameToIdMap);
    if (entry) names_.Load(ReadPropertyContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub)));
}

void PstStore::RequireWritable() const {
    if (!writable_) throw PstError("the store is open for reading only");
    if (closed_) throw PstError("the store is closed");
    if (failed_) throw PstError("an earlier write to the store failed; reopen it to continue", PstErrorKind::Io);
}

PropValue PstStore::Normalize(std::uint32_t& tag, PropValue value) const {
    if (!IsStringType(value.type)) return value;
    const bool unicode = db_->traits().unicode;
    const std::uint16_t want = unicode ? kPtUnicode : kPtString8;
    const bool multi = IsMultiValued(value.type);
    if ((value.type & ~kPtMvFlag) != want) {
        if (multi) {
            auto strings = value.AsStrings();
            value = unicode ? PropValue::MvUnicode(strings) : PropValue::MvString8(strings);
        } else {
            std::string s = value.AsString();
            value = unicode ? PropValue::Unicode(s) : PropValue::String8(s);
        }
    }
    tag = MakeTag(TagId(tag), value.type);
    return value;
}

std::vector<std::uint32_t> PstStore::NormalizeTags(std::vector<std::uint32_t> tags) const {
    if (!db_->traits().unicode)
        for (std::uint32_t& t : tags)
            if (IsStringType(TagType(t))) t = MakeTag(TagId(t), std::uint16_t((TagType(t) & kPtMvFlag) | kPtString8));
    return tags;
}

Properties PstStore::StoreProperties() const { return storeProps_; }

void PstStore::SetStoreProperty(std::uint32_t tag, PropValue value) {
    RequireWritable();
    value = Normalize(tag, std::move(value));
    storeProps_[TagId(tag)] = std::move(value);
    storeDirty_ = true;
}

Bytes PstStore::EntryIdOf(Nid nid) const {
    Bytes id(4, 0);
    auto it = storeProps_.find(TagId(tags::kRecordKey));
    Bytes key = it != storeProps_.end() ? it->second.data.ToBytes() : Bytes(16, 0);
    key.resize(16);
    id.insert(id.end(), key.begin(), key.end());
    Append32(id, nid);
    return id;
}

Nid PstStore::NidFromEntryId(const Bytes& entryId) const {
    if (entryId.size() != 24) return 0;
    return Get32(&entryId[20]);
}

Nid PstStore::StoreFolder(std::uint32_t entryIdTag) const {
    const PropValue* v = FindProp(storeProps_, entryIdTag);
    return v ? NidFromEntryId(v->data.ToBytes()) : 0;
}

Nid PstStore::IpmSubtree() const { return StoreFolder(tags::kIpmSubtreeEntryId); }
Nid PstStore::DeletedItems() const { return StoreFolder(tags::kIpmWastebasketEntryId); }
Nid PstStore::SearchRoot() const { return StoreFolder(tags::kFinderEntryId); }

void PstStore::BuildNewStore(const std::string& displayName) {
    std::random_device random;
    Bytes recordKey(16);
    for (auto& b : recordKey) b = std::uint8_t(random());
    auto set = [this](Properties& props, std::uint32_t tag, PropValue v) {
        v = Normalize(tag, std::move(v));
        props[TagId(tag)] = std::move(v);
    };
    set(storeProps_, tags::kRecordKey, PropValue::Binary(recordKey));
    set(storeProps_, tags::kDisplayName, PropValue::Unicode(displayName));
    set(storeProps_, tags::kValidFolderMask, PropValue::Long(0xC9));
    set(storeProps_, tags::kIpmSubtreeEntryId, PropValue::Binary(EntryIdOf(kNidTopOfPersonalFolders)));
    set(storeProps_, tags::kIpmWastebasketEntryId, PropValue::Binary(EntryIdOf(kNidDeletedItems)));
    set(storeProps_, tags::kCommonViewsEntryId, PropValue::Binary(EntryIdOf(kNidCommonViews)));
    set(storeProps_, tags::kFinderEntryId, PropValue::Binary(EntryIdOf(kNidSearchRoot)));
    set(storeProps_, tags::kPstPassword, PropValue::Long(0));
    set(storeProps_, tags::kPstLrNoRestrictions, PropValue::Boolean(true));
    storeDirty_ = true;

    EnsureStandardNames();
    WriteNode(kNidNameToIdMap, names_.Build(), 0);
    names_.MarkClean();
    WriteEmptyTable(kNidHierarchyTableTemplate, kHierarchyColumns);
    WriteEmptyTable(kNidContentsTableTemplate, kContentsColumns);
    WriteEmptyTable(kNidAssocContentsTableTemplate, kAssociatedColumns);
    WriteEmptyTable(kNidSearchContentsTableTemplate, kSearchContentsColumns);
    WriteEmptyTable(kNidAttachmentTable, kAttachmentColumns);
    WriteEmptyTable(kNidRecipientTable, kRecipientColumns);
    // The search management queue starts empty; the activity list holds no entries.
    db_->PutNode(NbtEntry{kNidSearchManagementQueue, 0, 0, 0});
    Bytes none(4, 0);
    db_->PutNode(NbtEntry{kNidSearchActivityList, db_->WriteBlock(none, BlockKind::Data), 0, 0});

    auto makeFolder = [&](Nid nid, Nid parent, const std::string& name, const std::string& cls, bool hasSub) {
        auto f = std::make_unique<FolderState>();
        f->nid = nid;
        f->parent = parent;
        set(f->props, tags::kDisplayName, PropValue::Unicode(name));
        f->props[TagId(tags::kContentCount)] = PropValue::Long(0);
        f->props[TagId(tags::kContentUnread)] = PropValue::Long(0);
        f->props[TagId(tags::kSubfolders)] = PropValue::Boolean(hasSub);
        if (!cls.empty()) set(f->props, tags::kContainerClass, PropValue::Unicode(cls));
        f->dirty = true;
        for (int which = 0; which < 3; ++which) InitTable(f->tables[which], which);
        FolderState& ref = *f;
        folders_[nid] = std::move(f);
        db_->ReserveNid(nid);
        for (int t = 0; t < 3; ++t) db_->ReserveNid(TableNid(nid, t));
        if (parent != nid) UpdateHierarchyRow(ref);
    };
    makeFolder(kNidRootFolder, kNidRootFolder, "", "", true);
    makeFolder(kNidTopOfPersonalFolders, kNidRootFolder, "Top of Personal Folders", "", true);
    makeFolder(kNidSearchRoot, kNidRootFolder, "Search Root", "", false);
    makeFolder(kNidDeletedItems, kNidTopOfPersonalFolders, "Deleted Items", "IPF.Note", false);
    makeFolder(kNidCommonViews, kNidRootFolder, "IPM_COMMON_VIEWS", "", false);
    Header& h = db_->header();
    h.rgnid[kNidTypeSearchFolder] = std::max<Nid>(h.rgnid[kNidTypeSearchFolder], 0x4000);
    h.rgnid[kNidTypeNormalMessage] = std::max<Nid>(h.rgnid[kNidTypeNormalMessage], 0x10000);
    h.rgnid[kNidTypeAssocMessage] = std::max<Nid>(h.rgnid[kNidTypeAssocMessage], 0x8000);
}

void PstStore::WriteNode(Nid nid, const Properties& props, Nid parent) {
    SubnodeMap subs;
    std::uint32_t next = 0;
    LtpContext ctx{*db_, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
    Bid bid = WritePropertyContext(ctx, props);
    db_->PutNode(NbtEntry{nid, bid, db_->WriteSubnodes(subs), parent});
}

void PstStore::WriteEmptyTable(Nid nid, const std::vector<std::uint32_t>& tags) {
    SubnodeMap subs;
    LtpContext ctx{*db_, subs, [] { return MakeNid(kNidTypeLtp, 2); }};
    Bid bid = WriteTableContext(ctx, LayoutColumns(NormalizeTags(tags)), {});
    db_->PutNode(NbtEntry{nid, bid, db_->WriteSubnodes(subs), 0});
}

std::vector<std::uint32_t> PstStore::TemplateTags(int which) const {
    switch (which) {
        case kHierarchy: return NormalizeTags(kHierarchyColumns);
        case kContents: return NormalizeTags(kContentsColumns);
        default: return NormalizeTags(kAssociatedColumns);
    }
}

void PstStore::InitTable(TableState& t, int which) {
    t.columns = LayoutColumns(TemplateTags(which));
    t.rows.clear();
    if (which != kHierarchy) t.appender = std::make_unique<TableAppender>(*db_, t.columns);
    t.dirty = true;
}

// ---------------------------------------------------------------- named properties

std::uint16_t PstStore::GetIdFromName(const NamedProperty& name, bool create) {
    if (create) RequireWritable();
    return names_.IdFor(name, create);
}

std::optional<NamedProperty> PstStore::GetNameFromId(std::uint16_t id) const { return names_.NameFor(id); }

bool PstStore::EnsureStandardNames() {
    if (names_.NameFor(0x8000)) return false;
    NamedProperty keywords;
    keywords.guid = kPsPublicStrings;
    keywords.isString = true;
    keywords.name = "Keywords";
    GetIdFromName(keywords, true);
    const Guid common = ParseGuid("{00062008-0000-0000-C000-000000000046}");
    for (std::uint32_t lid : {0x8552u, 0x8554u}) {
        NamedProperty name;
        name.guid = common;
        name.lid = lid;
        GetIdFromName(name, true);
    }
    return true;
}

}  // namespace qb::pst
