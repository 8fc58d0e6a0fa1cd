#include "notes/api/LNDatabase.h"

#include <cstring>

#include "notes/api/DatabaseImpl.h"
#include "notes/api/LNFormula.h"
#include "notes/api/LNViewFolder.h"
#include "notes/api/SelectionFormula.h"
#include "notes/api/formula/FormulaStatus.h"
#include "text/TextCase.h"

using namespace qb::notes;

namespace {

LNSTATUS RequireOpen(const std::shared_ptr<DatabaseImpl>& impl) {
    if (!impl) return Fail(LNERR_DATABASE_NOT_OPEN, "no database");
    if (!impl->open) return Fail(LNERR_DATABASE_NOT_OPEN, impl->notesPath);
    return LNNOERROR;
}

bool IsLiveView(const NoteIndex::Slot& slot) { return !slot.Deleted() && slot.noteClass == NOTE_CLASS_VIEW; }

std::string TitleKey(const std::string& title) { return qb::text::ToLower(title); }

// Whether a view title ("Name|alias|alias") answers to a name.
bool TitleAnswers(const std::string& title, const std::string& name) {
    std::string key = TitleKey(name);
    if (TitleKey(title) == key) return true;
    std::size_t begin = 0;
    while (begin <= title.size()) {
        std::size_t end = title.find('|', begin);
        if (end == std::string::npos) end = title.size();
        if (TitleKey(title.substr(begin, end - begin)) == key) return true;
        begin = end + 1;
    }
    return false;
}

}  // namespace

LNDatabase::LNDatabase() = default;
LNDatabase::LNDatabase(std::shared_ptr<DatabaseImpl> impl) : impl_(std::move(impl)) {}

LNSTATUS LNDatabase::Open() {
    if (!impl_) return Fail(LNERR_INVALID_PARAMETER, "no database");
    std::string detail;
    LNSTATUS status = impl_->Open(&detail);
    return status == LNNOERROR ? status : Fail(status, detail);
}

LNSTATUS LNDatabase::Close() {
    if (impl_) impl_->Close();
    return LNNOERROR;
}

bool LNDatabase::IsOpen() const { return impl_ && impl_->open; }

LNString LNDatabase::GetTitle() const {
    if (!impl_) return {};
    if (!impl_->info.title.empty()) return impl_->info.title;
    std::string name = impl_->filePath.substr(impl_->filePath.find_last_of('/') + 1);
    return name.substr(0, name.find_last_of('.'));
}

LNString LNDatabase::GetFilepath() const { return impl_ ? impl_->notesPath : LNString(); }
LNString LNDatabase::GetSystemPath() const { return impl_ ? impl_->filePath : LNString(); }
LNString LNDatabase::GetServer() const { return impl_ ? impl_->server : LNString(); }
LNString LNDatabase::GetReplicaID() const { return impl_ ? impl_->info.replicaId : LNString(); }
LNDatetime LNDatabase::GetCreated() const {
    if (!impl_) return {};
    if (!impl_->info.created.IsNull()) return impl_->info.created;
    LNDatetime earliest;
    std::string detail;
    impl_->notes.Scan([](const NoteIndex::Slot&) { return true; },
                      [&](const NoteIndexEntry& entry) {
                          if (!entry.created.IsNull() && (earliest.IsNull() || entry.created.Compare(earliest) < 0))
                              earliest = entry.created;
                          return true;
                      },
                      &detail);
    return earliest;
}

LNINT LNDatabase::GetNoteCount() const {
    if (!impl_) return 0;
    LNINT count = 0;
    for (std::size_t i = 0; i < impl_->notes.Size(); ++i) count += impl_->notes.At(i).Deleted() ? 0 : 1;
    return count;
}

LNSTATUS LNDatabase::GetViewFolders(std::vector<LNViewFolder>* views) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    views->clear();
    std::string detail;
    LNSTATUS status = impl_->notes.Scan(IsLiveView, [&](const NoteIndexEntry& entry) {
        auto view = DescribeView(impl_, entry);
        if (view->flags.find('^') == std::string::npos) views->emplace_back(std::move(view));  // else a shared column
        return true;
    }, &detail);
    return status ? Fail(status, detail) : LNNOERROR;
}

LNSTATUS LNDatabase::GetViewFolder(const LNString& name, LNViewFolder* view) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    std::shared_ptr<ViewImpl> byTitle, byAlias;
    std::string detail;
    LNSTATUS status = impl_->notes.Scan(IsLiveView, [&](const NoteIndexEntry& entry) {
        auto candidate = DescribeView(impl_, entry);
        if (candidate->flags.find('^') != std::string::npos) return true;
        if (TitleKey(candidate->title) == TitleKey(name)) {
            byTitle = std::move(candidate);
            return false;
        }
        if (!byAlias && TitleAnswers(candidate->title, name)) byAlias = std::move(candidate);
        return true;
    }, &detail);
    if (status) return Fail(status, detail);
    if (byTitle) {
        *view = LNViewFolder(std::move(byTitle));
        return LNNOERROR;
    }
    if (!byAlias) return Fail(LNERR_VIEW_NOT_FOUND, name);
    *view = LNViewFolder(std::move(byAlias));
    return LNNOERROR;
}

namespace {

LNSTATUS RunSearch(const std::shared_ptr<DatabaseImpl>& impl, const CompiledFormula& formula, LNNoteArray* notes,
                   const LNSearchOptions* options) {
    DWORD noteType = options ? options->GetNoteType() : NOTE_CLASS_DOCUMENT;
    LNINT limit = options ? options->GetMaxNotes() : 0;
    std::vector<NOTEID> ids;
    std::string detail;
    LNSTATUS status = impl->notes.Scan(
        [noteType](const NoteIndex::Slot& slot) { return !slot.Deleted() && MayMatchNoteType(slot.noteClass, noteType); },
        [&](const NoteIndexEntry& entry) {
            if (!MatchesNoteType(entry, noteType)) return true;
            if (!formula.Selects(SummaryFormulaDocument(entry.summary))) return true;
            ids.push_back(entry.noteId);
            return limit <= 0 || static_cast<LNINT>(ids.size()) < limit;
        },
        &detail);
    if (status) return Fail(status, detail);
    bool none = ids.empty();
    notes->Set(impl, std::move(ids));
    return none ? LNWARN_NOT_FOUND : LNNOERROR;
}

}  // namespace

LNSTATUS LNDatabase::Search(const LNFormula& formula, LNNoteArray* notes, const LNSearchOptions* options) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    notes->Clear();
    auto compiled = formula.GetCompiled();
    if (!compiled) {
        LNSTATUS status = formula.GetCompileStatus() ? formula.GetCompileStatus() : kFormulaErrNotCompiled;
        return Fail(status, formula.GetErrorText());
    }
    return RunSearch(impl_, *compiled, notes, options);
}

LNSTATUS LNDatabase::Search(const LNString& text, LNNoteArray* notes, const LNSearchOptions* options) const {
    LNFormula formula;
    if (LNSTATUS status = formula.SetText(text)) {
        if (RequireOpen(impl_)) return LNERR_DATABASE_NOT_OPEN;
        return Fail(status, formula.GetErrorText());
    }
    return Search(formula, notes, options);
}

LNSTATUS LNDatabase::GetDocument(NOTEID noteId, LNDocument* document) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    if (!impl_->Contains(noteId)) {
        char text[64];
        std::snprintf(text, sizeof text, "note id 0x%X", noteId);
        return Fail(LNERR_NOTE_NOT_FOUND, text);
    }
    auto impl = std::make_shared<DocumentImpl>();
    impl->database = impl_;
    impl->noteId = noteId;
    *document = LNDocument(std::move(impl));
    return LNNOERROR;
}

LNSTATUS LNDatabase::GetDocumentByUNID(const LNString& unid, LNDocument* document) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    IndexEntryPtr entry;
    std::string detail;
    if (LNSTATUS status = impl_->FindByUnid(unid, &entry, &detail)) return Fail(status, detail);
    return GetDocument(entry->noteId, document);
}

LNSTATUS LNDatabase::CreateDocument(LNDocument* document, const LNString& form) {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    auto impl = std::make_shared<DocumentImpl>();
    impl->database = impl_;
    impl->isNew = true;
    impl->note = std::make_shared<NoteData>();
    if (!form.empty()) impl->note->items.push_back(*LNMakeTextItem("Form", {form}).Data());
    *document = LNDocument(std::move(impl));
    return LNNOERROR;
}

LNSTATUS LNDatabase::CreateDocument(const LNDocument& source, LNDocument* copy) {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    if (!source.IsOpen()) return Fail(LNERR_NOTE_NOT_OPEN, "source document");
    auto impl = std::make_shared<DocumentImpl>();
    impl->database = impl_;
    impl->isNew = true;
    impl->note = std::make_shared<NoteData>(*source.Impl()->note);
    impl->note->noteId = 0;
    impl->note->unid.clear();
    *copy = LNDocument(std::move(impl));
    return LNNOERROR;
}

LNSTATUS LNDatabase::DeleteDocument(NOTEID noteId) {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    std::string detail;
    LNSTATUS status = impl_->DeleteNote(noteId, &detail);
    return status == LNNOERROR ? status : Fail(status, detail);
}

LNSTATUS LNDatabase::DeleteDocument(const LNDocument& document) { return DeleteDocument(document.GetNoteID()); }

LNSTATUS LNDatabase::GetACL(LNACL* acl) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    *acl = LNACL(impl_);
    return LNNOERROR;
}

LNACLEntry::LNACLEntry(std::shared_ptr<DatabaseImpl> database, LNString name)
    : database_(std::move(database)), name_(std::move(name)) {}

LNACCESSLEVEL LNACLEntry::GetAccessLevel() const {
    if (!database_) return LNACCESSLEVEL_NO_ACCESS;
    if (name_ == "-Default-") return static_cast<LNACCESSLEVEL>(database_->info.defaultAccess);
    for (const AclEntryData& entry : database_->info.acl)
        if (entry.name == name_) return static_cast<LNACCESSLEVEL>(entry.level);
    return LNACCESSLEVEL_NO_ACCESS;
}

LNSTATUS LNACLEntry::SetAccessLevel(LNACCESSLEVEL level) {
    if (!database_) return Fail(LNERR_INVALID_PARAMETER, "no access control list");
    if (level < LNACCESSLEVEL_NO_ACCESS || level > LNACCESSLEVEL_MANAGER) return Fail(LNERR_INVALID_PARAMETER);
    if (name_ == "-Default-") database_->info.defaultAccess = level;
    for (AclEntryData& entry : database_->info.acl)
        if (entry.name == name_) entry.level = level;
    return LNNOERROR;
}

LNSTATUS LNACL::GetDefaultEntry(LNACLEntry* entry) const {
    if (!database_) return Fail(LNERR_INVALID_PARAMETER, "no access control list");
    *entry = LNACLEntry(database_, "-Default-");
    return LNNOERROR;
}

LNSTATUS LNACL::GetEntry(const LNString& name, LNACLEntry* entry) const {
    if (!database_) return Fail(LNERR_INVALID_PARAMETER, "no access control list");
    for (const AclEntryData& data : database_->info.acl)
        if (data.name == name) {
            *entry = LNACLEntry(database_, name);
            return LNNOERROR;
        }
    if (name == "-Default-") return GetDefaultEntry(entry);
    return Fail(LNERR_ITEM_NOT_FOUND, name);
}

LNINT LNACL::GetEntryCount() const { return database_ ? static_cast<LNINT>(database_->info.acl.size()) : 0; }

LNSTATUS LNACL::Save() {
    if (!database_ || !database_->open) return Fail(LNERR_DATABASE_NOT_OPEN);
    std::string detail;
    LNSTATUS status = database_->WriteFile(&detail);
    return status == LNNOERROR ? status : Fail(status, detail);
}
