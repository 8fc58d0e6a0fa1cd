#pragma once
// The personal address book of the sample: people (forms "Person" and
// "Contact"), groups, and a few documents of other forms that the contact
// and group searches must leave out.

#include "notes/sample/SampleDatabase.h"
#include "notes/sample/SamplePeople.h"

namespace qb::notes::sample {

struct AddressBookSize {
    long long persons = 0;
    long long contacts = 0;
    long long groups = 0;
};

// A person with a non-ASCII name known by a Notes name and an Internet address.
const SamplePerson& NonAsciiPerson();

class AddressBookContent {
public:
    AddressBookContent(SampleRandom& random, SampleDatabase& database) : random_(random), db_(database) {}

    void DefineCatalogue();
    void WriteDocuments(const AddressBookSize& size);

private:
    void WritePerson(long long index, const char* form);
    void WriteGroup(long long index);
    void WriteOther(const char* form, const char* name, std::vector<std::string> savedServers = {});
    // The entries of ContactContent.cpp.
    void WriteSpecialEntries();

    SampleRandom& random_;
    SampleDatabase& db_;
};

}  // namespace qb::notes::sample
