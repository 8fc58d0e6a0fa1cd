// The view and folder tree (see CatalogueTree.h). The tree is walked with an
// explicit stack: a title may nest to any depth.

#include "ui/CatalogueTree.h"

#include <QTreeWidgetItemIterator>
#include <vector>

#include "ui/WindowThread.h"

namespace qb::ui {
namespace {

constexpr int kNodeIndexRole = Qt::UserRole;

bool Shown(const CatalogueNode& node, bool showHidden) { return !node.hidden || node.special || showHidden; }

}  // namespace

CatalogueTree::CatalogueTree(ViewFolderCatalogue& catalogue, QWidget* parent)
    : QTreeWidget(parent), catalogue_(catalogue) {
    setObjectName("viewFolderTree");
    setHeaderHidden(true);
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) { OnItemChanged(item); });
}

void CatalogueTree::HarvestChecks() {
    checks_.resize(catalogue_.allNodes.size(), -1);
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        const int index = (*it)->data(0, kNodeIndexRole).toInt();
        if (index >= 0 && index < static_cast<int>(checks_.size()))
            checks_[index] = (*it)->checkState(0) == Qt::Checked ? 1 : 0;
    }
}

bool CatalogueTree::Checked(const CatalogueNode& node) const {
    const std::size_t index = static_cast<std::size_t>(node.index);
    return index < checks_.size() && checks_[index] >= 0 ? checks_[index] == 1 : node.selected != 0;
}

void CatalogueTree::Rebuild(bool showHidden, bool keepChecks) {
    if (keepChecks) HarvestChecks();
    else checks_.assign(catalogue_.allNodes.size(), -1);
    showHidden_ = showHidden;
    updating_ = true;
    clear();
    AddChildren(invisibleRootItem(), catalogue_.root);
    expandAll();
    updating_ = false;
}

void CatalogueTree::AddChildren(QTreeWidgetItem* parentItem, const CatalogueNode& parent) {
    std::vector<std::pair<QTreeWidgetItem*, const CatalogueNode*>> pending{{parentItem, &parent}};
    while (!pending.empty()) {
        auto [item, node] = pending.back();
        pending.pop_back();
        for (const auto& child : node->children) {
            if (!Shown(*child, showHidden_)) continue;
            auto* childItem = new QTreeWidgetItem(item, QStringList{Q(child->name)});
            childItem->setData(0, kNodeIndexRole, child->index);
            childItem->setFlags(childItem->flags() | Qt::ItemIsUserCheckable);
            childItem->setCheckState(0, Checked(*child) ? Qt::Checked : Qt::Unchecked);
            pending.emplace_back(childItem, child.get());
        }
    }
}

void CatalogueTree::OnItemChanged(QTreeWidgetItem* item) {
    if (updating_) return;
    updating_ = true;
    const Qt::CheckState state = item->checkState(0);
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* current = pending.back();
        pending.pop_back();
        current->setCheckState(0, state);
        for (int i = 0; i < current->childCount(); ++i) pending.push_back(current->child(i));
    }
    updating_ = false;
}

void CatalogueTree::CheckAll(bool checked) {
    for (int i = 0; i < topLevelItemCount(); ++i) topLevelItem(i)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void CatalogueTree::TakeSelection() {
    HarvestChecks();
    catalogue_.exportList.clear();
    for (CatalogueNode* node : catalogue_.allNodes) {
        const bool take = Checked(*node) && node->exportable && Shown(*node, showHidden_);
        node->selected = take;
        if (take && !catalogue_.Contains(*node)) catalogue_.exportList.push_back(node);
    }
}

}  // namespace qb::ui
