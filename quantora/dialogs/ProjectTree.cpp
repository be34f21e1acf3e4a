// The shared project tree: loading children detached, expansion one level ahead, the start path.
#include "quantora/dialogs/ProjectTree.h"

#include <QTreeWidget>
#include <algorithm>

#include "quantora/dblayer/TQuery.h"
#include "quantora/dialogs/HandlerGuard.h"
#include "quantora/dialogs/Icons.h"
#include "quantora/frame/DbUtils.h"
#include "quantora/frame/QueryGuards.h"

namespace quantora::dialogs {

namespace {

// Sets a flag for the length of a scope.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = old_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
    bool old_;
};

// One project node per row of an open query yielding key and name.
void ReadProjects(TQuery& q, NodeList& out) {
    for (; !q.Eof(); q.Next())
        out.push_back(NewNode(ToQString(q.Fields()[1]->AsString()), q.Fields()[0]->AsInteger(),
                              kProjectImage));
}

bool IsProject(const QTreeWidgetItem* node, int projectId) {
    return NodeImage(node) == kProjectImage && NodeKey(node) == projectId;
}

// Depth-first search of `node` and its subtree.
QTreeWidgetItem* SearchSubtree(QTreeWidgetItem* node, int projectId) {
    if (IsProject(node, projectId)) return node;
    for (int i = 0; i < node->childCount(); ++i)
        if (QTreeWidgetItem* hit = SearchSubtree(node->child(i), projectId)) return hit;
    return nullptr;
}

// The item holding `node` as a child: its parent, or the tree's invisible root for a top-level
// node; null for a detached node without parent.
QTreeWidgetItem* Container(QTreeWidgetItem* node) {
    if (node->parent()) return node->parent();
    return node->treeWidget() ? node->treeWidget()->invisibleRootItem() : nullptr;
}

}  // namespace

ProjectTree::ProjectTree(QTreeWidget* view, TQuery* rootProjQ, TQuery* projQ, DetailLoader details,
                         bool lazy)
    : view_(view),
      root_proj_q_(rootProjQ),
      proj_q_(projQ),
      details_(std::move(details)),
      lazy_(lazy) {
    if (lazy_) {
        expanded_ = QObject::connect(view_, &QTreeWidget::itemExpanded, view_,
                                     [this](QTreeWidgetItem* node) { OnExpanded(node); });
        collapsed_ = QObject::connect(view_, &QTreeWidget::itemCollapsed, view_,
                                      [this](QTreeWidgetItem* node) { OnCollapsed(node); });
    }
}

ProjectTree::~ProjectTree() {
    QObject::disconnect(expanded_);
    QObject::disconnect(collapsed_);
}

NodeList ProjectTree::LoadChildren(const QTreeWidgetItem* node) {
    NodeList out;
    if (!node) return out;
    if (NodeImage(node) == kProjectImage) {
        const int key = NodeKey(node);
        if (key < 1) return out;
        proj_q_->Close();
        proj_q_->ParamByName("SUPERPROJECT_ID")->SetAsInteger(key);
        OpenerCloser oc(proj_q_);
        ReadProjects(*proj_q_, out);
    }
    if (details_) details_(*node, out);
    return out;
}

void ProjectTree::RetrieveChildren(QTreeWidgetItem* node) {
    if (!node) return;
    ReplaceChildren(node, LoadChildren(node));
}

std::vector<NodeList> ProjectTree::LoadGrandchildren(const QTreeWidgetItem& node) {
    std::vector<NodeList> lists;
    lists.reserve(static_cast<size_t>(node.childCount()));
    for (int i = 0; i < node.childCount(); ++i) lists.push_back(LoadChildren(node.child(i)));
    return lists;
}

void ProjectTree::ShowAll(const AnsiString& dbName, int startProjectId) {
    // Built below a detached holder (sibling and parent links work as in the tree) and
    // attached at the end.
    QTreeWidgetItem holder;
    {
        NodeList top;
        root_proj_q_->Close();
        OpenerCloser oc(root_proj_q_);
        ReadProjects(*root_proj_q_, top);
        ReplaceChildren(&holder, std::move(top));
    }
    for (int i = 0; i < holder.childCount(); ++i) RetrieveChildren(holder.child(i));

    std::vector<QTreeWidgetItem*> opened;  // top-down
    QTreeWidgetItem* selected = nullptr;
    if (startProjectId > 0) {
        std::vector<int> path;
        AnsiString alias = dbName;
        GetSuperProjectIDsForProject(alias, &path, startProjectId);
        path.push_back(startProjectId);
        QTreeWidgetItem* node = holder.childCount() > 0 ? holder.child(0) : nullptr;
        for (int id : path) {
            if (!node) break;
            QTreeWidgetItem* parent = node->parent();
            QTreeWidgetItem* found = nullptr;
            for (int i = parent->indexOfChild(node); i < parent->childCount() && !found; ++i)
                if (IsProject(parent->child(i), id)) found = parent->child(i);
            if (!found) break;
            RetrieveChildren(found);
            node = found->childCount() > 0 ? found->child(0) : found;
            // Selecting a node opens its closed ancestors, each as the user would open it.
            std::vector<QTreeWidgetItem*> closed;
            for (QTreeWidgetItem* a = node->parent(); a != &holder; a = a->parent())
                if (std::find(opened.begin(), opened.end(), a) == opened.end()) closed.push_back(a);
            for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
                if (lazy_) {
                    std::vector<NodeList> lists = LoadGrandchildren(**it);
                    for (int i = 0; i < (*it)->childCount(); ++i)
                        ReplaceChildren((*it)->child(i), std::move(lists[static_cast<size_t>(i)]));
                }
                opened.push_back(*it);
            }
            selected = node;
        }
    }

    FlagScope own(own_change_);
    view_->setUpdatesEnabled(false);
    view_->clear();
    view_->addTopLevelItems(holder.takeChildren());
    for (QTreeWidgetItem* node : opened) node->setExpanded(true);
    if (selected) view_->setCurrentItem(selected);
    view_->setUpdatesEnabled(true);
}

QTreeWidgetItem* ProjectTree::SearchRetrievedProject(QTreeWidgetItem* node, int projectId) {
    if (!node) return nullptr;
    if (QTreeWidgetItem* hit = SearchSubtree(node, projectId)) return hit;
    for (QTreeWidgetItem* item = node; item; item = item->parent()) {
        QTreeWidgetItem* container = Container(item);
        if (!container) break;
        for (int i = container->indexOfChild(item) + 1; i < container->childCount(); ++i)
            if (QTreeWidgetItem* hit = SearchSubtree(container->child(i), projectId)) return hit;
    }
    return nullptr;
}

void ProjectTree::OnExpanded(QTreeWidgetItem* node) {
    if (own_change_ || !node) return;
    const bool loaded = Guarded([&] {
        std::vector<NodeList> lists = LoadGrandchildren(*node);
        for (int i = 0; i < node->childCount(); ++i)
            ReplaceChildren(node->child(i), std::move(lists[static_cast<size_t>(i)]));
    });
    if (!loaded) {
        // The node closes again, as it was before.
        FlagScope own(own_change_);
        node->setExpanded(false);
    }
}

void ProjectTree::OnCollapsed(QTreeWidgetItem* node) {
    if (own_change_ || !node) return;
    FlagScope own(own_change_);
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        child->setExpanded(false);  // reopened later through the loading path
        DeleteChildren(child);
    }
}

}  // namespace quantora::dialogs
