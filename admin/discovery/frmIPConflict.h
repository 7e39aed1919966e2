#pragma once
// The conflict dialog: lists the servers that answered with a shared
// address and gives one of them a new address, written into that one
// device through a temporary host route with a static neighbour entry for
// its MAC. OK ("Re-Search") asks for a new search, Cancel ("Ignore these
// devices") goes on without the conflicting servers.
#include "admin/model/ioObject.h"

#include <QDialog>
#include <QList>

class QLabel;
class QPushButton;
class QTableWidget;
class TIPSetDelegate;

class TfmIPConflict : public QDialog {
    Q_OBJECT
public:
    TfmIPConflict(QWidget* owner, QList<IONODE*>* list);

    QLabel* Label1; // "WARNING:"
    QLabel* Label2;
    QTableWidget* xgIP;
    QPushButton* btnOK; // "Re-Search"
    QPushButton* btnCancel; // "Ignore these devices"

    // The record of a grid row (0 is the first server), or null.
    IONODE* RowRecord(int row) const;

    // Escape: "Ignore these devices", except while an attempt runs.
    void reject() override;

    // Stream time limit of the two exchanges, ms.
    static constexpr int StreamTimeoutMs = 5000;

public slots:
    // The "Set" button: the current row and the text of its editor.
    void ChangeServerAddress();
    // The same for a given row and text.
    void ChangeServerAddressTo(int row, const QString& newAddress);

signals:
    // After every confirmed attempt, with its outcome (tests, pictures).
    void changeAttempted(int row, bool changed);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FillGrid();
    // Writes the address into the server and restarts it; true when both
    // exchanges went through.
    bool SendNewAddress(IONODE* record, const std::array<uint8_t, 4>& octets);

    QList<IONODE*>* m_list; // not owned
    QList<IONODE*> m_rows;
    TIPSetDelegate* m_delegate;
    bool m_busy = false;
};
