#include "outlook/pst/PstStore.h"

#include <algorithm>
#include <random>

#include "outlook/pst/PstTags.h"

namespace qb::pst {
namespace {
constexpr int kHierarchy = 0, kContents = 1, kAssociated = 2;
constexpr std::uint32_t kTableTypes[3] = {kNidTypeHierarchyTable, kNidTypeContentsTable, kNidTypeAssocContentsTable};
constexpr Nid kNidTopOfPersonalFolders = 0x8022;
constexpr Nid kNidSearchRoot = 0x8042;
constexpr Nid kNidDeletedItems = 0x8062;
constexpr Nid kNidCommonViews = 0x8082;
constexpr Nid kNidRowMatrix = MakeNid(kNidTypeLtp, 1);

Nid TableNid(Nid folder, int which) { return MakeNid(kTableTypes[which], NidIndexOf(folder)); }

// Column sets of the mail client's table templates.
const std::vector<std::uint32_t> kHierarchyColumns = {
    0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x3001001F, 0x36020003, 0x36030003,
    0x360A000B, 0x3613001F, 0x66350003, 0x66360003, 0x67F20003, 0x67F30003};
const std::vector<std::uint32_t> kContentsColumns = {
    0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x00390040, 0x0042001F, 0x0057000B, 0x0058000B,
    0x0070001F, 0x00710102, 0x0E03001F, 0x0E04001F, 0x0E060040, 0x0E070003, 0x0E080003, 0x0E170003,
    0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x0E3C0102, 0x0E3D0102, 0x10970003, 0x30080040,
    0x30130102, 0x65C60003, 0x67F20003, 0x67F30003};
const std::vector<std::uint32_t> kAssociatedColumns = {
    0x001A001F, 0x0E070003, 0x0E170003, 0x3001001F, 0x67F20003, 0x67F30003, 0x6800001F, 0x6803000B,
    0x68051003, 0x682F001F, 0x70030003, 0x70040102, 0x70050102, 0x7006001F, 0x70070003};
const std::vector<std::uint32_t> kSearchContentsColumns = {
    0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x0042001F, 0x0057000B, 0x0058000B, 0x0E03001F, 0x0E04001F,
    0x0E05001F, 0x0E060040, 0x0E070003, 0x0E080003, 0x0E170003, 0x0E2A000B, 0x30080040, 0x67F10003, 0x67F20003,
    0x67F30003};
const std::vector<std::uint32_t> kAttachmentColumns = {0x0E200003, 0x3704001F, 0x37050003, 0x370B0003, 0x67F20003, 0x67F30003};
const std::vector<std::uint32_t> kRecipientColumns = {
    0x0C150003, 0x0E0F000B, 0x0FF90102, 0x0FFE0003, 0x0FFF0102, 0x3001001F, 0x3002001F,
    0x3003001F, 0x300B0102, 0x39000003, 0x39FF001F, 0x3A40000B, 0x67F20003, 0x67F30003};

bool IsStringType(std::uint16_t type) {
    std::uint16_t base = type & ~kPtMvFlag;
    return base == kPtUnicode || base == kPtString8;
}

std::int64_t IntProp(const Properties& props, std::uint16_t id) {
    auto it = props.find(id);
    return it == props.end() ? 0 : it->second.AsInt();
}

std::string StringProp(const Properties& props, std::uint16_t id) {
    auto it = props.find(id);
    return it == props.end() ? std::string() : it->second.AsString();
}

void ReleaseSubnodeBlocks(NodeDatabase& db, Bid bid) {
    // The SLBLOCK / SIBLOCK blocks only; the data they point to is managed elsewhere.
    if (bid == 0) return;
    Bytes block = db.ReadBlock(bid);
    if (block.size() >= 4 && block[1] == 1) {
        std::size_t id = db.traits().idSize;
        for (std::size_t i = 0; i < Get16(&block[2]); ++i)
            ReleaseSubnodeBlocks(db, GetId(&block[db.traits().sxHeader + i * db.traits().siEntry + id], id));
    }
    db.ReleaseBlock(bid);
}

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
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
    const NbtEntry* entry = store->db_->FindNode(kNidMessageStore);
    if (!entry) throw PstError("'" + path + "' has no message store node");
    store->storeProps_ = ReadPropertyContext(*store->db_, entry->bidData, store->db_->ReadSubnodes(entry->bidSub));
    store->LoadNameMap();
    return store;
}

void PstStore::LoadNameMap() {
    const NbtEntry* entry = db_->FindNode(kNidNameToIdMap);
    if (entry) names_.Load(ReadPropertyContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub)));
}

void PstStore::RequireWritable() const {
    if (!writable_) throw PstError("the store is open for reading only");
    if (closed_) throw PstError("the store is closed");
    if (failed_) throw PstError("an earlier write to the store failed; reopen it to continue");
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
    Bytes key = it != storeProps_.end() ? it->second.data : Bytes(16, 0);
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
    return v ? NidFromEntryId(v->data) : 0;
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

    WriteNode(kNidNameToIdMap, names_.Build(), 0);
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
        InitTable(f->tables[kHierarchy], TemplateTags(kHierarchy));
        InitTable(f->tables[kContents], TemplateTags(kContents));
        InitTable(f->tables[kAssociated], TemplateTags(kAssociated));
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

void PstStore::InitTable(TableState& t, const std::vector<std::uint32_t>& tags) {
    t.columns = LayoutColumns(tags);
    t.rows.clear();
    t.dirty = true;
}

// ---------------------------------------------------------------- folders

PstStore::FolderState& PstStore::State(Nid folder) {
    auto it = folders_.find(folder);
    if (it != folders_.end()) return *it->second;
    const NbtEntry* entry = db_->FindNode(folder);
    if (!entry || (NidTypeOf(folder) != kNidTypeNormalFolder && NidTypeOf(folder) != kNidTypeSearchFolder))
        throw PstError("folder " + HexId(folder) + " does not exist");
    auto f = std::make_unique<FolderState>();
    f->nid = folder;
    f->parent = entry->nidParent;
    f->props = ReadPropertyContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub));
    f->diskData = entry->bidData;
    f->diskSub = entry->bidSub;
    f->pcFromDisk = true;
    for (int which = 0; which < 3; ++which) LoadTable(*f, which, kTableTypes[which]);
    FolderState& ref = *f;
    folders_[folder] = std::move(f);
    return ref;
}

void PstStore::LoadTable(FolderState& f, int which, std::uint32_t) {
    TableState& t = f.tables[which];
    const NbtEntry* entry = db_->FindNode(TableNid(f.nid, which));
    if (!entry) {
        InitTable(t, TemplateTags(which));
        return;
    }
    TableData data = ReadTableContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub));
    t.columns = data.columns;
    for (const TableRow& row : data.rows) t.rows.emplace_back(row.rowId, PackProperties(row.values));
    t.loadedFromDisk = true;
    t.diskData = entry->bidData;
    t.diskSub = entry->bidSub;
}

TableData PstStore::ReadTable(Nid nid) const {
    const NbtEntry* entry = db_->FindNode(nid);
    if (!entry) return {};
    return ReadTableContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub));
}

Properties PstStore::FolderProperties(Nid folder) const {
    auto it = folders_.find(folder);
    if (it != folders_.end()) return it->second->props;
    const NbtEntry* entry = db_->FindNode(folder);
    if (!entry) throw PstError("folder " + HexId(folder) + " does not exist");
    return ReadPropertyContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub));
}

FolderInfo PstStore::Folder(Nid folder) const {
    Properties props = FolderProperties(folder);
    FolderInfo info;
    info.nid = folder;
    auto it = folders_.find(folder);
    if (it != folders_.end()) info.parent = it->second->parent;
    else if (const NbtEntry* e = db_->FindNode(folder)) info.parent = e->nidParent;
    info.name = StringProp(props, TagId(tags::kDisplayName));
    info.containerClass = StringProp(props, TagId(tags::kContainerClass));
    info.contentCount = IntProp(props, TagId(tags::kContentCount));
    info.unreadCount = IntProp(props, TagId(tags::kContentUnread));
    info.associatedCount = IntProp(props, TagId(tags::kAssocContentCount));
    info.hasSubfolders = IntProp(props, TagId(tags::kSubfolders)) != 0;
    return info;
}

void PstStore::SetFolderProperty(Nid folder, std::uint32_t tag, PropValue value) {
    RequireWritable();
    FolderState& f = State(folder);
    value = Normalize(tag, std::move(value));
    f.props[TagId(tag)] = std::move(value);
    f.dirty = true;
    UpdateHierarchyRow(f);
}

TableData PstStore::HierarchyTable(Nid folder) const {
    auto it = folders_.find(folder);
    if (it == folders_.end()) return ReadTable(TableNid(folder, kHierarchy));
    TableData data;
    data.columns = it->second->tables[kHierarchy].columns;
    for (const auto& [id, packed] : it->second->tables[kHierarchy].rows) data.rows.push_back({id, UnpackProperties(packed)});
    return data;
}

TableData PstStore::ContentsTable(Nid folder) const {
    auto it = folders_.find(folder);
    if (it == folders_.end()) return ReadTable(TableNid(folder, kContents));
    TableData data;
    data.columns = it->second->tables[kContents].columns;
    for (const auto& [id, packed] : it->second->tables[kContents].rows) data.rows.push_back({id, UnpackProperties(packed)});
    return data;
}

TableData PstStore::AssociatedContentsTable(Nid folder) const {
    auto it = folders_.find(folder);
    if (it == folders_.end()) return ReadTable(TableNid(folder, kAssociated));
    TableData data;
    data.columns = it->second->tables[kAssociated].columns;
    for (const auto& [id, packed] : it->second->tables[kAssociated].rows) data.rows.push_back({id, UnpackProperties(packed)});
    return data;
}

std::vector<Nid> PstStore::Subfolders(Nid folder) const {
    std::vector<Nid> out;
    auto it = folders_.find(folder);
    if (it != folders_.end()) {
        for (const auto& row : it->second->tables[kHierarchy].rows) out.push_back(row.first);
    } else {
        for (const TableRow& row : ReadTable(TableNid(folder, kHierarchy)).rows) out.push_back(row.rowId);
    }
    return out;
}

Nid PstStore::FindSubfolder(Nid parent, const std::string& name) const {
    for (Nid child : Subfolders(parent))
        if (Lower(Folder(child).name) == Lower(name)) return child;
    return 0;
}

std::vector<Nid> PstStore::Messages(Nid folder, bool associated) const {
    std::vector<Nid> out;
    int which = associated ? kAssociated : kContents;
    auto it = folders_.find(folder);
    if (it != folders_.end()) {
        for (const auto& row : it->second->tables[which].rows) out.push_back(row.first);
    } else {
        for (const TableRow& row : ReadTable(TableNid(folder, which)).rows) out.push_back(row.rowId);
    }
    return out;
}

Nid PstStore::CreateFolder(Nid parent, const std::string& name, const std::string& containerClass) {
    RequireWritable();
    FolderState& p = State(parent);
    Nid nid = db_->AllocateNid(kNidTypeNormalFolder);
    auto f = std::make_unique<FolderState>();
    f->nid = nid;
    f->parent = parent;
    auto set = [this](Properties& props, std::uint32_t tag, PropValue v) {
        v = Normalize(tag, std::move(v));
        props[TagId(tag)] = std::move(v);
    };
    set(f->props, tags::kDisplayName, PropValue::Unicode(name));
    f->props[TagId(tags::kContentCount)] = PropValue::Long(0);
    f->props[TagId(tags::kContentUnread)] = PropValue::Long(0);
    f->props[TagId(tags::kSubfolders)] = PropValue::Boolean(false);
    if (!containerClass.empty()) set(f->props, tags::kContainerClass, PropValue::Unicode(containerClass));
    f->dirty = true;
    for (int which = 0; which < 3; ++which) InitTable(f->tables[which], TemplateTags(which));
    FolderState& ref = *f;
    folders_[nid] = std::move(f);
    if (!p.props[TagId(tags::kSubfolders)].AsBool()) {
        p.props[TagId(tags::kSubfolders)] = PropValue::Boolean(true);
        p.dirty = true;
        UpdateHierarchyRow(p);
    }
    UpdateHierarchyRow(ref);
    return nid;
}

void PstStore::UpdateHierarchyRow(FolderState& f) {
    if (f.nid == f.parent) return;
    FolderState& p = State(f.parent);
    TableState& t = p.tables[kHierarchy];
    Properties row;
    for (const TableColumn& c : t.columns) {
        if (c.tag == kTagLtpRowId) continue;
        if (const PropValue* v = FindProp(f.props, c.tag)) row[TagId(c.tag)] = *v;
    }
    row[TagId(kTagLtpRowVer)] = PropValue::Long(std::int32_t(rowVersion_++));
    Bytes packed = PackProperties(row);
    auto it = std::find_if(t.rows.begin(), t.rows.end(), [&](const auto& r) { return r.first == f.nid; });
    if (it != t.rows.end()) it->second = std::move(packed);
    else t.rows.emplace_back(f.nid, std::move(packed));
    t.dirty = true;
}

void PstStore::AddContentsRow(Nid folder, bool associated, Nid message, const Properties& props) {
    FolderState& f = State(folder);
    TableState& t = f.tables[associated ? kAssociated : kContents];
    Properties row;
    for (const TableColumn& c : t.columns) {
        if (c.tag == kTagLtpRowId) continue;
        const PropValue* v = FindProp(props, c.tag);
        if (v && v->type == TagType(c.tag)) row[TagId(c.tag)] = *v;
    }
    row[TagId(kTagLtpRowVer)] = PropValue::Long(std::int32_t(rowVersion_++));
    t.rows.emplace_back(message, PackProperties(row));
    t.dirty = true;
    auto bump = [&](std::uint32_t tag) {
        f.props[TagId(tag)] = PropValue::Long(std::int32_t(IntProp(f.props, TagId(tag)) + 1));
    };
    if (associated) {
        bump(tags::kAssocContentCount);
    } else {
        bump(tags::kContentCount);
        if (!(IntProp(props, TagId(tags::kMessageFlags)) & tags::kMsgFlagRead)) bump(tags::kContentUnread);
    }
    f.dirty = true;
    UpdateHierarchyRow(f);
}

// ---------------------------------------------------------------- commit

void PstStore::SetCommitPolicy(const CommitPolicy& policy) {
    policy_ = policy;
    db_->SetSyncOnCommit(policy.sync);
}

void PstStore::MessageSaved() {
    ++savedMessages_;
    ++savedSinceCommit_;
    const auto since = std::chrono::steady_clock::now() - lastCommit_;
    const bool due = savedSinceCommit_ >= policy_.messages || since >= policy_.interval;
    if (due && (!policy_.adaptive || since >= lastCommitCost_ * 8)) Commit();
}

void PstStore::WriteFolder(FolderState& f) {
    if (f.dirty) {
        if (f.pcFromDisk) {
            db_->ReleaseTree(f.diskData);
            db_->ReleaseTree(f.diskSub);
            f.diskSub = 0;
            f.pcFromDisk = false;
        }
        SubnodeMap subs;
        std::uint32_t next = 0;
        LtpContext ctx{*db_, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
        Bid bid = WritePropertyContext(ctx, f.props, &f.pcCache);
        Bid sub = db_->WriteSubnodes(subs);
        if (f.diskSub) db_->ReleaseTree(f.diskSub);
        f.diskSub = sub;
        db_->PutNode(NbtEntry{f.nid, bid, sub, f.parent});
        f.dirty = false;
    }
    for (int which = 0; which < 3; ++which) WriteTable(f, which);
}

void PstStore::WriteTable(FolderState& f, int which) {
    TableState& t = f.tables[which];
    if (!t.dirty) return;
    if (t.loadedFromDisk) {
        db_->ReleaseTree(t.diskData);
        db_->ReleaseTree(t.diskSub);
        t.loadedFromDisk = false;
    }
    for (const auto& [nid, e] : t.lastSubnodes) {
        if (nid == kNidRowMatrix) continue;
        db_->ReleaseTree(e.bidData);
        db_->ReleaseTree(e.bidSub);
    }
    ReleaseSubnodeBlocks(*db_, t.lastSubBid);
    SubnodeMap subs;
    std::uint32_t next = 1;
    LtpContext ctx{*db_, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
    Bid bid = WriteTableContextPacked(ctx, t.columns, t.rows, &t.heap, &t.matrix);
    t.lastSubBid = db_->WriteSubnodes(subs);
    t.lastSubnodes = subs;
    db_->PutNode(NbtEntry{TableNid(f.nid, which), bid, t.lastSubBid, 0});
    t.dirty = false;
}

void PstStore::Commit() {
    RequireWritable();
    const auto started = std::chrono::steady_clock::now();
    try {
        if (storeDirty_) {
            if (const NbtEntry* old = db_->FindNode(kNidMessageStore); old && storeCache_.root == 0) {
                db_->ReleaseTree(old->bidData);
                db_->ReleaseTree(old->bidSub);
            }
            SubnodeMap subs;
            std::uint32_t next = 0;
            LtpContext ctx{*db_, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
            Bid bid = WritePropertyContext(ctx, storeProps_, &storeCache_);
            db_->PutNode(NbtEntry{kNidMessageStore, bid, db_->WriteSubnodes(subs), 0});
            storeDirty_ = false;
        }
        if (names_.dirty()) {
            if (const NbtEntry* old = db_->FindNode(kNidNameToIdMap); old && nameCache_.root == 0) {
                db_->ReleaseTree(old->bidData);
                db_->ReleaseTree(old->bidSub);
            }
            SubnodeMap subs;
            std::uint32_t next = 0;
            LtpContext ctx{*db_, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
            const NbtEntry* old = db_->FindNode(kNidNameToIdMap);
            Bid oldSub = old ? old->bidSub : 0;
            Bid bid = WritePropertyContext(ctx, names_.Build(), &nameCache_);
            if (nameCache_.root != 0 && oldSub) db_->ReleaseTree(oldSub);
            db_->PutNode(NbtEntry{kNidNameToIdMap, bid, db_->WriteSubnodes(subs), 0});
            names_.MarkClean();
        }
        for (auto& [nid, folder] : folders_) WriteFolder(*folder);
        db_->Commit();
    } catch (...) {
        failed_ = true;
        throw;
    }
    committedMessages_ = savedMessages_;
    savedSinceCommit_ = 0;
    lastCommit_ = std::chrono::steady_clock::now();
    lastCommitCost_ = lastCommit_ - started;
    ++commitCount_;
}

void PstStore::Close() {
    if (closed_) return;
    if (writable_ && !failed_) {
        Commit();
        try {
            db_->PublishFreedSpace();
        } catch (...) {
            failed_ = true;
            throw;
        }
    }
    closed_ = true;
}

// ---------------------------------------------------------------- named properties

std::uint16_t PstStore::GetIdFromName(const NamedProperty& name, bool create) {
    if (create) RequireWritable();
    return names_.IdFor(name, create);
}

std::optional<NamedProperty> PstStore::GetNameFromId(std::uint16_t id) const { return names_.NameFor(id); }

// ---------------------------------------------------------------- messages

std::unique_ptr<MessageBuilder> PstStore::CreateMessage(Nid folder, bool associated) {
    RequireWritable();
    State(folder);
    return std::unique_ptr<MessageBuilder>(new MessageBuilder(*this, folder, associated, false));
}

MessageData PstStore::ReadMessage(Nid message) const {
    const NbtEntry* entry = db_->FindNode(message);
    if (!entry) throw PstError("message " + HexId(message) + " does not exist");
    return ReadMessageNode(message, entry->nidParent, entry->bidData, entry->bidSub);
}

MessageData PstStore::ReadMessageNode(Nid nid, Nid parent, Bid bidData, Bid bidSub) const {
    MessageData m;
    m.nid = nid;
    m.parent = parent;
    SubnodeMap subs = db_->ReadSubnodes(bidSub);
    m.props = ReadPropertyContext(*db_, bidData, subs);
    if (auto it = subs.find(kNidRecipientTable); it != subs.end()) {
        TableData table = ReadTableContext(*db_, it->second.bidData, db_->ReadSubnodes(it->second.bidSub));
        for (TableRow& row : table.rows) {
            row.values.erase(TagId(kTagLtpRowId));
            row.values.erase(TagId(kTagLtpRowVer));
            m.recipients.push_back(std::move(row.values));
        }
    }
    if (auto it = subs.find(kNidAttachmentTable); it != subs.end()) {
        TableData table = ReadTableContext(*db_, it->second.bidData, db_->ReadSubnodes(it->second.bidSub));
        for (const TableRow& row : table.rows) {
            auto node = subs.find(row.rowId);
            if (node == subs.end()) throw PstError("attachment " + HexId(row.rowId) + " of message " + HexId(nid) + " is missing");
            AttachmentData a;
            a.nid = row.rowId;
            SubnodeMap attSubs = db_->ReadSubnodes(node->second.bidSub);
            a.props = ReadPropertyContext(*db_, node->second.bidData, attSubs);
            auto obj = a.props.find(TagId(tags::kAttachDataObj));
            if (obj != a.props.end() && obj->second.type == kPtObject && obj->second.data.size() >= 4) {
                Nid embedded = Get32(obj->second.data.data());
                auto e = attSubs.find(embedded);
                if (e == attSubs.end()) throw PstError("embedded message of attachment " + HexId(a.nid) + " is missing");
                a.embedded = std::make_shared<MessageData>(ReadMessageNode(embedded, 0, e->second.bidData, e->second.bidSub));
            }
            m.attachments.push_back(std::move(a));
        }
    }
    return m;
}

// ---------------------------------------------------------------- builders

MessageBuilder::MessageBuilder(PstStore& store, Nid folder, bool associated, bool embedded)
    : store_(store), folder_(folder), associated_(associated), embedded_(embedded) {}

MessageBuilder::~MessageBuilder() {
    if (saved_) return;
    try {
        for (auto& a : attachments_) a->Discard();
    } catch (const PstError&) {
        // The store is failing already; the blocks are never committed.
    }
}

void MessageBuilder::RemoveAttachment(AttachmentBuilder& attachment) {
    auto it = std::find_if(attachments_.begin(), attachments_.end(), [&](const auto& a) { return a.get() == &attachment; });
    if (it == attachments_.end()) return;
    (*it)->Discard();
    attachments_.erase(it);
}

void MessageBuilder::SetProperty(std::uint32_t tag, PropValue value) {
    value = store_.Normalize(tag, std::move(value));
    props_[TagId(tag)] = std::move(value);
}

void MessageBuilder::SetProperties(const Properties& props) {
    for (const auto& [id, v] : props) SetProperty(MakeTag(id, v.type), v);
}

void MessageBuilder::AddRecipient(const Properties& row) {
    Properties normalized;
    for (const auto& [id, v] : row) {
        std::uint32_t tag = MakeTag(id, v.type);
        PropValue value = store_.Normalize(tag, v);
        normalized[id] = std::move(value);
    }
    recipients_.push_back(std::move(normalized));
}

AttachmentBuilder& MessageBuilder::AddAttachment() {
    store_.RequireWritable();
    Nid nid = MakeNid(kNidTypeAttachment, 0x401 + nextAttachment_++);
    attachments_.push_back(std::unique_ptr<AttachmentBuilder>(new AttachmentBuilder(store_, nid)));
    return *attachments_.back();
}

SubnodeEntry MessageBuilder::Build() {
    NodeDatabase& db = *store_.db_;
    SubnodeMap subs;
    std::uint32_t next = 0;
    LtpContext ctx{db, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
    std::uint64_t size = 0;

    // Recipients: the template's columns plus whatever the rows carry.
    std::vector<std::uint32_t> recipientTags = store_.NormalizeTags(kRecipientColumns);
    std::set<std::uint32_t> known(recipientTags.begin(), recipientTags.end());
    for (const Properties& row : recipients_)
        for (const auto& [id, v] : row) {
            std::uint32_t tag = MakeTag(id, v.type);
            if (id == TagId(kTagLtpRowId) || id == TagId(kTagLtpRowVer)) continue;
            const std::uint16_t propertyId = id;  // clang 14 cannot capture a structured binding
            bool clash = std::any_of(recipientTags.begin(), recipientTags.end(),
                                     [propertyId](std::uint32_t t) { return TagId(t) == propertyId; });
            if (!clash && known.insert(tag).second) recipientTags.push_back(tag);
        }
    std::vector<TableRow> recipientRows;
    for (std::size_t i = 0; i < recipients_.size(); ++i) {
        TableRow row{std::uint32_t(i), recipients_[i]};
        row.values[TagId(kTagLtpRowVer)] = PropValue::Long(std::int32_t(i + 1));
        size += PackedSize(recipients_[i]);
        recipientRows.push_back(std::move(row));
    }
    {
        SubnodeMap rsubs;
        std::uint32_t rnext = 1;
        LtpContext rctx{db, rsubs, [&rnext] { return MakeNid(kNidTypeLtp, ++rnext); }};
        Bid bid = WriteTableContext(rctx, LayoutColumns(recipientTags), recipientRows);
        subs[kNidRecipientTable] = SubnodeEntry{kNidRecipientTable, bid, db.WriteSubnodes(rsubs)};
    }
    if (!attachments_.empty()) {
        std::vector<TableRow> rows;
        for (std::size_t i = 0; i < attachments_.size(); ++i) {
            Properties row;
            SubnodeEntry e = attachments_[i]->Finish(row);
            subs[e.nid] = e;
            size += attachments_[i]->dataSize() + PackedSize(row);
            row[TagId(kTagLtpRowVer)] = PropValue::Long(std::int32_t(i + 1));
            rows.push_back(TableRow{e.nid, std::move(row)});
        }
        SubnodeMap asubs;
        std::uint32_t anext = 1;
        LtpContext actx{db, asubs, [&anext] { return MakeNid(kNidTypeLtp, ++anext); }};
        Bid bid = WriteTableContext(actx, LayoutColumns(store_.NormalizeTags(kAttachmentColumns)), rows);
        subs[kNidAttachmentTable] = SubnodeEntry{kNidAttachmentTable, bid, db.WriteSubnodes(asubs)};
    }
    if (!props_.count(TagId(tags::kMessageClass))) SetProperty(tags::kMessageClass, PropValue::Unicode("IPM.Note"));
    std::int32_t flags = std::int32_t(IntProp(props_, TagId(tags::kMessageFlags)));
    if (attachments_.empty()) flags &= ~tags::kMsgFlagHasAttach;
    else flags |= tags::kMsgFlagHasAttach;
    props_[TagId(tags::kMessageFlags)] = PropValue::Long(flags);
    props_[TagId(tags::kHasAttach)] = PropValue::Boolean(!attachments_.empty());
    props_.erase(TagId(tags::kMessageSize));
    size += PackedSize(props_) + 8;
    props_[TagId(tags::kMessageSize)] = PropValue::Long(std::int32_t(std::min<std::uint64_t>(size, 0x7FFFFFFF)));
    Bid bid = WritePropertyContext(ctx, props_);
    return SubnodeEntry{0, bid, db.WriteSubnodes(subs)};
}

Nid MessageBuilder::Save() {
    store_.RequireWritable();
    if (saved_) throw PstError("message already saved");
    if (embedded_) throw PstError("an embedded message is saved with its attachment");
    NodeDatabase& db = *store_.db_;
    try {
        Nid nid = db.AllocateNid(associated_ ? kNidTypeAssocMessage : kNidTypeNormalMessage);
        SubnodeEntry e = Build();
        db.PutNode(NbtEntry{nid, e.bidData, e.bidSub, folder_});
        store_.AddContentsRow(folder_, associated_, nid, props_);
        saved_ = true;
        store_.MessageSaved();
        return nid;
    } catch (...) {
        store_.failed_ = true;
        throw;
    }
}

AttachmentBuilder::AttachmentBuilder(PstStore& store, Nid nid) : store_(store), nid_(nid) {}

AttachmentBuilder::~AttachmentBuilder() = default;

void AttachmentBuilder::SetProperty(std::uint32_t tag, PropValue value) {
    if (TagId(tag) == TagId(tags::kAttachDataBin) && value.type == kPtBinary) {
        Write(value.data);
        return;
    }
    value = store_.Normalize(tag, std::move(value));
    props_[TagId(tag)] = std::move(value);
}

void AttachmentBuilder::Write(const std::uint8_t* data, std::size_t size) {
    if (finished_) throw PstError("attachment already saved");
    store_.RequireWritable();
    hasData_ = true;
    dataSize_ += size;
    const std::size_t blockSize = store_.db_->traits().maxBlockData;
    if (pending_.capacity() < blockSize) pending_.reserve(blockSize);
    while (size > 0) {
        std::size_t n = std::min(size, blockSize - pending_.size());
        pending_.insert(pending_.end(), data, data + n);
        data += n;
        size -= n;
        if (pending_.size() == blockSize) FlushBlock();
    }
}

void AttachmentBuilder::FlushBlock() {
    Bid bid;
    try {
        bid = store_.db_->WriteBlock(pending_, BlockKind::Data);
    } catch (...) {
        store_.failed_ = true;  // nothing more is committed from this session
        throw;
    }
    blocks_.push_back(bid);
    sizes_.push_back(std::uint32_t(pending_.size()));
    pending_.clear();
}

MessageBuilder& AttachmentBuilder::EmbeddedMessage() {
    if (!embedded_) embedded_.reset(new MessageBuilder(store_, 0, false, true));
    return *embedded_;
}

SubnodeEntry AttachmentBuilder::Finish(Properties& rowOut) {
    NodeDatabase& db = *store_.db_;
    SubnodeMap subs;
    std::uint32_t next = 0;
    LtpContext ctx{db, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
    PresetValues preset;
    if (embedded_) {
        SubnodeEntry e = embedded_->Build();
        Nid nid = MakeNid(kNidTypeNormalMessage, NidIndexOf(nid_));
        subs[nid] = SubnodeEntry{nid, e.bidData, e.bidSub};
        std::uint32_t size = std::uint32_t(IntProp(embedded_->props_, TagId(tags::kMessageSize)));
        PropValue object;
        object.type = kPtObject;
        Append32(object.data, nid);
        Append32(object.data, size);
        props_[TagId(tags::kAttachDataObj)] = object;
        props_[TagId(tags::kAttachMethod)] = PropValue::Long(tags::kAttachEmbeddedMsg);
        if (!props_.count(TagId(tags::kAttachSize))) props_[TagId(tags::kAttachSize)] = PropValue::Long(std::int32_t(size));
    } else if (hasData_) {
        if (blocks_.empty() && pending_.size() <= kMaxHeapAllocation) {
            props_[TagId(tags::kAttachDataBin)] = PropValue::Binary(pending_);
        } else {
            if (!pending_.empty()) FlushBlock();
            Bid tree = db.WriteTreeAbove(blocks_, sizes_);
            Nid nid = MakeNid(kNidTypeLtp, ++next);
            subs[nid] = SubnodeEntry{nid, tree, 0};
            preset[TagId(tags::kAttachDataBin)] = {kPtBinary, nid};
        }
        pending_.clear();
        if (!props_.count(TagId(tags::kAttachMethod))) props_[TagId(tags::kAttachMethod)] = PropValue::Long(tags::kAttachByValue);
    }
    if (!props_.count(TagId(tags::kAttachSize)))
        props_[TagId(tags::kAttachSize)] = PropValue::Long(std::int32_t(std::min<std::uint64_t>(dataSize_, 0x7FFFFFFF)));
    if (!props_.count(TagId(tags::kRenderingPosition))) props_[TagId(tags::kRenderingPosition)] = PropValue::Long(-1);
    Bid bid = WritePropertyContext(ctx, props_, nullptr, &preset);
    rowOut = props_;
    rowOut.erase(TagId(tags::kAttachDataBin));
    finished_ = true;
    return SubnodeEntry{nid_, bid, db.WriteSubnodes(subs)};
}

void AttachmentBuilder::Discard() {
    if (finished_) return;
    for (Bid b : blocks_) store_.db_->ReleaseBlock(b);
    blocks_.clear();
}

}  // namespace qb::pst
