#pragma once
// Drop-down list of named text colours, each shown with a sample.
//
// Colours travel as stored integers: red in the lowest byte, green in the
// next, blue in the third, the top byte 0. A stored colour that is not one of
// the named ones is kept as an extra entry, so opening and accepting the
// settings never changes a colour the operator did not touch.

#include <QColor>
#include <QComboBox>
#include <cstdint>

class TColorPicker : public QComboBox {
    Q_OBJECT

public:
    explicit TColorPicker(QWidget* parent = nullptr);

    uint32_t Stored() const;
    void SetStored(uint32_t value);
    QColor Color() const;

private:
    void AddEntry(const QString& name, uint32_t stored);
    int m_customIndex = -1;
};
