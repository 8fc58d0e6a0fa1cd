#include "notes/api/mime/MailDate.h"

#include "notes/api/mime/HeaderList.h"

#include <array>
#include <cctype>
#include <string>
#include <vector>

namespace qb::mime {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

namespace {

// Words and numbers of the date, comments removed; ':' and ',' separate.
std::vector<std::string> Tokenise(std::string_view text) {
    std::vector<std::string> tokens;
    std::string current;
    int depth = 0;
    auto flush = [&] {
        if (!current.empty()) tokens.push_back(current);
        current.clear();
    };
    for (char c : text) {
        if (c == '(') {
            flush();
            ++depth;
        } else if (c == ')') {
            if (depth > 0) --depth;
        } else if (depth > 0) {
            continue;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
            flush();
        } else if (c == ':') {
            flush();
            tokens.push_back(":");
        } else if (c == '-' && !current.empty()) {
            // "08-Aug-2014" (RFC 850): a separator, not the sign of a zone
            flush();
        } else if (c == '+') {
            flush();
            current.push_back(c);
        } else {
            current.push_back(c);
        }
    }
    flush();
    return tokens;
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

int MonthNumber(std::string_view word) {
    static constexpr std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                             "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() < 3) return 0;
    std::string prefix = ToLower(word.substr(0, 3));
    for (size_t i = 0; i < kMonths.size(); ++i)
        if (prefix == kMonths[i]) return static_cast<int>(i) + 1;
    return 0;
}

bool IsWeekday(std::string_view word) {
    static constexpr std::array<const char*, 7> kDays = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    if (word.size() < 3) return false;
    std::string prefix = ToLower(word.substr(0, 3));
    for (const char* d : kDays)
        if (prefix == d) return true;
    return false;
}

// Zone names of RFC 822 and a few common ones; nothing when unknown.
std::optional<int> NamedZoneMinutes(std::string_view word) {
    struct Zone {
        const char* name;
        int minutes;
    };
    static constexpr std::array<Zone, 17> kZones = {{{"ut", 0},
                                                     {"utc", 0},
                                                     {"gmt", 0},
                                                     {"z", 0},
                                                     {"est", -300},
                                                     {"edt", -240},
                                                     {"cst", -360},
                                                     {"cdt", -300},
                                                     {"mst", -420},
                                                     {"mdt", -360},
                                                     {"pst", -480},
                                                     {"pdt", -420},
                                                     {"cet", 60},
                                                     {"cest", 120},
                                                     {"bst", 60},
                                                     {"met", 60},
                                                     {"mest", 120}}};
    std::string lower = ToLower(word);
    for (const Zone& z : kZones)
        if (lower == z.name) return z.minutes;
    return std::nullopt;
}

struct Parsed {
    int day = -1, month = 0;
    int64_t year = -1;
    int hour = -1, minute = -1, second = 0;
    std::optional<int> zone;
    bool zoneKnown = true;
};

bool ReadTime(const std::vector<std::string>& t, size_t& i, Parsed& p) {
    // hh : mm [ : ss ]
    if (i + 2 >= t.size() || t[i + 1] != ":" || !AllDigits(t[i]) || !AllDigits(t[i + 2])) return false;
    if (t[i].size() > 2 || t[i + 2].size() > 2) return false;
    p.hour = std::stoi(t[i]);
    p.minute = std::stoi(t[i + 2]);
    i += 3;
    if (i + 1 < t.size() && t[i] == ":" && AllDigits(t[i + 1]) && t[i + 1].size() <= 2) {
        p.second = std::stoi(t[i + 1]);
        i += 2;
    }
    return true;
}

bool ReadZone(const std::string& word, Parsed& p) {
    if ((word[0] == '+' || word[0] == '-') && word.size() == 5 && AllDigits(word.substr(1))) {
        int hh = std::stoi(word.substr(1, 2));
        int mm = std::stoi(word.substr(3, 2));
        if (mm > 59) return false;
        int minutes = hh * 60 + mm;
        p.zone = word[0] == '-' ? -minutes : minutes;
        if (word == "-0000") p.zoneKnown = false;
        return true;
    }
    if (auto named = NamedZoneMinutes(word)) {
        p.zone = *named;
        return true;
    }
    return false;
}

}  // namespace

std::optional<MailDate> ParseMailDate(std::string_view text) {
    std::vector<std::string> t = Tokenise(text);
    Parsed p;
    for (size_t i = 0; i < t.size();) {
        const std::string& word = t[i];
        if (word == ":") {
            ++i;
            continue;
        }
        if (p.hour < 0 && AllDigits(word) && i + 1 < t.size() && t[i + 1] == ":") {
            if (!ReadTime(t, i, p)) return std::nullopt;
            continue;
        }
        if (AllDigits(word) && word.size() <= 9) {
            int64_t n = std::stoll(word);
            if (p.day < 0 && word.size() <= 2 && p.month == 0) p.day = static_cast<int>(n);
            else if (p.day < 0 && word.size() <= 2 && p.month != 0 && p.year < 0) p.day = static_cast<int>(n);
            else if (p.year < 0) p.year = word.size() <= 2 ? (n < 50 ? 2000 + n : 1900 + n)
                                          : word.size() == 3 ? 1900 + n : n;
            ++i;
            continue;
        }
        if (p.month == 0 && MonthNumber(word) && !IsWeekday(word)) {
            p.month = MonthNumber(word);
            ++i;
            continue;
        }
        if (!p.zone && p.hour >= 0 && ReadZone(word, p)) {
            ++i;
            continue;
        }
        // Weekday, a zone we do not know, or noise: ignored.
        if (p.hour >= 0 && !p.zone && !IsWeekday(word) && std::isalpha(static_cast<unsigned char>(word[0])))
            p.zoneKnown = false;
        ++i;
    }
    if (p.day < 1 || p.day > 31 || p.month == 0 || p.year < 0 || p.year > 9999) return std::nullopt;
    if (p.hour < 0) p.hour = 0, p.minute = 0;
    if (p.hour > 23 || p.minute > 59 || p.second > 60) return std::nullopt;
    if (p.second == 60) p.second = 59;  // leap second
    MailDate date;
    date.zoneMinutes = p.zone.value_or(0);
    date.zoneKnown = p.zone.has_value() && p.zoneKnown;
    int64_t days = DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day));
    date.utcSeconds = days * 86400 + p.hour * 3600 + p.minute * 60 + p.second - int64_t{date.zoneMinutes} * 60;
    return date;
}

}  // namespace qb::mime
