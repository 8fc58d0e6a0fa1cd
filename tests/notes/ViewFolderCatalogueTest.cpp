#include <gtest/gtest.h>

#include <map>

#include "notes/ViewFolderCatalogue.h"
#include "shell/report/ProgressSink.h"

using qb::CatalogueNode;
using qb::ViewFolderCatalogue;

namespace {

// A database whose design notes are given as (type, flags, title) triples.
class FakeDesign : public qb::DesignNoteSource {
public:
    struct Note {
        std::uint32_t type;
        std::optional<std::string> flags;
        std::optional<std::string> title;
        std::string error;
    };
    std::vector<Note> notes;
    bool open = true;
    std::vector<std::uint32_t> searched;

    void Add(std::string title, std::string flags = "", std::uint32_t type = 0xE8008) {
        notes.push_back({type, std::move(flags), std::move(title), {}});
    }
    bool IsOpen() const override { return open; }
    qb::DesignSearchResult SearchDesignNotes(std::uint32_t type) override {
        searched.push_back(type);
        qb::DesignSearchResult result;
        for (std::uint32_t i = 0; i < notes.size(); ++i)
            if (notes[i].type == type) result.noteIds.push_back(i);
        return result;
    }
    qb::DesignNoteResult ReadDesignNote(std::uint32_t id) override {
        const Note& note = notes.at(id);
        if (!note.error.empty()) return {std::nullopt, note.error};
        return {qb::DesignNoteItems{note.flags, note.title}, {}};
    }
};

struct StatusRecorder : qb::NullProgressSink {
    std::vector<std::string> lines;
    void SetStatusText(std::string_view text) override { lines.emplace_back(text); }
};

std::vector<std::string> Names(const std::vector<std::unique_ptr<CatalogueNode>>& nodes) {
    std::vector<std::string> names;
    for (const auto& n : nodes) names.push_back(n->name);
    return names;
}

std::vector<std::string> ExportNames(const ViewFolderCatalogue& c) {
    std::vector<std::string> names;
    for (const CatalogueNode* n : c.exportList) names.push_back(n->notesName + " -> " + n->outlookPath);
    return names;
}

}  // namespace

TEST(ViewFolderCatalogue, BuildsASortedTreeFromBackslashTitles) {
    FakeDesign db;
    db.Add("Projects\\2024\\Budget", "F");
    db.Add("zeta", "F", 0xE1008);
    db.Add("Alpha|alias", "");
    db.Add("(Discussion Threads\\x)", "");
    db.Add("Projects", "F", 0xE0008);
    db.Add("Shared column", "^");
    db.notes.push_back({0xE8008, std::nullopt, "No flags", {}});
    db.notes.push_back({0xE8008, "", std::nullopt, {}});
    StatusRecorder status;
    ViewFolderCatalogue c;
    std::atomic<bool> cancel{false};
    c.LoadCatalogue(db, cancel, &status);

    ASSERT_TRUE(c.loaded);
    EXPECT_EQ(db.searched, (std::vector<std::uint32_t>{0xE8008, 0xE0008, 0xE1008}));
    EXPECT_EQ(Names(c.root.children), (std::vector<std::string>{"(Discussion Threads\\x)", "Alpha", "Projects", "zeta"}));
    const CatalogueNode& projects = *c.root.children[2];
    EXPECT_TRUE(projects.exportable) << "a folder that is also a path level";
    EXPECT_EQ(projects.notesName, "Projects");
    const CatalogueNode& year = *projects.children[0];
    EXPECT_FALSE(year.exportable);
    EXPECT_EQ(year.notesName, "");
    EXPECT_EQ(year.children[0]->notesName, "Projects\\2024\\Budget");
    EXPECT_TRUE(c.root.children[0]->hidden);
    EXPECT_EQ(c.allNodes.size(), 6u);
    EXPECT_EQ(status.lines.front(), "...Lotus Notes is preparing (read only) view/folder: Projects\\2024\\Budget");

    c.ApplyFolderRules({}, {});
    // allNodes keeps creation order: the path level "Projects" came first.
    EXPECT_EQ(ExportNames(c), (std::vector<std::string>{"Projects -> Projects",
                                                        "Projects\\2024\\Budget -> Projects\\2024\\Budget",
                                                        "Alpha -> Alpha",
                                                        "(Discussion Threads\\x) -> (Discussion Threads\\x)",
                                                        "zeta -> zeta"}));
}

TEST(ViewFolderCatalogue, AddsSpecialNodesFirstAndOnceForBothTrashViews) {
    FakeDesign db;
    db.Add("($Inbox)");
    db.Add("($Trash)", "F");
    db.Add("($SoftDeletions)");
    db.Add("($All)");
    db.Add("Archive", "F");
    ViewFolderCatalogue c;
    std::atomic<bool> cancel{false};
    c.LoadCatalogue(db, cancel, nullptr);
    ASSERT_TRUE(c.loaded);
    EXPECT_EQ(Names(c.root.children),
              (std::vector<std::string>{"Inbox", "All Documents", "Trash", "($All)", "($Inbox)", "($SoftDeletions)",
                                        "($Trash)", "Archive"}));
    const CatalogueNode& trash = *c.root.children[2];
    EXPECT_EQ(trash.notesName, "($SoftDeletions)");
    EXPECT_EQ(trash.specialKind, qb::kSpecialTrash);
    EXPECT_EQ(c.allNodes.back()->name, "Inbox");
    EXPECT_EQ(c.allNodes.back()->index, static_cast<int>(c.allNodes.size()) - 1);

    c.ApplyFolderRules({}, {});
    // The special node and the plain view share their Notes name.
    EXPECT_TRUE(c.Contains(*c.root.children[4]));
}

TEST(ViewFolderCatalogue, TrashNodeNamesTheTrashViewTheDatabaseHas) {
    FakeDesign db;
    db.Add("($Trash)", "F");
    ViewFolderCatalogue c;
    std::atomic<bool> cancel{false};
    c.LoadCatalogue(db, cancel, nullptr);
    EXPECT_EQ(c.root.children[0]->name, "Trash");
    EXPECT_EQ(c.root.children[0]->notesName, "($Trash)");
}

TEST(ViewFolderCatalogue, AUserFolderNamedLikeASpecialFolderKeepsItsDocuments) {
    FakeDesign db;
    db.Add("Sent", "F");
    db.Add("Sent\\Old", "F");
    db.Add("($Sent)");
    ViewFolderCatalogue c;
    std::atomic<bool> cancel{false};
    c.LoadCatalogue(db, cancel, nullptr);
    c.ApplyFolderRules({}, {});
    EXPECT_EQ(ExportNames(c), (std::vector<std::string>{"Sent -> Sent", "Sent\\Old -> Sent\\Old",
                                                        "($Sent) -> ($Sent)", "($Sent) -> ($Sent)"}));
}

TEST(ViewFolderCatalogue, RulesExcludeReselectAndRetarget) {
    FakeDesign db;
    db.Add("($Inbox)");
    db.Add("($Sent)");
    db.Add("Clients\\Acme", "F");
    db.Add("Clients\\Beta", "F");
    ViewFolderCatalogue c;
    std::atomic<bool> cancel{false};
    c.LoadCatalogue(db, cancel, nullptr);
    c.ApplyFolderRules({"($*"}, {"($Inbox)<~TO~>Inbox", "Clients\\A*"});
    EXPECT_EQ(ExportNames(c), (std::vector<std::string>{"($Inbox) -> Inbox", "Clients\\Acme -> Acme",
                                                        "Clients\\Beta -> Clients\\Beta", "($Inbox) -> Inbox"}));
    // A later include rule overrides an earlier one.
    c.ApplyFolderRules({}, {"Clients\\Beta<~TO~>First", "Clients\\Beta<~TO~>Second"});
    EXPECT_EQ(c.exportList[3]->outlookPath, "Second");
}

TEST(ViewFolderCatalogue, ClosedDatabaseCancelAndNoteErrorsAreReported) {
    FakeDesign db;
    db.Add("One", "F");
    db.notes.push_back({0xE8008, "", "Broken", "Note item not found"});
    db.Add("Two", "F");
    ViewFolderCatalogue c;
    std::atomic<bool> cancel{false};
    c.LoadCatalogue(db, cancel, nullptr);
    EXPECT_TRUE(c.loaded) << "a note that cannot be read is skipped";
    EXPECT_EQ(c.lastError, "Note item not found");
    EXPECT_EQ(c.allNodes.size(), 2u);

    cancel = true;
    c.LoadCatalogue(db, cancel, nullptr);
    EXPECT_FALSE(c.loaded);
    EXPECT_EQ(c.lastError, "Cancelled Get View Folders");
    EXPECT_EQ(c.allNodes.size(), 1u) << "what was built before the cancel stays";

    db.open = false;
    c.LoadCatalogue(db, cancel, nullptr);
    EXPECT_FALSE(c.loaded);
    EXPECT_EQ(c.lastError, "Database was not open");
}

TEST(ViewFolderCatalogue, TitlesOfAHundredThousandLevelsLoadSortAndGo) {
    // Each level was a stack frame of the sort and of the tree's destruction.
    constexpr std::size_t kLevels = 100000;
    std::string deep;
    for (std::size_t i = 0; i < kLevels; ++i) deep += (i ? "\\" : "") + std::string(i % 2 ? "b" : "a");
    FakeDesign db;
    db.Add(deep, "F");
    db.Add(deep.substr(0, deep.size() - 2) + "\\c", "F");  // a sibling at the bottom
    ViewFolderCatalogue c;
    std::atomic<bool> cancel{false};
    c.LoadCatalogue(db, cancel, nullptr);
    ASSERT_TRUE(c.loaded);
    EXPECT_EQ(c.allNodes.size(), kLevels + 1);
    const CatalogueNode* node = &c.root;
    for (std::size_t i = 0; i + 1 < kLevels; ++i) {
        ASSERT_EQ(node->children.size(), 1u) << i;
        node = node->children.front().get();
    }
    ASSERT_EQ(node->children.size(), 2u);
    EXPECT_EQ(node->children[0]->notesName, deep);
    EXPECT_EQ(node->children[1]->name, "c") << "the bottom level is sorted too";
    c.ApplyFolderRules({}, {});
    EXPECT_EQ(c.exportList.size(), 2u);
    c.Clear();
    EXPECT_TRUE(c.root.children.empty());
    c.LoadCatalogue(db, cancel, nullptr);  // and the destructor takes the tree apart once more
}
