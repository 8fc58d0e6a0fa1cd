#include "notes/sample/ContactExpectations.h"

#include <fmt/format.h>

#include <stdexcept>

#include "notes/sample/MailExpectations.h"
#include "text/JsonText.h"

namespace qb::notes::sample {

using text::JsonString;

namespace {

constexpr std::size_t kMaxListValues = 1000;

std::vector<std::string> Texts(const SampleDocument& doc, const char* name) {
    const SampleItem* item = doc.Find(name);
    if (!item || (item->kind != ItemKind::Text && item->kind != ItemKind::TextList)) return {};
    return item->texts;
}

std::string First(const SampleDocument& doc, const char* name) {
    const std::vector<std::string> values = Texts(doc, name);
    return values.empty() ? std::string() : values.front();
}

std::string JsonList(const std::vector<std::string>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + JsonString(values[i]);
    return out + "]";
}

std::string JoinLines(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        text += (text.empty() ? "" : "\n") + part;
    }
    return text;
}

bool LooksInternet(const std::string& address) {
    const std::size_t at = address.find('@');
    return at != std::string::npos && address.find('.', at) != std::string::npos;
}

// "YYYY-MM-DD" of a plausible date item, else empty.
std::string DateOf(const SampleDocument& doc, const char* name) {
    const SampleItem* item = doc.Find(name);
    if (!item || item->kind != ItemKind::Datetime || item->times.empty()) return {};
    const SampleTime& time = item->times.front();
    // The date in the sample zone, where date-only values stand at midnight.
    const std::int64_t local = time.utcSeconds + time.OffsetHours() * 3600;
    const std::int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    if (year <= 1700 || year >= 2300) return {};
    return fmt::format("{:04}-{:02}-{:02}", year, month, day);
}

std::string ContactJson(const SampleDocument& doc) {
    const std::string first = First(doc, "FirstName"), middle = First(doc, "MiddleInitial"),
                      last = First(doc, "LastName"), company = First(doc, "CompanyName");
    std::string display;
    for (const std::string* part : {&first, &middle, &last})
        if (!part->empty()) display += (display.empty() ? "" : " ") + *part;
    if (display.empty()) display = company;

    std::string email1;
    if (const std::string mail = First(doc, "MailAddress"); !mail.empty()) email1 = ExpectedAddressOf(mail).address;
    if (email1.empty() || !LooksInternet(email1)) {
        const std::string internet = First(doc, "InternetAddress");
        if (!internet.empty() && (email1.empty() || LooksInternet(internet))) email1 = internet;
    }

    std::string given = first;
    if (!middle.empty()) given += (given.empty() ? "" : " ") + middle;
    std::string fileAs = last;
    if (!given.empty()) fileAs += (fileAs.empty() ? "" : ", ") + given;
    if (fileAs.empty()) fileAs = display;
    if (fileAs.empty()) fileAs = email1;

    auto zeroless = [&](const char* name) {
        const std::string value = First(doc, name);
        return value == "0" ? std::string() : value;
    };
    const std::vector<std::string> home = {First(doc, "StreetAddress"), First(doc, "City"), First(doc, "State"),
                                           First(doc, "Zip"), First(doc, "Country")};
    const std::vector<std::string> office = {First(doc, "OfficeStreetAddress"), First(doc, "OfficeCity"),
                                             First(doc, "OfficeState"), First(doc, "OfficeZip"),
                                             First(doc, "OfficeCountry")};
    std::string homeAddress = JoinLines(home), businessAddress = JoinLines(office);
    if (homeAddress.empty()) homeAddress = First(doc, "HomeAddress");
    if (businessAddress.empty()) businessAddress = First(doc, "BusinessAddress");

    std::string out = "{";
    auto field = [&](const char* key, const std::string& value) {
        out += fmt::format("{}{}: {}", out.size() > 1 ? ", " : "", JsonString(key), JsonString(value));
    };
    field("display_name", display);
    field("file_as", fileAs);
    field("given_name", first);
    field("middle_name", middle);
    field("surname", last);
    field("generation", zeroless("Suffix"));
    field("prefix", zeroless("Title"));
    field("company", company);
    field("job_title", First(doc, "JobTitle"));
    field("department", First(doc, "Department"));
    field("email1", email1);
    field("email2", First(doc, "MiscPhone1"));
    field("email3", First(doc, "MiscPhone2"));
    field("web_page", First(doc, "WebSite"));
    field("business_phone", First(doc, "OfficePhoneNumber"));
    field("business_fax", First(doc, "OfficeFaxPhoneNumber"));
    field("mobile_phone", First(doc, "CellPhoneNumber"));
    field("home_phone", First(doc, "PhoneNumber"));
    field("pager", First(doc, "PhoneNumber_6"));
    field("home_fax", First(doc, "HomeFaxPhoneNumber"));
    field("home_street", home[0]);
    field("home_city", home[1]);
    field("home_state", home[2]);
    field("home_postal_code", home[3]);
    field("home_country", home[4]);
    field("home_address", homeAddress);
    field("business_street", office[0]);
    field("business_city", office[1]);
    field("business_state", office[2]);
    field("business_postal_code", office[3]);
    field("business_country", office[4]);
    field("business_address", businessAddress);
    field("spouse", First(doc, "Spouse"));
    field("birthday", DateOf(doc, "Birthday"));
    field("anniversary", DateOf(doc, "Anniversary"));
    out += fmt::format(", \"categories\": {}, \"children\": {}, \"private\": {}}}", JsonList(Texts(doc, "Categories")),
                       JsonList(Texts(doc, "Children")), First(doc, "OrgConfidential") == "1" ? "true" : "false");
    return out;
}

// The address the translator gives for a list name. A name followed by a part
// in parentheses ("Board (confidential)") is two parts to it, the second
// being the address; other names as for mail.
std::string ExpectedListName(const std::string& name) {
    const auto open = name.find('(');
    const auto close = name.find(')', open == std::string::npos ? 0 : open);
    if (name.find('<') == std::string::npos && open != std::string::npos && open > 0 && close != std::string::npos) {
        std::string inner = name.substr(open + 1, close - open - 1);
        inner.erase(0, inner.find_first_not_of(' '));
        inner.erase(inner.find_last_not_of(' ') + 1);
        if (!inner.empty()) return inner;
    }
    return ExpectedAddressOf(name).address;
}

std::string ListJson(const SampleDocument& doc) {
    const std::vector<std::string> names = Texts(doc, "ListName");
    const std::string listName = names.empty() ? "invalid_group_name" : ExpectedListName(names.front());
    std::string members = "[";
    std::size_t count = 0;
    for (const std::string& value : Texts(doc, "Members")) {
        const ExpectedAddress member = ExpectedAddressOf(value);
        if (member.address.empty()) continue;
        if (++count > kMaxListValues) break;
        members += fmt::format("{}[{}, {}]", count > 1 ? ", " : "", JsonString(member.name), JsonString(member.address));
    }
    members += "]";
    return fmt::format("{{\"name\": {}, \"members\": {}, \"categories\": {}, \"private\": {}}}", JsonString(listName),
                       members, JsonList(Texts(doc, "Categories")),
                       First(doc, "OrgConfidential") == "1" ? "true" : "false");
}

}  // namespace

ContactExpectationWriter::ContactExpectationWriter(std::string path)
    : path_(std::move(path)), contactsOut_(path_, std::ios::binary | std::ios::trunc) {
    if (!contactsOut_) throw std::runtime_error("cannot write " + path_);
    contactsOut_ << "{\n  \"contacts\": [";
}

ContactExpectationWriter::~ContactExpectationWriter() {
    if (!closed_) {
        try {
            Close();
        } catch (...) {
        }
    }
}

void ContactExpectationWriter::Add(const SampleDocument& document) {
    if (document.noteClass != SampleDocument::NoteClass::Document) return;
    if (document.form == "Person" || document.form == "Contact") {
        contactsOut_ << (contacts_++ ? ",\n    " : "\n    ") << ContactJson(document);
    } else if (document.form == "Group") {
        listsText_ += (lists_++ ? ",\n    " : "\n    ") + ListJson(document);
    }
}

void ContactExpectationWriter::Close() {
    closed_ = true;
    contactsOut_ << "\n  ],\n  \"distribution_lists\": [" << listsText_ << "\n  ]\n}\n";
    contactsOut_.close();
    if (!contactsOut_) throw std::runtime_error("cannot write " + path_);
}

}  // namespace qb::notes::sample
