#include "convert/TranslationTableWriter.h"

#include <set>
#include <vector>

#include "convert/AddressTranslation.h"
#include "convert/EntryFields.h"
#include "notes/NotesErrorText.h"
#include "text/TextCase.h"

namespace qb {
namespace {

// The From names of one person: each full name as it stands and in its
// abbreviated form, both also with the person's Notes domain (mail from
// another organisation names its sender so), and the mail address with and
// without its Notes domain.
std::vector<std::string> NamesOf(const LNDocument& person) {
    const AddressTranslator plain;
    const std::string domain = FirstText(person, "MailDomain").value_or("");
    std::vector<std::string> names;
    for (const std::string& fullName : AllTexts(person, "FullName").value_or(std::vector<std::string>{})) {
        const std::string abbreviated = plain.TranslateAddress(fullName, false).address;
        names.push_back(fullName);
        names.push_back(abbreviated);
        // Only a hierarchical name is a Notes address with a domain.
        if (!domain.empty() && fullName.find('/') != std::string::npos) {
            names.push_back(fullName + "@" + domain);
            names.push_back(abbreviated + "@" + domain);
        }
    }
    if (const auto mailAddress = FirstText(person, "MailAddress"); mailAddress && !mailAddress->empty()) {
        const AddressParts parts = plain.TranslateAddress(*mailAddress, true);
        if (parts.kind == AddressKind::NotesName) {
            names.push_back(parts.address);
            names.push_back(plain.TranslateAddress(*mailAddress, false).address);
        }
    }
    return names;
}

}  // namespace

bool WriteTranslationTable(const LNDatabase& addressBook, std::ostream& out, TranslationTableSummary& summary,
                           std::string& error) {
    ScopedNotesThrowMode returnCodes(false);
    LNNoteArray persons;
    const LNSTATUS status = addressBook.Search("Form = \"Person\"", &persons);
    if (status != LNNOERROR && status != LNWARN_NOT_FOUND) {
        error = "cannot search the address book: " + NotesErrorText(status);
        return false;
    }
    // Keys compare as Lookup compares them: in lower case.
    std::set<std::string> written;
    for (LNINT i = 0; i < persons.GetCount(); ++i) {
        LNDocument person = persons[i];
        if (person.Open() != LNNOERROR) continue;
        ++summary.persons;
        const AddressParts internetParts =
            AddressTranslator().TranslateAddress(FirstText(person, "InternetAddress").value_or(""), true);
        const std::string& internet = internetParts.address;
        if (internetParts.kind == AddressKind::InternetAddress) {
            ++summary.withAddress;
            for (const std::string& name : NamesOf(person)) {
                if (name.empty() || IsInternetAddress(name)) continue;
                if (name.find(',') != std::string::npos || internet.find(',') != std::string::npos) {
                    ++summary.skippedNames;
                    continue;
                }
                if (!written.insert(text::ToLower(name)).second) continue;
                out << name << ',' << internet << '\n';
                ++summary.rows;
            }
        }
        person.Close();
    }
    return static_cast<bool>(out);
}

}  // namespace qb
