// Tree nodes of the selection dialogs: a text, an image index and an integer key, the last two
// kept on the item as data so that the tree alone tells what each node stands for.
#pragma once

#include <QIcon>
#include <QString>
#include <QTreeWidgetItem>
#include <memory>
#include <vector>

#include "quantora/base/Types.h"

namespace quantora::dialogs {

// Item data roles holding the key and the image index of a node.
inline constexpr int kKeyRole = Qt::UserRole;
inline constexpr int kImageRole = Qt::UserRole + 1;

// Nodes built before they are attached to a tree; freed when a load fails.
using NodeList = std::vector<std::unique_ptr<QTreeWidgetItem>>;

QString ToQString(const AnsiString& text);

// A detached node showing `icon`.
std::unique_ptr<QTreeWidgetItem> NewNode(const QString& text, int key, int image,
                                         const QIcon& icon);
// A detached node with the standard picture of its image index.
std::unique_ptr<QTreeWidgetItem> NewNode(const QString& text, int key, int image);
// A detached copy of `node` (text, key, image, picture), without children.
std::unique_ptr<QTreeWidgetItem> CopyNode(const QTreeWidgetItem& node);

// The same, with the path of the nodes above it ("Lab / 2024 / Soil") as its tooltip, so a
// node moved out of its tree still tells where it came from.
std::unique_ptr<QTreeWidgetItem> CopyNodeWithPath(const QTreeWidgetItem& node);

int NodeKey(const QTreeWidgetItem* node);
// -1 for a null node.
int NodeImage(const QTreeWidgetItem* node);

// Deletes every child of `node` (and their subtrees).
void DeleteChildren(QTreeWidgetItem* node);
// Deletes the children of `node` and attaches `children` in their place, in order.
void ReplaceChildren(QTreeWidgetItem* node, NodeList children);

}  // namespace quantora::dialogs
