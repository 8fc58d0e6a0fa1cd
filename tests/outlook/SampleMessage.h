#pragma once
// The mail record the writer tests save: a sender, one recipient of each
// class (and one without an address, which the writer leaves out), and the
// three times.

#include "outlook/MessageRecord.h"

namespace qb::test {

inline void FillSampleMessage(MessageRecord& record, std::int32_t state) {
    record.messageState = state;
    record.subject = "Quarterly report";
    record.bodyText = "Body text";
    record.senderName = "User Two";
    record.senderAddress = "two@example.com";
    record.principalName = "User Two";
    record.principalAddress = "two@example.com";
    record.toNames = {"User One", "Nobody"};
    record.toAddresses = {"one@example.com", ""};
    record.ccNames = {"Cc Person"};
    record.ccAddresses = {"cc@example.com"};
    record.bccNames = {"Bcc Person"};
    record.bccAddresses = {"bcc@example.com"};
    record.markAsRead = true;
    record.creationTime = {2024, 3, 0, 9, 8, 7, 6, 0};
    record.deliveryTime = {2024, 3, 0, 9, 10, 0, 0, 0};
    record.postedTime = {2024, 3, 0, 9, 9, 0, 0, 0};
}

}  // namespace qb::test
