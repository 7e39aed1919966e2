#include "ioObject.h"

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
    if (page) {
        page->setVisible(false);
        if (hostControl) {
            // Every page of the host sits in the same cell: hidden ones take
            // no room, so the one in view fills the host.
            auto* grid = qobject_cast<QGridLayout*>(hostControl->layout());
            if (!grid && !hostControl->layout()) {
                grid = new QGridLayout(hostControl);
                grid->setContentsMargins(0, 0, 0, 0);
                grid->setSpacing(0);
            }
            page->setParent(hostControl);
            page->setVisible(false);
            if (grid)
                grid->addWidget(page, 0, 0);
            else
                hostControl->layout()->addWidget(page);
        }
    }
    Parent = parentObject;
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
