// The project tree that the measurement and calibration pickers share: top-level projects,
// sub-projects and, per dialog, the measurements, spectra and calibrations below them, loaded
// one level ahead of what the user has opened, and opened along the path to a start project.
//
// Loading never changes the tree half-way: new children are built detached and attached only
// when every query of the step succeeded, so a failing database leaves the tree as it was.
#pragma once

#include <QMetaObject>
#include <functional>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dialogs/TreeNodes.h"

class QTreeWidget;
class TQuery;

namespace quantora::dialogs {

class ProjectTree {
  public:
    // Appends the children of `node` that are not sub-projects: the measurements of a project
    // node, or whatever lies below a node of another kind.
    using DetailLoader = std::function<void(const QTreeWidgetItem& node, NodeList& out)>;

    // `rootProjQ` lists the top-level projects, `projQ` the sub-projects of the project given
    // as its first parameter; both yield the key in field 0 and the name in field 1. With
    // `lazy`, expanding a node loads the children of each of its children and collapsing it
    // deletes them again.
    ProjectTree(QTreeWidget* view, TQuery* rootProjQ, TQuery* projQ, DetailLoader details,
                bool lazy);
    ~ProjectTree();
    ProjectTree(const ProjectTree&) = delete;
    ProjectTree& operator=(const ProjectTree&) = delete;

    QTreeWidget* View() const { return view_; }

    // The children `node` gets when it is (re)loaded; the tree is not touched. A project with a
    // key below 1 gets none.
    NodeList LoadChildren(const QTreeWidgetItem* node);
    // Replaces the children of `node` by freshly loaded ones; nothing for a null node.
    void RetrieveChildren(QTreeWidgetItem* node);
    // Rebuilds the tree: the top-level projects with their children, then, for a start project
    // above 0, the path from its topmost ancestor down to it opened, its first child (or itself)
    // selected. A failure leaves the previous tree in place.
    void ShowAll(const AnsiString& dbName, int startProjectId);

    // The first project node with key `projectId` in depth-first order from `node` on: the
    // node, its subtree, then the following siblings of it and of each of its ancestors.
    static QTreeWidgetItem* SearchRetrievedProject(QTreeWidgetItem* node, int projectId);

  private:
    // The children of each child of `node`, in child order: what an expansion shows.
    std::vector<NodeList> LoadGrandchildren(const QTreeWidgetItem& node);
    void OnExpanded(QTreeWidgetItem* node);
    void OnCollapsed(QTreeWidgetItem* node);

    QTreeWidget* view_;
    TQuery* root_proj_q_;
    TQuery* proj_q_;
    DetailLoader details_;
    bool lazy_;
    QMetaObject::Connection expanded_, collapsed_;
    // Set while the tree expands or collapses nodes itself: the handlers stand aside.
    bool own_change_ = false;
};

}  // namespace quantora::dialogs
