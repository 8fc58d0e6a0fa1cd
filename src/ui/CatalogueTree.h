#pragma once
// The view and folder tree of the "Advanced Lotus Notes Settings" dialog on
// the main window's catalogue: one check box item per node, hidden views
// ("(...)", not special) only while "Show Hidden Folders && Views" is
// ticked; checking an item checks its descendants. Nothing changes in the
// catalogue until TakeSelection (the dialog's OK).

#include <QTreeWidget>
#include <cstdint>
#include <vector>

#include "notes/ViewFolderCatalogue.h"

namespace qb::ui {

class CatalogueTree : public QTreeWidget {
public:
    CatalogueTree(ViewFolderCatalogue& catalogue, QWidget* parent);

    // Rebuilds the items: each checked as the user left it in this dialog,
    // else as its node is selected (always so with keepChecks false).
    void Rebuild(bool showHidden, bool keepChecks = true);
    // Checks or unchecks every top-level item (and so every item).
    void CheckAll(bool checked);
    // The check marks into the catalogue: a shown, exportable, checked node
    // is selected; the export list is rebuilt in catalogue order.
    void TakeSelection();

private:
    void AddChildren(QTreeWidgetItem* parentItem, const CatalogueNode& parent);
    void OnItemChanged(QTreeWidgetItem* item);
    // The check marks of the items shown, by node index, into checks_.
    void HarvestChecks();
    // The check mark a node's item shows: the user's, else the node's selection.
    bool Checked(const CatalogueNode& node) const;

    ViewFolderCatalogue& catalogue_;
    bool showHidden_ = false;
    bool updating_ = false;
    // Per node index: -1 not shown yet, else the last check mark shown.
    std::vector<std::int8_t> checks_;
};

}  // namespace qb::ui
