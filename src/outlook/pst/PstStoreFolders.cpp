// PstStore's folders: their state loaded on first use, their properties and
// hierarchy, contents and associated-contents tables, creating folders and
// keeping a folder's row in its parent's hierarchy table and a saved
// message's row in its folder's contents table.

#include "outlook/pst/PstStore.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "outlook/pst/PstStoreInternal.h"
#include "outlook/pst/PstTags.h"

namespace qb::pst {

using namespace store_detail;

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

// ---------------------------------------------------------------- folders

PstStore::FolderState& PstStore::State(Nid folder) {
    auto it = folders_.find(folder);
    if (it != folders_.end()) return *it->second;
    const std::optional<NbtEntry> entry = db_->FindNode(folder);
    if (!entry || (NidTypeOf(folder) != kNidTypeNormalFolder && NidTypeOf(folder) != kNidTypeSearchFolder))
        throw PstError("folder " + HexId(folder) + " does not exist");
    auto f = std::make_unique<FolderState>();
    f->nid = folder;
    f->parent = entry->nidParent;
    f->props = ReadPropertyContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub));
    f->diskData = entry->bidData;
    f->diskSub = entry->bidSub;
    f->pcFromDisk = true;
    for (int which = 0; which < 3; ++which) LoadTable(*f, which);
    FolderState& ref = *f;
    folders_[folder] = std::move(f);
    return ref;
}

void PstStore::LoadTable(FolderState& f, int which) {
    TableState& t = f.tables[which];
    const std::optional<NbtEntry> entry = db_->FindNode(TableNid(f.nid, which));
    if (!entry) {
        InitTable(t, which);
        return;
    }
    // A contents table stays in the file until a row is added to it.
    if (which != kHierarchy) return;
    TableData data = ReadTableContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub));
    t.columns = data.columns;
    for (const TableRow& row : data.rows) t.rows.emplace_back(row.rowId, PackProperties(row.values));
    t.loadedFromDisk = true;
    t.diskData = entry->bidData;
    t.diskSub = entry->bidSub;
}

void PstStore::RebuildContentsTable(FolderState& f, int which, const TableRow* extra) {
    TableState& t = f.tables[which];
    const Nid nid = TableNid(f.nid, which);
    TableData data;
    if (t.appender) {
        t.appender->Flush(nid);
        data = ReadTable(nid);
        t.appender->Release();
    } else if (const std::optional<NbtEntry> entry = db_->FindNode(nid)) {
        const NbtEntry old = *entry;
        data = ReadTable(nid);
        db_->ReleaseTree(old.bidData);
        db_->ReleaseTree(old.bidSub);
    } else {
        data.columns = LayoutColumns(TemplateTags(which));
    }
    t.columns = data.columns;
    t.appender = std::make_unique<TableAppender>(*db_, t.columns);
    if (extra) data.rows.push_back(*extra);
    std::stable_sort(data.rows.begin(), data.rows.end(),
                     [](const TableRow& a, const TableRow& b) { return a.rowId < b.rowId; });
    for (const TableRow& row : data.rows)
        if (t.appender->CanAppend(row.rowId)) t.appender->Append(row.rowId, row.values);
    t.dirty = true;
}

void PstStore::FlushContentsTable(FolderState& f, int which) const {
    TableState& t = f.tables[which];
    if (!t.appender || !t.appender->dirty() || failed_ || closed_) return;
    t.appender->Flush(TableNid(f.nid, which));
}

TableData PstStore::ReadContentsTable(Nid folder, int which) const {
    auto it = folders_.find(folder);
    if (it != folders_.end()) FlushContentsTable(*it->second, which);
    return ReadTable(TableNid(folder, which));
}

TableData PstStore::ReadTable(Nid nid) const {
    const std::optional<NbtEntry> entry = db_->FindNode(nid);
    if (!entry) return {};
    return ReadTableContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub));
}

Properties PstStore::FolderProperties(Nid folder) const {
    auto it = folders_.find(folder);
    if (it != folders_.end()) return it->second->props;
    const std::optional<NbtEntry> entry = db_->FindNode(folder);
    if (!entry) throw PstError("folder " + HexId(folder) + " does not exist");
    return ReadPropertyContext(*db_, entry->bidData, db_->ReadSubnodes(entry->bidSub));
}

FolderInfo PstStore::Folder(Nid folder) const {
    Properties props = FolderProperties(folder);
    FolderInfo info;
    info.nid = folder;
    auto it = folders_.find(folder);
    if (it != folders_.end()) info.parent = it->second->parent;
    else if (const std::optional<NbtEntry> e = db_->FindNode(folder)) info.parent = e->nidParent;
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

TableData PstStore::ContentsTable(Nid folder) const { return ReadContentsTable(folder, kContents); }

TableData PstStore::AssociatedContentsTable(Nid folder) const { return ReadContentsTable(folder, kAssociated); }

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
    for (const TableRow& row : ReadContentsTable(folder, associated ? kAssociated : kContents).rows)
        out.push_back(row.rowId);
    return out;
}

void WalkFolderTree(Nid root, const std::function<std::vector<Nid>(Nid folder, std::size_t depth)>& expand,
                    const std::function<void(Nid folder, Nid listedBy)>& again) {
    struct Pending {
        Nid folder;
        Nid listedBy;
        std::size_t depth;
    };
    std::vector<Pending> stack{{root, 0, 0}};
    std::set<Nid> expanded;
    while (!stack.empty()) {
        const Pending next = stack.back();
        stack.pop_back();
        if (!expanded.insert(next.folder).second) {
            if (again) again(next.folder, next.listedBy);
            continue;
        }
        std::vector<Nid> children = expand(next.folder, next.depth);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, next.folder, next.depth + 1});
    }
}

std::size_t PstStore::FolderDepth(Nid folder) const {
    std::size_t depth = 0;
    for (Nid nid = folder; nid != kNidRootFolder && depth <= kMaxFolderDepth; ++depth) {
        auto it = folders_.find(nid);
        if (it != folders_.end()) {
            nid = it->second->parent;
        } else if (const std::optional<NbtEntry> entry = db_->FindNode(nid)) {
            nid = entry->nidParent;
        } else {
            throw PstError("folder " + HexId(nid) + " does not exist");
        }
    }
    return depth;
}

Nid PstStore::CreateFolder(Nid parent, const std::string& name, const std::string& containerClass) {
    RequireWritable();
    if (FolderDepth(parent) + 1 > kMaxFolderDepth)
        throw PstError("The folder '" + name + "' would lie more than " + std::to_string(kMaxFolderDepth) +
                       " levels deep, deeper than a personal folders file holds.");
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
    for (int which = 0; which < 3; ++which) InitTable(f->tables[which], which);
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
    const int which = associated ? kAssociated : kContents;
    TableState& t = f.tables[which];
    if (!t.appender) RebuildContentsTable(f, which);
    Properties version;
    version[TagId(kTagLtpRowVer)] = PropValue::Long(std::int32_t(rowVersion_++));
    // Message ids grow, so a row goes at the end, its cells read straight from
    // the message's values; else the table is rebuilt in order.
    if (t.appender->CanAppend(message)) {
        t.appender->Append(message, props, &version);
    } else {
        Properties row;
        for (const TableColumn& c : t.columns) {
            if (c.tag == kTagLtpRowId) continue;
            const PropValue* v = FindProp(props, c.tag);
            if (v && v->type == TagType(c.tag)) row[TagId(c.tag)] = *v;
        }
        row[TagId(kTagLtpRowVer)] = std::move(version.begin()->second);
        const TableRow extra{message, std::move(row)};
        RebuildContentsTable(f, which, &extra);
    }
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

}  // namespace qb::pst
