#include "admin/discovery/frmIPConflict.h"

#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioThreadSocketConnect.h"
#include "admin/comm/ioThreadSocketRW.h"
#include "admin/discovery/Iphelp.h"
#include "admin/discovery/ipChangeFrames.h"
#include "admin/discovery/ipSetDelegate.h"
#include "admin/discovery/ipSetEditor.h"
#include "admin/model/frmWait.h"
#include "admin/model/ioAppGlobals.h"
#include "common/busyCursor.h"
#include "common/latin1.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr QSize kClientSize(643, 294);
constexpr int kModbusPort = 502;
const QColor kPaleYellow(0xFF, 0xFF, 0xE1);
enum TColumn { colNumber, colServer, colAddress, colMac, colDescription, colCount };

// Removes the temporary host route of the old address on every way out.
class TTemporaryRoute {
public:
    TTemporaryRoute(const IONODE& record)
        : m_address(record.Address)
    {
        AddHostRoute(record.LocalAddress, record.Address, record.MacAddress);
    }
    ~TTemporaryRoute() { RemoveHostRoute(m_address); }
    TTemporaryRoute(const TTemporaryRoute&) = delete;
    TTemporaryRoute& operator=(const TTemporaryRoute&) = delete;

private:
    QString m_address;
};
} // namespace

TfmIPConflict::TfmIPConflict(QWidget* owner, QList<IONODE*>* list)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_list(list)
{
    setObjectName(QStringLiteral("fmIPConflict"));
    setWindowTitle(QStringLiteral("IP Address Conflict"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(kClientSize);

    Label1 = new QLabel(QStringLiteral("WARNING:"), this);
    {
        QFont f = Label1->font();
        f.setBold(true);
        Label1->setFont(f);
    }
    Label2 = new QLabel(
        QStringLiteral("IP address conflict detected, modify them to different address before proceeding."), this);

    xgIP = new QTableWidget(0, colCount, this);
    xgIP->setObjectName(QStringLiteral("xgIP"));
    xgIP->setHorizontalHeaderLabels({ QStringLiteral("#"), QStringLiteral("I/O Server"), QStringLiteral("IP Address"),
        QStringLiteral("MAC Address"), QStringLiteral("Description") });
    const int widths[] = { 22, 80, 130, 130, 236 };
    for (int c = 0; c < colCount; ++c)
        xgIP->setColumnWidth(c, widths[c]);
    xgIP->horizontalHeader()->setStretchLastSection(true);
    xgIP->horizontalHeader()->setHighlightSections(false);
    xgIP->verticalHeader()->setVisible(false);
    xgIP->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Room for the editor's button; the text alone would take 16 pixels.
    xgIP->verticalHeader()->setDefaultSectionSize(std::max(16, xgIP->fontMetrics().height() + 8));
    xgIP->setSelectionMode(QAbstractItemView::SingleSelection);
    xgIP->setSelectionBehavior(QAbstractItemView::SelectItems);
    xgIP->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked
        | QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed);
    xgIP->setWordWrap(false);
    {
        QPalette p = xgIP->palette();
        p.setColor(QPalette::Base, kPaleYellow);
        xgIP->setPalette(p);
    }
    m_delegate = new TIPSetDelegate(xgIP);
    xgIP->setItemDelegateForColumn(colAddress, m_delegate);
    connect(m_delegate, &TIPSetDelegate::setRequested, this, &TfmIPConflict::ChangeServerAddressTo);

    btnOK = new QPushButton(QStringLiteral("Re-Search"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setEnabled(false);
    btnOK->setAutoDefault(false);
    btnCancel = new QPushButton(QStringLiteral("Ignore these devices"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(xgIP, 1);
    layout->addLayout(buttons);

    FillGrid();
}

void TfmIPConflict::FillGrid()
{
    m_rows.clear();
    for (IONODE* r : *m_list)
        if (r && r->Conflict)
            m_rows.append(r);
    xgIP->setRowCount(int(m_rows.size()));
    QFont bold = xgIP->font();
    bold.setBold(true);
    for (int row = 0; row < m_rows.size(); ++row) {
        const IONODE* r = m_rows.at(row);
        const QStringList texts { QString::number(row + 1), CatalogueText(ModelNames, r->ModelIndex), r->Address,
            r->MacAddress, CatalogueText(ModelDescriptions, r->ModelIndex) };
        for (int c = 0; c < colCount; ++c) {
            auto* item = new QTableWidgetItem(texts.at(c));
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (c == colAddress)
                flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
            if (c == colServer || c == colAddress || c == colMac)
                item->setTextAlignment(Qt::AlignCenter);
            if (c == colServer)
                item->setForeground(Qt::blue);
            if (c == colAddress) {
                item->setForeground(Qt::red);
                item->setFont(bold);
            }
            xgIP->setItem(row, c, item);
        }
    }
}

IONODE* TfmIPConflict::RowRecord(int row) const
{
    return m_rows.value(row, nullptr);
}

void TfmIPConflict::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    QWidget* main = parentWidget() ? parentWidget()->window() : MainWindowLinks.window;
    if (main && main->isVisible()) {
        QRect frame = frameGeometry();
        frame.moveCenter(main->frameGeometry().center());
        move(frame.topLeft());
    }
    // The first address in its editor, ready for typing.
    if (xgIP->rowCount() > 0 && !xgIP->currentItem()) {
        xgIP->setFocus();
        xgIP->setCurrentCell(0, colAddress);
    }
}

void TfmIPConflict::reject()
{
    if (!m_busy)
        QDialog::reject();
}

void TfmIPConflict::closeEvent(QCloseEvent* e)
{
    // No frame buttons: only the two buttons end it.
    e->ignore();
}

void TfmIPConflict::ChangeServerAddress()
{
    const int row = xgIP->currentRow();
    QString text;
    if (auto* editor = qobject_cast<TIPSetEditor*>(xgIP->indexWidget(xgIP->model()->index(row, colAddress))))
        text = editor->Text();
    else if (QTableWidgetItem* item = xgIP->item(row, colAddress))
        text = item->text();
    ChangeServerAddressTo(row, text);
}

void TfmIPConflict::ChangeServerAddressTo(int row, const QString& newAddressText)
{
    IONODE* record = RowRecord(row);
    if (!record || m_busy)
        return;
    const QString oldAddress = record->Address;
    const QString newAddress = newAddressText.trimmed();
    std::array<uint8_t, 4> octets {};
    const TAddressCheck check = CheckNewAddress(newAddress, oldAddress, &octets);
    if (check != acOk) {
        QMessageBox::warning(this, QStringLiteral("IP Address Conflict"), AddressCheckText(check, newAddress));
        return;
    }
    const auto answer = QMessageBox::question(this, QStringLiteral("Confirm"),
        QStringLiteral("Change IP address from %1 to %2 ?").arg(oldAddress, newAddress),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    // While the device is talked to, events still run: neither button may
    // end the dialog under the attempt.
    m_busy = true;
    btnCancel->setEnabled(false);
    btnOK->setEnabled(false);
    bool changed = false;
    try {
        changed = SendNewAddress(record, octets);
    } catch (...) {
        m_busy = false;
        btnCancel->setEnabled(true);
        btnOK->setEnabled(true);
        throw;
    }
    m_busy = false;
    btnCancel->setEnabled(true);
    if (changed) {
        if (QTableWidgetItem* item = xgIP->item(row, colAddress))
            item->setText(record->Address);
    }
    btnOK->setEnabled(true);
    btnOK->setFocus();
    emit changeAttempted(row, changed);
}

bool TfmIPConflict::SendNewAddress(IONODE* record, const std::array<uint8_t, 4>& octets)
{
    const std::array<uint8_t, SetIpRequestSize> setIp = SetIpRequest(octets);
    const QString newAddress
        = QStringLiteral("%1.%2.%3.%4").arg(octets[0]).arg(octets[1]).arg(octets[2]).arg(octets[3]);
    TIOClientSocket socket;
    TBusyCursor hourglass;
    // Through this device's MAC, whatever else answers on the address.
    TTemporaryRoute route(*record);
    socket.SetHost(ToWire(record->Address).toStdString());
    socket.SetPort(kModbusPort);
    if (!ConnectWithTimeout(&socket))
        return false;
    uint8_t reply[IpChangeReplySize] = {};
    if (ExchangeOnSocket(&socket, setIp.data(), SetIpRequestSize, reply, IpChangeReplySize, StreamTimeoutMs)
        != IpChangeReplySize)
        return false;
    if (ExchangeOnSocket(&socket, RestartRequest.data(), RestartRequestSize, reply, IpChangeReplySize, StreamTimeoutMs)
        != IpChangeReplySize)
        return false;
    record->Address = newAddress;
    socket.Close();
    TfmWait wait(MainWindowLinks.window ? MainWindowLinks.window : this);
    wait.exec();
    return true;
}
