#pragma once
// The view and folder tree of the "Advanced Lotus Notes Settings" dialog on
// the main window's catalogue: one check box item per node, hidden views
// ("(...)", not special) only while "Show Hidden Folders && Views" is
// ticked; checking an item checks its descendants. Nothing changes in the
// catalogue until TakeSelection (the dialog's OK).

#include <QTreeWidget>

#include "notes/ViewFolderCatalogue.h"

namespace qb::ui {

class CatalogueTree : public QTreeWidget {
public:
    CatalogueTree(ViewFolderCatalogue& catalogue, QWidget* parent);

    // Rebuilds the items from the nodes' selection.
    void Rebuild(bool showHidden);
    // Checks or unchecks every top-level item (and so every item).
    void CheckAll(bool checked);
    // The check marks into the catalogue: a shown, exportable, checked node
    // is selected; the export list is rebuilt in catalogue order.
    void TakeSelection();

private:
    void AddChildren(QTreeWidgetItem* parentItem, const CatalogueNode& parent);
    void OnItemChanged(QTreeWidgetItem* item);

    ViewFolderCatalogue& catalogue_;
    bool showHidden_ = false;
    bool updating_ = false;
};

}  // namespace qb::ui
