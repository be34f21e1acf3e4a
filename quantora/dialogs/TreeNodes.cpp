// Node construction and the key and image index kept on tree items.
#include "quantora/dialogs/TreeNodes.h"

#include "quantora/dialogs/Icons.h"

namespace quantora::dialogs {

QString ToQString(const AnsiString& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::unique_ptr<QTreeWidgetItem> NewNode(const QString& text, int key, int image,
                                         const QIcon& icon) {
    auto node = std::make_unique<QTreeWidgetItem>(QStringList{text});
    node->setData(0, kKeyRole, key);
    node->setData(0, kImageRole, image);
    node->setIcon(0, icon);
    return node;
}

std::unique_ptr<QTreeWidgetItem> NewNode(const QString& text, int key, int image) {
    return NewNode(text, key, image, NodeIcon(image));
}

std::unique_ptr<QTreeWidgetItem> CopyNode(const QTreeWidgetItem& node) {
    return NewNode(node.text(0), NodeKey(&node), NodeImage(&node), node.icon(0));
}

std::unique_ptr<QTreeWidgetItem> CopyNodeWithPath(const QTreeWidgetItem& node) {
    auto copy = CopyNode(node);
    QStringList path;
    for (const QTreeWidgetItem* p = node.parent(); p; p = p->parent()) path.prepend(p->text(0));
    if (!path.isEmpty()) copy->setToolTip(0, path.join(" / "));
    return copy;
}

int NodeKey(const QTreeWidgetItem* node) {
    return node ? node->data(0, kKeyRole).toInt() : 0;
}

int NodeImage(const QTreeWidgetItem* node) {
    return node ? node->data(0, kImageRole).toInt() : -1;
}

void DeleteChildren(QTreeWidgetItem* node) {
    if (!node) return;
    for (QTreeWidgetItem* child : node->takeChildren()) delete child;
}

void ReplaceChildren(QTreeWidgetItem* node, NodeList children) {
    DeleteChildren(node);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(children.size()));
    for (auto& child : children) items.append(child.release());
    node->addChildren(items);
}

}  // namespace quantora::dialogs
