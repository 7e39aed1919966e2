#include "admin/model/ioObject.h"

#include <QGridLayout>

const QStringList ProductNames { QStringLiteral("Twinlane") };
const QStringList ModelNames { QStringLiteral("Q6120") };
const QStringList ModelDescriptions { QStringLiteral("Twinlane Ethernet Peer-to-Peer I/O Server (8DI + 8DO)") };
const QStringList ChannelTypeNames { QStringLiteral("DI"), QStringLiteral("DO"), QStringLiteral("RELAY"),
    QStringLiteral("AI"), QStringLiteral("AO"), QStringLiteral("RTD"), QStringLiteral("TC"),
    QStringLiteral("COUNTER") };

QString CatalogueText(const QStringList& table, int index)
{
    return index >= 0 && index < table.size() ? table.at(index) : QString();
}

TIOObject::TIOObject(int32_t kind, const QString& name)
    : Kind(kind)
    , Name(name)
{
}

TIOObject::~TIOObject() = default;

void TIOObject::Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject)
{
    Page = page;
    Parent = parentObject;
    if (!page)
        return;
    if (hostControl)
        page->setParent(hostControl);
    // Hidden explicitly before it joins the layout, which would show it.
    page->setVisible(false);
    if (!hostControl)
        return;
    QLayout* layout = hostControl->layout();
    if (!layout) {
        auto* grid = new QGridLayout(hostControl);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setSpacing(0);
        layout = grid;
    }
    // Every page of the host sits in the same cell: hidden ones take no
    // room, so the one in view fills the host.
    if (auto* grid = qobject_cast<QGridLayout*>(layout))
        grid->addWidget(page, 0, 0);
    else
        layout->addWidget(page);
}

void TIOObject::Detach()
{
    delete Page.data();
    Page = nullptr;
}

void TIOObject::ShowPage()
{
    if (Page)
        Page->setVisible(true);
}

void TIOObject::HidePage()
{
    if (Page)
        Page->setVisible(false);
}
