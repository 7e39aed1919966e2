#pragma once
#include <QWidget>

// The coloured strip with the program's name above the event table.
class TBanner : public QWidget {
public:
    explicit TBanner(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
