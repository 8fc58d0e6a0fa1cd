#include "notes/api/LNViewFolder.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "notes/api/DatabaseImpl.h"
#include "notes/api/SelectionFormula.h"
#include "notes/api/formula/NotesCollation.h"
#include "text/TextCase.h"

namespace qb::notes {

namespace {

std::string FirstText(const NoteIndexEntry& entry, std::string_view name) {
    ItemData item;
    if (!entry.summary.Find(name, &item)) return {};
    if (item.type == TYPE_TEXT || item.type == TYPE_FORMULA) return item.value;
    if (item.type == TYPE_TEXT_LIST) {
        std::vector<std::string> texts;
        if (DecodeTextList(item.value, &texts) == LNNOERROR && !texts.empty()) return texts[0];
    }
    return {};
}

// The first sorted column from a COLLATION ($Collation): the item name of
// the first descriptor that sorts by an item.
void ReadCollation(const NoteIndexEntry& entry, std::string* itemName, bool* descending) {
    ItemData item;
    if (!entry.summary.Find("$Collation", &item)) return;
    std::string_view value(item.value);
    if (value.size() < 6) return;
    std::size_t count = GetWord(value, 2);
    std::size_t namesStart = 6 + count * 7;
    if (namesStart > value.size()) return;
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view descriptor = value.substr(6 + i * 7, 7);
        if (static_cast<unsigned char>(descriptor[2]) != 0) continue;  // not sorted by an item
        std::size_t offset = GetWord(descriptor, 3), length = GetWord(descriptor, 5);
        if (namesStart + offset + length > value.size()) return;
        *itemName = std::string(value.substr(namesStart + offset, length));
        *descending = (static_cast<unsigned char>(descriptor[0]) & 0x01) != 0;
        return;
    }
}

}  // namespace

std::shared_ptr<ViewImpl> DescribeView(const std::shared_ptr<DatabaseImpl>& database, const NoteIndexEntry& entry) {
    auto view = std::make_shared<ViewImpl>();
    view->database = database;
    view->noteId = entry.noteId;
    view->unid = entry.Unid();
    view->title = FirstText(entry, "$TITLE");
    view->flags = FirstText(entry, "$Flags");
    ItemData formula;
    if (entry.summary.Find("$Formula", &formula)) {
        if (!formula.value.empty() && formula.value[0] == '\x01')
            view->formulaCompiled = true;
        else
            view->formula = formula.value;
    }
    ReadCollation(entry, &view->sortItem, &view->sortDescending);
    return view;
}

namespace {

// Sort key of one document for the view's sort column.
struct SortKey {
    int kind = 0;  // 0 missing, 1 number, 2 time, 3 text
    double number = 0;
    std::int64_t time = 0;
    std::string text;
};

SortKey KeyOf(const NoteIndexEntry& entry, const std::string& itemName) {
    SortKey key;
    ItemData item;
    if (!entry.summary.Find(itemName, &item)) return key;
    FormulaValue value = ItemToFormulaValue(item.type, item.value);
    if (value.type() == FormulaValueType::Number && !value.numbers().empty()) {
        key.kind = 1;
        key.number = value.numbers()[0];
    } else if (value.type() == FormulaValueType::Datetime && !value.datetimes().empty()) {
        key.kind = 2;
        key.time = value.datetimes()[0].hundredths;
    } else if (!value.texts().empty()) {
        key.kind = 3;
        key.text = value.texts()[0];
    }
    return key;
}

// Whether a document's $FolderRefs name the folder.
bool InFolder(const NoteIndexEntry& entry, const std::string& folderUnid) {
    ItemData refs;
    if (!entry.summary.Find("$FolderRefs", &refs)) return false;
    LNItem item(std::make_shared<ItemData>(refs));
    std::vector<LNString> unids;
    item.GetNoteRefs(&unids);
    for (const LNString& unid : unids)
        if (qb::text::EqualsIgnoreCase(unid, folderUnid)) return true;
    return false;
}

int CompareKeys(const SortKey& a, const SortKey& b) {
    if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
    switch (a.kind) {
    case 1: return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
    case 2: return a.time < b.time ? -1 : (b.time < a.time ? 1 : 0);
    case 3: return CompareNotesText(a.text, b.text);
    default: return 0;
    }
}

}  // namespace

}  // namespace qb::notes

using namespace qb::notes;

LNSTATUS LNVFEntry::GetDocument(LNDocument* document) const {
    if (!database_) return Fail(LNERR_NOTE_NOT_FOUND, "null entry");
    auto impl = std::make_shared<DocumentImpl>();
    impl->database = database_;
    impl->noteId = noteId_;
    *document = LNDocument(std::move(impl));
    return LNNOERROR;
}

LNSTATUS LNViewFolder::Open() {
    if (!impl_) return Fail(LNERR_VIEW_NOT_FOUND, "null view");
    if (impl_->open) return LNNOERROR;
    const auto& database = impl_->database;
    if (!database || !database->open) return Fail(LNERR_DATABASE_NOT_OPEN);
    std::unique_ptr<CompiledFormula> formula;
    if (!IsFolder()) {
        if (impl_->formulaCompiled)
            return Fail(LNERR_FORMULA_EVALUATE,
                        "view '" + impl_->title + "' carries only a compiled selection formula");
        FormulaCompileError error;
        formula = CompiledFormula::Compile(impl_->formula, error);
        if (!formula)
            return Fail(LNERR_FORMULA_COMPILE, "selection formula of view '" + impl_->title + "': " + error.text);
    }
    // One pass over the documents' index records: selection and sort keys
    // (kept only for a sorted view).
    std::vector<NOTEID> entries;
    std::vector<std::pair<SortKey, NOTEID>> keyed;
    const bool sorted = !impl_->sortItem.empty();
    std::string detail;
    LNSTATUS status = database->notes.Scan(
        [](const NoteIndex::Slot& slot) { return !slot.Deleted() && slot.noteClass == NOTE_CLASS_DOCUMENT; },
        [&](const NoteIndexEntry& entry) {
            if (formula ? !formula->Selects(SummaryFormulaDocument(entry.summary)) : !InFolder(entry, impl_->unid))
                return true;
            if (sorted) keyed.emplace_back(KeyOf(entry, impl_->sortItem), entry.noteId);
            else entries.push_back(entry.noteId);
            return true;
        },
        &detail);
    if (status) return Fail(status, detail);
    if (sorted) {
        bool descending = impl_->sortDescending;
        std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
            int order = CompareKeys(a.first, b.first);
            return descending ? order > 0 : order < 0;
        });
        entries.reserve(keyed.size());
        for (const auto& [key, id] : keyed) entries.push_back(id);
    }
    impl_->entries = std::move(entries);
    impl_->open = true;
    return LNNOERROR;
}

LNSTATUS LNViewFolder::Close() {
    if (impl_) {
        impl_->open = false;
        impl_->entries.clear();
    }
    return LNNOERROR;
}

bool LNViewFolder::IsOpen() const { return impl_ && impl_->open; }
LNString LNViewFolder::GetTitle() const { return impl_ ? impl_->title : LNString(); }
LNString LNViewFolder::GetName() const {
    std::string title = GetTitle();
    return title.substr(0, title.find('|'));
}
LNString LNViewFolder::GetAlias() const {
    std::string title = GetTitle();
    std::size_t bar = title.find('|');
    return bar == std::string::npos ? LNString() : title.substr(bar + 1);
}
LNString LNViewFolder::GetFlags() const { return impl_ ? impl_->flags : LNString(); }
LNString LNViewFolder::GetSelectionFormula() const { return impl_ ? impl_->formula : LNString(); }
bool LNViewFolder::IsFolder() const { return GetFlags().find('F') != std::string::npos; }
bool LNViewFolder::IsCalendar() const { return GetFlags().find('c') != std::string::npos; }
NOTEID LNViewFolder::GetNoteID() const { return impl_ ? impl_->noteId : 0; }
LNString LNViewFolder::GetUniversalID() const { return impl_ ? impl_->unid : LNString(); }

LNSTATUS LNViewFolder::GetNote(LNNote* note) const {
    if (!impl_) return Fail(LNERR_VIEW_NOT_FOUND, "null view");
    auto impl = std::make_shared<DocumentImpl>();
    impl->database = impl_->database;
    impl->noteId = impl_->noteId;
    *note = LNNote(std::move(impl));
    return LNNOERROR;
}

LNINT LNViewFolder::GetEntryCount() const { return impl_ ? static_cast<LNINT>(impl_->entries.size()) : 0; }

LNSTATUS LNViewFolder::GetEntry(LNINT index, LNVFEntry* entry) const {
    if (!impl_ || !impl_->open) return Fail(LNERR_VIEW_NOT_FOUND, "view is not open");
    if (index < 0 || index >= GetEntryCount()) return Fail(LNERR_INDEX_OUT_OF_RANGE);
    *entry = LNVFEntry(impl_->database, impl_->entries[static_cast<std::size_t>(index)]);
    return LNNOERROR;
}

LNVFEntry LNViewFolder::operator[](LNINT index) const {
    if (!impl_ || index < 0 || index >= GetEntryCount()) return {};
    return LNVFEntry(impl_->database, impl_->entries[static_cast<std::size_t>(index)]);
}
