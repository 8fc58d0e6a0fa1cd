#pragma once
// The views and folders of a mail database as a tree of folder names, the
// special mail folders, the include/exclude selection and the ordered list of
// what the export run exports.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "notes/DesignNoteSource.h"
#include "notes/FolderRule.h"

namespace qb {

class ProgressSink;

enum SpecialKind : std::int32_t {
    kSpecialNone = 0,
    kSpecialInbox = 1,
    kSpecialSent = 2,
    kSpecialDrafts = 4,
    kSpecialTrash = 8,
    kSpecialAllDocuments = 16,
};

struct CatalogueNode {
    std::string name;         // one level of a backslash path, or a special name
    std::string notesName;    // full Notes title; empty for a path level only
    std::string outlookPath;  // backslash-separated Outlook folder path
    std::int32_t index = 0;   // position in allNodes
    std::uint8_t selected = 0;
    std::uint8_t hasChildren = 0;
    std::uint8_t exportable = 0;
    std::uint8_t hidden = 0;
    std::uint8_t special = 0;
    std::int32_t specialKind = kSpecialNone;
    std::vector<std::unique_ptr<CatalogueNode>> children;

    CatalogueNode() = default;
    CatalogueNode(CatalogueNode&&) = default;
    CatalogueNode& operator=(CatalogueNode&&) = default;
    // Takes the subtree apart without recursion: a title may nest to any depth.
    ~CatalogueNode();
};

class ViewFolderCatalogue {
public:
    CatalogueNode root;
    std::vector<CatalogueNode*> allNodes;    // creation order, special nodes last
    std::vector<CatalogueNode*> exportList;  // what the run exports, in allNodes order
    std::int32_t nextIndex = 0;
    std::uint8_t loaded = 0;
    std::string lastError;
    // Which database the catalogue was loaded from (server and path), so that
    // a run knows whether it may keep the selection made earlier.
    std::string loadedFor;
    // The loadedFor text of a database.
    static std::string KeyFor(const std::string& server, const std::string& path) { return server + "!!" + path; }

    // Builds the tree from the database's view and folder design notes. On a
    // closed database, a cancel or a failed search `lastError` says why and
    // the catalogue stays not loaded. `status` may be null.
    void LoadCatalogue(DesignNoteSource& database, const std::atomic<bool>& cancelRequested,
                       ProgressSink* status);

    // Sets every node's selection and Outlook path and rebuilds exportList.
    void ApplyFolderRules(const std::vector<std::string>& excludeRules, const std::vector<std::string>& includeRules);

    // Whether exportList already holds a node with the node's notesName.
    bool Contains(const CatalogueNode& node) const;

    void Clear();

private:
    void InsertTitle(const std::string& title);
    CatalogueNode& AddChild(CatalogueNode& parent, std::string name, bool atFront);
    void AddSpecialNode(const char* name, const char* notesName, std::int32_t kind);
};

}  // namespace qb
