#pragma once
// The people of the sample data: the mailbox owner, colleagues known by
// Notes names (some reached through other Notes domains), and outside
// correspondents known by Internet addresses only.

#include <string>
#include <vector>

namespace qb::notes::sample {

struct SamplePerson {
    std::string firstName, middleInitial, lastName;
    std::string notesName;   // canonical, "CN=Jane Doe/OU=Sales/O=Acme"; empty for outsiders
    std::string domain;      // Notes domain when reached through another one
    std::string internet;    // Internet address
    std::string company, jobTitle, department, city, country;

    std::string FullName() const;
    // The recipient text as mail carries it: the canonical Notes name (with
    // "@Domain" when set), or "Full Name <address>" for an outsider.
    std::string Address() const;
};

const SamplePerson& MailboxOwner();
const std::vector<SamplePerson>& SamplePeople();

// A tiny valid GIF (1x1 pixel) for pictures in rich text.
const std::string& SampleGif();

}  // namespace qb::notes::sample
