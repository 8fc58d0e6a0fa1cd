// MessageBuilder and AttachmentBuilder: a new message's properties,
// recipients and attachments, written as its blocks when it is saved;
// attachment data streamed in blocks as it comes.

#include "outlook/pst/PstStore.h"

#include <algorithm>

#include "outlook/pst/PstStoreInternal.h"
#include "outlook/pst/PstTags.h"

namespace qb::pst {

using namespace store_detail;

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

void MessageBuilder::SetProperties(std::vector<std::pair<std::uint32_t, PropValue>> values) {
    PropertyMap::Storage byId;
    // Room for the values Build adds (class, flags, size...).
    byId.reserve(values.size() + 8);
    for (auto& [tag, value] : values) {
        std::uint32_t normalized = tag;
        value = store_.Normalize(normalized, std::move(value));
        byId.emplace_back(TagId(normalized), std::move(value));
    }
    props_.Assign(std::move(byId));
}

void MessageBuilder::AddRecipient(Properties row) {
    for (auto& [id, v] : row) {
        std::uint32_t tag = MakeTag(id, v.type);
        v = store_.Normalize(tag, std::move(v));
    }
    recipients_.push_back(std::move(row));
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
    // A column whose id is taken already (by the template or an earlier row) is not added again.
    std::vector<std::uint32_t> recipientTags = store_.NormalizeTags(kRecipientColumns);
    for (const Properties& row : recipients_)
        for (const auto& [id, v] : row) {
            if (id == TagId(kTagLtpRowId) || id == TagId(kTagLtpRowVer)) continue;
            const std::uint16_t propertyId = id;  // clang 14 cannot capture a structured binding
            bool clash = std::any_of(recipientTags.begin(), recipientTags.end(),
                                     [propertyId](std::uint32_t t) { return TagId(t) == propertyId; });
            if (!clash) recipientTags.push_back(MakeTag(id, v.type));
        }
    // The rows move into the table: a message is built once.
    std::vector<TableRow> recipientRows;
    recipientRows.reserve(recipients_.size());
    for (std::size_t i = 0; i < recipients_.size(); ++i) {
        size += PackedSize(recipients_[i]);
        TableRow row{std::uint32_t(i), std::move(recipients_[i])};
        row.values[TagId(kTagLtpRowVer)] = PropValue::Long(std::int32_t(i + 1));
        recipientRows.push_back(std::move(row));
    }
    recipients_.clear();
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
        store_.MarkFailed();
        throw;
    }
}

AttachmentBuilder::AttachmentBuilder(PstStore& store, Nid nid) : store_(store), nid_(nid) {}

AttachmentBuilder::~AttachmentBuilder() = default;

void AttachmentBuilder::SetProperty(std::uint32_t tag, PropValue value) {
    if (TagId(tag) == TagId(tags::kAttachDataBin) && value.type == kPtBinary) {
        Write(value.data.data(), value.data.size());
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
        store_.MarkFailed();  // nothing more is committed from this session
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
        Bytes reference;
        Append32(reference, nid);
        Append32(reference, size);
        object.data = reference;
        props_[TagId(tags::kAttachDataObj)] = object;
        props_[TagId(tags::kAttachMethod)] = PropValue::Long(tags::kAttachEmbeddedMsg);
        if (!props_.count(TagId(tags::kAttachSize))) props_[TagId(tags::kAttachSize)] = PropValue::Long(std::int32_t(size));
    } else if (hasData_) {
        if (blocks_.empty() && pending_.size() <= kMaxHeapAllocation) {
            props_[TagId(tags::kAttachDataBin)] = PropValue::Binary(std::move(pending_));
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
    // The row has every value but the data, which can be large.
    rowOut.clear();
    rowOut.reserve(props_.size());
    for (const auto& [id, v] : props_)
        if (id != TagId(tags::kAttachDataBin)) rowOut.emplace(id, v);
    finished_ = true;
    return SubnodeEntry{nid_, bid, db.WriteSubnodes(subs)};
}

void AttachmentBuilder::Discard() {
    if (finished_) return;
    for (Bid b : blocks_) store_.db_->ReleaseBlock(b);
    blocks_.clear();
}

}  // namespace qb::pst
