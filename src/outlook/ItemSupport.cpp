#include "outlook/ItemSupport.h"

#include <cstring>

#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"

namespace qb {

FILETIME ToFileTime(const platform::SystemTime& time) {
    const platform::FileTime ft = platform::SystemTimeToFileTime(time).value_or(0);
    return FILETIME{static_cast<DWORD>(ft & 0xFFFFFFFFu), static_cast<DWORD>(ft >> 32)};
}

FILETIME UnixToFileTimeValue(std::time_t when) {
    const platform::FileTime ft = platform::UnixToFileTime(when);
    return FILETIME{static_cast<DWORD>(ft & 0xFFFFFFFFu), static_cast<DWORD>(ft >> 32)};
}

HRESULT OneOff(IAddrBook& book, const std::string& name, const std::string& address, ULONG& size,
               mapi::MapiBuffer<ENTRYID>& id) {
    static const std::string kSmtp = "SMTP";
    return book.CreateOneOff(Text(name), Text(kSmtp), Text(address), 0, &size, id.Put());
}

mapi::MapiPtr<IMessage> CreateFolderMessage(const FolderHandle& folder, std::string* error) {
    mapi::MapiPtr<IMessage> message;
    if (!folder.folder) {
        if (error) *error = "no Outlook folder";
        return message;
    }
    const HRESULT hr = folder.folder->CreateMessage(nullptr, 0, message.Put());
    if (FAILED(hr) || !message) {
        if (error) *error = mapi::LastErrorTextWithCode(*folder.folder, hr, "the folder refused to create a message");
        return mapi::MapiPtr<IMessage>();
    }
    return message;
}

bool BuildNameRows(const std::vector<RecipientNames>& lists, mapi::MapiBuffer<ADRLIST>& rows) {
    std::size_t capacity = 0;
    for (const RecipientNames& list : lists) capacity += list.names.size();
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(capacity)), rows.PutVoid()))) return false;
    rows->cEntries = 0;
    for (const RecipientNames& list : lists) {
        for (const std::string& name : list.names) {
            // A blank row would show as an attendee without a name.
            if (name.empty()) continue;
            ADRENTRY& entry = rows->aEntries[rows->cEntries];
            entry.ulReserved1 = 0;
            entry.cValues = 2;
            if (FAILED(MAPIAllocateMore(2 * sizeof(SPropValue), rows.get(), reinterpret_cast<LPVOID*>(&entry.rgPropVals))))
                return false;
            char* copy = nullptr;
            if (FAILED(MAPIAllocateMore(static_cast<ULONG>(name.size() + 1), rows.get(), reinterpret_cast<LPVOID*>(&copy))))
                return false;
            std::memcpy(copy, name.c_str(), name.size() + 1);
            entry.rgPropVals[0].ulPropTag = PR_DISPLAY_NAME;
            entry.rgPropVals[0].Value.lpszA = copy;
            entry.rgPropVals[1].ulPropTag = PR_RECIPIENT_TYPE;
            entry.rgPropVals[1].Value.l = static_cast<LONG>(list.type);
            ++rows->cEntries;
        }
    }
    return true;
}

}  // namespace qb
