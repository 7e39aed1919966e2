#include "admin/model/ioTreeNode.h"

#include "admin/model/ioObject.h"

#include <QCollator>
#include <QIcon>
#include <QLocale>
#include <QTreeWidget>
#include <algorithm>

namespace {
constexpr int kObjectRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

const QCollator& TreeCollator()
{
    static const QCollator collator = [] {
        // A fixed collation: under the C locale of servers and CI the
        // user's one would fall back to code-point order (A B a b).
        QCollator c(QLocale(QLocale::English, QLocale::UnitedStates));
        c.setCaseSensitivity(Qt::CaseSensitive);
        c.setNumericMode(false); // addresses compare as plain text
        c.setIgnorePunctuation(false);
        return c;
    }();
    return collator;
}

void SortChildren(QTreeWidgetItem* node)
{
    QList<QTreeWidgetItem*> children = node->takeChildren();
    std::stable_sort(children.begin(), children.end(),
        [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) { return CompareNodeText(a->text(0), b->text(0)) < 0; });
    node->addChildren(children);
    for (QTreeWidgetItem* child : children)
        SortChildren(child);
}
} // namespace

TIOObject* NodeObject(const QTreeWidgetItem* node)
{
    return node ? reinterpret_cast<TIOObject*>(node->data(0, kObjectRole).value<quintptr>()) : nullptr;
}

void SetNodeObject(QTreeWidgetItem* node, TIOObject* object)
{
    node->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(object)));
}

int NodeImage(const QTreeWidgetItem* node)
{
    const QVariant v = node ? node->data(0, kImageRole) : QVariant();
    return v.isValid() ? v.toInt() : -1;
}

void SetNodeImage(QTreeWidgetItem* node, int imageIndex)
{
    node->setData(0, kImageRole, imageIndex);
    // The pictures are compiled into the program; without them the index
    // still stands.
    node->setIcon(0, QIcon(QStringLiteral(":/icons/tree%1.png").arg(imageIndex)));
}

QTreeWidgetItem* AddChildNode(QTreeWidget* tree, QTreeWidgetItem* parent, const QString& text)
{
    auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    node->setText(0, text);
    SetNodeObject(node, nullptr);
    return node;
}

int CompareNodeText(const QString& a, const QString& b)
{
    const int c = TreeCollator().compare(a, b);
    if (c != 0)
        return c;
    // A collator may call texts equal that differ in code points; keep a
    // stable, total order for them.
    return QString::compare(a, b, Qt::CaseSensitive);
}

void SortTreeByText(QTreeWidget* tree)
{
    QList<QTreeWidgetItem*> top;
    while (tree->topLevelItemCount() > 0)
        top.append(tree->takeTopLevelItem(0));
    std::stable_sort(top.begin(), top.end(),
        [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) { return CompareNodeText(a->text(0), b->text(0)) < 0; });
    tree->addTopLevelItems(top);
    for (QTreeWidgetItem* node : top)
        SortChildren(node);
}

namespace {
void AppendInTreeOrder(QTreeWidgetItem* node, QList<QTreeWidgetItem*>& out)
{
    out.append(node);
    for (int i = 0; i < node->childCount(); ++i)
        AppendInTreeOrder(node->child(i), out);
}
} // namespace

QList<QTreeWidgetItem*> NodesInTreeOrder(QTreeWidget* tree)
{
    QList<QTreeWidgetItem*> out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        AppendInTreeOrder(tree->topLevelItem(i), out);
    return out;
}
