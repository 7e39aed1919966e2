#pragma once
// The product's page: the banner strip and the table of its modules.
#include "admin/model/stretchedImage.h"

#include <QImage>
#include <QList>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;
class TIOObject;
class TTwinlane;

class TfmTwinlane : public QWidget {
    Q_OBJECT
public:
    TfmTwinlane(QWidget* owner, TTwinlane* product);

    // Keeps the list (not owned) and refreshes the table from it.
    void SetModuleList(const QList<TIOObject*>* list);
    void SetBanner(const QImage& image);

    TTwinlane* Product() const { return m_product; }

    TStretchedImage* Image1;
    QLabel* Label16;
    QTableWidget* lvPraxon;
    QPushButton* btnRefresh;

public slots:
    void btnRefreshClick();

private:
    TTwinlane* m_product;
    const QList<TIOObject*>* m_moduleList = nullptr;
};
