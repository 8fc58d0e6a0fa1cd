// PstStore's messages: creating a message's builder and reading a saved
// message with its recipients, attachments and embedded messages.

#include "outlook/pst/PstStore.h"

#include "outlook/pst/PstStoreInternal.h"
#include "outlook/pst/PstTags.h"

namespace qb::pst {

using namespace store_detail;

namespace {

// Embedded messages nest this deep at most: a damaged file can embed a
// message in itself, and reading would recurse without end.
constexpr int kMaxEmbeddingDepth = 64;

}  // namespace

// ---------------------------------------------------------------- messages

std::unique_ptr<MessageBuilder> PstStore::CreateMessage(Nid folder, bool associated) {
    RequireWritable();
    State(folder);
    return std::unique_ptr<MessageBuilder>(new MessageBuilder(*this, folder, associated, false));
}

MessageData PstStore::ReadMessage(Nid message) const {
    const std::optional<NbtEntry> entry = db_->FindNode(message);
    if (!entry) throw PstError("message " + HexId(message) + " does not exist");
    return ReadMessageNode(message, entry->nidParent, entry->bidData, entry->bidSub);
}

MessageData PstStore::ReadMessageNode(Nid nid, Nid parent, Bid bidData, Bid bidSub, int depth) const {
    if (depth > kMaxEmbeddingDepth)
        throw PstError("embedded message " + HexId(nid) + " is nested more than " + std::to_string(kMaxEmbeddingDepth) +
                       " deep (a message embedded in itself?)");
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
                a.embedded = std::make_shared<MessageData>(ReadMessageNode(embedded, 0, e->second.bidData, e->second.bidSub, depth + 1));
            }
            m.attachments.push_back(std::move(a));
        }
    }
    return m;
}

}  // namespace qb::pst
