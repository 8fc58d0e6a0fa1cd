#include "notes/sample/AddressBookContent.h"

#include <fmt/format.h>

#include "notes/sample/SamplePeople.h"

namespace qb::notes::sample {
namespace {

const std::vector<std::string>& FirstNames() {
    static const std::vector<std::string> names = {"Aiko", "Bernd", "Chloé", "Dmitri", "Eva", "Farid", "Greta",
                                                   "Hugo", "Ines", "Jonas", "Kai", "Lena", "Mats", "Nora"};
    return names;
}

const std::vector<std::string>& LastNames() {
    static const std::vector<std::string> names = {"Andersen", "Becker", "Costa", "Dąbrowski", "Eriksson",
                                                   "Fischer", "Gómez", "Hansen", "Ivanova", "Jensen", "O'Brien"};
    return names;
}

std::string Ascii(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        if (c < 0x80 && c != '\'') out += static_cast<char>(std::tolower(c));
    return out;
}

}  // namespace

void AddressBookContent::DefineCatalogue() {
    db_.AddView("People", R"(SELECT Form = "Person":"Contact")", "", false);
    db_.AddView("Groups", R"(SELECT Form = "Group")", "", false);
    db_.AddView("($Users)", R"(SELECT Form = "Person")", "", true);
    db_.AddView("($VIMGroups)", R"(SELECT Form = "Group" & @IsAvailable(Members))", "", true);
    db_.AddView("Contacts\\By Company", R"(SELECT @IsAvailable(CompanyName) & CompanyName != "")", "", false);
    db_.AddFolder("Favourites", false);
    db_.AddView("($Locations)", R"(SELECT Form = "Location")", "", true);
}

void AddressBookContent::WriteDocuments(const AddressBookSize& size) {
    for (long long i = 0; i < size.persons; ++i) WritePerson(i, "Person");
    for (long long i = 0; i < size.contacts; ++i) WritePerson(size.persons + i, "Contact");
    for (long long i = 0; i < size.groups; ++i) WriteGroup(i);
    WriteSpecialEntries();
    // The servers the user worked with, as the database selection lists them.
    WriteOther("Location", "Office (Network)", {"CN=Hub/O=Acme", "CN=Archive/O=Acme"});
    WriteOther("Location", "Home (Notes Direct Dialup)", {"CN=Hub/O=Acme"});
    WriteOther("Connection", "Acme Server");
}

void AddressBookContent::WritePerson(long long index, const char* form) {
    SampleDocument doc;
    doc.form = form;
    doc.noteForm = index % 3 == 2;
    doc.created = SampleTime::Local(2022, 5, 1, 10, 0).PlusDays(static_cast<int>(index % 1000));
    doc.modified = doc.created.PlusDays(3);
    doc.updatedBy = MailboxOwner().notesName;
    doc.unid = db_.NewUnid();

    const std::vector<SamplePerson>& known = SamplePeople();
    SamplePerson person;
    if (index < static_cast<long long>(known.size())) {
        person = known[static_cast<std::size_t>(index)];
    } else {
        person.firstName = random_.Pick(FirstNames());
        person.lastName = random_.Pick(LastNames());
        person.internet = fmt::format("{}.{}{}@example.net", Ascii(person.firstName), Ascii(person.lastName), index);
        person.company = random_.Chance(60) ? "Example Trading GmbH" : "";
        person.city = "Köln";
        person.country = "Germany";
    }
    doc.AddText("FirstName", person.firstName);
    if (!person.middleInitial.empty()) doc.AddText("MiddleInitial", person.middleInitial);
    doc.AddText("LastName", person.lastName);
    doc.AddTextList("FullName", {person.notesName.empty() ? person.FullName() : person.notesName, person.FullName()});
    // Mail address: a Notes name (with a domain where needed) or empty, so
    // that the Internet address must be used.
    doc.AddText("MailAddress", person.notesName.empty() || index % 4 == 1 ? "" : person.Address());
    doc.AddText("InternetAddress", person.internet);
    // The Notes domain mail to the person is routed through, as address
    // books hold it for people of another organisation.
    if (!person.domain.empty()) doc.AddText("MailDomain", person.domain);
    if (!person.company.empty()) doc.AddText("CompanyName", person.company);
    if (!person.jobTitle.empty()) doc.AddText("JobTitle", person.jobTitle);
    if (!person.department.empty()) doc.AddText("Department", person.department);
    doc.AddText("OfficePhoneNumber", fmt::format("+49 40 555 {:04}", index % 10000));
    if (index % 2 == 0) doc.AddText("CellPhoneNumber", fmt::format("+49 170 {:07}", index * 37 % 10000000));
    if (index % 5 == 0) doc.AddText("PhoneNumber", "+49 40 123456");
    if (index % 7 == 0) doc.AddText("PhoneNumber_6", "pager 777");
    if (index % 6 == 0) doc.AddText("OfficeFaxPhoneNumber", "+49 40 555 9999");
    if (index % 9 == 0) doc.AddText("HomeFaxPhoneNumber", "+49 40 123457");
    switch (index % 4) {
    case 0:  // full home address
        doc.AddText("StreetAddress", "Hauptstraße 1");
        doc.AddText("City", person.city);
        doc.AddText("State", "");
        doc.AddText("Zip", "20095");
        doc.AddText("Country", person.country);
        break;
    case 1:  // street and country only: two lines
        doc.AddText("StreetAddress", "1 Main Street");
        doc.AddText("Country", person.country);
        doc.AddText("HomeAddress", "ignored when parts exist");
        break;
    case 2:  // free text only
        doc.AddText("HomeAddress", "c/o Example\nPostfach 12\n" + person.city);
        break;
    default: break;
    }
    if (index % 3 == 0) {
        doc.AddText("OfficeStreetAddress", "Industrieweg 5");
        doc.AddText("OfficeCity", "Hamburg");
        doc.AddText("OfficeZip", "22113");
        doc.AddText("OfficeCountry", "Germany");
    } else if (index % 3 == 1) {
        doc.AddText("BusinessAddress", "Business Park 3, 80331 München");
    }
    if (index % 4 == 0) doc.AddText("WebSite", "https://www.example.com/~" + Ascii(person.lastName));
    if (index % 8 == 0) {
        doc.AddText("MiscPhone1", "second@example.com");
        doc.AddText("MiscPhone2", "third@example.com");
    }
    // Birthdays: ordinary ones, and the limits the export drops (1700, 2300).
    const int birthYear = index == 2 ? 1700 : index == 3 ? 2300 : index == 4 ? 1701 : 1960 + static_cast<int>(index % 40);
    if (index % 2 == 0 || index < 5) doc.AddTimes("Birthday", {SampleTime::DateOnly(birthYear, 1 + index % 12, 1 + index % 28)});
    if (index % 10 == 0) doc.AddTimes("Anniversary", {SampleTime::DateOnly(2005, 6, 18)});
    if (index % 5 == 1) doc.AddText("Suffix", "0");
    if (index % 5 == 2) doc.AddText("Suffix", "Jr.");
    if (index % 6 == 1) doc.AddText("Title", index % 12 == 1 ? "0" : "Dr.");
    if (index % 7 == 3) {
        doc.AddText("Spouse", "Alex");
        doc.AddTextList("Children", {"Sam", "Robin"});
    }
    if (index % 9 == 4) {
        doc.AddText("Assistant", "Pat");
        doc.AddText("Manager", "Chris");
        doc.AddText("Location", "Building 2");
        doc.AddText("Profession", "Engineer");
        doc.AddText("PreferredLanguage", "de");
        doc.AddText("PersPager", "12345");
    }
    if (index % 4 == 3) doc.AddTextList("Categories", {"Customers", "VIP"});
    if (index % 11 == 5) doc.AddText("OrgConfidential", "1");
    if (index % 3 == 0) {
        SampleItem& comment = doc.Add("Comment", ItemKind::RichText);
        RichParagraph paragraph;
        RichRun run;
        run.text = "Met at the trade fair.";
        run.style = "bold";
        paragraph.runs.push_back(run);
        comment.paragraphs.push_back(paragraph);
    } else if (index % 3 == 1) {
        doc.AddText("Comment", "A");
        SampleItem& briefcase = doc.Add("Briefcase", ItemKind::RichText);
        RichParagraph paragraph;
        RichRun run;
        run.text = "B";
        paragraph.runs.push_back(run);
        briefcase.paragraphs.push_back(paragraph);
    }
    if (index < 3) {
        SampleItem& refs = doc.Add("$FolderRefs", ItemKind::NoteRefs);
        refs.texts = {db_.UnidOf("Favourites")};
    }
    db_.Write(doc);
}

void AddressBookContent::WriteGroup(long long index) {
    SampleDocument doc;
    doc.form = "Group";
    doc.noteForm = index % 2 == 1;
    doc.created = SampleTime::Local(2022, 6, 1, 10, 0).PlusDays(static_cast<int>(index % 500));
    doc.modified = doc.created;
    doc.updatedBy = MailboxOwner().notesName;
    doc.unid = db_.NewUnid();
    const std::vector<SamplePerson>& people = SamplePeople();
    switch (index) {
    case 0:
        doc.AddText("ListName", "Sales Team");
        doc.AddTextList("Members", {people[0].notesName, MailboxOwner().notesName, people[5].Address(), people[7].internet});
        break;
    case 1:
        // No ListName: exported as "invalid_group_name".
        doc.AddTextList("Members", {people[1].notesName});
        break;
    case 2:
        doc.AddText("ListName", "Empty group");
        break;
    case 3:
        doc.AddText("ListName", "Board (confidential)");
        doc.AddText("OrgConfidential", "1");
        doc.AddTextList("Members", {people[3].notesName, "", people[8].Address()});
        break;
    default: {
        doc.AddText("ListName", fmt::format("Group {}", index));
        std::vector<std::string> members;
        const int count = random_.Between(1, 8);
        for (int i = 0; i < count; ++i) members.push_back(random_.Pick(people).Address());
        doc.AddTextList("Members", members);
    }
    }
    doc.AddText("GroupType", "0");
    doc.AddTextList("Categories", {index % 2 ? "Internal" : "External"});
    SampleItem& body = doc.AddText("Body", fmt::format("Group number {}", index));
    body.summary = false;
    db_.Write(doc);
}

void AddressBookContent::WriteOther(const char* form, const char* name, std::vector<std::string> savedServers) {
    SampleDocument doc;
    doc.form = form;
    doc.created = doc.modified = SampleTime::Local(2022, 1, 3, 9, 0);
    doc.unid = db_.NewUnid();
    doc.AddText("Name", name);
    if (!savedServers.empty()) doc.AddTextList("$SavedServers", std::move(savedServers));
    db_.Write(doc);
}

}  // namespace qb::notes::sample
