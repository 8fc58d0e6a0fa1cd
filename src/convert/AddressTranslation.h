#pragma once
// Sender and recipient texts of Notes documents split into display name,
// e-mail address and Notes domain, with optional replacement of Notes
// addresses from a translation table or by a made-up SMTP address.

#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qb {

enum class AddressKind { Empty = 0, NotesName = 1, InternetAddress = 2 };

// Used for a text that holds no name or address at all.
inline constexpr const char* kInvalidAddress = "invalid.address@address.invalid";

struct AddressParts {
    AddressKind kind = AddressKind::Empty;
    std::string displayName;
    std::string address;
    std::string notesDomain;
    bool result = false;
};

// From and To addresses of a comma-separated file, reloaded only when the
// file changed. From keys are kept in lower case.
class TranslationTable {
public:
    // False with `error` set when the file cannot be read or a line is bad;
    // the entries before a bad line stay.
    bool Load(const std::string& path, std::string& error);
    // The To value of the first From key equal to the lower-cased key, else
    // the key unchanged.
    std::string Lookup(std::string_view key) const;

    bool loaded() const { return loaded_; }
    std::size_t size() const { return toByFrom_.size(); }

private:
    // Lower-cased From key -> To value of its first line.
    std::unordered_map<std::string, std::string> toByFrom_;
    bool loaded_ = false;
    std::time_t loadedModified_ = 0;
    std::string loadedPath_;
};

struct AddressTranslationOptions {
    bool translate = false;           // TranslateEmailAddresses
    bool ignoreNotesDomain = true;    // TranslateEmailIgnoreNotesDomain
    bool makeSmtp = false;            // not stored: off at every start
    std::string smtpDomain;           // not stored
};

class AddressTranslator {
public:
    AddressTranslationOptions options;
    TranslationTable table;

    // `previousResult` is what an empty text leaves in the result flag.
    AddressParts TranslateAddress(std::string_view text, bool useDomain, bool previousResult = false) const;
};

// True when the text, read as a sender or recipient, is an Internet address
// (a Notes name with a Notes domain is not).
bool IsInternetAddress(std::string_view text);

}  // namespace qb
