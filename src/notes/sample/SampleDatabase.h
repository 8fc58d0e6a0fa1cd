#pragma once
// One generated database on its way to disk: its views and folders, the
// DXL writer, and the counts the manifest promises. Every document is
// counted as it is written: view entries by evaluating the view's selection
// formula with the formula engine, folder entries from $FolderRefs, the
// component formulas the export uses, and file attachments.

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "notes/api/formula/CompiledFormula.h"
#include "notes/sample/DxlWriter.h"
#include "notes/sample/SampleRandom.h"

namespace qb::notes::sample {

struct ViewDefinition {
    std::string title;
    std::string selection;   // empty for a folder
    std::string flags;       // $Flags: "F" for folders, "c" for calendar views, "^" not a view
    bool folder = false;
    bool noteForm = false;
    std::string unid;
    std::unique_ptr<CompiledFormula> formula;
    long long entries = 0;
};

struct NamedCount {
    std::string name;
    long long count = 0;
};

class SampleDatabase {
public:
    SampleDatabase(SampleRandom& random, std::string path, DatabaseInfo info);

    // Design notes; call before Open. A view's selection formula must
    // compile (the generator's own formulas). Returns the UNID.
    std::string AddView(std::string title, std::string selection, std::string flags, bool noteForm);
    std::string AddFolder(std::string title, bool noteForm);
    // A design note that is no view (shared column): written, not counted.
    void AddSharedColumn(std::string title);
    // The formulas whose selected documents the manifest counts.
    void CountFormula(std::string name, const std::string& text);

    // Opens the file and writes the header and the design notes.
    void Open();
    // Completes the note (UNID, note id) when empty, writes it and counts it.
    void Write(SampleDocument& document);
    // Told of every document written, with the titles of the views and
    // folders that hold it, in the order they were declared.
    using DocumentObserver = std::function<void(const SampleDocument&, const std::vector<std::string>& holders)>;
    void SetObserver(DocumentObserver observer) { observer_ = std::move(observer); }
    void Close();

    std::string NewUnid();
    const std::string& replicaId() const { return info_.replicaId; }
    const std::string& UnidOf(const std::string& title) const;
    const std::vector<ViewDefinition>& views() const { return views_; }
    const std::vector<NamedCount>& formulaCounts() const { return formulaCounts_; }
    long long documents() const { return documents_; }
    long long fileAttachments() const { return fileAttachments_; }
    long long mimeAttachments() const { return mimeAttachments_; }

private:
    std::uint32_t NextNoteId() { return nextNoteId_ += 4; }
    std::vector<std::string> Count(const SampleDocument& document);

    SampleRandom& random_;
    std::string path_;
    DatabaseInfo info_;
    std::ofstream file_;
    std::unique_ptr<DxlWriter> writer_;
    std::vector<ViewDefinition> views_;
    std::vector<SampleDocument> otherDesign_;
    std::vector<std::unique_ptr<CompiledFormula>> countFormulas_;
    std::vector<NamedCount> formulaCounts_;
    std::map<std::string, std::size_t> folderByUnid_;
    DocumentObserver observer_;
    std::uint32_t nextNoteId_ = 0x8F6;
    long long documents_ = 0;
    long long fileAttachments_ = 0;
    long long mimeAttachments_ = 0;
};

}  // namespace qb::notes::sample
