#include "outlook/MessageRecord.h"

#include <fmt/format.h>

#include <cstring>

#include "outlook/ItemSupport.h"
#include "outlook/NamedProperties.h"
#include "outlook/RtfBodyWriter.h"
#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiGuids.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"
#include "outlook/mapi/Streams.h"
#include "shell/report/MessageSink.h"

namespace qb {

using mapi::MapiBuffer;
using mapi::MapiPtr;

namespace {

struct RecipientClass {
    const std::vector<std::string>& names;
    const std::vector<std::string>& addresses;
    ULONG type;
};

FILETIME WholeSeconds(FILETIME time) {
    constexpr ULONGLONG kTicksPerSecond = 10000000ULL;
    ULONGLONG value = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    value -= value % kTicksPerSecond;
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

}  // namespace

std::unique_ptr<MessageRecord> NewMessageRecord(CMapiSession& session, const FolderHandle& folder,
                                                std::string* error) {
    MapiPtr<IMessage> message = CreateFolderMessage(folder, error);
    if (!message) return nullptr;
    return std::make_unique<MessageRecord>(session, std::move(message));
}

HRESULT AttachFile(IMessage* message, const std::string& path, FILETIME creationTime, std::string* error) {
    auto fail = [&](auto& object, HRESULT hr, std::string_view what) {
        if (error) *error = mapi::LastErrorTextWithCode(object, hr, std::string(what));
        return hr;
    };
    MapiPtr<IStream> file;
    HRESULT hr = OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, 0, path.c_str(), nullptr, file.Put());
    if (FAILED(hr)) {
        if (error) *error = fmt::format("cannot read {} (hr=0x{:08X})", path, static_cast<unsigned>(hr));
        return hr;
    }
    MapiPtr<IAttach> attach;
    ULONG number = 0;
    hr = message->CreateAttach(nullptr, 0, &number, attach.Put());
    if (FAILED(hr)) return fail(*message, hr, "cannot create the attachment");
    MapiPtr<IStream> data;
    hr = attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY, data.PutUnknown());
    if (FAILED(hr)) return fail(*attach, hr, "cannot open the attachment data");
    STATSTG stat{};
    hr = file->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return fail(*attach, hr, "cannot read " + path);
    hr = file->CopyTo(data.get(), stat.cbSize, nullptr, nullptr);
    if (FAILED(hr)) return fail(*attach, hr, "cannot copy " + path + " into the attachment");
    data->Commit(0);
    data.Reset();

    // Paths here use "/"; names from elsewhere may still carry "\".
    const auto cut = path.find_last_of("/\\");
    const std::string fileName = cut == std::string::npos ? path : path.substr(cut + 1);
    SPropValue values[6];
    for (SPropValue& v : values) v.ulPropTag = PR_NULL;
    values[0].ulPropTag = PR_ATTACH_METHOD;
    values[0].Value.l = ATTACH_BY_VALUE;
    values[1].ulPropTag = PR_ATTACH_FILENAME;
    values[1].Value.lpszA = Text(fileName);
    values[2].ulPropTag = PR_RENDERING_POSITION;
    values[2].Value.l = -1;
    // The file's times as its stream saw them, in whole seconds.
    values[3].ulPropTag = PR_CREATION_TIME;
    values[3].Value.ft = creationTime.dwHighDateTime != 0 ? creationTime : WholeSeconds(stat.ctime);
    values[4].ulPropTag = PR_LAST_MODIFICATION_TIME;
    values[4].Value.ft = WholeSeconds(stat.mtime);
    // The long name is what mail clients show; the short one alone would
    // leave them to guess.
    values[5].ulPropTag = PR_ATTACH_LONG_FILENAME;
    values[5].Value.lpszA = Text(fileName);
    hr = attach->SetProps(6, values, nullptr);
    if (FAILED(hr)) return fail(*attach, hr, "cannot name the attachment");
    hr = attach->SaveChanges(0);
    if (FAILED(hr)) return fail(*attach, hr, "cannot save the attachment");
    return hr;
}

HRESULT MessageRecord::WriteRichTextBody(const std::string& rtfPath) {
    return WriteRtfBody(message_.get(), rtfPath, lastError);
}

HRESULT MessageRecord::SaveMessage(ULONG_PTR) {
    stepCode = 100;
    if (!session_.session || !message_) return E_FAIL;
    IAddrBook* book = nullptr;
    if (FAILED(session_.GetAddressBook(&book)) || !book) return E_POINTER;

    stepCode = 200;
    const FILETIME created = ToFileTime(creationTime);
    stepCode = 300;
    const RecipientClass classes[] = {{toNames, toAddresses, MAPI_TO},
                                      {ccNames, ccAddresses, MAPI_CC},
                                      {bccNames, bccAddresses, MAPI_BCC}};
    const std::size_t capacity = toAddresses.size() + ccAddresses.size() + bccAddresses.size();
    MapiBuffer<ADRLIST> recipients;
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(capacity)), recipients.PutVoid()))) {
        lastError = "MAPIAllocateBuffer FAILED";
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    recipients->cEntries = 0;

    stepCode = 400;
    for (const RecipientClass& cls : classes) {
        stepCode = 500;
        for (std::size_t i = 0; i < cls.addresses.size(); ++i) {
            const std::string& address = cls.addresses[i];
            if (address.empty()) continue;
            const std::string name = i < cls.names.size() ? cls.names[i] : std::string();
            stepCode = 600;
            ADRENTRY& entry = recipients->aEntries[recipients->cEntries];
            entry.ulReserved1 = 0;
            entry.cValues = 5;
            if (FAILED(MAPIAllocateMore(5 * sizeof(SPropValue), recipients.get(),
                                        reinterpret_cast<LPVOID*>(&entry.rgPropVals))))
                return MAPI_E_NOT_ENOUGH_MEMORY;
            SPropValue* row = entry.rgPropVals;
            auto copyText = [&](const std::string& text) {
                char* copy = nullptr;
                MAPIAllocateMore(static_cast<ULONG>(text.size() + 1), recipients.get(), reinterpret_cast<LPVOID*>(&copy));
                if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
                return copy;
            };
            row[0].ulPropTag = PR_DISPLAY_NAME;
            row[0].Value.lpszA = copyText(name);
            row[1].ulPropTag = PR_RECIPIENT_TYPE;
            row[1].Value.l = static_cast<LONG>(cls.type);
            row[2].ulPropTag = PR_EMAIL_ADDRESS;
            row[2].Value.lpszA = copyText(address);
            row[3].ulPropTag = PR_ADDRTYPE;
            row[3].Value.lpszA = copyText("SMTP");
            stepCode = 690;
            ULONG idSize = 0;
            MapiBuffer<ENTRYID> id;
            const HRESULT hr = OneOff(*book, name, address, idSize, id);
            if (FAILED(hr)) {
                lastError = "CreateOneOff failed: RecipientFriendly: " + name + "\nRecipient: " + address;
                stepCode = 800;
                return hr;
            }
            BYTE* idCopy = nullptr;
            MAPIAllocateMore(idSize, recipients.get(), reinterpret_cast<LPVOID*>(&idCopy));
            if (idCopy) std::memcpy(idCopy, id.get(), idSize);
            row[4].ulPropTag = PR_ENTRYID;
            row[4].Value.bin = SBinary{idCopy ? idSize : 0, idCopy};
            ++recipients->cEntries;
        }
    }

    stepCode = 900;
    lostAttachments.clear();
    for (const std::string& path : attachmentFiles) {
        std::string why;
        if (FAILED(AttachFile(message_.get(), path, created, &why))) lostAttachments.push_back(path + ": " + why);
    }
    stepCode = 1000;
    if (recipients->cEntries > 0) message_->ModifyRecipients(MODRECIP_ADD, recipients.get());

    stepCode = 1100;
    SPropValue v[18];
    for (SPropValue& value : v) value.ulPropTag = PR_NULL;
    const bool sent = messageState == kStateSent || messageState == kStateReceived;

    ULONG senderSize = 0, principalSize = 0, replySize = 0;
    MapiBuffer<ENTRYID> senderId, principalId, replyId;
    MapiBuffer<FLATENTRY> replyEntry;
    MapiBuffer<FLATENTRYLIST> replyList;
    const bool hasReplyTo = !replyToAddress.empty() && !replyToName.empty();
    if (sent) {
        stepCode = 1420;
        if (HRESULT hr = OneOff(*book, senderName, senderAddress, senderSize, senderId); FAILED(hr)) return hr;
        stepCode = 1500;
        if (HRESULT hr = OneOff(*book, principalName, principalAddress, principalSize, principalId); FAILED(hr))
            return hr;
        stepCode = 1600;
        if (hasReplyTo) {
            stepCode = 1800;
            if (HRESULT hr = OneOff(*book, replyToName, replyToAddress, replySize, replyId); FAILED(hr)) return hr;
            stepCode = 1900;
            const ULONG entrySize = static_cast<ULONG>(CbNewFLATENTRY(replySize));
            if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(CbNewFLATENTRYLIST(entrySize)), replyList.PutVoid())))
                return MAPI_E_NOT_ENOUGH_MEMORY;
            replyList->cEntries = 1;
            replyList->cbEntries = entrySize;
            auto* flat = reinterpret_cast<FLATENTRY*>(replyList->abEntries);
            flat->cb = replySize;
            std::memcpy(flat->abEntry, replyId.get(), replySize);
            stepCode = 2100;
        }
    }

    stepCode = 2200;
    v[0].ulPropTag = PR_BODY;
    v[0].Value.lpszA = Text(bodyText);
    v[1].ulPropTag = PR_SUBJECT;
    v[1].Value.lpszA = Text(subject);
    static const std::string kNoteClass = "IPM.Note";
    v[2].ulPropTag = PR_MESSAGE_CLASS;
    v[2].Value.lpszA = Text(kNoteClass);
    v[3].ulPropTag = PR_MESSAGE_DELIVERY_TIME;
    v[3].Value.ft = ToFileTime(deliveryTime);
    stepCode = 1200;
    v[4].ulPropTag = PR_MESSAGE_FLAGS;
    v[4].Value.l = messageState == kStateDraft ? MSGFLAG_UNSENT
                   : sent                      ? (MSGFLAG_READ | MSGFLAG_UNMODIFIED)
                                               : 0;
    static const std::string kSmtp = "SMTP";
    if (sent) {
        v[5].ulPropTag = PR_SENDER_ENTRYID;
        v[5].Value.bin = SBinary{senderSize, reinterpret_cast<LPBYTE>(senderId.get())};
        stepCode = 2200;
        v[6].ulPropTag = PR_SENDER_EMAIL_ADDRESS;
        v[6].Value.lpszA = Text(senderAddress);
        v[7].ulPropTag = PR_SENDER_NAME;
        v[7].Value.lpszA = Text(senderName);
        v[8].ulPropTag = PR_SENDER_ADDRTYPE;
        v[8].Value.lpszA = Text(kSmtp);
        v[9].ulPropTag = PR_SENT_REPRESENTING_NAME;
        v[9].Value.lpszA = Text(principalName);
        v[10].ulPropTag = PR_SENT_REPRESENTING_EMAIL_ADDRESS;
        v[10].Value.lpszA = Text(principalAddress);
        v[11].ulPropTag = PR_CLIENT_SUBMIT_TIME;
        v[11].Value.ft = ToFileTime(postedTime);
        v[14].ulPropTag = PR_SENT_REPRESENTING_ENTRYID;
        v[14].Value.bin = SBinary{principalSize, reinterpret_cast<LPBYTE>(principalId.get())};
        if (hasReplyTo) {
            v[15].ulPropTag = PR_REPLY_RECIPIENT_NAMES;
            v[15].Value.lpszA = Text(replyToAddress);
            v[16].ulPropTag = PR_REPLY_RECIPIENT_ENTRIES;
            v[16].Value.bin = SBinary{replyList->cbEntries + 8, reinterpret_cast<LPBYTE>(replyList.get())};
        }
    }
    if (messageState == kStateReceived) {
        stepCode = 2300;
        v[12].ulPropTag = PR_TRANSPORT_MESSAGE_HEADERS;
        v[12].Value.lpszA = Text(headerText);
    }
    stepCode = 2400;
    v[13].ulPropTag = PR_CREATION_TIME;
    v[13].Value.ft = created;

    if (const ULONG tag = NamedTags().universalId; tag != PR_NULL && !universalId.empty()) {
        v[17].ulPropTag = tag;
        v[17].Value.lpszA = Text(universalId);
    }

    stepCode = 3000;
    if (HRESULT hr = message_->SetProps(18, v, nullptr); FAILED(hr)) {
        stepCode = 4000;
        lastError = mapi::LastErrorTextWithCode(*message_, hr, "cannot set the message properties");
        return hr;
    }
    stepCode = 5000;
    if (markAsRead) {
        stepCode = 5100;
        message_->SetReadFlag(MAPI_DEFERRED_ERRORS);
    }
    stepCode = 6000;
    const HRESULT hr = message_->SaveChanges(0);
    if (FAILED(hr)) {
        lastError = mapi::LastErrorTextWithCode(*message_, hr, "cannot save the message");
        return hr;
    }
    stepCode = 10000;
    return hr;
}

}  // namespace qb
