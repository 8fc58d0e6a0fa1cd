#pragma once
// Mail documents in formatted DXL for the mail conversion tests, and a mail
// converter that keeps a copy of every record it saves.

#include <fmt/format.h>

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "convert/MailConverter.h"
#include "support/TempDir.h"

namespace qb::test {

// One memo: `items` is the DXL of its items.
inline std::string MemoDxl(int number, const std::string& items, const std::string& created = "20090512T101530,12+02") {
    return fmt::format(
        "<document form='Memo'><noteinfo noteid='{:x}' unid='CCCCCCCC22222222852500000000{:04X}'>"
        "<created><datetime>{}</datetime></created></noteinfo>\n{}\n</document>\n",
        0x400 + number * 4, number, created, items);
}

inline std::string MemoUnid(int number) { return fmt::format("CCCCCCCC22222222852500000000{:04X}", number); }

inline std::string TextItem(const std::string& name, const std::string& value) {
    return "<item name='" + name + "'><text>" + value + "</text></item>";
}

inline std::string TextListItem(const std::string& name, const std::vector<std::string>& values) {
    std::string dxl = "<item name='" + name + "'><textlist>";
    for (const std::string& value : values) dxl += "<text>" + value + "</text>";
    return dxl + "</textlist></item>";
}

inline std::string TimeItem(const std::string& name, const std::string& value) {
    return "<item name='" + name + "'><datetime>" + value + "</datetime></item>";
}

// A $FILE item holding `base64` under the file name `name`.
inline std::string FileItem(const std::string& name, const std::string& base64, std::size_t size) {
    return "<item name='$FILE'><object><file hosttype='msdos' compression='none' name='" + name +
           "' size='" + std::to_string(size) + "'><filedata>" + base64 + "</filedata></file></object></item>";
}

// What a saved record held, with the content of its attachment files.
struct SavedRecord {
    std::int32_t messageState = 0;
    std::string senderAddress, senderName, replyToAddress, replyToName, principalAddress, principalName;
    std::vector<std::string> toAddresses, toNames, ccAddresses, ccNames, bccAddresses, bccNames;
    std::string bodyText, subject;
    bool markAsRead = false, bodyIsRichText = false;
    platform::SystemTime creationTime, deliveryTime, postedTime;
    std::vector<std::string> attachmentFiles;
    std::vector<std::string> attachmentContents;
};

class RecordingMailConverter : public MailConverter {
public:
    using MailConverter::MailConverter;
    std::vector<SavedRecord> saved;
    HRESULT failWith = S_OK;
    // Raised from the save instead of saving: a Notes status, or (0) another failure.
    std::optional<LNSTATUS> raise;

protected:
    HRESULT SaveMessage(MessageRecord& record) override {
        SavedRecord copy{record.messageState, record.senderAddress, record.senderName, record.replyToAddress,
                         record.replyToName, record.principalAddress, record.principalName, record.toAddresses,
                         record.toNames, record.ccAddresses, record.ccNames, record.bccAddresses, record.bccNames,
                         record.bodyText, record.subject, record.markAsRead, record.bodyIsRichText,
                         record.creationTime, record.deliveryTime, record.postedTime, record.attachmentFiles, {}};
        for (const std::string& path : record.attachmentFiles) copy.attachmentContents.push_back(ReadFile(path));
        saved.push_back(std::move(copy));
        if (raise) {
            if (*raise != 0) throw LNStatusError(*raise);
            throw std::runtime_error("disk on fire");
        }
        if (failWith != S_OK) {
            record.stepCode = 6000;
            record.lastError = "Last Error hr = -1";
            return failWith;
        }
        return MailConverter::SaveMessage(record);
    }
};

}  // namespace qb::test
