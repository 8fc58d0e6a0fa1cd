#pragma once
// The recovery journal of one database's export: which views and component
// runs are finished, which one was in progress and the last document recorded
// in it, so that a later launch can resume exactly there.
//
// Three files beside each other, "<directory>/Recovery" + ".r" (whether the
// export completed, the database's server and path, the finished views),
// ".rcv" (the view in progress) and ".rcn" (its last document). Integers are
// little-endian; a text is its 32-bit byte length and its bytes; every file
// ends with the CRC-32 of the bytes before it.
//
// Invariants: every file is replaced whole through a temporary file and a
// rename, so a crash at any moment leaves the previous or the next content,
// never a mixture; a reader never trusts a length it has not checked against
// the bytes that are there; a view listed as finished is never exported
// again, whatever the other files say.

#include <cstdint>
#include <string>
#include <vector>

#include "launch/LaunchRecovery.h"

namespace qb {

class RecoveryJournal final : public LaunchJournal {
public:
    static constexpr const char* kBaseName = "Recovery";
    // A journal holds names and paths, not documents: anything larger is not one.
    static constexpr std::size_t kMaxFileBytes = 4u << 20;
    static constexpr std::size_t kMaxTextBytes = 64u << 10;

    // `on`: the RecoveryInfo setting. The files live in `directory`.
    RecoveryJournal(std::string directory, bool on, std::string baseName = kBaseName);

    std::string MainFilePath() const { return FilePath(".r"); }
    std::string ViewFilePath() const { return FilePath(".rcv"); }
    std::string NoteFilePath() const { return FilePath(".rcn"); }

    // LaunchJournal
    LoadResult Load() override;
    bool Create(const std::string& server, const std::string& path) override;
    const std::string& Server() const override { return server_; }
    const std::string& Path() const override { return path_; }
    bool Complete() const override { return complete_; }
    std::int32_t LastIndex() const override { return lastIndex_; }
    void SetLastIndex(std::int32_t index) override { lastIndex_ = index; }
    const std::string& LastError() const override { return lastError_; }

    // RecoveryHooks
    bool IsOn() const override { return on_; }
    bool ShouldExportView(std::uint32_t viewId, const std::string& viewName, ResumePoint& point) override;
    bool StartView(std::uint32_t viewId, const std::string& viewName) override;
    bool RecordDocument(std::int32_t index, std::uint32_t noteId, const std::string& universalId) override;
    bool MarkViewFolderComplete() override;
    bool MarkComplete() override;

    struct ViewRef {
        std::uint32_t id = 0;
        std::string name;
        bool operator==(const ViewRef&) const = default;
    };
    const std::vector<ViewRef>& FinishedViews() const { return finished_; }
    const ViewRef& CurrentView() const { return current_; }
    std::uint32_t LastNoteId() const { return lastNoteId_; }
    const std::string& LastUniversalId() const { return lastUniversalId_; }

private:
    std::string FilePath(const char* extension) const;
    // Everything but the files' place and the on flag back to an empty journal.
    void Clear();
    bool Off();
    bool Fail(std::string text);
    // A Notes view by its note id; a component run (id 0) by its name.
    static bool Same(const ViewRef& a, std::uint32_t id, const std::string& name);
    bool IsFinished(std::uint32_t id, const std::string& name) const;

    LoadResult Unusable(const std::string& path, const std::string& why);
    std::string WriteMainBytes() const;
    bool WriteMain();
    bool WriteView();
    bool WriteNote();

    std::string directory_;
    std::string baseName_;
    bool on_;
    std::string lastError_;
    std::string server_;
    std::string path_;
    bool complete_ = false;
    std::vector<ViewRef> finished_;
    ViewRef current_;
    // The view of the loaded journal that was in progress; cleared once
    // another view starts.
    bool resumable_ = false;
    // A view was started since the last load, creation or completion.
    bool started_ = false;
    std::int32_t lastIndex_ = -1;
    std::uint32_t lastNoteId_ = 0;
    std::string lastUniversalId_;
};

}  // namespace qb
