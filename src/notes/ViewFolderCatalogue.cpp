#include "notes/ViewFolderCatalogue.h"

#include <algorithm>
#include <cctype>

#include "shell/report/ProgressSink.h"
#include "text/TextCase.h"

namespace qb {
namespace {

struct SpecialTitle {
    const char* title;
    std::int32_t kind;
};

constexpr SpecialTitle kSpecialTitles[] = {
    {"($Inbox)", kSpecialInbox},  {"($Sent)", kSpecialSent},          {"($Drafts)", kSpecialDrafts},
    {"($SoftDeletions)", kSpecialTrash}, {"($Trash)", kSpecialTrash}, {"($All)", kSpecialAllDocuments},
};

bool LessIgnoringCase(const std::string& a, const std::string& b) { return text::CompareIgnoreCase(a, b) < 0; }

// Sorts every level by name; iterative, as titles nest to any depth.
void SortTree(CatalogueNode& root) {
    std::vector<CatalogueNode*> pending{&root};
    while (!pending.empty()) {
        CatalogueNode& node = *pending.back();
        pending.pop_back();
        std::stable_sort(node.children.begin(), node.children.end(),
                         [](const auto& a, const auto& b) { return LessIgnoringCase(a->name, b->name); });
        for (auto& child : node.children) pending.push_back(child.get());
    }
}

// The title up to its first "|" (what follows are aliases).
std::string TitleBeforeAlias(const std::string& title) { return title.substr(0, title.find('|')); }

}  // namespace

CatalogueNode::~CatalogueNode() {
    std::vector<std::unique_ptr<CatalogueNode>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<CatalogueNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children) pending.push_back(std::move(child));
        node->children.clear();
    }
}

void ViewFolderCatalogue::Clear() {
    root = CatalogueNode{};
    allNodes.clear();
    exportList.clear();
    nextIndex = 0;
    loaded = 0;
    loadedFor.clear();
}

CatalogueNode& ViewFolderCatalogue::AddChild(CatalogueNode& parent, std::string name, bool atFront) {
    auto node = std::make_unique<CatalogueNode>();
    node->name = std::move(name);
    CatalogueNode& added = *node;
    parent.children.insert(atFront ? parent.children.begin() : parent.children.end(), std::move(node));
    parent.hasChildren = 1;
    return added;
}

void ViewFolderCatalogue::InsertTitle(const std::string& title) {
    CatalogueNode* current = &root;
    // The rest of the title starts at `start`; positions, not copies, so
    // that a title of many levels costs its length.
    std::size_t start = 0;
    for (bool last = false; !last;) {
        std::string component;
        const auto slash = title.find('\\', start);
        if (slash != std::string::npos && title[start] != '(') {
            component = title.substr(start, slash - start);
            start = slash + 1;
        } else {
            component = title.substr(start);
            last = true;
        }
        auto found = std::find_if(current->children.begin(), current->children.end(),
                                  [&](const auto& child) { return child->name == component; });
        CatalogueNode* node;
        if (found == current->children.end()) {
            node = &AddChild(*current, component, false);
            if (last) {
                node->notesName = title;
                node->exportable = 1;
            }
            node->hidden = node->notesName.starts_with('(');
            node->index = nextIndex++;
            allNodes.push_back(node);
        } else {
            node = found->get();
            if (last) {
                node->notesName = title;
                node->exportable = 1;
            }
        }
        current = node;
    }
}

void ViewFolderCatalogue::AddSpecialNode(const char* name, const char* notesName, std::int32_t kind) {
    // A real folder of the user's that happens to bear the special name keeps
    // its own documents: the special view gets a node of its own beside it.
    auto found = std::find_if(root.children.begin(), root.children.end(), [&](const auto& child) {
        return child->name == name && (!child->exportable || child->special || child->notesName == notesName);
    });
    CatalogueNode& node = found != root.children.end() ? **found : AddChild(root, name, true);
    node.notesName = notesName;
    node.exportable = 1;
    node.special = 1;
    node.specialKind = kind;
    node.index = nextIndex++;
    allNodes.push_back(&node);
}

void ViewFolderCatalogue::LoadCatalogue(DesignNoteSource& database, const std::atomic<bool>& cancelRequested,
                                        ProgressSink* status) {
    Clear();
    if (!database.IsOpen()) {
        lastError = "Database was not open";
        return;
    }
    std::int32_t seenSpecial = 0;
    bool seenSoftDeletions = false;
    for (std::uint32_t noteType : kDesignSearchNoteTypes) {
        DesignSearchResult search = database.SearchDesignNotes(noteType);
        if (!search.errorText.empty()) {
            lastError = search.errorText;
            return;
        }
        for (std::uint32_t noteId : search.noteIds) {
            DesignNoteResult read = database.ReadDesignNote(noteId);
            if (!read.errorText.empty()) lastError = read.errorText;
            if (read.items && read.items->flags && read.items->title &&
                read.items->flags->find('^') == std::string::npos) {
                const std::string title = TitleBeforeAlias(*read.items->title);
                if (status) status->SetStatusText("...Lotus Notes is preparing (read only) view/folder: " + title);
                for (const SpecialTitle& special : kSpecialTitles)
                    if (title == special.title) seenSpecial |= special.kind;
                seenSoftDeletions |= title == "($SoftDeletions)";
                InsertTitle(title);
            }
            if (cancelRequested.load()) {
                lastError = "Cancelled Get View Folders";
                return;
            }
        }
    }
    SortTree(root);

    struct Special {
        std::int32_t kind;
        const char* name;
        const char* notesName;
    };
    constexpr Special kOrder[] = {{kSpecialTrash, "Trash", "($SoftDeletions)"},
                                  {kSpecialAllDocuments, "All Documents", "($All)"},
                                  {kSpecialDrafts, "Drafts", "($Drafts)"},
                                  {kSpecialSent, "Sent", "($Sent)"},
                                  {kSpecialInbox, "Inbox", "($Inbox)"}};
    for (const Special& special : kOrder) {
        // A mailbox with only "($Trash)" keeps its trash there; naming the
        // node "($SoftDeletions)" would point at a view that does not exist.
        const char* notesName =
            special.kind == kSpecialTrash && !seenSoftDeletions ? "($Trash)" : special.notesName;
        if (seenSpecial & special.kind) AddSpecialNode(special.name, notesName, special.kind);
        if (cancelRequested.load()) {
            lastError = "Cancelled Get View Folders";
            return;
        }
    }
    loaded = 1;
}

void ViewFolderCatalogue::ApplyFolderRules(const std::vector<std::string>& excludeRules,
                                           const std::vector<std::string>& includeRules) {
    std::vector<FolderRule> excludes, includes;
    for (const auto& text : excludeRules) excludes.push_back(ParseFolderRule(text));
    for (const auto& text : includeRules) includes.push_back(ParseFolderRule(text));

    exportList.clear();
    for (CatalogueNode* node : allNodes) {
        node->selected = 1;
        node->outlookPath = node->notesName;
        for (const FolderRule& rule : excludes)
            if (MatchFolderRule(rule, node->notesName) != RuleMatch::None) node->selected = 0;
        for (const FolderRule& rule : includes) {
            const RuleMatch match = MatchFolderRule(rule, node->notesName);
            if (match == RuleMatch::None) continue;
            node->selected = 1;
            node->outlookPath = match == RuleMatch::Exact ? rule.target : node->name;
        }
        if (node->selected && node->exportable) exportList.push_back(node);
    }
}

bool ViewFolderCatalogue::Contains(const CatalogueNode& node) const {
    return std::any_of(exportList.begin(), exportList.end(),
                       [&](const CatalogueNode* listed) { return listed->notesName == node.notesName; });
}

}  // namespace qb
