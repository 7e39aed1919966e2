#pragma once
#include <QImage>
#include <QWidget>

// A picture drawn stretched over the whole widget.
class TStretchedImage : public QWidget {
    Q_OBJECT
public:
    explicit TStretchedImage(QWidget* parent = nullptr);
    void SetImage(const QImage& image);
    const QImage& Image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};
