#pragma once
// A real mouse click on the last entry of a list that reads text.
#include <QListWidget>
#include <QtTest>

inline void ClickItem(QListWidget* list, const QString& text)
{
    const auto items = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!items.isEmpty(), qPrintable(text));
    const QRect rect = list->visualItemRect(items.last());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}
