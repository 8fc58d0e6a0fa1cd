// The address book entries that real address books have and the ordinary
// generated people do not: a Notes-named person with a non-ASCII name, a
// contact with only a company, one with only a home address, and a group
// larger than an Outlook list takes.

#include <fmt/format.h>

#include "notes/sample/AddressBookContent.h"
#include "notes/sample/SamplePeople.h"

namespace qb::notes::sample {

namespace {

SampleDocument NewEntry(SampleDatabase& db, const char* form, int day) {
    SampleDocument doc;
    doc.form = form;
    doc.created = SampleTime::Local(2023, 2, day, 9, 30);
    doc.modified = doc.created.PlusDays(1);
    doc.updatedBy = MailboxOwner().notesName;
    doc.unid = db.NewUnid();
    return doc;
}

}  // namespace

const SamplePerson& NonAsciiPerson() {
    static const SamplePerson person{"Chloé", "", "Dąbrowski", "CN=Chloé Dąbrowski/OU=Warszawa/O=Acme", "",
                                     "chloe.dabrowski@acme.example", "Acme Polska", "Architektka", "Design",
                                     "Łódź", "Polska"};
    return person;
}

void AddressBookContent::WriteSpecialEntries() {
    const SamplePerson& chloe = NonAsciiPerson();
    SampleDocument person = NewEntry(db_, "Person", 1);
    person.AddText("FirstName", chloe.firstName);
    person.AddText("LastName", chloe.lastName);
    person.AddTextList("FullName", {chloe.notesName, chloe.FullName()});
    // A Notes mail address and an Internet address: e-mail 1 must be the
    // Internet one.
    person.AddText("MailAddress", chloe.Address());
    person.AddText("InternetAddress", chloe.internet);
    person.AddText("CompanyName", chloe.company);
    person.AddText("JobTitle", chloe.jobTitle);
    person.AddText("City", chloe.city);
    person.AddText("Country", chloe.country);
    person.AddTimes("Birthday", {SampleTime::DateOnly(1988, 7, 14)});
    person.AddTextList("Categories", {"Współpracownicy"});
    db_.Write(person);

    SampleDocument company = NewEntry(db_, "Contact", 2);
    company.AddText("CompanyName", "Nordwind Logistik AG");
    company.AddText("OfficePhoneNumber", "+49 421 555 0100");
    company.AddText("BusinessAddress", "Am Hafen 7\n28217 Bremen");
    db_.Write(company);

    SampleDocument home = NewEntry(db_, "Contact", 3);
    home.AddText("StreetAddress", "Rue des Lilas 4");
    home.AddText("City", "Lyon");
    home.AddText("Zip", "69003");
    home.AddText("Country", "France");
    db_.Write(home);

    SampleDocument large = NewEntry(db_, "Group", 4);
    large.AddText("ListName", "All customers");
    std::vector<std::string> members = {chloe.notesName};
    for (int i = 1; i <= 1200; ++i) members.push_back(fmt::format("customer.{:04}@customers.example", i));
    large.AddTextList("Members", members);
    large.AddText("GroupType", "0");
    db_.Write(large);
}

}  // namespace qb::notes::sample
