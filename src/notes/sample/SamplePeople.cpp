#include "notes/sample/SamplePeople.h"

namespace qb::notes::sample {

std::string SamplePerson::FullName() const {
    return middleInitial.empty() ? firstName + " " + lastName : firstName + " " + middleInitial + " " + lastName;
}

std::string SamplePerson::Address() const {
    if (notesName.empty()) return "\"" + FullName() + "\" <" + internet + ">";
    return domain.empty() ? notesName : notesName + "@" + domain;
}

const SamplePerson& MailboxOwner() {
    static const SamplePerson owner{"Jane", "Q.", "Doe", "CN=Jane Doe/OU=Sales/O=Acme", "", "jane.doe@acme.example",
                                    "Acme Corporation", "Sales Manager", "Sales", "Hamburg", "Germany"};
    return owner;
}

const std::vector<SamplePerson>& SamplePeople() {
    static const std::vector<SamplePerson> people = {
        {"John", "", "Smith", "CN=John Smith/OU=Sales/O=Acme", "", "john.smith@acme.example", "Acme Corporation",
         "Account Executive", "Sales", "Hamburg", "Germany"},
        {"Maria", "", "García", "CN=Maria García/OU=Engineering/O=Acme", "", "maria.garcia@acme.example",
         "Acme Corporation", "Engineer", "Engineering", "Madrid", "Spain"},
        {"Li", "", "Wei", "CN=Li Wei/O=Acme", "", "li.wei@acme.example", "Acme Corporation", "Analyst", "Finance",
         "Shanghai", "China"},
        {"Anna", "M.", "Müller", "CN=Anna Müller/OU=Berlin/O=Acme", "", "anna.mueller@acme.example",
         "Acme Corporation", "Project Lead", "Projects", "Berlin", "Germany"},
        {"Olivier", "", "Dubois", "CN=Olivier Dubois/OU=Paris/O=Acme", "AcmeFrance", "olivier.dubois@acme.example",
         "Acme France", "Consultant", "Services", "Paris", "France"},
        {"Peter", "", "Brown", "CN=Peter Brown/OU=Purchasing/O=Partner", "PartnerDomain", "peter.brown@partner.example",
         "Partner Ltd", "Buyer", "Purchasing", "Leeds", "United Kingdom"},
        {"Sven", "", "O'Neill", "CN=Sven O'Neill/O=Acme", "", "sven.oneill@acme.example", "Acme Corporation",
         "Support", "Support", "Dublin", "Ireland"},
        {"Bob", "", "Baker", "", "", "bob@example.com", "Example Inc", "Owner", "", "Austin", "USA"},
        {"Carol", "", "Quinn", "", "", "carol.quinn@example.org", "Quinn & Partners", "Lawyer", "", "Boston", "USA"},
        {"Dana", "", "Kim", "", "", "dana.kim@mail.example.net", "", "", "", "Seoul", "Korea"},
        {"Service", "", "Desk", "", "", "support@vendor.example", "Vendor AG", "", "Support", "Zurich",
         "Switzerland"},
    };
    return people;
}

const std::string& SampleGif() {
    static const std::string gif = [] {
        static const unsigned char bytes[] = {
            0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF,
            0xFF, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00,
            0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
        return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }();
    return gif;
}

}  // namespace qb::notes::sample
