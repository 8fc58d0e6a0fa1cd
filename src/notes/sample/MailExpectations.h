#pragma once
// What every converted mail document of the sample must look like in the
// Outlook file, written as JSON (expected_mail.json) while the generator
// writes the documents. The values come from the items the generator put
// into the DXL and from the conversion rules the export follows:
//
// - message state: 2 with PostedDate, else 3 with DeliveredDate, else 1;
// - senders, reply-to and recipients: Notes names become their common name and their
//   abbreviated form (with "@Domain" when they carry one), "Name <address>"
//   its two parts, a bare Internet address both name and address;
// - times in UTC: creation, the posting date (the creation time when the
//   document has none), and the delivery date (the creation time when none);
// - the plain body: the text of the Body item, a rich text body's
//   paragraphs with document links as NOTES:// URLs, a MIME body's text
//   parts; "(This message contains no body text)" without a Body;
// - attachments under their safe file names, pictures of rich text bodies
//   as "_IMAGEn.tif" files when pictures are attached.
//
// Each message is written as soon as its document is, so memory does not
// grow with the size of the mailbox.

#include <fstream>
#include <string>
#include <vector>

#include "notes/sample/SampleDocument.h"
#include "notes/sample/SampleExportSettings.h"

namespace qb::notes::sample {

struct ExpectedAddress {
    std::string name;
    std::string address;
};

// The display name and address the export makes of a sender or recipient text.
ExpectedAddress ExpectedAddressOf(const std::string& text);

// The attachment file names of one document, in order, as the export saves them.
std::vector<std::string> ExpectedAttachmentNames(const std::vector<std::string>& storedNames, bool renameExecutables);

class MailExpectationWriter {
public:
    MailExpectationWriter(std::string path, const SampleExportSettings& settings);
    ~MailExpectationWriter();
    MailExpectationWriter(const MailExpectationWriter&) = delete;
    MailExpectationWriter& operator=(const MailExpectationWriter&) = delete;

    // Describes one mail document that the export writes into `folders`.
    void Add(const SampleDocument& document, const std::vector<std::string>& folders);
    // Completes the file; throws when it cannot be written.
    void Close();

    long long messages() const { return messages_; }

private:
    std::string path_;
    const SampleExportSettings& settings_;
    std::ofstream out_;
    long long messages_ = 0;
    bool closed_ = false;
};

}  // namespace qb::notes::sample
