#include "notes/sample/SampleDatabase.h"

#include <fmt/format.h>

#include <stdexcept>

namespace qb::notes::sample {
namespace {

std::unique_ptr<CompiledFormula> CompileOwnFormula(const std::string& text) {
    FormulaCompileError error;
    std::unique_ptr<CompiledFormula> formula = CompiledFormula::Compile(text, error);
    if (!formula) throw std::logic_error("sample formula does not compile: " + error.text);
    return formula;
}

}  // namespace

SampleDatabase::SampleDatabase(SampleRandom& random, std::string path, DatabaseInfo info)
    : random_(random), path_(std::move(path)), info_(std::move(info)) {}

std::string SampleDatabase::NewUnid() {
    return fmt::format("{:016X}{:016X}", random_.Next(), random_.Next());
}

std::string SampleDatabase::AddView(std::string title, std::string selection, std::string flags,
                                    bool noteForm) {
    ViewDefinition& view = views_.emplace_back();
    view.formula = CompileOwnFormula(selection);
    view.title = std::move(title);
    view.selection = std::move(selection);
    view.flags = std::move(flags);
    view.noteForm = noteForm;
    view.unid = NewUnid();
    return view.unid;
}

std::string SampleDatabase::AddFolder(std::string title, bool noteForm) {
    ViewDefinition& folder = views_.emplace_back();
    folder.title = std::move(title);
    folder.flags = "F";
    folder.folder = true;
    folder.noteForm = noteForm;
    folder.unid = NewUnid();
    folderByUnid_[folder.unid] = views_.size() - 1;
    return folder.unid;
}

void SampleDatabase::AddSharedColumn(std::string title) {
    SampleDocument& note = otherDesign_.emplace_back();
    note.noteClass = SampleDocument::NoteClass::View;
    note.noteForm = true;
    note.title = std::move(title);
    note.flags = "^";
    note.unid = NewUnid();
}

void SampleDatabase::CountFormula(std::string name, const std::string& text) {
    countFormulas_.push_back(CompileOwnFormula(text));
    formulaCounts_.push_back({std::move(name), 0});
}

const std::string& SampleDatabase::UnidOf(const std::string& title) const {
    for (const ViewDefinition& view : views_)
        if (view.title == title) return view.unid;
    throw std::logic_error("no sample view " + title);
}

void SampleDatabase::Open() {
    file_.open(path_, std::ios::binary | std::ios::trunc);
    if (!file_) throw std::runtime_error("cannot create " + path_);
    writer_ = std::make_unique<DxlWriter>(file_);
    writer_->BeginDatabase(info_);
    for (const ViewDefinition& view : views_) {
        SampleDocument note;
        note.noteClass = view.folder ? SampleDocument::NoteClass::Folder : SampleDocument::NoteClass::View;
        note.noteForm = view.noteForm;
        note.title = view.title;
        note.selection = view.selection;
        note.flags = view.flags;
        note.unid = view.unid;
        note.noteId = NextNoteId();
        note.created = note.modified = info_.created;
        writer_->WriteNote(note);
    }
    for (SampleDocument& note : otherDesign_) {
        note.noteId = NextNoteId();
        note.created = note.modified = info_.created;
        writer_->WriteNote(note);
    }
}

void SampleDatabase::Write(SampleDocument& document) {
    if (document.unid.empty()) document.unid = NewUnid();
    document.noteId = NextNoteId();
    writer_->WriteNote(document);
    const std::vector<std::string> holders = Count(document);
    if (!file_) throw std::runtime_error("cannot write " + path_);
    if (observer_) observer_(document, holders);
}

std::vector<std::string> SampleDatabase::Count(const SampleDocument& document) {
    ++documents_;
    std::vector<bool> held(views_.size(), false);
    const MapFormulaDocument values = document.ForFormula();
    for (std::size_t v = 0; v < views_.size(); ++v) {
        if (views_[v].formula && views_[v].formula->Selects(values)) {
            ++views_[v].entries;
            held[v] = true;
        }
    }
    for (std::size_t i = 0; i < countFormulas_.size(); ++i)
        if (countFormulas_[i]->Selects(values)) ++formulaCounts_[i].count;
    for (const SampleItem& item : document.items) {
        if (item.kind == ItemKind::File) ++fileAttachments_;
        if (item.kind == ItemKind::MimePart && item.texts.at(1).find("Content-Disposition: attachment") != std::string::npos)
            ++mimeAttachments_;
        if (item.kind == ItemKind::NoteRefs && item.name == "$FolderRefs") {
            for (const std::string& unid : item.texts) {
                const auto found = folderByUnid_.find(unid);
                if (found == folderByUnid_.end()) throw std::logic_error("$FolderRefs names no folder");
                ++views_[found->second].entries;
                held[found->second] = true;
            }
        }
    }
    std::vector<std::string> holders;
    for (std::size_t v = 0; v < views_.size(); ++v)
        if (held[v]) holders.push_back(views_[v].title);
    return holders;
}

void SampleDatabase::Close() {
    if (!writer_) return;
    writer_->EndDatabase();
    file_.close();
    if (!file_) throw std::runtime_error("cannot write " + path_);
    writer_.reset();
}

}  // namespace qb::notes::sample
