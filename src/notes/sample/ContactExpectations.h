#pragma once
// What every contact and distribution list the export makes of the sample
// address book must look like in Outlook, written as JSON
// (expected_contacts.json, sections "contacts" and "distribution_lists")
// while the generator writes the documents. The values come from the items
// the generator put into the DXL and from the conversion rules:
//
// - display name "First Middle Last" of the names there are, else the
//   company; file-as "Last, First Middle", else the display name, else e-mail 1;
// - e-mail 1: the mail address as the export makes it of a Notes name, the
//   Internet address when that is not an Internet address; e-mails 2 and 3
//   from MiscPhone1 and MiscPhone2;
// - addresses: the parts one a line, else the free text item;
// - birthday and anniversary as dates, only for years after 1700 and before 2300;
// - "Suffix" and "Title" of "0" are empty;
// - list members as one-off entries of their translated names, empty
//   values left out, at most 1000; a group without a name "invalid_group_name".

#include <fstream>
#include <string>

#include "notes/sample/SampleDocument.h"

namespace qb::notes::sample {

class ContactExpectationWriter {
public:
    explicit ContactExpectationWriter(std::string path);
    ~ContactExpectationWriter();
    ContactExpectationWriter(const ContactExpectationWriter&) = delete;
    ContactExpectationWriter& operator=(const ContactExpectationWriter&) = delete;

    // Describes one address book document; documents of other forms are
    // left out.
    void Add(const SampleDocument& document);
    // Completes the file; throws when it cannot be written.
    void Close();

    long long contacts() const { return contacts_; }
    long long lists() const { return lists_; }

private:
    std::string path_;
    std::ofstream contactsOut_;
    std::string listsText_;  // lists are few: kept until the contacts are written
    long long contacts_ = 0;
    long long lists_ = 0;
    bool closed_ = false;
};

}  // namespace qb::notes::sample
