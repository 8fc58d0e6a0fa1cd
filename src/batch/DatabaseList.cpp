#include "batch/DatabaseList.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "shell/platform/WholeFile.h"

namespace qb {
namespace {

// The writer's step number when the file could not be replaced.
constexpr int kStepOpening = 10010;
constexpr std::size_t kFieldCount = 14;

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A raw field as split: trimmed, and when quoted, its quotes dropped and
// doubled quotes reduced.
std::string TextField(const std::string& raw) {
    const std::string text = Trimmed(raw);
    if (text.empty() || text.front() != '"') return text;
    const std::string inner = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
    std::string out;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        out += inner[i];
        if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"') ++i;
    }
    return out;
}

// Decimal, fractions dropped, clamped to 32 bits; anything else is 0.
std::int32_t NumberField(const std::string& raw) {
    const std::string text = TextField(raw);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(value)) return 0;
    const double whole = std::trunc(value);
    if (whole <= std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    if (whole >= std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(whole);
}

DatabaseListItem ItemOf(const std::vector<std::string>& f) {
    auto text = [&](std::size_t i) { return i < f.size() ? TextField(f[i]) : std::string(); };
    auto number = [&](std::size_t i) { return i < f.size() ? NumberField(f[i]) : 0; };
    DatabaseListItem item;
    item.title = text(0);
    item.server = text(1);
    item.filePath = text(2);
    item.outputFolder = text(3);
    item.pstFileName = text(4);
    item.done = number(5) != 0;
    item.exportedCount = number(6);
    item.processedCount = number(7);
    item.statusText = text(8);
    item.resultCode = number(9);
    item.addressBookServer = text(10);
    item.addressBookPath = text(11);
    item.profile = text(12);
    item.password = text(13);
    return item;
}

std::string LineOf(const DatabaseListItem& item) {
    return fmt::format("{},{},{},{},{},{},{},{},{},{},{},{},{},{}\r\n", Quoted(item.title), Quoted(item.server),
                       Quoted(item.filePath), Quoted(item.outputFolder), Quoted(item.pstFileName), item.done ? 1 : 0,
                       item.exportedCount, item.processedCount, Quoted(item.statusText), item.resultCode,
                       Quoted(item.addressBookServer), Quoted(item.addressBookPath), Quoted(item.profile),
                       Quoted(item.password));
}

std::string WithoutExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

std::string DatabaseListText(const std::vector<DatabaseListItem>& items) {
    std::string text;
    for (const DatabaseListItem& item : items) text += LineOf(item);
    return text;
}

// Quotes switch the inside state, so a record runs over line breaks inside
// quotes; a record ends at a line break outside them. Raw fields keep their
// quotes until TextField, as the line format has it.
std::vector<DatabaseListItem> ParseDatabaseList(const std::string& text) {
    std::vector<DatabaseListItem> items;
    std::vector<std::string> fields;
    std::string field;
    bool inQuotes = false, recordHasText = false;
    auto endRecord = [&] {
        if (!field.empty() && field.back() == '\r') field.pop_back();
        if (recordHasText || !fields.empty() || !Trimmed(field).empty()) {
            fields.push_back(std::move(field));
            if (fields.size() > kFieldCount) fields.resize(kFieldCount);
            items.push_back(ItemOf(fields));
        }
        fields.clear();
        field.clear();
        recordHasText = false;
    };
    for (char c : text) {
        if (c == '"') {
            inQuotes = !inQuotes;
            field += c;
            recordHasText = true;
        } else if (c == ',' && !inQuotes) {
            fields.push_back(std::move(field));
            field.clear();
            recordHasText = true;
        } else if (c == '\n' && !inQuotes) {
            endRecord();
        } else {
            field += c;
        }
    }
    if (!field.empty() || !fields.empty()) endRecord();
    return items;
}

std::string DefaultPstFileName(const std::string& filePath) {
    const std::size_t cut = filePath.find_last_of("\\/");
    const std::string base = cut == std::string::npos ? filePath : filePath.substr(cut + 1);
    return WithoutExtension(base) + ".pst";
}

std::string PstFileNameProblem(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return "the PST Filename is empty or names a folder";
    if (name.find_first_of("\\/") != std::string::npos) return "the PST Filename holds a folder separator";
    if (name.find('\0') != std::string::npos) return "the PST Filename holds a NUL character";
    return {};
}

std::string DatabaseList::DefaultPathBeside(const std::string& settingsPath) {
    const std::size_t cut = settingsPath.rfind('/');
    return cut == std::string::npos ? std::string(kDefaultFileName)
                                    : settingsPath.substr(0, cut + 1) + kDefaultFileName;
}

int DatabaseList::Write(const std::string& path, std::size_t& written) {
    written = 0;
    std::string text;
    for (const DatabaseListItem& item : items) {
        text += LineOf(item);
        ++written;
    }
    std::string error;
    if (!platform::ReplaceWholeFile(PathOr(path), text, 0600, &error)) {
        lastErrorText = "Unable to create or open output file " + error;
        written = 0;
        return kStepOpening;
    }
    return 0;
}

bool DatabaseList::ExportDatabaseListToCSV(const std::string& path, MessageSink& messages) {
    std::size_t written = 0;
    if (const int step = Write(path, written); step != 0) {
        messages.ShowMessage(fmt::format("ExportDatabaseListToCSV ERROR: {}, (at {} of {} Items)\n{}", step, written,
                                         items.size(), lastErrorText),
                             "Export Error", MessageIcon::Error);
        return false;
    }
    return true;
}

bool DatabaseList::ExportDatabaseListToCSV_V2(const std::string& path, std::vector<std::string>& collected) {
    std::size_t written = 0;
    if (const int step = Write(path, written); step != 0) {
        collected.push_back(fmt::format("ExportDatabaseListToCSV_V2 ERROR: {}, (at {} of {} Items)\n{}", step,
                                        written, items.size(), lastErrorText));
        return false;
    }
    return true;
}

bool DatabaseList::ImportDatabaseList(const std::string& path, MessageSink& messages) {
    const std::string file = PathOr(path);
    platform::BoundedRead read = platform::ReadBoundedFile(file, kMaxFileBytes);
    if (read.status != platform::BoundedRead::Status::Read) {
        lastErrorText = read.error;
        messages.ShowMessage("Unable to open file " + file, "Error", MessageIcon::Error);
        return false;
    }
    items = ParseDatabaseList(read.data);
    return true;
}

std::optional<std::size_t> DatabaseList::AddDatabaseListItem(const std::string& title, const std::string& server,
                                                             const std::string& filePath,
                                                             const std::string& outputFolder,
                                                             const std::string& pstName, const AddSwitches& switches,
                                                             std::string& message) {
    message.clear();
    std::string name = pstName.empty() ? DefaultPstFileName(filePath) : pstName;
    const std::string base = WithoutExtension(name);
    bool renamed = false;
    // Each round either ends or moves to the next free number, and the
    // numbers taken are at most the items in the list.
    for (int counter = 2;; ++counter) {
        const DatabaseListItem* duplicate = nullptr;
        bool duplicateDatabase = false;
        for (const DatabaseListItem& item : items) {
            if (!switches.allowDuplicateDatabase && item.server + item.filePath == server + filePath) {
                duplicate = &item;
                duplicateDatabase = true;
                break;
            }
            if (!switches.allowDuplicatePst && item.pstFileName == name) {
                duplicate = &item;
                break;
            }
        }
        if (!duplicate) break;
        if (duplicateDatabase) {
            message = "Duplcate Lotus Notes Database Information for: " + duplicate->title;
            return std::nullopt;
        }
        if (!switches.renameDuplicatePst) {
            message = "Duplcate Outlook Information for: " + duplicate->title;
            return std::nullopt;
        }
        name = fmt::format("{}_{}.pst", base, counter);
        renamed = true;
    }
    DatabaseListItem item;
    item.title = title;
    item.server = server;
    item.filePath = filePath;
    item.outputFolder = outputFolder.empty() ? title : outputFolder;
    item.pstFileName = name;
    item.pstNameChanged = renamed;
    items.push_back(std::move(item));
    return items.size() - 1;
}

void DatabaseList::ResetFlags() {
    for (DatabaseListItem& item : items) item.done = false;
}

}  // namespace qb
