#include "notes/api/LNViewFolder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "notes/api/DatabaseImpl.h"
#include "notes/api/SelectionFormula.h"
#include "notes/api/formula/NotesCollation.h"

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
// A document's place in a sorted view, kept small as a view holds one per
// document: the key's kind (0 missing, 1 number, 2 time, 3 text), its value
// (a number's bits, a time, or where its text lies in the view's text
// buffer) and the document's position in the scan, so that equal keys keep
// the documents' file order.
struct SortEntry {
    std::uint64_t value = 0;
    std::uint32_t textLength = 0;
    NOTEID noteId = 0;
    std::uint32_t position = 0;
    std::uint8_t kind = 0;
};

SortEntry KeyOf(const NoteIndexEntry& entry, const std::string& itemName, std::string& texts) {
    SortEntry key;
    ItemData item;
    if (!entry.summary.Find(itemName, &item)) return key;
    FormulaValue value = ItemToFormulaValue(item.type, item.value);
    if (value.type() == FormulaValueType::Number && !value.numbers().empty()) {
        key.kind = 1;
        key.value = std::bit_cast<std::uint64_t>(value.numbers()[0]);
    } else if (value.type() == FormulaValueType::Datetime && !value.datetimes().empty()) {
        key.kind = 2;
        key.value = static_cast<std::uint64_t>(value.datetimes()[0].hundredths);
    } else if (!value.texts().empty()) {
        key.kind = 3;
        key.value = texts.size();
        key.textLength = static_cast<std::uint32_t>(value.texts()[0].size());
        texts += value.texts()[0];
    }
    return key;
}

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareKeys(const SortEntry& a, const SortEntry& b, std::string_view texts) {
    if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
    switch (a.kind) {
    case 1: return Order(std::bit_cast<double>(a.value), std::bit_cast<double>(b.value));
    case 2: return Order(static_cast<std::int64_t>(a.value), static_cast<std::int64_t>(b.value));
    case 3: return CompareNotesText(texts.substr(a.value, a.textLength), texts.substr(b.value, b.textLength));
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
    // The documents' index records: selection and sort keys (kept only for
    // a sorted view). A folder's documents are known without reading their
    // records; a sorted folder reads only theirs.
    std::vector<NOTEID> entries;
    std::vector<SortEntry> keyed;
    std::string texts;
    const bool sorted = !impl_->sortItem.empty();
    std::string detail;
    const std::vector<std::uint32_t>* members = nullptr;
    if (!formula) {
        if (LNSTATUS status = database->folders.Members(database->notes, impl_->unid, &members, &detail))
            return Fail(status, detail);
        if (!sorted) {
            entries.reserve(members->size());
            for (std::uint32_t position : *members) entries.push_back(database->notes.At(position).noteId);
        }
    }
    std::size_t nextMember = 0;
    auto wanted = [&](const NoteIndex::Slot& slot) {
        if (slot.Deleted() || slot.noteClass != NOTE_CLASS_DOCUMENT) return false;
        if (!members) return true;
        // Members lie in slot order, as the scan goes.
        const std::size_t position = database->notes.IndexOf(slot);
        while (nextMember < members->size() && (*members)[nextMember] < position) ++nextMember;
        return nextMember < members->size() && (*members)[nextMember] == position;
    };
    LNSTATUS status = LNNOERROR;
    if (formula || (sorted && !members->empty()))
        status = database->notes.Scan(
            wanted,
            [&](const NoteIndexEntry& entry) {
                if (formula && !formula->Selects(SummaryFormulaDocument(entry.summary))) return true;
                if (sorted) {
                    SortEntry key = KeyOf(entry, impl_->sortItem, texts);
                    key.noteId = entry.noteId;
                    key.position = static_cast<std::uint32_t>(keyed.size());
                    keyed.push_back(key);
                } else {
                    entries.push_back(entry.noteId);
                }
                return true;
            },
            &detail);
    if (status) return Fail(status, detail);
    if (sorted) {
        bool descending = impl_->sortDescending;
        std::sort(keyed.begin(), keyed.end(), [descending, &texts](const SortEntry& a, const SortEntry& b) {
            const int order = CompareKeys(a, b, texts);
            if (order != 0) return descending ? order > 0 : order < 0;
            return a.position < b.position;
        });
        entries.reserve(keyed.size());
        for (const SortEntry& key : keyed) entries.push_back(key.noteId);
    }
    impl_->entries = std::make_shared<const std::vector<NOTEID>>(std::move(entries));
    impl_->open = true;
    return LNNOERROR;
}

LNSTATUS LNViewFolder::Close() {
    if (impl_) {
        if (impl_->database) impl_->database->StopPrefetch(impl_.get());
        impl_->open = false;
        impl_->entries = std::make_shared<const std::vector<NOTEID>>();
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

LNINT LNViewFolder::GetEntryCount() const { return impl_ ? static_cast<LNINT>(impl_->entries->size()) : 0; }

LNSTATUS LNViewFolder::GetEntry(LNINT index, LNVFEntry* entry) const {
    if (!impl_ || !impl_->open) return Fail(LNERR_VIEW_NOT_FOUND, "view is not open");
    if (index < 0 || index >= GetEntryCount()) return Fail(LNERR_INDEX_OUT_OF_RANGE);
    const auto at = static_cast<std::size_t>(index);
    *entry = LNVFEntry(impl_->database, (*impl_->entries)[at]);
    // The reader takes the entries in order as a rule: read the next ones ahead.
    impl_->database->FollowView(impl_.get(), impl_->entries, at);
    return LNNOERROR;
}

LNVFEntry LNViewFolder::operator[](LNINT index) const {
    if (!impl_ || index < 0 || index >= GetEntryCount()) return {};
    return LNVFEntry(impl_->database, (*impl_->entries)[static_cast<std::size_t>(index)]);
}
