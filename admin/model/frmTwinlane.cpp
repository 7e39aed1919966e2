#include "admin/model/frmTwinlane.h"

#include "admin/model/ioMod.h"
#include "admin/model/pdTwinlane.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TfmTwinlane::TfmTwinlane(QWidget* owner, TTwinlane* product)
    : QWidget(owner)
    , m_product(product)
{
    setObjectName(QStringLiteral("fmTwinlane"));
    resize(552, 503);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Image1 = new TStretchedImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedHeight(41);
    Image1->setToolTip(QStringLiteral("Enter Edit Mode"));
    Image1->setAutoFillBackground(true);
    Label16 = new QLabel(QStringLiteral("Twinlane"), Image1);
    Label16->setObjectName(QStringLiteral("Label16"));
    Label16->setAttribute(Qt::WA_TranslucentBackground);
    QFont captionFont = Label16->font();
    captionFont.setBold(true);
    captionFont.setPixelSize(24);
    Label16->setFont(captionFont);
    QPalette captionPalette = Label16->palette();
    captionPalette.setColor(QPalette::WindowText, Qt::blue);
    Label16->setPalette(captionPalette);
    Label16->move(40, 8);
    Label16->adjustSize();
    layout->addWidget(Image1);

    auto* group = new QGroupBox(this);
    auto* groupLayout = new QVBoxLayout(group);
    lvPraxon = new QTableWidget(0, 4, group);
    lvPraxon->setObjectName(QStringLiteral("lvPraxon"));
    lvPraxon->setHorizontalHeaderLabels(
        { QStringLiteral("#"), QStringLiteral("Module"), QStringLiteral("Connection"), QStringLiteral("Description") });
    const int widths[] = { 30, 100, 200, 200 };
    for (int c = 0; c < 4; ++c) {
        lvPraxon->setColumnWidth(c, widths[c]);
        lvPraxon->horizontalHeaderItem(c)->setTextAlignment(
            c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    }
    lvPraxon->setShowGrid(true);
    lvPraxon->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvPraxon->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvPraxon->setSelectionMode(QAbstractItemView::SingleSelection);
    lvPraxon->verticalHeader()->setVisible(false);
    lvPraxon->verticalHeader()->setDefaultSectionSize(lvPraxon->fontMetrics().height() + 6);
    lvPraxon->setWordWrap(false);
    lvPraxon->horizontalHeader()->setStretchLastSection(false);
    lvPraxon->horizontalHeader()->setHighlightSections(false);
    groupLayout->addWidget(lvPraxon);
    layout->addWidget(group, 1);

    auto* bottom = new QWidget(this);
    bottom->setFixedHeight(35);
    bottom->setAutoFillBackground(true);
    QPalette bottomPalette = bottom->palette();
    bottomPalette.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0)); // silver
    bottom->setPalette(bottomPalette);
    btnRefresh = new QPushButton(QIcon(QStringLiteral(":/icons/refresh.png")), QStringLiteral("Refresh"), bottom);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setGeometry(40, 5, 75, 25);
    layout->addWidget(bottom);

    connect(btnRefresh, &QPushButton::clicked, this, &TfmTwinlane::btnRefreshClick);
}

void TfmTwinlane::SetBanner(const QImage& image)
{
    Image1->SetImage(image);
}

void TfmTwinlane::SetModuleList(const QList<TIOObject*>* list)
{
    m_moduleList = list;
    btnRefreshClick();
}

void TfmTwinlane::btnRefreshClick()
{
    lvPraxon->setRowCount(0);
    if (!m_moduleList)
        return;
    int number = 1;
    for (const TIOObject* o : *m_moduleList) {
        if (!o || o->Kind != okModule)
            continue;
        const auto* module = static_cast<const TIOMod*>(o);
        const int row = lvPraxon->rowCount();
        lvPraxon->insertRow(row);
        const QString texts[] = { QString::number(number), CatalogueText(ModelNames, module->ModelIndex),
            module->Address, CatalogueText(ModelDescriptions, module->ModelIndex) };
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
            lvPraxon->setItem(row, c, item);
        }
        ++number;
    }
}
