#include "admin/model/sortedTextList.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>

namespace {
const QCollator& ListCollator()
{
    static const QCollator collator = [] {
        // Fixed, as the tree's order: the same under every locale.
        QCollator c(QLocale(QLocale::English, QLocale::UnitedStates));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}
} // namespace

void TSortedTextList::Add(const QString& text)
{
    const QCollator& c = ListCollator();
    auto less = [&c](const QString& a, const QString& b) { return c.compare(a, b) < 0; };
    const auto at = std::lower_bound(items.begin(), items.end(), text, less);
    if (at != items.end() && (c.compare(*at, text) == 0 || at->compare(text, Qt::CaseInsensitive) == 0))
        return;
    // The collator may rank a case-only twin just before the found place.
    if (at != items.begin() && std::prev(at)->compare(text, Qt::CaseInsensitive) == 0)
        return;
    items.insert(at, text);
}
