#pragma once
#include <QString>
#include <QStringList>

// Ascending and case-insensitive in a fixed English collation, the same
// under every locale; a text equal to one already held (ignoring case) is
// not added again.
class TSortedTextList {
public:
    void Add(const QString& text);
    void Clear() { items.clear(); }
    QStringList items;
};
