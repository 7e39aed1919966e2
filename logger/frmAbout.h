#pragma once
// The about box.
#include <QDialog>
#include <QIcon>

class QLabel;

// The program's icon, drawn so it needs no picture file.
QIcon AlarmkeeperIcon();

class TfmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfmAbout(QWidget* parent = nullptr);
    QLabel* lbVersion;
};
