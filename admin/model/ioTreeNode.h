#pragma once
// What a node of the server tree carries: the object it stands for (or
// none) and its index into the tree's list of node pictures.
#include <QList>
#include <QString>

class QCollator;
class QTreeWidget;
class QTreeWidgetItem;
class TIOObject;

TIOObject* NodeObject(const QTreeWidgetItem* node);
void SetNodeObject(QTreeWidgetItem* node, TIOObject* object);

// -1 while the node has the picture the tree gives new nodes (none).
int NodeImage(const QTreeWidgetItem* node);
void SetNodeImage(QTreeWidgetItem* node, int imageIndex);

// A new node at the end of parent's children (top level when parent is
// null), with no object and no picture.
QTreeWidgetItem* AddChildNode(QTreeWidget* tree, QTreeWidgetItem* parent, const QString& text);

// The tree's order: locale-aware and case-sensitive, addresses as text.
int CompareNodeText(const QString& a, const QString& b);

// Sorts the children of every node, at every level, by CompareNodeText.
// Equal texts keep their order.
void SortTreeByText(QTreeWidget* tree);

// Every node in tree order: top to bottom, children before the next sibling.
QList<QTreeWidgetItem*> NodesInTreeOrder(QTreeWidget* tree);
