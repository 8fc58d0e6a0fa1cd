// The properties a store computes when a message is saved (see the header).

#include "outlook/mapi/StoreComputedProps.h"

#include <cctype>
#include <random>

#include "outlook/mapi/MapiTags.h"
#include "text/Cp1252.h"
#include "text/TextCase.h"
#include "text/Utf8.h"

namespace qb::mapi {
namespace {

constexpr LONG kCodePageWindows1252 = 1252;
constexpr LONG kCodePageUtf8 = 65001;
constexpr LONG kIconReadMail = 0x100, kIconUnreadMail = 0x101, kIconUnsentMail = 0x103;
constexpr LONG kIconPost = 0x1, kIconContact = 0x200, kIconDistList = 0x202, kIconStickyNote = 0x303,
               kIconAppointment = 0x400, kIconTask = 0x500;
constexpr LONG kImportanceNormal = 1, kPriorityNormal = 0, kSensitivityNone = 0;

bool Has(const PropertyBag& props, ULONG tag) { return props.Find(CHANGE_PROP_TYPE(tag, PT_UNSPECIFIED)) != nullptr; }

void SetIfMissing(PropertyBag& props, ULONG tag, LONG value) {
    if (!Has(props, tag)) props.SetLong(tag, value);
}

bool FitsWindows1252(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        bool valid = true;
        const char32_t cp = text::NextCodePoint(text, pos, &valid);
        if (!valid || text::CodePointToCp1252(cp) < 0) return false;
    }
    return true;
}

// A UTF-8 body is looked at where it is: bodies are the largest values.
bool BodyFitsWindows1252(const PropertyBag& props) {
    const SPropValue* body = props.Find(CHANGE_PROP_TYPE(PR_BODY, PT_UNSPECIFIED));
    if (body && PROP_TYPE(body->ulPropTag) == PT_STRING8)
        return FitsWindows1252(body->Value.lpszA ? std::string_view(body->Value.lpszA) : std::string_view());
    return FitsWindows1252(props.GetString(PR_BODY).value_or(""));
}

// A search key: "ADDRTYPE:ADDRESS" in upper case with its terminating zero.
void SetSearchKey(PropertyBag& props, ULONG keyTag, ULONG addrTypeTag, ULONG addressTag) {
    if (Has(props, keyTag)) return;
    const std::string address = props.GetString(addressTag).value_or("");
    if (address.empty()) return;
    std::string key = props.GetString(addrTypeTag).value_or("SMTP") + ":" + address;
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    props.SetBinary(keyTag, key.c_str(), static_cast<ULONG>(key.size() + 1));
}

LONG IconIndex(const std::string& messageClass, LONG flags) {
    auto is = [&](std::string_view cls) {
        return text::StartsWithIgnoreCase(messageClass, cls) &&
               (messageClass.size() == cls.size() || messageClass[cls.size()] == '.');
    };
    if (is("IPM.Note")) {
        if (flags & MSGFLAG_UNSENT) return kIconUnsentMail;
        return (flags & MSGFLAG_READ) ? kIconReadMail : kIconUnreadMail;
    }
    if (is("IPM.Appointment")) return kIconAppointment;
    if (is("IPM.Task")) return kIconTask;
    if (is("IPM.Contact")) return kIconContact;
    if (is("IPM.DistList")) return kIconDistList;
    if (is("IPM.StickyNote")) return kIconStickyNote;
    if (is("IPM.Post")) return kIconPost;
    return 0;
}

}  // namespace

std::string NormalizedSubject(const std::string& subject, std::string* prefix) {
    if (prefix) prefix->clear();
    const std::size_t colon = subject.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 3 || colon + 1 >= subject.size() || subject[colon + 1] != ' ')
        return subject;
    for (std::size_t i = 0; i < colon; ++i)
        if (subject[i] == ' ' || static_cast<unsigned char>(subject[i]) < 0x20 || std::isdigit(static_cast<unsigned char>(subject[i])))
            return subject;
    if (prefix) *prefix = subject.substr(0, colon + 2);
    return subject.substr(colon + 2);
}

void AddStoreComputedProperties(PropertyBag& props, bool unicodeStore, const FILETIME& now) {
    if (!Has(props, PR_SEARCH_KEY)) {
        // A new identity per message, as the store gives one.
        thread_local std::mt19937_64 random{std::random_device{}()};
        std::uint64_t key[2] = {random(), random()};
        props.SetBinary(PR_SEARCH_KEY, key, sizeof key);
    }
    if (!Has(props, PR_LAST_MODIFICATION_TIME)) {
        SPropValue value{};
        value.ulPropTag = PR_LAST_MODIFICATION_TIME;
        value.Value.ft = now;
        props.Set(value);
    }
    if (!Has(props, PR_MESSAGE_CODEPAGE) || !Has(props, PR_INTERNET_CPID)) {
        const LONG codePage = !unicodeStore || BodyFitsWindows1252(props) ? kCodePageWindows1252 : kCodePageUtf8;
        SetIfMissing(props, PR_MESSAGE_CODEPAGE, codePage);
        SetIfMissing(props, PR_INTERNET_CPID, codePage);
    }
    if (Has(props, PR_SENT_REPRESENTING_EMAIL_ADDRESS) && !Has(props, PR_SENT_REPRESENTING_ADDRTYPE)) {
        const bool sameAsSender = props.GetString(PR_SENT_REPRESENTING_EMAIL_ADDRESS) == props.GetString(PR_SENDER_EMAIL_ADDRESS);
        const std::string type = sameAsSender ? props.GetString(PR_SENDER_ADDRTYPE).value_or("SMTP") : "SMTP";
        props.SetString(PR_SENT_REPRESENTING_ADDRTYPE, type);
    }
    SetSearchKey(props, PR_SENDER_SEARCH_KEY, PR_SENDER_ADDRTYPE, PR_SENDER_EMAIL_ADDRESS);
    SetSearchKey(props, PR_SENT_REPRESENTING_SEARCH_KEY, PR_SENT_REPRESENTING_ADDRTYPE, PR_SENT_REPRESENTING_EMAIL_ADDRESS);
    if (!Has(props, PR_ICON_INDEX)) {
        const LONG icon = IconIndex(props.GetString(PR_MESSAGE_CLASS).value_or("IPM.Note"),
                                    props.GetLong(PR_MESSAGE_FLAGS).value_or(0));
        if (icon != 0) props.SetLong(PR_ICON_INDEX, icon);
    }
    SetIfMissing(props, PR_IMPORTANCE, kImportanceNormal);
    SetIfMissing(props, PR_PRIORITY, kPriorityNormal);
    SetIfMissing(props, PR_SENSITIVITY, kSensitivityNone);
    if (const std::optional<std::string> subject = props.GetString(PR_SUBJECT)) {
        std::string prefix;
        const std::string normalized = NormalizedSubject(*subject, &prefix);
        if (!Has(props, PR_NORMALIZED_SUBJECT)) props.SetString(PR_NORMALIZED_SUBJECT, normalized);
        if (!Has(props, PR_SUBJECT_PREFIX)) props.SetString(PR_SUBJECT_PREFIX, prefix);
        if (!Has(props, PR_CONVERSATION_TOPIC)) props.SetString(PR_CONVERSATION_TOPIC, normalized);
    }
}

}  // namespace qb::mapi
